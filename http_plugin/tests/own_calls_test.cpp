// The plugin's calls to itself stay inside the plugin.  This test is a client
// with a class of its own named Rijndael, every method under the same
// mangled name as the plugin's exported class, and it is linked with
// -rdynamic (ENABLE_EXPORTS), so its definitions are in the global scope
// ahead of any library's.  It loads the built plugin with dlopen, with
// RTLD_LOCAL and with RTLD_GLOBAL, sets up the key and decodes a credential
// made by OpenSSL: none of the client's definitions may run (not the
// constructor of the plugin's cipher at load, not init() in the key set-up,
// not padDecrypt() in the decoder), and the text must come back exactly.
//
// Each load runs in a child process of its own (a death test), so the
// plugin's constructor at load is seen in both modes.
#include <dlfcn.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "credential_oracle.h"
#include "test_support.h"

// The client's own class, unrelated to the plugin's but for its name.
class __attribute__((visibility("default"))) Rijndael {
public:
    enum Mode : std::int32_t { ECB, CBC, CFB1 };
    enum Direction : std::int32_t { Encrypt, Decrypt };
    enum KeyLength : std::int32_t { Key128, Key192, Key256 };

    Rijndael();
    ~Rijndael();
    int init(Mode mode, Direction dir, const unsigned char *key, KeyLength keyLen,
             const unsigned char *initVector);
    int blockEncrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer);
    int blockDecrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer);
    int padEncrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer);
    int padDecrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer);
    void encrypt(const unsigned char in[16], unsigned char out[16]) const;
    void decrypt(const unsigned char in[16], unsigned char out[16]) const;
    void keySched(const unsigned char key[8][4]);
    void keyEncToDec();

    int marker = 0;
};

namespace {

// What of the client's class ran, by name; empty while nothing did.
std::string clientRan;

void ran(const char *what) {
    if (!clientRan.empty()) clientRan += ", ";
    clientRan += what;
}

// A text that no credential decodes to: written wherever an output buffer is
// at hand, so a taken-over call also shows in the decoded text.
void spoil(unsigned char *out, int n) {
    static const char kTaken[] = "client's Rijndael";
    for (int i = 0; out && i < n; ++i) out[i] = static_cast<unsigned char>(kTaken[i % 17]);
}

}  // namespace

Rijndael::Rijndael() { ran("Rijndael()"); }
Rijndael::~Rijndael() { ran("~Rijndael()"); }
int Rijndael::init(Mode, Direction, const unsigned char *, KeyLength, const unsigned char *) {
    ran("init");
    return 0;
}
int Rijndael::blockEncrypt(const unsigned char *, int n, unsigned char *out) {
    ran("blockEncrypt");
    spoil(out, n / 8);
    return n;
}
int Rijndael::blockDecrypt(const unsigned char *, int n, unsigned char *out) {
    ran("blockDecrypt");
    spoil(out, n / 8);
    return n;
}
int Rijndael::padEncrypt(const unsigned char *, int n, unsigned char *out) {
    ran("padEncrypt");
    spoil(out, n);
    return n;
}
int Rijndael::padDecrypt(const unsigned char *, int n, unsigned char *out) {
    ran("padDecrypt");
    spoil(out, n);
    return n;
}
void Rijndael::encrypt(const unsigned char *, unsigned char *out) const {
    ran("encrypt");
    spoil(out, 16);
}
void Rijndael::decrypt(const unsigned char *, unsigned char *out) const {
    ran("decrypt");
    spoil(out, 16);
}
void Rijndael::keySched(const unsigned char (*)[4]) { ran("keySched"); }
void Rijndael::keyEncToDec() { ran("keyEncToDec"); }

namespace {

using InitFn = void (*)(const char *);
using DecodeFn = char *(*)(const char *);

// The client's side of one load; ends the (child) process with 0 when the
// plugin kept every call to itself, else with 1 after saying what went wrong.
[[noreturn]] void loadAndDecode(int mode) {
    std::string failures;
    // The premise: the client's definitions are what the global scope finds
    // first under the plugin's names.
    void *global = dlsym(RTLD_DEFAULT, "_ZN8Rijndael10padDecryptEPKhiPh");
    if (!global) failures += "the client's Rijndael::padDecrypt is not exported (-rdynamic); ";

    void *plugin = dlopen(QOLT_PLUGIN_PATH, RTLD_NOW | mode);
    if (!plugin) {
        std::fprintf(stderr, "dlopen: %s\n", dlerror());
        std::_Exit(1);
    }
    if (dlsym(RTLD_DEFAULT, "_ZN8Rijndael10padDecryptEPKhiPh") != global)
        failures += "loading the plugin changed what the global scope finds; ";

    auto init = reinterpret_cast<InitFn>(dlsym(plugin, "qolt_plugin_auth_decode_init"));
    auto decode = reinterpret_cast<DecodeFn>(dlsym(plugin, "qolt_plugin_auth_decode"));
    if (!init || !decode) {
        std::fprintf(stderr, "exports missing\n");
        std::_Exit(1);
    }
    const std::string text = "gebruiker:geheim wachtwoord";
    init("sleutel");
    char *decoded = decode(credential("sleutel", text).c_str());
    const std::string got = decoded ? decoded : "<null>";
    g_free(decoded);
    if (got != text) failures += "decoded '" + got + "', expected '" + text + "'; ";
    // A key set-up and a decode more, on the same object.
    init("ander");
    decoded = decode(credential("ander", "tweede").c_str());
    if (!decoded || std::string(decoded) != "tweede") failures += "second decode wrong; ";
    g_free(decoded);
    dlclose(plugin);

    if (!clientRan.empty()) failures += "the client's definitions ran: " + clientRan + "; ";
    if (!failures.empty()) {
        std::fprintf(stderr, "%s\n", failures.c_str());
        std::_Exit(1);
    }
    std::fprintf(stderr, "kept to itself\n");
    std::_Exit(0);
}

TEST(PluginOwnCalls, ClientRijndaelWithRtldLocal) {
    EXPECT_EXIT(loadAndDecode(RTLD_LOCAL), ::testing::ExitedWithCode(0), "kept to itself");
}

TEST(PluginOwnCalls, ClientRijndaelWithRtldGlobal) {
    EXPECT_EXIT(loadAndDecode(RTLD_GLOBAL), ::testing::ExitedWithCode(0), "kept to itself");
}

}  // namespace
