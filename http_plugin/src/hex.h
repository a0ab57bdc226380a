// Lower-case hexadecimal by a digit table: the same text as "%02x" per byte,
// without a formatted-output call per byte.
#ifndef QOLT_HEX_H
#define QOLT_HEX_H

#include <cstddef>

// Writes 2 * n lower-case hex digits for the n bytes at in; no terminator.
inline void hexEncodeLower(const unsigned char *in, size_t n, char *out) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = kDigits[in[i] >> 4];
        out[2 * i + 1] = kDigits[in[i] & 15];
    }
}

#endif  // QOLT_HEX_H
