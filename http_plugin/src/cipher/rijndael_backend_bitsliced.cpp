// The bitsliced backend: constant-time AES in portable C++, for processors
// without AES instructions and for other architectures.
//
// Layout (after Pornin's constant-time AES): four blocks share eight 64-bit
// words, word j holding bit j of every state byte.  The byte in row r,
// column c of block b sits at bit 16 * r + 4 * c + b, so a row is a 16-bit
// slice: MixColumns reaches the next row by rotating a word 16 bits, and
// ShiftRows rotates each slice by whole columns.
//
// SubBytes is the circuit of Boyar and Peralta ("A depth-16 circuit for the
// AES S-box", 2011): 128 gates in a linear layer, a non-linear middle of 34
// ANDs and 29 XORs, and a linear layer with the affine map folded in.  InvSubBytes wraps the same
// circuit in FIPS-197's inverse affine map on both sides: the S-box is the
// affine map after inversion, so its inverse is inversion after the inverse
// map, and inversion is the S-box with the map undone.
//
// Constant time: every step is AND, XOR, OR, NOT, shifts and rotations by
// fixed amounts, and subtraction; no branch and no address depends on the
// key, the vector or the data, in the key schedule either.
//
// The schedule stays in Rijndael's byte format; each call packs the round
// keys it uses into the layout (Keys), each key repeated in all four blocks.
// Decryption is FIPS-197's equivalent inverse cipher on the stored keys.
#include <cstring>

#if defined(__aarch64__)
#include "rijndael_clearing.h"
#endif
#include "byte_order.h"
#include "rijndael_key_expansion.h"
#include "rijndael_word_cfb.h"

