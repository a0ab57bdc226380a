// Rijndael: key schedule, block cipher and the ECB, CBC and CFB1 loops.
// The contracts are in qolt/rijndael.h; the tables in rijndael_tables.cpp.
//
// A column of the state, or a word of a round key, is a uint32_t with its
// row-0 byte in the low 8 bits, as in the tables.  Columns are assembled from
// bytes and stored back byte by byte, in that fixed order; compilers turn
// this into plain moves on little-endian hosts.
#include "qolt/rijndael.h"

#include <climits>
#include <cstring>

#include "rijndael_tables.h"

namespace {

const RijndaelTables &kT = kRijndaelTables;

inline uint32_t load32(const unsigned char *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void store32(unsigned char *p, uint32_t w) {
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
    p[2] = static_cast<unsigned char>(w >> 16);
    p[3] = static_cast<unsigned char>(w >> 24);
}

inline uint64_t load64be(const unsigned char *p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}

struct Block {
    uint32_t c0, c1, c2, c3;
};

inline Block loadBlock(const unsigned char *p) {
    return {load32(p), load32(p + 4), load32(p + 8), load32(p + 12)};
}

inline void storeBlock(unsigned char *p, const Block &s) {
    store32(p, s.c0);
    store32(p + 4, s.c1);
    store32(p + 8, s.c2);
    store32(p + 12, s.c3);
}

inline Block operator^(const Block &a, const Block &b) {
    return {a.c0 ^ b.c0, a.c1 ^ b.c1, a.c2 ^ b.c2, a.c3 ^ b.c3};
}

inline uint32_t b0(uint32_t w) { return w & 0xff; }
inline uint32_t b1(uint32_t w) { return (w >> 8) & 0xff; }
inline uint32_t b2(uint32_t w) { return (w >> 16) & 0xff; }
inline uint32_t b3(uint32_t w) { return w >> 24; }

// SubBytes, ShiftRows and MixColumns by table, then the round key at k.
// Row r of new column c comes from column c + r.
inline Block encRound(const Block &s, const unsigned char *k) {
    const uint32_t(&E)[4][256] = kT.enc;
    return {E[0][b0(s.c0)] ^ E[1][b1(s.c1)] ^ E[2][b2(s.c2)] ^ E[3][b3(s.c3)] ^ load32(k),
            E[0][b0(s.c1)] ^ E[1][b1(s.c2)] ^ E[2][b2(s.c3)] ^ E[3][b3(s.c0)] ^ load32(k + 4),
            E[0][b0(s.c2)] ^ E[1][b1(s.c3)] ^ E[2][b2(s.c0)] ^ E[3][b3(s.c1)] ^ load32(k + 8),
            E[0][b0(s.c3)] ^ E[1][b1(s.c0)] ^ E[2][b2(s.c1)] ^ E[3][b3(s.c2)] ^ load32(k + 12)};
}

inline uint32_t subColumn(const uint8_t *box, uint32_t r0, uint32_t r1, uint32_t r2, uint32_t r3) {
    return uint32_t(box[r0]) | uint32_t(box[r1]) << 8 | uint32_t(box[r2]) << 16 |
           uint32_t(box[r3]) << 24;
}

inline Block encLast(const Block &s, const unsigned char *k) {
    const uint8_t *S = kT.sbox;
    return {subColumn(S, b0(s.c0), b1(s.c1), b2(s.c2), b3(s.c3)) ^ load32(k),
            subColumn(S, b0(s.c1), b1(s.c2), b2(s.c3), b3(s.c0)) ^ load32(k + 4),
            subColumn(S, b0(s.c2), b1(s.c3), b2(s.c0), b3(s.c1)) ^ load32(k + 8),
            subColumn(S, b0(s.c3), b1(s.c0), b2(s.c1), b3(s.c2)) ^ load32(k + 12)};
}

// InvSubBytes, InvShiftRows and InvMixColumns by table, then the converted
// round key at k.  Row r of new column c comes from column c - r.
inline Block decRound(const Block &s, const unsigned char *k) {
    const uint32_t(&D)[4][256] = kT.dec;
    return {D[0][b0(s.c0)] ^ D[1][b1(s.c3)] ^ D[2][b2(s.c2)] ^ D[3][b3(s.c1)] ^ load32(k),
            D[0][b0(s.c1)] ^ D[1][b1(s.c0)] ^ D[2][b2(s.c3)] ^ D[3][b3(s.c2)] ^ load32(k + 4),
            D[0][b0(s.c2)] ^ D[1][b1(s.c1)] ^ D[2][b2(s.c0)] ^ D[3][b3(s.c3)] ^ load32(k + 8),
            D[0][b0(s.c3)] ^ D[1][b1(s.c2)] ^ D[2][b2(s.c1)] ^ D[3][b3(s.c0)] ^ load32(k + 12)};
}

inline Block decLast(const Block &s, const unsigned char *k) {
    const uint8_t *S = kT.invSbox;
    return {subColumn(S, b0(s.c0), b1(s.c3), b2(s.c2), b3(s.c1)) ^ load32(k),
            subColumn(S, b0(s.c1), b1(s.c0), b2(s.c3), b3(s.c2)) ^ load32(k + 4),
            subColumn(S, b0(s.c2), b1(s.c1), b2(s.c0), b3(s.c3)) ^ load32(k + 8),
            subColumn(S, b0(s.c3), b1(s.c2), b2(s.c1), b3(s.c0)) ^ load32(k + 12)};
}

// A key schedule as the loops see it: round key r at rk + 16 * r.
struct Schedule {
    const unsigned char *rk;
    unsigned rounds;
};

inline Block encryptBlock(const Schedule &ks, Block s) {
    s = s ^ loadBlock(ks.rk);
    for (unsigned r = 1; r < ks.rounds; ++r) s = encRound(s, ks.rk + 16 * r);
    return encLast(s, ks.rk + 16 * ks.rounds);
}

inline Block decryptBlock(const Schedule &ks, Block s) {
    s = s ^ loadBlock(ks.rk + 16 * ks.rounds);
    for (unsigned r = ks.rounds - 1; r > 0; --r) s = decRound(s, ks.rk + 16 * r);
    return decLast(s, ks.rk);
}

// Two independent blocks a round at a time, so that the look-ups of one
// overlap the dependency chain of the other.
inline void encryptBlocks2(const Schedule &ks, Block &a, Block &b) {
    Block k = loadBlock(ks.rk);
    a = a ^ k;
    b = b ^ k;
    for (unsigned r = 1; r < ks.rounds; ++r) {
        a = encRound(a, ks.rk + 16 * r);
        b = encRound(b, ks.rk + 16 * r);
    }
    a = encLast(a, ks.rk + 16 * ks.rounds);
    b = encLast(b, ks.rk + 16 * ks.rounds);
}

inline void decryptBlocks2(const Schedule &ks, Block &a, Block &b) {
    Block k = loadBlock(ks.rk + 16 * ks.rounds);
    a = a ^ k;
    b = b ^ k;
    for (unsigned r = ks.rounds - 1; r > 0; --r) {
        a = decRound(a, ks.rk + 16 * r);
        b = decRound(b, ks.rk + 16 * r);
    }
    a = decLast(a, ks.rk);
    b = decLast(b, ks.rk);
}

// The mode loops.  Each reads a block (or a pair) before writing it, so the
// output may be the input.

void ecbEncrypt(const Schedule &ks, const unsigned char *in, unsigned char *out, size_t blocks) {
    for (; blocks >= 2; blocks -= 2, in += 32, out += 32) {
        Block a = loadBlock(in), b = loadBlock(in + 16);
        encryptBlocks2(ks, a, b);
        storeBlock(out, a);
        storeBlock(out + 16, b);
    }
    if (blocks) storeBlock(out, encryptBlock(ks, loadBlock(in)));
}

void ecbDecrypt(const Schedule &ks, const unsigned char *in, unsigned char *out, size_t blocks) {
    for (; blocks >= 2; blocks -= 2, in += 32, out += 32) {
        Block a = loadBlock(in), b = loadBlock(in + 16);
        decryptBlocks2(ks, a, b);
        storeBlock(out, a);
        storeBlock(out + 16, b);
    }
    if (blocks) storeBlock(out, decryptBlock(ks, loadBlock(in)));
}

// Returns the chaining value after the last block.
Block cbcEncrypt(const Schedule &ks, Block chain, const unsigned char *in, unsigned char *out,
                 size_t blocks) {
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        chain = encryptBlock(ks, loadBlock(in) ^ chain);
        storeBlock(out, chain);
    }
    return chain;
}

void cbcDecrypt(const Schedule &ks, Block chain, const unsigned char *in, unsigned char *out,
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
// cipher sees it as bytes, column 0 being the top 32 bits of hi.  Encrypting
// feeds back the output bit, decrypting the input bit.
void cfb1(const Schedule &ks, const unsigned char iv[16], const unsigned char *in,
          unsigned char *out, size_t blocks, bool encrypting) {
    uint64_t hi = load64be(iv), lo = load64be(iv + 8);
    const unsigned outputFeedback = encrypting ? 1u : 0u;
    for (size_t n = 16 * blocks; n > 0; --n, ++in, ++out) {
        const unsigned inByte = *in;
        unsigned outByte = 0;
        for (int bit = 7; bit >= 0; --bit) {
            Block reg = {__builtin_bswap32(uint32_t(hi >> 32)), __builtin_bswap32(uint32_t(hi)),
                         __builtin_bswap32(uint32_t(lo >> 32)), __builtin_bswap32(uint32_t(lo))};
            const unsigned key = (encryptBlock(ks, reg).c0 >> 7) & 1;
            const unsigned inBit = (inByte >> bit) & 1;
            outByte |= (inBit ^ key) << bit;
            hi = hi << 1 | lo >> 63;
            lo = lo << 1 | (inBit ^ (key & outputFeedback));
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
    storeBlock(out, encryptBlock({expandedKey[0][0], rounds}, loadBlock(in)));
}

void Rijndael::decrypt(const unsigned char in[16], unsigned char out[16]) const {
    storeBlock(out, decryptBlock({expandedKey[0][0], rounds}, loadBlock(in)));
}

int Rijndael::blockEncrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (direction != Encrypt) return ErrWrongDirection;
    if (!input || inputLenBits <= 0) return 0;
    const size_t blocks = size_t(inputLenBits) / 128;
    const Schedule ks = {expandedKey[0][0], rounds};
    switch (mode) {
    case ECB: ecbEncrypt(ks, input, outBuffer, blocks); break;
    case CBC: cbcEncrypt(ks, loadBlock(initVector), input, outBuffer, blocks); break;
    case CFB1: cfb1(ks, initVector, input, outBuffer, blocks, true); break;
    }
    return int(128 * blocks);
}

int Rijndael::blockDecrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (mode != CFB1 && direction != Decrypt) return ErrWrongDirection;
    if (!input || inputLenBits <= 0) return 0;
    const size_t blocks = size_t(inputLenBits) / 128;
    const Schedule ks = {expandedKey[0][0], rounds};
    switch (mode) {
    case ECB: ecbDecrypt(ks, input, outBuffer, blocks); break;
    case CBC: cbcDecrypt(ks, loadBlock(initVector), input, outBuffer, blocks); break;
    case CFB1: cfb1(ks, initVector, input, outBuffer, blocks, false); break;
    }
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

    const Schedule ks = {expandedKey[0][0], rounds};
    if (mode == ECB) {
        ecbEncrypt(ks, input, outBuffer, blocks);
        ecbEncrypt(ks, last, outBuffer + 16 * blocks, 1);
    } else {
        Block chain = cbcEncrypt(ks, loadBlock(initVector), input, outBuffer, blocks);
        cbcEncrypt(ks, chain, last, outBuffer + 16 * blocks, 1);
    }
    return int(16 * blocks + 16);
}

int Rijndael::padDecrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (direction != Decrypt) return ErrWrongDirection;
    if (!input || inputLenBytes <= 0) return 0;
    if (inputLenBytes % 16 != 0) return ErrCorruptData;
    if (mode == CFB1) return ErrMode;

    const size_t blocks = size_t(inputLenBytes) / 16;
    const Schedule ks = {expandedKey[0][0], rounds};
    if (mode == CBC) {
        cbcDecrypt(ks, loadBlock(initVector), input, outBuffer, blocks);
        return inputLenBytes;
    }

    ecbDecrypt(ks, input, outBuffer, blocks - 1);
    unsigned char last[16];
    storeBlock(last, decryptBlock(ks, loadBlock(input + 16 * (blocks - 1))));
    const unsigned pad = last[15];
    if (pad == 0 || pad > 16) return ErrCorruptData;
    for (unsigned i = 16 - pad; i < 15; ++i)
        if (last[i] != pad) return ErrCorruptData;
    memcpy(outBuffer + 16 * (blocks - 1), last, 16 - pad);
    return inputLenBytes - int(pad);
}
