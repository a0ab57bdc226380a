// Rijndael: key schedule, block cipher and the ECB, CBC and CFB1 loops.
// The contracts are in qolt/rijndael.h; the tables in rijndael_tables.cpp.
//
// A column of the state, or a word of a round key, is a uint32_t with its
// row-0 byte in the low 8 bits, as in the tables: a little-endian load of the
// column's four bytes, byte-swapped on big-endian hosts.
#include "qolt/rijndael.h"

#include <climits>
#include <cstring>

#include "rijndael_tables.h"

// The round helpers are small and hot; some compilers stop inlining them
// into the unrolled loops, which costs a call per round.
#define QOLT_HOT inline __attribute__((always_inline))

namespace {

const RijndaelTables &kT = kRijndaelTables;

// memcpy, not a cast pointer: any alignment, no aliasing question, and one
// plain move once compiled.
QOLT_HOT uint32_t load32(const unsigned char *p) {
    uint32_t w;
    memcpy(&w, p, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap32(w);
#endif
    return w;
}

QOLT_HOT void store32(unsigned char *p, uint32_t w) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap32(w);
#endif
    memcpy(p, &w, 4);
}

inline uint64_t load64be(const unsigned char *p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}

struct Block {
    uint32_t c0, c1, c2, c3;
};

QOLT_HOT Block loadBlock(const unsigned char *p) {
    return {load32(p), load32(p + 4), load32(p + 8), load32(p + 12)};
}

QOLT_HOT void storeBlock(unsigned char *p, const Block &s) {
    store32(p, s.c0);
    store32(p + 4, s.c1);
    store32(p + 8, s.c2);
    store32(p + 12, s.c3);
}

QOLT_HOT Block operator^(const Block &a, const Block &b) {
    return {a.c0 ^ b.c0, a.c1 ^ b.c1, a.c2 ^ b.c2, a.c3 ^ b.c3};
}

QOLT_HOT uint32_t b0(uint32_t w) { return w & 0xff; }
QOLT_HOT uint32_t b1(uint32_t w) { return (w >> 8) & 0xff; }
QOLT_HOT uint32_t b2(uint32_t w) { return (w >> 16) & 0xff; }
QOLT_HOT uint32_t b3(uint32_t w) { return w >> 24; }

// One column of a full round: the look-ups of rows 0 to 3 from the bytes
// r0 to r3, and the round-key word k.
QOLT_HOT uint32_t roundColumn(const uint32_t (&T)[4][256], uint32_t r0, uint32_t r1, uint32_t r2,
                              uint32_t r3, uint32_t k) {
    return T[0][r0] ^ T[1][r1] ^ T[2][r2] ^ T[3][r3] ^ k;
}

// SubBytes, ShiftRows and MixColumns by table, then the round key at k.
// Row r of new column c comes from column c + r.
QOLT_HOT Block encRound(const Block &s, const unsigned char *k) {
    const uint32_t(&E)[4][256] = kT.enc;
    return {roundColumn(E, b0(s.c0), b1(s.c1), b2(s.c2), b3(s.c3), load32(k)),
            roundColumn(E, b0(s.c1), b1(s.c2), b2(s.c3), b3(s.c0), load32(k + 4)),
            roundColumn(E, b0(s.c2), b1(s.c3), b2(s.c0), b3(s.c1), load32(k + 8)),
            roundColumn(E, b0(s.c3), b1(s.c0), b2(s.c1), b3(s.c2), load32(k + 12))};
}

QOLT_HOT uint32_t subColumn(const uint8_t *box, uint32_t r0, uint32_t r1, uint32_t r2,
                            uint32_t r3) {
    return uint32_t(box[r0]) | uint32_t(box[r1]) << 8 | uint32_t(box[r2]) << 16 |
           uint32_t(box[r3]) << 24;
}

QOLT_HOT Block encLast(const Block &s, const unsigned char *k) {
    const uint8_t *S = kT.sbox;
    return {subColumn(S, b0(s.c0), b1(s.c1), b2(s.c2), b3(s.c3)) ^ load32(k),
            subColumn(S, b0(s.c1), b1(s.c2), b2(s.c3), b3(s.c0)) ^ load32(k + 4),
            subColumn(S, b0(s.c2), b1(s.c3), b2(s.c0), b3(s.c1)) ^ load32(k + 8),
            subColumn(S, b0(s.c3), b1(s.c0), b2(s.c1), b3(s.c2)) ^ load32(k + 12)};
}

// InvSubBytes, InvShiftRows and InvMixColumns by table, then the converted
// round key at k.  Row r of new column c comes from column c - r.
QOLT_HOT Block decRound(const Block &s, const unsigned char *k) {
    const uint32_t(&D)[4][256] = kT.dec;
    return {roundColumn(D, b0(s.c0), b1(s.c3), b2(s.c2), b3(s.c1), load32(k)),
            roundColumn(D, b0(s.c1), b1(s.c0), b2(s.c3), b3(s.c2), load32(k + 4)),
            roundColumn(D, b0(s.c2), b1(s.c1), b2(s.c0), b3(s.c3), load32(k + 8)),
            roundColumn(D, b0(s.c3), b1(s.c2), b2(s.c1), b3(s.c0), load32(k + 12))};
}

QOLT_HOT Block decLast(const Block &s, const unsigned char *k) {
    const uint8_t *S = kT.invSbox;
    return {subColumn(S, b0(s.c0), b1(s.c3), b2(s.c2), b3(s.c1)) ^ load32(k),
            subColumn(S, b0(s.c1), b1(s.c0), b2(s.c3), b3(s.c2)) ^ load32(k + 4),
            subColumn(S, b0(s.c2), b1(s.c1), b2(s.c0), b3(s.c3)) ^ load32(k + 8),
            subColumn(S, b0(s.c3), b1(s.c2), b2(s.c1), b3(s.c0)) ^ load32(k + 12)};
}

// A key schedule as the loops see it: round key r at rk + 16 * r.  The
// number of rounds is part of the type, so that each key length gets its own
// copy of the loops, with the rounds unrolled and the round keys at fixed
// offsets.
template <unsigned R>
struct Schedule {
    static constexpr unsigned rounds = R;
    const unsigned char *rk;
};

// Calls f with the schedule at rk typed for its number of rounds.
template <class F>
inline void withSchedule(const unsigned char *rk, unsigned rounds, F &&f) {
    switch (rounds) {
    case 10: f(Schedule<10>{rk}); break;
    case 12: f(Schedule<12>{rk}); break;
    default: f(Schedule<14>{rk}); break;
    }
}

template <class KS>
QOLT_HOT Block encryptBlock(const KS &ks, Block s) {
    s = s ^ loadBlock(ks.rk);
#pragma GCC unroll 14
    for (unsigned r = 1; r < ks.rounds; ++r) s = encRound(s, ks.rk + 16 * r);
    return encLast(s, ks.rk + 16 * ks.rounds);
}

template <class KS>
QOLT_HOT Block decryptBlock(const KS &ks, Block s) {
    s = s ^ loadBlock(ks.rk + 16 * ks.rounds);
#pragma GCC unroll 14
    for (unsigned r = ks.rounds - 1; r > 0; --r) s = decRound(s, ks.rk + 16 * r);
    return decLast(s, ks.rk);
}

// Two independent blocks a round at a time, so that the look-ups of one
// overlap the dependency chain of the other.
template <class KS>
QOLT_HOT void encryptBlocks2(const KS &ks, Block &a, Block &b) {
    Block k = loadBlock(ks.rk);
    a = a ^ k;
    b = b ^ k;
#pragma GCC unroll 14
    for (unsigned r = 1; r < ks.rounds; ++r) {
        a = encRound(a, ks.rk + 16 * r);
        b = encRound(b, ks.rk + 16 * r);
    }
    a = encLast(a, ks.rk + 16 * ks.rounds);
    b = encLast(b, ks.rk + 16 * ks.rounds);
}

template <class KS>
QOLT_HOT void decryptBlocks2(const KS &ks, Block &a, Block &b) {
    Block k = loadBlock(ks.rk + 16 * ks.rounds);
    a = a ^ k;
    b = b ^ k;
#pragma GCC unroll 14
    for (unsigned r = ks.rounds - 1; r > 0; --r) {
        a = decRound(a, ks.rk + 16 * r);
        b = decRound(b, ks.rk + 16 * r);
    }
    a = decLast(a, ks.rk);
    b = decLast(b, ks.rk);
}

// The mode loops.  Each reads a block (or a pair) before writing it, so the
// output may be the input.

template <class KS>
void ecbEncrypt(const KS &ks, const unsigned char *in, unsigned char *out, size_t blocks) {
    for (; blocks >= 2; blocks -= 2, in += 32, out += 32) {
        Block a = loadBlock(in), b = loadBlock(in + 16);
        encryptBlocks2(ks, a, b);
        storeBlock(out, a);
        storeBlock(out + 16, b);
    }
    if (blocks) storeBlock(out, encryptBlock(ks, loadBlock(in)));
}

template <class KS>
void ecbDecrypt(const KS &ks, const unsigned char *in, unsigned char *out, size_t blocks) {
    for (; blocks >= 2; blocks -= 2, in += 32, out += 32) {
        Block a = loadBlock(in), b = loadBlock(in + 16);
        decryptBlocks2(ks, a, b);
        storeBlock(out, a);
        storeBlock(out + 16, b);
    }
    if (blocks) storeBlock(out, decryptBlock(ks, loadBlock(in)));
}

// Returns the chaining value after the last block.
template <class KS>
Block cbcEncrypt(const KS &ks, Block chain, const unsigned char *in, unsigned char *out,
                 size_t blocks) {
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        chain = encryptBlock(ks, loadBlock(in) ^ chain);
        storeBlock(out, chain);
    }
    return chain;
}

