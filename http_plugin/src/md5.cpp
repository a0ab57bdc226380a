// MD5 (RFC 1321).  The 64 steps are written out with their constants and
// rotations as immediates; full blocks of the caller's data are transformed
// where they lie, and only the tail of a message is staged in pending.
#include "md5.h"

#include <cstring>

namespace {

// RFC 1321 section 3.4: 0x80 then zeros, enough for any padding length.
const unsigned char kPadding[64] = {0x80};

// Read through its first byte to tell the host's byte order at run time;
// compilers fold the test to a constant.
const uint32_t kByteOrderProbe = 1;

// A word type that may alias the caller's bytes, so an aligned block is read
// in place without breaking the aliasing rules.
typedef uint32_t __attribute__((may_alias, aligned(4))) AliasedWord;

inline uint32_t rotl(uint32_t x, unsigned s) { return (x << s) | (x >> (32 - s)); }

// The auxiliary functions, in forms equal to RFC 1321's that shorten the
// dependency chain through b:
//   F = (b & c) | (~b & d)  ==  d ^ (b & (c ^ d))
//   G = (b & d) | (c & ~d)  ==  (b & d) + (c & ~d), the two halves never
//       share a set bit, so the part without b is added early.
//   H = b ^ c ^ d
//   I = c ^ (b | ~d)
#define MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

#define STEP(f, a, b, c, d, x, t, s)         \
    do {                                     \
        (a) += f((b), (c), (d)) + (x) + (t); \
        (a) = rotl((a), (s)) + (b);          \
    } while (0)

#define STEP_G(a, b, c, d, x, t, s)      \
    do {                                 \
        (a) += ((c) & ~(d)) + (x) + (t); \
        (a) += (b) & (d);                \
        (a) = rotl((a), (s)) + (b);      \
    } while (0)

}  // namespace

void md5Start(Md5Context *ctx) {
    ctx->bitCount[0] = 0;
    ctx->bitCount[1] = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
}

void md5Add(Md5Context *ctx, const unsigned char *data, int length) {
    uint32_t offset = (ctx->bitCount[0] >> 3) & 63;
    if (length <= 0) return;

    uint32_t len = static_cast<uint32_t>(length);
    ctx->bitCount[1] += len >> 29;
    uint32_t nbits = len << 3;
    ctx->bitCount[0] += nbits;
    if (ctx->bitCount[0] < nbits) ctx->bitCount[1] += 1;

    if (offset != 0) {
        uint32_t copy = offset + len > 64 ? 64 - offset : len;
        memcpy(ctx->pending + offset, data, copy);
        if (offset + copy < 64) return;
        data += copy;
        len -= copy;
        md5Transform(ctx, ctx->pending);
    }
    for (; len >= 64; data += 64, len -= 64) md5Transform(ctx, data);
    if (len > 0) memcpy(ctx->pending, data, len);
}

void md5Finish(Md5Context *ctx, unsigned char digest[16]) {
    // The length goes in as it was before padding: capture it first.
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(ctx->bitCount[i / 4] >> (8 * (i % 4)));

    // Brings the byte count to 56 mod 64: 1 to 64 bytes.
    uint32_t padLength = ((55u - (ctx->bitCount[0] >> 3)) & 63u) + 1u;
    md5Add(ctx, kPadding, static_cast<int>(padLength));
    md5Add(ctx, length, 8);

    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<unsigned char>(ctx->state[i / 4] >> (8 * (i % 4)));
}