namespace {

QOLT_FORCE_INLINE uint64_t rotr(uint64_t x, unsigned n) { return x >> n | x << (64 - n); }

// A block as two little-endian words: bytes 0 to 7 and 8 to 15.
struct Block {
    uint64_t lo, hi;
};

QOLT_FORCE_INLINE Block operator^(const Block &a, const Block &b) {
    return {a.lo ^ b.lo, a.hi ^ b.hi};
}

// ---- Packing: blocks to words and back ------------------------------------

// The four bytes of x at the even byte positions of a word.
QOLT_FORCE_INLINE uint64_t spreadBytes(uint64_t x) {
    x = (x | x << 16) & 0x0000ffff0000ffff;
    return (x | x << 8) & 0x00ff00ff00ff00ff;
}

// The inverse: the even bytes of x, gathered into its low 32 bits.
QOLT_FORCE_INLINE uint64_t gatherBytes(uint64_t x) {
    x &= 0x00ff00ff00ff00ff;
    x = (x | x >> 8) & 0x0000ffff0000ffff;
    return (x | x >> 16) & 0xffffffff;
}

// Swaps the bits of a under mask << n with those of b under mask.
QOLT_FORCE_INLINE void swapBits(uint64_t &a, uint64_t &b, uint64_t mask, unsigned n) {
    const uint64_t t = ((a >> n) ^ b) & mask;
    b ^= t;
    a ^= t << n;
}

// The 8 x 8 bit transpose within each byte position: afterwards bit
// 8 * k + i of word j is what bit 8 * k + j of word i was.  Its own inverse.
QOLT_FORCE_INLINE void ortho(uint64_t (&q)[8]) {
    constexpr uint64_t m1 = 0x5555555555555555, m2 = 0x3333333333333333, m4 = 0x0f0f0f0f0f0f0f0f;
    swapBits(q[0], q[1], m1, 1), swapBits(q[2], q[3], m1, 1);
    swapBits(q[4], q[5], m1, 1), swapBits(q[6], q[7], m1, 1);
    swapBits(q[0], q[2], m2, 2), swapBits(q[1], q[3], m2, 2);
    swapBits(q[4], q[6], m2, 2), swapBits(q[5], q[7], m2, 2);
    swapBits(q[0], q[4], m4, 4), swapBits(q[1], q[5], m4, 4);
    swapBits(q[2], q[6], m4, 4), swapBits(q[3], q[7], m4, 4);
}

// A block's columns 0 and 2 interleaved byte by byte (row 0 of column 0,
// row 0 of column 2, row 1 of column 0, ...) in even, columns 1 and 3 in odd.
QOLT_FORCE_INLINE void interleaveColumns(const Block &x, uint64_t &even, uint64_t &odd) {
    even = spreadBytes(x.lo & 0xffffffff) | spreadBytes(x.hi & 0xffffffff) << 8;
    odd = spreadBytes(x.lo >> 32) | spreadBytes(x.hi >> 32) << 8;
}

// Up to four blocks into one set of words; missing blocks are zero.  Block
// b's interleaved columns go to words b and 4 + b, where the transpose puts
// row r, column c of block b at bit 16 * r + 4 * c + b.
template <size_t N>
QOLT_FORCE_INLINE void pack(const Block *x, uint64_t (&q)[8]) {
#pragma GCC unroll 4
    for (size_t b = 0; b < 4; ++b) {
        if (b < N) {
            interleaveColumns(x[b], q[b], q[b + 4]);
        } else {
            q[b] = q[b + 4] = 0;
        }
    }
    ortho(q);
}

template <size_t N>
QOLT_FORCE_INLINE void unpack(uint64_t (&q)[8], Block *x) {
    ortho(q);
#pragma GCC unroll 4
    for (size_t b = 0; b < N; ++b) {
        const uint64_t even = q[b], odd = q[b + 4];
        x[b].lo = gatherBytes(even) | gatherBytes(odd) << 32;
        x[b].hi = gatherBytes(even >> 8) | gatherBytes(odd >> 8) << 32;
    }
}

// ---- The round functions, on a set of words ---------------------------------

// FIPS-197 SubBytes: Boyar and Peralta's circuit.  Their inputs U0 to U7 and
// outputs S0 to S7 run from the most significant bit down.
QOLT_FORCE_INLINE void subBytes(uint64_t (&q)[8]) {
    const uint64_t u0 = q[7], u1 = q[6], u2 = q[5], u3 = q[4], u4 = q[3], u5 = q[2], u6 = q[1],
                   u7 = q[0];
    // Top linear layer.
    const uint64_t t1 = u0 ^ u3, t2 = u0 ^ u5, t3 = u0 ^ u6, t4 = u3 ^ u5, t5 = u4 ^ u6;
    const uint64_t t6 = t1 ^ t5, t7 = u1 ^ u2, t8 = u7 ^ t6, t9 = u7 ^ t7, t10 = t6 ^ t7;
    const uint64_t t11 = u1 ^ u5, t12 = u2 ^ u5, t13 = t3 ^ t4, t14 = t6 ^ t11, t15 = t5 ^ t11;
    const uint64_t t16 = t5 ^ t12, t17 = t9 ^ t16, t18 = u3 ^ u7, t19 = t7 ^ t18, t20 = t1 ^ t19;
    const uint64_t t21 = u6 ^ u7, t22 = t7 ^ t21, t23 = t2 ^ t22, t24 = t2 ^ t10, t25 = t20 ^ t17;
    const uint64_t t26 = t3 ^ t16, t27 = t1 ^ t12;
    // Non-linear middle: inversion in GF(2^8) through its subfields.
    const uint64_t m1 = t13 & t6, m2 = t23 & t8, m3 = t14 ^ m1, m4 = t19 & u7, m5 = m4 ^ m1;
    const uint64_t m6 = t3 & t16, m7 = t22 & t9, m8 = t26 ^ m6, m9 = t20 & t17, m10 = m9 ^ m6;
    const uint64_t m11 = t1 & t15, m12 = t4 & t27, m13 = m12 ^ m11, m14 = t2 & t10, m15 = m14 ^ m11;
    const uint64_t m16 = m3 ^ m2, m17 = m5 ^ t24, m18 = m8 ^ m7, m19 = m10 ^ m15, m20 = m16 ^ m13;
    const uint64_t m21 = m17 ^ m15, m22 = m18 ^ m13, m23 = m19 ^ t25, m24 = m22 ^ m23;
    const uint64_t m25 = m22 & m20, m26 = m21 ^ m25, m27 = m20 ^ m21, m28 = m23 ^ m25;
    const uint64_t m29 = m28 & m27, m30 = m26 & m24, m31 = m20 & m23, m32 = m27 & m31;
    const uint64_t m33 = m27 ^ m25, m34 = m21 & m22, m35 = m24 & m34, m36 = m24 ^ m25;
    const uint64_t m37 = m21 ^ m29, m38 = m32 ^ m33, m39 = m23 ^ m30, m40 = m35 ^ m36;
    const uint64_t m41 = m38 ^ m40, m42 = m37 ^ m39, m43 = m37 ^ m38, m44 = m39 ^ m40,
                   m45 = m42 ^ m41;
    const uint64_t m46 = m44 & t6, m47 = m40 & t8, m48 = m39 & u7, m49 = m43 & t16, m50 = m38 & t9;
    const uint64_t m51 = m37 & t17, m52 = m42 & t15, m53 = m45 & t27, m54 = m41 & t10,
                   m55 = m44 & t13;
    const uint64_t m56 = m40 & t23, m57 = m39 & t19, m58 = m43 & t3, m59 = m38 & t22,
                   m60 = m37 & t20;
    const uint64_t m61 = m42 & t1, m62 = m45 & t4, m63 = m41 & t2;
    // Bottom linear layer, the affine map folded in.
    const uint64_t l0 = m61 ^ m62, l1 = m50 ^ m56, l2 = m46 ^ m48, l3 = m47 ^ m55, l4 = m54 ^ m58;
    const uint64_t l5 = m49 ^ m61, l6 = m62 ^ l5, l7 = m46 ^ l3, l8 = m51 ^ m59, l9 = m52 ^ m53;
    const uint64_t l10 = m53 ^ l4, l11 = m60 ^ l2, l12 = m48 ^ m51, l13 = m50 ^ l0, l14 = m52 ^ m61;
    const uint64_t l15 = m55 ^ l1, l16 = m56 ^ l0, l17 = m57 ^ l1, l18 = m58 ^ l8, l19 = m63 ^ l4;
    const uint64_t l20 = l0 ^ l1, l21 = l1 ^ l7, l22 = l3 ^ l12, l23 = l18 ^ l2, l24 = l15 ^ l9;
    const uint64_t l25 = l6 ^ l10, l26 = l7 ^ l9, l27 = l8 ^ l10, l28 = l11 ^ l14, l29 = l11 ^ l17;
    q[7] = l6 ^ l24;
    q[6] = ~(l16 ^ l26);
    q[5] = ~(l19 ^ l28);
    q[4] = l6 ^ l21;
    q[3] = l20 ^ l22;
    q[2] = l25 ^ l29;
    q[1] = ~(l13 ^ l27);
    q[0] = ~(l6 ^ l23);
}

// FIPS-197 5.3.2's inverse affine map: bit i of the result is the sum of
// bits i + 2, i + 5 and i + 7, plus bit i of 0x05.
QOLT_FORCE_INLINE void invAffine(uint64_t (&q)[8]) {
    const uint64_t x0 = q[0], x1 = q[1], x2 = q[2], x3 = q[3], x4 = q[4], x5 = q[5], x6 = q[6],
                   x7 = q[7];
    q[0] = ~(x2 ^ x5 ^ x7);
    q[1] = x3 ^ x6 ^ x0;
    q[2] = ~(x4 ^ x7 ^ x1);
    q[3] = x5 ^ x0 ^ x2;
    q[4] = x6 ^ x1 ^ x3;
    q[5] = x7 ^ x2 ^ x4;
    q[6] = x0 ^ x3 ^ x5;
    q[7] = x1 ^ x4 ^ x6;
}

QOLT_FORCE_INLINE void invSubBytes(uint64_t (&q)[8]) {
    invAffine(q);
    subBytes(q);
    invAffine(q);
}

// Row r rotates by r columns, 4 * r bits within its 16-bit slice: rows 1
// and 3 by one column, then rows 2 and 3 by two, a swap of bytes.  That is
// 13 operations a word against 19 for each row's two parts masked apart,
// and the cipher 8 % faster.
QOLT_FORCE_INLINE uint64_t swapRowBytes(uint64_t x) {
    const uint64_t t = (x ^ x >> 8) & 0x00ff00ff00000000;
    return x ^ t ^ t << 8;
}

QOLT_FORCE_INLINE uint64_t shiftRows(uint64_t x) {
    x = (x & 0x0000ffff0000ffff) | (x >> 4 & 0x0fff00000fff0000) | (x << 12 & 0xf0000000f0000000);
    return swapRowBytes(x);
}

QOLT_FORCE_INLINE uint64_t invShiftRows(uint64_t x) {
    x = (x & 0x0000ffff0000ffff) | (x << 4 & 0xfff00000fff00000) | (x >> 12 & 0x000f0000000f0000);
    return swapRowBytes(x);
}

// Multiplication by x (FIPS-197 xtime) of every byte: bit i takes bit i - 1,
// and the top bit folds back by the polynomial's 0x1b.
QOLT_FORCE_INLINE void xtime(const uint64_t (&t)[8], uint64_t (&d)[8]) {
    d[0] = t[7];
    d[1] = t[0] ^ t[7];
    d[2] = t[1];
    d[3] = t[2] ^ t[7];
    d[4] = t[3] ^ t[7];
    d[5] = t[4];
    d[6] = t[5];
    d[7] = t[6];
}

// MixColumns: 2 a ^ 3 b ^ c ^ d for the column's rows a, b, c, d from the
// row down, computed as 2 (a ^ b) ^ b ^ (c ^ d); c ^ d is a ^ b two rows on.
QOLT_FORCE_INLINE void mixColumns(uint64_t (&q)[8]) {
    uint64_t b[8], t[8], t2[8];
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) {
        b[j] = rotr(q[j], 16);
        t[j] = q[j] ^ b[j];
    }
    xtime(t, t2);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = t2[j] ^ b[j] ^ rotr(t[j], 32);
}