template <class KS>
void cbcDecrypt(const KS &ks, Block chain, const unsigned char *in, unsigned char *out,
                size_t blocks) {
    for (; blocks >= 2; blocks -= 2, in += 32, out += 32) {
        Block a = loadBlock(in), b = loadBlock(in + 16);
        Block pa = a, pb = b;
        decryptBlocks2(ks, pa, pb);
        storeBlock(out, pa ^ chain);
        storeBlock(out + 16, pb ^ a);
        chain = b;
    }
    if (blocks) storeBlock(out, decryptBlock(ks, loadBlock(in)) ^ chain);
}

// The shift register is a 128-bit big-endian number in two halves; the
// cipher sees it as bytes, column 0 being the top 32 bits of hi.
QOLT_HOT Block registerBlock(uint64_t hi, uint64_t lo) {
    return {__builtin_bswap32(uint32_t(hi >> 32)), __builtin_bswap32(uint32_t(hi)),
            __builtin_bswap32(uint32_t(lo >> 32)), __builtin_bswap32(uint32_t(lo))};
}

// Encrypting feeds back the output bit, so each bit waits for the encryption
// of the one before.
template <class KS>
void cfb1Encrypt(const KS &ks, const unsigned char iv[16], const unsigned char *in,
                 unsigned char *out, size_t blocks) {
    uint64_t hi = load64be(iv), lo = load64be(iv + 8);
    for (size_t n = 16 * blocks; n > 0; --n, ++in, ++out) {
        const unsigned inByte = *in;
        unsigned outByte = 0;
        for (int bit = 7; bit >= 0; --bit) {
            const unsigned key = (encryptBlock(ks, registerBlock(hi, lo)).c0 >> 7) & 1;
            const unsigned outBit = ((inByte >> bit) & 1) ^ key;
            outByte |= outBit << bit;
            hi = hi << 1 | lo >> 63;
            lo = lo << 1 | outBit;
        }
        *out = static_cast<unsigned char>(outByte);
    }
}

