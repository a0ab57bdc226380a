// The bitsliced backend: constant-time AES in portable C++, for processors
// without AES instructions and for other architectures.
//
// Layout (after Pornin's constant-time AES): four blocks share eight 64-bit
// words, word j holding bit j of every state byte.  The byte in row r,
// column c of block b sits at bit 16 * r + 4 * c + b, so a row is a 16-bit
// slice: MixColumns reaches the next row by rotating a word 16 bits, and
// ShiftRows rotates each slice by whole columns.
//
// The round functions (SubBytes by Boyar and Peralta's circuit, MixColumns
// and their inverses) are rijndael_bitsliced_circuit.h's, shared with the
// SSSE3 backend's eight-block decryption; this file supplies the layout.
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
#include "rijndael_bitsliced_circuit.h"
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

// The transpose of bits within each byte position (transposeBits).
QOLT_FORCE_INLINE void ortho(uint64_t (&q)[8]) {
    transposeBits(q, [](uint64_t &a, uint64_t &b, unsigned n) QOLT_FORCE_INLINE_LAMBDA {
        const uint64_t t = ((a >> n) ^ b) & (0x0101010101010101 * transposeMask(n));
        b ^= t;
        a ^= t << n;
    });
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

// The layout's rows: the next row is the next 16-bit slice.
struct WordRows {
    template <unsigned k>
    static QOLT_FORCE_INLINE uint64_t rows(uint64_t x) {
        return rotr(x, 16 * k);
    }
};

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
        mixColumns(WordRows{}, q);
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
        invMixColumns(WordRows{}, q);
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
