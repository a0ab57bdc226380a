#include "test_support.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>

std::string toHex(const unsigned char *p, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        if (i && i % 8 == 0) s += ' ';
        snprintf(buf, sizeof buf, "%02x", p[i]);
        s += buf;
    }
    return s;
}

Bytes fromHex(const std::string &hex) {
    Bytes out;
    std::string digits;
    for (char c : hex)
        if (c != ' ') digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes opensslMd5(const unsigned char *p, size_t n) {
    Bytes out(16);
    unsigned int len = 0;
    EXPECT_EQ(1, EVP_Digest(p, n, out.data(), &len, EVP_md5(), nullptr));
    EXPECT_EQ(16u, len);
    return out;
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