// InvMixColumns as MixColumns after the map that makes each byte a of a
// column 5 a ^ 4 c, c the byte two rows on: FIPS-197's inverse matrix is
// the product of the two.
QOLT_FORCE_INLINE void invMixColumns(uint64_t (&q)[8]) {
    uint64_t u[8], u2[8], u4[8];
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) u[j] = q[j] ^ rotr(q[j], 32);
    xtime(u, u2);
    xtime(u2, u4);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = q[j] ^ u4[j];
    mixColumns(q);
}

QOLT_FORCE_INLINE void addRoundKey(uint64_t (&q)[8], const uint64_t (&k)[8]) {
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = q[j] ^ k[j];
}

// ---- Round keys -----------------------------------------------------------

// One round key in the layout, repeated in the four blocks: pack() of four
// copies, with the transpose worked out for copies.  Words 0 to 3 of the
// transpose's input would all be `even`, 4 to 7 all `odd`; bit j of each
// byte of those, spread over four bits, is output word j.
QOLT_FORCE_INLINE void packKey(const unsigned char *p, uint64_t (&k)[8]) {
    uint64_t even, odd;
    interleaveColumns({load64le(p), load64le(p + 8)}, even, odd);
    constexpr uint64_t low4 = 0x0f0f0f0f0f0f0f0f, ones = 0x1111111111111111;
    // Bits 0-3 of each byte of even in the low nibble, of odd in the high
    // one; bits 4-7 likewise.
    const uint64_t bits03 = (even & low4) | (odd & low4) << 4;
    const uint64_t bits47 = (even >> 4 & low4) | (odd & ~low4);
#pragma GCC unroll 4
    for (unsigned j = 0; j < 4; ++j) {
        // One bit at the bottom of each nibble; times 15 fills the nibble.
        const uint64_t a = bits03 >> j & ones, b = bits47 >> j & ones;
        k[j] = (a << 4) - a;
        k[j + 4] = (b << 4) - b;
    }
}

