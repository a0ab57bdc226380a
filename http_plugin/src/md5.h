// MD5 message digest (RFC 1321), internal to the plugin.
//
// Incremental: md5Start, then md5Add any number of times, then md5Finish
// once.  md5Finish neither clears nor resets the record; hash another
// message by calling md5Start again.  Nothing allocates; the record holds no
// pointers and needs no release.  A record serves one thread at a time;
// separate records may be used in parallel.
#ifndef QOLT_MD5_H
#define QOLT_MD5_H

#include <cstdint>

struct Md5Context {
    // Message length in bits modulo 2^64: [0] the low word, [1] the high one.
    uint32_t bitCount[2];
    // Chaining words A, B, C, D.
    uint32_t state[4];
    // The incomplete block.  Bytes pending = (bitCount[0] >> 3) & 63; the
    // count is derived, not stored, and bytes beyond it are stale.
    unsigned char pending[64];
};

// Prepares the record for a new message.  Previous contents are ignored.
void md5Start(Md5Context *ctx);

// Appends length bytes at data.  A length of zero or less does nothing.
void md5Add(Md5Context *ctx, const unsigned char *data, int length);

// Completes the message and writes its 16-byte digest.
void md5Finish(Md5Context *ctx, unsigned char digest[16]);

// Folds one 64-byte block into ctx->state.  block may have any alignment.
void md5Transform(Md5Context *ctx, const unsigned char *block);

#endif  // QOLT_MD5_H