void md5Transform(Md5Context *ctx, const unsigned char *block) {
    uint32_t copy[16];
    const AliasedWord *x;
    if (*reinterpret_cast<const unsigned char *>(&kByteOrderProbe) != 0) {
        if ((reinterpret_cast<uintptr_t>(block) & 3) == 0) {
            // Little-endian, aligned: the block's words are read in place.
            x = reinterpret_cast<const AliasedWord *>(block);
        } else {
            // Little-endian, unaligned: one copy of 64 bytes.
            memcpy(copy, block, 64);
            x = copy;
        }
    } else {
        // Big-endian: assemble each little-endian word from its bytes.
        for (int i = 0; i < 16; ++i) {
            const unsigned char *p = block + 4 * i;
            copy[i] =
                uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        }
        x = copy;
    }

    uint32_t a = ctx->state[0];
    uint32_t b = ctx->state[1];
    uint32_t c = ctx->state[2];
    uint32_t d = ctx->state[3];

    // clang-format off
    // Round 1: shifts 7, 12, 17, 22.
    STEP(MD5_F, a, b, c, d, x[ 0], 0xd76aa478,  7);
    STEP(MD5_F, d, a, b, c, x[ 1], 0xe8c7b756, 12);
    STEP(MD5_F, c, d, a, b, x[ 2], 0x242070db, 17);
    STEP(MD5_F, b, c, d, a, x[ 3], 0xc1bdceee, 22);
    STEP(MD5_F, a, b, c, d, x[ 4], 0xf57c0faf,  7);
    STEP(MD5_F, d, a, b, c, x[ 5], 0x4787c62a, 12);
    STEP(MD5_F, c, d, a, b, x[ 6], 0xa8304613, 17);
    STEP(MD5_F, b, c, d, a, x[ 7], 0xfd469501, 22);
    STEP(MD5_F, a, b, c, d, x[ 8], 0x698098d8,  7);
    STEP(MD5_F, d, a, b, c, x[ 9], 0x8b44f7af, 12);
    STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    STEP(MD5_F, a, b, c, d, x[12], 0x6b901122,  7);
    STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    // Round 2: shifts 5, 9, 14, 20.
    STEP_G(a, b, c, d, x[ 1], 0xf61e2562,  5);
    STEP_G(d, a, b, c, x[ 6], 0xc040b340,  9);
    STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
    STEP_G(b, c, d, a, x[ 0], 0xe9b6c7aa, 20);
    STEP_G(a, b, c, d, x[ 5], 0xd62f105d,  5);
    STEP_G(d, a, b, c, x[10], 0x02441453,  9);
    STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    STEP_G(b, c, d, a, x[ 4], 0xe7d3fbc8, 20);
    STEP_G(a, b, c, d, x[ 9], 0x21e1cde6,  5);
    STEP_G(d, a, b, c, x[14], 0xc33707d6,  9);
    STEP_G(c, d, a, b, x[ 3], 0xf4d50d87, 14);
    STEP_G(b, c, d, a, x[ 8], 0x455a14ed, 20);
    STEP_G(a, b, c, d, x[13], 0xa9e3e905,  5);
    STEP_G(d, a, b, c, x[ 2], 0xfcefa3f8,  9);
    STEP_G(c, d, a, b, x[ 7], 0x676f02d9, 14);
    STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    // Round 3: shifts 4, 11, 16, 23.
    STEP(MD5_H, a, b, c, d, x[ 5], 0xfffa3942,  4);
    STEP(MD5_H, d, a, b, c, x[ 8], 0x8771f681, 11);
    STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    STEP(MD5_H, a, b, c, d, x[ 1], 0xa4beea44,  4);
    STEP(MD5_H, d, a, b, c, x[ 4], 0x4bdecfa9, 11);
    STEP(MD5_H, c, d, a, b, x[ 7], 0xf6bb4b60, 16);
    STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6,  4);
    STEP(MD5_H, d, a, b, c, x[ 0], 0xeaa127fa, 11);
    STEP(MD5_H, c, d, a, b, x[ 3], 0xd4ef3085, 16);
    STEP(MD5_H, b, c, d, a, x[ 6], 0x04881d05, 23);
    STEP(MD5_H, a, b, c, d, x[ 9], 0xd9d4d039,  4);
    STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    STEP(MD5_H, b, c, d, a, x[ 2], 0xc4ac5665, 23);

    // Round 4: shifts 6, 10, 15, 21.
    STEP(MD5_I, a, b, c, d, x[ 0], 0xf4292244,  6);
    STEP(MD5_I, d, a, b, c, x[ 7], 0x432aff97, 10);
    STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    STEP(MD5_I, b, c, d, a, x[ 5], 0xfc93a039, 21);
    STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3,  6);
    STEP(MD5_I, d, a, b, c, x[ 3], 0x8f0ccc92, 10);
    STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    STEP(MD5_I, b, c, d, a, x[ 1], 0x85845dd1, 21);
    STEP(MD5_I, a, b, c, d, x[ 8], 0x6fa87e4f,  6);
    STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    STEP(MD5_I, c, d, a, b, x[ 6], 0xa3014314, 15);
    STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    STEP(MD5_I, a, b, c, d, x[ 4], 0xf7537e82,  6);
    STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    STEP(MD5_I, c, d, a, b, x[ 2], 0x2ad7d2bb, 15);
    STEP(MD5_I, b, c, d, a, x[ 9], 0xeb86d391, 21);
    // clang-format on

    ctx->state[0] += a;
    ctx->state[1] += b;
    ctx->state[2] += c;
    ctx->state[3] += d;
}