// The round keys of one call, packed: as many as the key length has, in
// room for the longest.
struct BitslicedKeys {
    uint64_t k[15][8];
    unsigned rounds;
    // The same keys serve both directions (the equivalent inverse cipher).
    BitslicedKeys(const unsigned char *rk, unsigned n, bool decrypting = false);
};

// Out of line: every loop of every mode keys itself.
__attribute__((noinline)) BitslicedKeys::BitslicedKeys(const unsigned char *rk, unsigned n, bool)
    : rounds(n) {
    for (unsigned r = 0; r <= n; ++r) packKey(rk + 16 * r, k[r]);
}

// ---- The cipher on N blocks ------------------------------------------------

template <unsigned R>
QOLT_FORCE_INLINE void encryptWords(const BitslicedKeys &ks, uint64_t (&q)[8]) {
    addRoundKey(q, ks.k[0]);
    for (unsigned r = 1; r < R; ++r) {
        subBytes(q);
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j) q[j] = shiftRows(q[j]);
        mixColumns(q);
        addRoundKey(q, ks.k[r]);
    }
    subBytes(q);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = shiftRows(q[j]);
    addRoundKey(q, ks.k[R]);
}

// The equivalent inverse cipher (FIPS-197 5.3.5): the middle round keys are
// stored converted by InvMixColumns.
template <unsigned R>
QOLT_FORCE_INLINE void decryptWords(const BitslicedKeys &ks, uint64_t (&q)[8]) {
    addRoundKey(q, ks.k[R]);
    for (unsigned r = R - 1; r > 0; --r) {
        invSubBytes(q);
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j) q[j] = invShiftRows(q[j]);
        invMixColumns(q);
        addRoundKey(q, ks.k[r]);
    }
    invSubBytes(q);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = invShiftRows(q[j]);
    addRoundKey(q, ks.k[0]);
}

