// FIPS-197 KeyExpansion (5.2), the one every backend with a SubWord of its
// own shares: the AES instructions', the SSSE3 shuffles' and the bitsliced
// circuit's.  Internal linkage, since files built for other instruction
// sets include it too and no copy of theirs may be shared with baseline
// code.
#ifndef QOLT_RIJNDAEL_KEY_EXPANSION_H
#define QOLT_RIJNDAEL_KEY_EXPANSION_H

#include <cstdint>

#include "byte_order.h"
#include "rijndael_modes.h"

namespace {

// The 4 * (R - 6) key bytes into round keys 0 to R at rk, a word at a time
// and in place, so that no copy of the key stays behind.  subWord(w) is
// SubWord of a word whose first byte is lowest.  Unrolled whole, the
// indices, the branches on them and Rcon (x^(i-1) in GF(2^8), doubled as it
// goes) are constants and the words stay in registers; a backend whose
// SubWord is long calls it out of line.  Nothing here depends on the key
// but the words themselves.
template <unsigned R, class SubWord>
QOLT_FORCE_INLINE void rijndaelExpandKey(const unsigned char *key, unsigned char *rk,
                                         SubWord subWord) {
    constexpr unsigned kNk = R - 6, kWords = 4 * (R + 1);
    QOLT_UNROLL_ALL
    for (unsigned i = 0; i < kNk; ++i) store32le(rk + 4 * i, load32le(key + 4 * i));
    uint32_t rcon = 1;
    QOLT_UNROLL_ALL
    for (unsigned i = kNk; i < kWords; ++i) {
        uint32_t t = load32le(rk + 4 * (i - 1));
        if (i % kNk == 0) {
            // SubWord commutes with RotWord, which moves whole bytes.
            t = subWord(t >> 8 | t << 24) ^ rcon;
            rcon = rcon << 1 ^ (rcon >> 7) * 0x11b;
        } else if (kNk == 8 && i % kNk == 4) {
            t = subWord(t);
        }
        store32le(rk + 4 * i, load32le(rk + 4 * (i - kNk)) ^ t);
    }
}

template <class SubWord>
QOLT_FORCE_INLINE void rijndaelExpandKey(const unsigned char *key, unsigned rounds,
                                         unsigned char *rk, SubWord subWord) {
    withRounds(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
        rijndaelExpandKey<decltype(r)::value>(key, rk, subWord);
    });
}

}  // namespace

#endif  // QOLT_RIJNDAEL_KEY_EXPANSION_H
