// libFuzzer target for qolt_plugin_auth on arbitrary pairs of texts: the
// input up to its first zero byte is the first text, the rest up to the next
// zero byte the second.
//
// The result must always be 32 lower-case hexadecimal digits and a zero
// byte, in a buffer of exactly 33 bytes (checked under AddressSanitizer),
// equal to GLib's MD5 of the upper-cased salted text; a null text and the
// empty text give the same digest.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "allocated_size.h"
#include "protocol.h"
#include "qolt/http_plugin.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

// Checks one result and releases it; returns its digits.
std::string take(char *result) {
    check(result != nullptr);
    const size_t allocated = allocatedSize(result);
    check(allocated == 0 || allocated == 33);
    for (int i = 0; i < 32; ++i)
        check((result[i] >= '0' && result[i] <= '9') || (result[i] >= 'a' && result[i] <= 'f'));
    check(result[32] == '\0');
    std::string digits(result, 32);
    g_free(result);
    return digits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\0');
    const std::string first = input.substr(0, cut);
    const std::string second = cut == std::string::npos ? "" : input.substr(cut + 1).c_str();

    char *secondText = const_cast<char *>(second.c_str());
    const std::string digest = take(qolt_plugin_auth(first.c_str(), &secondText));

    // The oracle: ASCII letters folded, nothing else, then MD5 by GLib.
    std::string salted = QOLT_SALT_PREFIX + first + second + QOLT_SALT_SUFFIX;
    for (char &c : salted)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    gchar *expected = g_compute_checksum_for_data(
        G_CHECKSUM_MD5, reinterpret_cast<const guchar *>(salted.data()), salted.size());
    check(digest == expected);
    g_free(expected);

    // A null text is the empty text, a null second pointer too.
    if (first.empty()) check(take(qolt_plugin_auth(nullptr, &secondText)) == digest);
    if (second.empty()) {
        char *none = nullptr;
        check(take(qolt_plugin_auth(first.c_str(), &none)) == digest);
        check(take(qolt_plugin_auth(first.c_str(), nullptr)) == digest);
    }
    return 0;
}
