// Helpers shared by the plugin's tests.
#ifndef QOLT_TEST_SUPPORT_H
#define QOLT_TEST_SUPPORT_H

#include <cstddef>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Hex text of bytes, grouped by 8 for readable failure messages.
std::string toHex(const unsigned char *p, size_t n);
inline std::string toHex(const Bytes &b) { return toHex(b.data(), b.size()); }

// Bytes of a hex text; spaces are ignored.
Bytes fromHex(const std::string &hex);

// MD5 of bytes by OpenSSL, the independent oracle.
Bytes opensslMd5(const unsigned char *p, size_t n);

// The built qolt_http_plugin.so.2, loaded with dlopen as the client loads it.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const char *path = QOLT_PLUGIN_PATH);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin &) = delete;
    LoadedPlugin &operator=(const LoadedPlugin &) = delete;

    // The named export; the test fails (and this returns null) when missing.
    void *symbol(const char *name) const;
    template <typename F> F function(const char *name) const {
        return reinterpret_cast<F>(symbol(name));
    }
    bool loaded() const { return handle_ != nullptr; }

private:
    void *handle_;
};

#endif  // QOLT_TEST_SUPPORT_H
