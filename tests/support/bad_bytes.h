// Hostile texts shared by the bad-input tests of both libraries.
#ifndef QOLT_TESTS_BAD_BYTES_H
#define QOLT_TESTS_BAD_BYTES_H

#include <cstddef>
#include <string>

constexpr size_t k64MiB = size_t(64) << 20;

// Every byte from 0x80 to 0xFF: never ASCII, mostly not UTF-8 on its own.
inline std::string highBytes() {
    std::string s;
    for (int b = 0x80; b <= 0xff; ++b) s += static_cast<char>(b);
    return s;
}

// The control bytes 0x01 to 0x1F and 0x7F (the zero byte would end the text).
inline std::string controlBytes() {
    std::string s;
    for (int b = 0x01; b < 0x20; ++b) s += static_cast<char>(b);
    return s + '\x7f';
}

#endif  // QOLT_TESTS_BAD_BYTES_H
