// main() of the cipher's tests: `--backend=NAME` (tables, bitsliced, ssse3, aes-ni, vaes-256, vaes) pins the
// cipher's backend for the whole run, so the same tests check each one;
// without it the processor chooses, as in the plugin.  A backend this
// processor cannot run skips every test instead of failing them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "rijndael_backend.h"

namespace {

class Unsupported : public testing::Environment {
public:
    explicit Unsupported(std::string name) : name_(std::move(name)) {}
    void SetUp() override { GTEST_SKIP() << "this processor cannot run the " << name_ << " backend"; }

private:
    std::string name_;
};

}  // namespace

bool qoltCipherBackendPinned = false;

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    const char *const prefix = "--backend=";
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], prefix, strlen(prefix)) != 0) continue;
        const std::string name = argv[i] + strlen(prefix);
        bool known = false;
        for (RijndaelBackendId id :
             {RijndaelBackendId::Tables, RijndaelBackendId::Bitsliced, RijndaelBackendId::Ssse3,
              RijndaelBackendId::AesNi,
              RijndaelBackendId::Vaes256, RijndaelBackendId::Vaes}) {
            if (name != rijndaelBackendName(id)) continue;
            known = true;
            qoltCipherBackendPinned = true;
            if (!rijndaelPinBackend(id)) testing::AddGlobalTestEnvironment(new Unsupported(name));
        }
        if (!known) {
            fprintf(stderr, "unknown backend %s\n", name.c_str());
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
