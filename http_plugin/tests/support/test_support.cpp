#include "test_support.h"

#include <dlfcn.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <stdexcept>

#include "protocol.h"

Bytes randomBytes(std::mt19937 &rng, size_t n) {
    Bytes b(n);
    for (auto &x : b) x = static_cast<unsigned char>(rng());
    return b;
}

std::string toHex(const unsigned char *p, size_t n, size_t group) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (group && i && i % group == 0) s += ' ';
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Bytes fromHex(const std::string &hex) {
    Bytes out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ') continue;
        const int v = hexValue(c);
        if (v < 0) throw std::invalid_argument("fromHex: not a hex digit in \"" + hex + "\"");
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("fromHex: odd number of digits in \"" + hex + "\"");
    return out;
}

std::string base64Encode(const unsigned char *p, size_t n) {
    gchar *text = g_base64_encode(p, n);
    std::string s(text);
    g_free(text);
    return s;
}

Bytes opensslMd5(const unsigned char *p, size_t n) {
    Bytes out(16);
    unsigned int len = 0;
    EXPECT_EQ(1, EVP_Digest(p, n, out.data(), &len, EVP_md5(), nullptr));
    EXPECT_EQ(16u, len);
    return out;
}

std::string expectedDigest(const std::string &first, const std::string &second) {
    std::string salted = QOLT_SALT_PREFIX + first + second + QOLT_SALT_SUFFIX;
    for (char &c : salted)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const Bytes d =
        opensslMd5(reinterpret_cast<const unsigned char *>(salted.data()), salted.size());
    return toHex(d, 0);
}

LoadedPlugin::LoadedPlugin(const char *path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) ADD_FAILURE() << "dlopen(" << path << "): " << dlerror();
}

LoadedPlugin::~LoadedPlugin() {
    if (handle_) dlclose(handle_);
}

void *LoadedPlugin::symbol(const char *name) const {
    if (!handle_) return nullptr;
    void *sym = dlsym(handle_, name);
    if (!sym) ADD_FAILURE() << "export missing: " << name;
    return sym;
}

std::string decodedText(DecodeFn decode, const char *encoded) {
    char *r = decode(encoded);
    if (!r) return "<null>";
    std::string s(r);
    g_free(r);
    return s;
}
