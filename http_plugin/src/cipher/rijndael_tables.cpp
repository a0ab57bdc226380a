// The Rijndael tables, generated at compile time from GF(2^8) arithmetic
// modulo x^8 + x^4 + x^3 + x + 1 (FIPS-197 section 4).  The definition is
// constexpr, so the compiler rejects any entry it cannot compute and the
// object is constant data: nothing runs at load time.
#include "rijndael_tables.h"

namespace {

constexpr uint8_t xtime(uint8_t a) { return uint8_t((a << 1) ^ ((a & 0x80) ? 0x1b : 0)); }

constexpr uint8_t mul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    for (; b != 0; b >>= 1, a = xtime(a))
        if (b & 1) product ^= a;
    return product;
}

// a^254, which is a^-1 for a != 0 and 0 for a == 0: a^2 * a^4 * ... * a^128.
constexpr uint8_t inverse(uint8_t a) {
    uint8_t result = 1;
    for (int i = 1; i < 8; ++i) {
        a = mul(a, a);
        result = mul(result, a);
    }
    return result;
}

constexpr uint8_t rotl8(uint8_t b, int n) { return uint8_t((b << n) | (b >> (8 - n))); }

// FIPS-197 5.1.1: the inverse followed by the affine transformation.
constexpr uint8_t sboxEntry(uint8_t x) {
    uint8_t b = inverse(x);
    return uint8_t(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
}

constexpr uint32_t column(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
    return uint32_t(r0) | uint32_t(r1) << 8 | uint32_t(r2) << 16 | uint32_t(r3) << 24;
}

constexpr uint32_t rotl32(uint32_t w, int n) { return n == 0 ? w : (w << n) | (w >> (32 - n)); }

// The column (a, b, c, d) * (02, 01, 01, 03) and * (0e, 09, 0d, 0b): the
// first columns of the MixColumns and InvMixColumns matrices.
constexpr uint32_t mixColumn(uint8_t s) { return column(mul(s, 2), s, s, mul(s, 3)); }
constexpr uint32_t invMixColumn(uint8_t s) {
    return column(mul(s, 14), mul(s, 9), mul(s, 13), mul(s, 11));
}

constexpr RijndaelTables makeTables() {
    RijndaelTables t{};
    for (int x = 0; x < 256; ++x) {
        uint8_t s = sboxEntry(uint8_t(x));
        t.sbox[x] = s;
        t.invSbox[s] = uint8_t(x);
    }
    for (int x = 0; x < 256; ++x) {
        uint32_t e = mixColumn(t.sbox[x]), d = invMixColumn(t.invSbox[x]),
                 k = invMixColumn(uint8_t(x));
        for (int row = 0; row < 4; ++row) {
            t.enc[row][x] = rotl32(e, 8 * row);
            t.dec[row][x] = rotl32(d, 8 * row);
            t.keyDec[row][x] = rotl32(k, 8 * row);
        }
    }
    uint8_t power = 1;
    for (int i = 0; i < 30; ++i, power = xtime(power)) t.rcon[i] = power;
    return t;
}

}  // namespace

// Cache-line aligned, so that each round table spans the fewest lines.
alignas(64) extern constexpr RijndaelTables kRijndaelTables = makeTables();