// The rounds, one copy per direction and key length: a round is kilobytes
// of code, so the loops call them rather than inline them, and the rounds
// themselves are not unrolled.  Only here does the key length pick a copy:
// measured, a round loop bounded at run time costs the decryption 3 % of
// its instructions, and this is the one place where that weighs.
template <bool kDecrypt>
__attribute__((noinline)) void cryptWords(const BitslicedKeys &ks, uint64_t (&q)[8]) {
    withRounds(ks.rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
        constexpr unsigned R = decltype(r)::value;
        if (kDecrypt)
            decryptWords<R>(ks, q);
        else
            encryptWords<R>(ks, q);
    });
}

// The cipher on one to four blocks, for the price of four.
template <bool kDecrypt, size_t N>
QOLT_FORCE_INLINE void crypt(const BitslicedKeys &ks, Block (&x)[N]) {
    static_assert(N >= 1 && N <= 4, "a set of words holds four blocks");
    uint64_t q[8];
    pack<N>(x, q);
    cryptWords<kDecrypt>(ks, q);
    unpack<N>(q, x);
}

// The block primitives of rijndael_modes.h, a Reg being one block.  One set
// of words at a time: measured, two sets interleaved (eight blocks) run a
// fifth slower, their sixteen words and temporaries spilling to the stack.
struct Bitsliced : WordCfb<Bitsliced> {
    static constexpr unsigned kLanes = 1;
    static constexpr unsigned kInFlight = 4;
    // A group of one to three blocks costs what four do: the last ones go
    // through as one group.
    static constexpr bool kGroupTails = true;
    using Reg = Block;
    using Tail = Bitsliced;
    // A round is a few hundred instructions: one copy of the loops serves
    // every key length.
    static constexpr bool kRoundsAtRunTime = true;
    template <unsigned R>
    using Keys = BitslicedKeys;