// Decrypting feeds back the input bit, known beforehand: the registers of
// two bits are encrypted at once.
template <class KS>
void cfb1Decrypt(const KS &ks, const unsigned char iv[16], const unsigned char *in,
                 unsigned char *out, size_t blocks) {
    uint64_t hi = load64be(iv), lo = load64be(iv + 8);
    for (size_t n = 16 * blocks; n > 0; --n, ++in, ++out) {
        const unsigned inByte = *in;
        unsigned outByte = 0;
        for (int bit = 7; bit > 0; bit -= 2) {
            const unsigned first = (inByte >> bit) & 1, second = (inByte >> (bit - 1)) & 1;
            const uint64_t hiNext = hi << 1 | lo >> 63, loNext = lo << 1 | first;
            Block a = registerBlock(hi, lo), b = registerBlock(hiNext, loNext);
            encryptBlocks2(ks, a, b);
            outByte |= (first ^ ((a.c0 >> 7) & 1)) << bit;
            outByte |= (second ^ ((b.c0 >> 7) & 1)) << (bit - 1);
            hi = hiNext << 1 | loNext >> 63;
            lo = loNext << 1 | second;
        }
        *out = static_cast<unsigned char>(outByte);
    }
}

}  // namespace

Rijndael::Rijndael() : keyState(Unkeyed) {}

