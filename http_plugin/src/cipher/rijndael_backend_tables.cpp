// The table-driven backend: FIPS-197 rounds as four look-ups per column in
// the combined SubBytes/MixColumns tables.  Portable and fast, but every
// look-up is indexed by key and data, so it leaks through cache timing: the
// cipher never chooses it.  It stays as the reference that tests and
// benchmarks pin.
//
// A column of the state, or a word of a round key, is a uint32_t with its
// row-0 byte in the low 8 bits, as in the tables: a little-endian load of the
// column's four bytes, byte-swapped on big-endian hosts.
#include <cstring>

#if defined(__aarch64__) || defined(__i386__)
#include "rijndael_clearing.h"
#endif
#include "byte_order.h"
#include "rijndael_tables.h"
#include "rijndael_word_cfb.h"
#include "wipe.h"

namespace {

const RijndaelTables &tables = kRijndaelTables;

QOLT_FORCE_INLINE uint32_t load32(const unsigned char *p) { return load32le(p); }
QOLT_FORCE_INLINE void store32(unsigned char *p, uint32_t w) { store32le(p, w); }

struct Block {
    uint32_t c0, c1, c2, c3;
};

QOLT_FORCE_INLINE Block operator^(const Block &a, const Block &b) {
    return {a.c0 ^ b.c0, a.c1 ^ b.c1, a.c2 ^ b.c2, a.c3 ^ b.c3};
}

QOLT_FORCE_INLINE Block loadBlock(const unsigned char *p) {
    return {load32(p), load32(p + 4), load32(p + 8), load32(p + 12)};
}

QOLT_FORCE_INLINE uint32_t b0(uint32_t w) { return w & 0xff; }
QOLT_FORCE_INLINE uint32_t b1(uint32_t w) { return (w >> 8) & 0xff; }
QOLT_FORCE_INLINE uint32_t b2(uint32_t w) { return (w >> 16) & 0xff; }
QOLT_FORCE_INLINE uint32_t b3(uint32_t w) { return w >> 24; }

// One column of a full round: the look-ups of rows 0 to 3 from the bytes
// r0 to r3, and the round-key word k.
QOLT_FORCE_INLINE uint32_t roundColumn(const uint32_t (&T)[4][256], uint32_t r0, uint32_t r1,
                                       uint32_t r2, uint32_t r3, uint32_t k) {
    return T[0][r0] ^ T[1][r1] ^ T[2][r2] ^ T[3][r3] ^ k;
}

// SubBytes, ShiftRows and MixColumns by table, then the round key at k.
// Row r of new column c comes from column c + r.
QOLT_FORCE_INLINE Block encRound(const Block &s, const unsigned char *k) {
    const uint32_t(&E)[4][256] = tables.enc;
    return {roundColumn(E, b0(s.c0), b1(s.c1), b2(s.c2), b3(s.c3), load32(k)),
            roundColumn(E, b0(s.c1), b1(s.c2), b2(s.c3), b3(s.c0), load32(k + 4)),
            roundColumn(E, b0(s.c2), b1(s.c3), b2(s.c0), b3(s.c1), load32(k + 8)),
            roundColumn(E, b0(s.c3), b1(s.c0), b2(s.c1), b3(s.c2), load32(k + 12))};
}

QOLT_FORCE_INLINE uint32_t subColumn(const uint8_t *box, uint32_t r0, uint32_t r1, uint32_t r2,
                                     uint32_t r3) {
    return uint32_t(box[r0]) | uint32_t(box[r1]) << 8 | uint32_t(box[r2]) << 16 |
           uint32_t(box[r3]) << 24;
}

QOLT_FORCE_INLINE Block encLast(const Block &s, const unsigned char *k) {
    const uint8_t *S = tables.sbox;
    return {subColumn(S, b0(s.c0), b1(s.c1), b2(s.c2), b3(s.c3)) ^ load32(k),
            subColumn(S, b0(s.c1), b1(s.c2), b2(s.c3), b3(s.c0)) ^ load32(k + 4),
            subColumn(S, b0(s.c2), b1(s.c3), b2(s.c0), b3(s.c1)) ^ load32(k + 8),
            subColumn(S, b0(s.c3), b1(s.c0), b2(s.c1), b3(s.c2)) ^ load32(k + 12)};
}

// InvSubBytes, InvShiftRows and InvMixColumns by table, then the converted
// round key at k.  Row r of new column c comes from column c - r.
QOLT_FORCE_INLINE Block decRound(const Block &s, const unsigned char *k) {
    const uint32_t(&D)[4][256] = tables.dec;
    return {roundColumn(D, b0(s.c0), b1(s.c3), b2(s.c2), b3(s.c1), load32(k)),
            roundColumn(D, b0(s.c1), b1(s.c0), b2(s.c3), b3(s.c2), load32(k + 4)),
            roundColumn(D, b0(s.c2), b1(s.c1), b2(s.c0), b3(s.c3), load32(k + 8)),
            roundColumn(D, b0(s.c3), b1(s.c2), b2(s.c1), b3(s.c0), load32(k + 12))};
}

QOLT_FORCE_INLINE Block decLast(const Block &s, const unsigned char *k) {
    const uint8_t *S = tables.invSbox;
    return {subColumn(S, b0(s.c0), b1(s.c3), b2(s.c2), b3(s.c1)) ^ load32(k),
            subColumn(S, b0(s.c1), b1(s.c0), b2(s.c3), b3(s.c2)) ^ load32(k + 4),
            subColumn(S, b0(s.c2), b1(s.c1), b2(s.c0), b3(s.c3)) ^ load32(k + 8),
            subColumn(S, b0(s.c3), b1(s.c2), b2(s.c1), b3(s.c0)) ^ load32(k + 12)};
}

struct Tables : WordCfb<Tables> {
    static constexpr unsigned kLanes = 1;
    // Two blocks a round at a time, so that the look-ups of one overlap the
    // dependency chain of the other.
    static constexpr unsigned kInFlight = 2;
    using Reg = Block;
    using Tail = Tables;

