// The constant tables of the Rijndael cipher, internal to the plugin.
//
// Byte order: a round-table or key-conversion entry is one column of the
// state, four bytes packed into a uint32_t with the row-0 byte in the low
// 8 bits and the row-3 byte in the high 8 bits.  The cipher assembles its
// columns from bytes in the same order, so the tables mean the same on any
// host.
#ifndef QOLT_RIJNDAEL_TABLES_H
#define QOLT_RIJNDAEL_TABLES_H

#include <cstdint>

struct RijndaelTables {
    // enc[i][x]: MixColumns of the column holding S(x) in row i, 0 elsewhere.
    // enc[i] is enc[0] rotated left by 8 * i bits.
    uint32_t enc[4][256];
    // dec[i][x]: InvMixColumns of the column holding InvS(x) in row i.
    uint32_t dec[4][256];
    // keyDec[i][x]: InvMixColumns of the column holding x in row i; the XOR
    // of the four entries of a word's bytes is InvMixColumns of the word.
    uint32_t keyDec[4][256];
    uint8_t sbox[256];
    uint8_t invSbox[256];
    // Rcon (FIPS-197 5.2): successive powers of x in GF(2^8) from 01.  AES
    // reads at most the first 10 (AES-128; AES-192 reads 8, AES-256 7).  The
    // length is Rijndael's own bound: a 256-bit block with a 128-bit key has
    // a schedule of 120 words, made 4 at a time, so at most 30 steps.  Only
    // the table backend reads this: its key schedule is the reference's own,
    // apart from the one the other backends share (rijndael_key_expansion.h),
    // which computes Rcon as it goes.
    uint8_t rcon[30];
};

// Computed by the compiler (constexpr), placed in a read-only section.
extern const RijndaelTables kRijndaelTables;

#endif  // QOLT_RIJNDAEL_TABLES_H