Rijndael::~Rijndael() {}

int Rijndael::init(Mode newMode, Direction newDirection, const unsigned char *key,
                   KeyLength keyLen, const unsigned char *iv) {
    keyState = Unkeyed;
    if (newMode != ECB && newMode != CBC && newMode != CFB1) return ErrMode;
    mode = newMode;
    if (newDirection != Encrypt && newDirection != Decrypt) return ErrDirection;
    direction = newDirection;
    if (iv)
        memcpy(initVector, iv, sizeof initVector);
    else
        memset(initVector, 0, sizeof initVector);

    size_t keyBytes;
    switch (keyLen) {
    case Key128: keyBytes = 16, rounds = 10; break;
    case Key192: keyBytes = 24, rounds = 12; break;
    case Key256: keyBytes = 32, rounds = 14; break;
    default: return ErrKeyLength;
    }
    if (!key) return ErrNoKey;

    unsigned char rows[8][4] = {};
    memcpy(rows, key, keyBytes);
    keySched(rows);
    if (direction == Decrypt && mode != CFB1) keyEncToDec();
    keyState = Keyed;
    return 0;
}

void Rijndael::keySched(const unsigned char key[8][4]) {
    const unsigned nk = rounds - 6;
    unsigned char tk[8][4];
    memcpy(tk, key, sizeof tk);

    unsigned r = 0, c = 0, step = 0;
    for (;;) {
        for (unsigned j = 0; j < nk && r <= rounds; ++j) {
            memcpy(expandedKey[r][c], tk[j], 4);
            if (++c == 4) c = 0, ++r;
        }
        if (r > rounds) break;

        const unsigned char *last = tk[nk - 1];
        tk[0][0] ^= kT.sbox[last[1]] ^ kT.rcon[step++];
        tk[0][1] ^= kT.sbox[last[2]];
        tk[0][2] ^= kT.sbox[last[3]];
        tk[0][3] ^= kT.sbox[last[0]];
        const unsigned firstHalf = nk == 8 ? 4 : nk;
        for (unsigned j = 1; j < firstHalf; ++j)
            for (int b = 0; b < 4; ++b) tk[j][b] ^= tk[j - 1][b];
        if (nk == 8) {
            for (int b = 0; b < 4; ++b) tk[4][b] ^= kT.sbox[tk[3][b]];
            for (unsigned j = 5; j < 8; ++j)
                for (int b = 0; b < 4; ++b) tk[j][b] ^= tk[j - 1][b];
        }
    }
}

void Rijndael::keyEncToDec() {
    const uint32_t(&K)[4][256] = kT.keyDec;
    for (unsigned r = 1; r < rounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            const unsigned char *w = expandedKey[r][c];
            store32(expandedKey[r][c], K[0][w[0]] ^ K[1][w[1]] ^ K[2][w[2]] ^ K[3][w[3]]);
        }
    }
}

void Rijndael::encrypt(const unsigned char in[16], unsigned char out[16]) const {
    withSchedule(expandedKey[0][0], rounds,
                 [&](auto ks) { storeBlock(out, encryptBlock(ks, loadBlock(in))); });
}