    static QOLT_FORCE_INLINE Block load(const unsigned char *p) {
        return {load64le(p), load64le(p + 8)};
    }
    static QOLT_FORCE_INLINE void store(unsigned char *p, const Block &x) {
        store64le(p, x.lo);
        store64le(p + 8, x.hi);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, Block (&x)[N]) {
        crypt<false>(ks, x);
    }
    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, Block (&x)[N]) {
        crypt<true>(ks, x);
    }

    // The shift register's big-endian halves, byte-reversed into the words.
    static QOLT_FORCE_INLINE Block fromShiftRegisters(const uint64_t *hl) {
        return {__builtin_bswap64(hl[0]), __builtin_bswap64(hl[1])};
    }
    static QOLT_FORCE_INLINE unsigned keystreamBits(const Block &x) {
        return unsigned(x.lo >> 7) & 1;
    }
};

// ---- Key schedule ---------------------------------------------------------

// SubWord (FIPS-197 5.2) through the S-box circuit: plane j holds bit j of
// the word's four bytes at bits 0, 8, 16 and 24.  Out of line: the unrolled
// expansion calls it.
__attribute__((noinline)) uint32_t subWord(uint32_t w) {
    uint64_t q[8];
#pragma GCC unroll 8
    for (unsigned j = 0; j < 8; ++j) q[j] = w >> j & 0x01010101;
    subBytes(q);
    uint32_t s = 0;
#pragma GCC unroll 8
    for (unsigned j = 0; j < 8; ++j) s |= uint32_t(q[j] & 0x01010101) << j;
    return s;
}

// FIPS-197 KeyExpansion with the circuit's SubWord.  Not inlined, so that
// its frame, where subWord's bit-planes spill, lies below the caller's.
__attribute__((noinline)) void expandKeyWords(const unsigned char *key, unsigned rounds,
                                              unsigned char *rk) {
    rijndaelExpandKey(key, rounds, rk, subWord);
}

// The expansion leaves the bit-planes of key words in its frame and
// subWord's: that depth, a few hundred bytes at -O0, is cleared below this
// frame, and the registers with it.
constexpr size_t kExpandKeyStack = 1024;

void bitslicedExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    expandKeyWords(key, rounds, rk);
    qoltWipeStackBelow<kExpandKeyStack>();
    qoltClearVectorRegisters();
}

// xtime of each byte of a column word, by masks.
QOLT_FORCE_INLINE uint32_t xtime32(uint32_t w) {
    const uint32_t top = w >> 7 & 0x01010101;
    return (w & 0x7f7f7f7f) << 1 ^ top ^ top << 1 ^ top << 3 ^ top << 4;
}

QOLT_FORCE_INLINE uint32_t rotr32(uint32_t w, unsigned n) { return w >> n | w << (32 - n); }

// InvMixColumns of round keys 1 to rounds - 1, as in invMixColumns() above
// but on one column word, row 0 lowest.
void bitslicedInvertKey(unsigned rounds, unsigned char *rk) {
    for (unsigned i = 4; i < 4 * rounds; ++i) {
        uint32_t a = load32le(rk + 4 * i);
        a ^= xtime32(xtime32(a ^ rotr32(a, 16)));
        const uint32_t b = rotr32(a, 8), t = a ^ b;
        store32le(rk + 4 * i, xtime32(t) ^ b ^ rotr32(t, 16));
    }
    qoltClearVectorRegisters();
}

}  // namespace

#if defined(__aarch64__)
// Compilers vectorise this code with NEON: see rijndael_clearing.h.
const RijndaelBackend kRijndaelBitslicedBackend =
    clearingBackend<Bitsliced, bitslicedExpandKey, bitslicedInvertKey>();
#else
const RijndaelBackend kRijndaelBitslicedBackend =
    ModeLoops<Bitsliced>::backend(bitslicedExpandKey, bitslicedInvertKey);
#endif
