// The base64 alphabet (RFC 4648 table 1) and its value table, both fixed at
// compile time.  The table is computed from the alphabet text, so the two
// cannot disagree; the tests decode every byte from 1 to 255, leading a group
// and between groups, against table 1's ranges (base64_test.cpp).
#ifndef QOLT_BASE64_ALPHABET_H
#define QOLT_BASE64_ALPHABET_H

// A character's value is its position in the text.
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct Base64Values {
    // value[c]: the position of byte c in the alphabet, or -1 when c is not
    // an alphabet character (the zero byte, the pad and white space included).
    signed char value[256];
};

constexpr Base64Values makeBase64Values() {
    Base64Values t{};
    for (int c = 0; c < 256; ++c) t.value[c] = -1;
    for (int v = 0; kBase64Alphabet[v] != '\0'; ++v)
        t.value[static_cast<unsigned char>(kBase64Alphabet[v])] = static_cast<signed char>(v);
    return t;
}

inline constexpr Base64Values kBase64Values = makeBase64Values();

static_assert(sizeof(kBase64Alphabet) == 65, "64 characters and the terminator");
static_assert(kBase64Values.value[0x41] == 0 && kBase64Values.value[0x2f] == 63 &&
                  kBase64Values.value[0x3d] == -1 && kBase64Values.value[0] == -1,
              "base64 value table: 'A' is 0, '/' is 63, '=' and NUL are no characters");

#endif  // QOLT_BASE64_ALPHABET_H
