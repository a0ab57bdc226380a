// main() of the cipher's tests: `--backend=NAME` (a name of the registry) pins the
// cipher's backend for the whole run, so the same tests check each one;
// without it the processor chooses, as in the plugin.  A backend this
// processor cannot run skips every test instead of failing them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "rijndael_dispatch.h"

namespace {

class Unsupported : public testing::Environment {
public:
    explicit Unsupported(std::string name) : name_(std::move(name)) {}
    void SetUp() override {
        GTEST_SKIP() << "this processor cannot run the " << name_ << " backend";
    }

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
        const RijndaelBackendEntry *backend = rijndaelBackendNamed(name.c_str());
        if (!backend) {
            fprintf(stderr, "unknown backend %s\n", name.c_str());
            return 2;
        }
        qoltCipherBackendPinned = true;
        if (!rijndaelPinBackend(backend->id))
            testing::AddGlobalTestEnvironment(new Unsupported(name));
    }
    return RUN_ALL_TESTS();
}