    // The round keys are read where they lie, at offsets fixed by R.
    template <unsigned R>
    struct Keys {
        const unsigned char *rk;
        Keys(const unsigned char *schedule, unsigned /* rounds, which is R */,
             bool /* decrypting */)
            : rk(schedule) {}
    };

    static QOLT_FORCE_INLINE Block load(const unsigned char *p) { return loadBlock(p); }
    static QOLT_FORCE_INLINE void store(unsigned char *p, const Block &s) {
        store32(p, s.c0);
        store32(p + 4, s.c1);
        store32(p + 8, s.c2);
        store32(p + 12, s.c3);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, Block (&x)[N]) {
        const Block k = loadBlock(ks.rk);
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = x[i] ^ k;
        QOLT_UNROLL_ALL
        for (unsigned r = 1; r < R; ++r) {
            QOLT_UNROLL_ALL
            for (size_t i = 0; i < N; ++i) x[i] = encRound(x[i], ks.rk + 16 * r);
        }
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = encLast(x[i], ks.rk + 16 * R);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, Block (&x)[N]) {
        const Block k = loadBlock(ks.rk + 16 * R);
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = x[i] ^ k;
        QOLT_UNROLL_ALL
        for (unsigned r = R - 1; r > 0; --r) {
            QOLT_UNROLL_ALL
            for (size_t i = 0; i < N; ++i) x[i] = decRound(x[i], ks.rk + 16 * r);
        }
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = decLast(x[i], ks.rk);
    }

    // Column 0 is the top 32 bits of the register, its first byte lowest.
    static QOLT_FORCE_INLINE Block fromShiftRegisters(const uint64_t *hl) {
        return {__builtin_bswap32(uint32_t(hl[0] >> 32)), __builtin_bswap32(uint32_t(hl[0])),
                __builtin_bswap32(uint32_t(hl[1] >> 32)), __builtin_bswap32(uint32_t(hl[1]))};
    }
    static QOLT_FORCE_INLINE unsigned keystreamBits(const Block &x) { return (x.c0 >> 7) & 1; }
};

// FIPS-197 5.2 KeyExpansion, its S-box look-ups indexed by key bytes.
void tablesExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    const RijndaelTables &t = kRijndaelTables;
    const unsigned nk = rounds - 6;
    unsigned char tk[8][4];
    qoltCopy(tk, key, 4 * nk);

    // The words of tk are placed four to a round key, from round r, column
    // c on; words that would fall after round key `rounds` are dropped.
    unsigned r = 0, c = 0, step = 0;
    for (;;) {
        for (unsigned j = 0; j < nk && r <= rounds; ++j) {
            memcpy(rk + 16 * r + 4 * c, tk[j], 4);
            if (++c == 4) c = 0, ++r;
        }
        if (r > rounds) break;

        const unsigned char *last = tk[nk - 1];
        tk[0][0] ^= t.sbox[last[1]] ^ t.rcon[step++];
        tk[0][1] ^= t.sbox[last[2]];
        tk[0][2] ^= t.sbox[last[3]];
        tk[0][3] ^= t.sbox[last[0]];
        const unsigned firstHalf = nk == 8 ? 4 : nk;
        for (unsigned j = 1; j < firstHalf; ++j)
            for (int b = 0; b < 4; ++b) tk[j][b] ^= tk[j - 1][b];
        if (nk == 8) {
            for (int b = 0; b < 4; ++b) tk[4][b] ^= t.sbox[tk[3][b]];
            for (unsigned j = 5; j < 8; ++j)
                for (int b = 0; b < 4; ++b) tk[j][b] ^= tk[j - 1][b];
        }
    }
    qoltWipe(tk, sizeof tk);
    qoltClearVectorRegisters();
}

// The InvMixColumns conversion of 5.3.5, by the key-conversion tables.
void tablesInvertKey(unsigned rounds, unsigned char *rk) {
    const uint32_t(&K)[4][256] = kRijndaelTables.keyDec;
    for (unsigned i = 4; i < 4 * rounds; ++i) {
        unsigned char *w = rk + 4 * i;
        uint32_t v = K[0][w[0]] ^ K[1][w[1]] ^ K[2][w[2]] ^ K[3][w[3]];
        for (int b = 0; b < 4; ++b, v >>= 8) w[b] = static_cast<unsigned char>(v);
    }
    qoltClearVectorRegisters();
}

}  // namespace

#if defined(__aarch64__) || defined(__i386__)
// See rijndael_clearing.h: NEON registers, and 32-bit x86's spills.
const RijndaelBackend kRijndaelTablesBackend =
    clearingBackend<Tables, tablesExpandKey, tablesInvertKey>();
#else
const RijndaelBackend kRijndaelTablesBackend =
    ModeLoops<Tables>::backend(tablesExpandKey, tablesInvertKey);
#endif
