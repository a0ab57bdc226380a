// Helpers shared by the plugin's tests: bytes and their hex and base64 texts,
// the independent oracles, and the built plugin loaded as the client loads it.
#ifndef QOLT_TEST_SUPPORT_H
#define QOLT_TEST_SUPPORT_H

#include <cstddef>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// n bytes from the generator: reproducible from the test's seed.
Bytes randomBytes(std::mt19937 &rng, size_t n);

// Lower-case hex of bytes, a space after every `group` bytes (0: none); the
// grouped form makes failure messages readable, the plain one is a digest's.
std::string toHex(const unsigned char *p, size_t n, size_t group = 8);
inline std::string toHex(const Bytes &b, size_t group = 8) {
    return toHex(b.data(), b.size(), group);
}

// The bytes of a hex text; spaces are ignored.  An odd number of digits or a
// character that is neither a hex digit nor a space throws
// std::invalid_argument, which fails the test that made the table.
Bytes fromHex(const std::string &hex);

// Base64 (RFC 4648, padded) by GLib's g_base64_encode, the independent
// encoder.
std::string base64Encode(const unsigned char *p, size_t n);
inline std::string base64Encode(const Bytes &b) { return base64Encode(b.data(), b.size()); }

// MD5 of bytes by OpenSSL, the independent oracle.
Bytes opensslMd5(const unsigned char *p, size_t n);

// What qolt_plugin_auth must return for these texts: OpenSSL's MD5 of the
// salted text with a-z folded to A-Z (ASCII only), in lower-case hex.
std::string expectedDigest(const std::string &first, const std::string &second);

// The built qolt_http_plugin.so.2, loaded with dlopen as the client loads it.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const char *path = QOLT_PLUGIN_PATH);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin &) = delete;
    LoadedPlugin &operator=(const LoadedPlugin &) = delete;

    // The named export; the test fails (and this returns null) when missing.
    void *symbol(const char *name) const;
    template <typename F>
    F function(const char *name) const {
        return reinterpret_cast<F>(symbol(name));
    }
    bool loaded() const { return handle_ != nullptr; }

private:
    void *handle_;
};

using DecodeFn = char *(*)(const char *);

// What decode(encoded) returns, as a text up to its terminator, freed;
// "<null>" for a null result.
std::string decodedText(DecodeFn decode, const char *encoded);
inline std::string decodedText(DecodeFn decode, const std::string &encoded) {
    return decodedText(decode, encoded.c_str());
}

#endif  // QOLT_TEST_SUPPORT_H