void Rijndael::decrypt(const unsigned char in[16], unsigned char out[16]) const {
    withSchedule(expandedKey[0][0], rounds,
                 [&](auto ks) { storeBlock(out, decryptBlock(ks, loadBlock(in))); });
}

int Rijndael::blockEncrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (direction != Encrypt) return ErrWrongDirection;
    if (!input || inputLenBits <= 0) return 0;
    const size_t blocks = size_t(inputLenBits) / 128;
    withSchedule(expandedKey[0][0], rounds, [&](auto ks) {
        switch (mode) {
        case ECB: ecbEncrypt(ks, input, outBuffer, blocks); break;
        case CBC: cbcEncrypt(ks, loadBlock(initVector), input, outBuffer, blocks); break;
        case CFB1: cfb1Encrypt(ks, initVector, input, outBuffer, blocks); break;
        }
    });
    return int(128 * blocks);
}

int Rijndael::blockDecrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (mode != CFB1 && direction != Decrypt) return ErrWrongDirection;
    if (!input || inputLenBits <= 0) return 0;
    const size_t blocks = size_t(inputLenBits) / 128;
    withSchedule(expandedKey[0][0], rounds, [&](auto ks) {
        switch (mode) {
        case ECB: ecbDecrypt(ks, input, outBuffer, blocks); break;
        case CBC: cbcDecrypt(ks, loadBlock(initVector), input, outBuffer, blocks); break;
        case CFB1: cfb1Decrypt(ks, initVector, input, outBuffer, blocks); break;
        }
    });
    return int(128 * blocks);
}

int Rijndael::padEncrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer) {
    if (keyState != Keyed || direction != Encrypt) return ErrNotKeyed;
    if (!input || inputLenBytes <= 0) return 0;
    if (mode == CFB1) return ErrMode;
    // The result, 16 * (n / 16) + 16, must fit in an int.
    if (inputLenBytes > INT_MAX - 16) return ErrCorruptData;

    const size_t blocks = size_t(inputLenBytes) / 16, tail = size_t(inputLenBytes) % 16;
    unsigned char last[16];
    memcpy(last, input + 16 * blocks, tail);
    memset(last + tail, int(16 - tail), 16 - tail);

    withSchedule(expandedKey[0][0], rounds, [&](auto ks) {
        if (mode == ECB) {
            ecbEncrypt(ks, input, outBuffer, blocks);
            ecbEncrypt(ks, last, outBuffer + 16 * blocks, 1);
        } else {
            Block chain = cbcEncrypt(ks, loadBlock(initVector), input, outBuffer, blocks);
            cbcEncrypt(ks, chain, last, outBuffer + 16 * blocks, 1);
        }
    });
    return int(16 * blocks + 16);
}

int Rijndael::padDecrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (direction != Decrypt) return ErrWrongDirection;
    if (!input || inputLenBytes <= 0) return 0;
    if (inputLenBytes % 16 != 0) return ErrCorruptData;
    if (mode == CFB1) return ErrMode;

    const size_t blocks = size_t(inputLenBytes) / 16;
    if (mode == CBC) {
        withSchedule(expandedKey[0][0], rounds, [&](auto ks) {
            cbcDecrypt(ks, loadBlock(initVector), input, outBuffer, blocks);
        });
        return inputLenBytes;
    }

    unsigned char last[16];
    withSchedule(expandedKey[0][0], rounds, [&](auto ks) {
        ecbDecrypt(ks, input, outBuffer, blocks - 1);
        storeBlock(last, decryptBlock(ks, loadBlock(input + 16 * (blocks - 1))));
    });
    const unsigned pad = last[15];
    if (pad == 0 || pad > 16) return ErrCorruptData;
    for (unsigned i = 16 - pad; i < 15; ++i)
        if (last[i] != pad) return ErrCorruptData;
    memcpy(outBuffer + 16 * (blocks - 1), last, 16 - pad);
    return inputLenBytes - int(pad);
}
