// The ARMv8 Cryptography Extensions backend: the AES instructions of 64-bit
// ARM (AESE, AESD, AESMC, AESIMC) through the ACLE intrinsics, one block a
// register and eight in flight.  Built with -march=armv8-a+crypto (this file
// only); run only where the kernel reports HWCAP_AES, since some cores (the
// Raspberry Pi 4's Cortex-A72) lack the extension.
//
// ARM splits a round differently from FIPS-197: AESE is AddRoundKey, then
// SubBytes and ShiftRows; AESMC is MixColumns.  So round key r enters
// before round r + 1's substitution, and the last key is a plain XOR:
//   Cipher:   AESMC(AESE(x, k[r])) for r = 0 .. R-2, AESE(x, k[R-1]) ^ k[R]
// AESD is AddRoundKey, then InvSubBytes and InvShiftRows; AESIMC is
// InvMixColumns.  On the stored decryption schedule (slots 1 .. R-1 already
// through InvMixColumns) the equivalent inverse cipher is
//   AESIMC(AESD(x, k[r])) for r = R .. 2, AESD(x, k[1]) ^ k[0].
//
// Constant time: the rounds are the AES instructions, whose timing does not
// depend on their operands, and the key schedule's SubWord is AESE too; no
// branch and no address here depends on a key, vector or data byte.  Every
// entry clears the vector registers before it returns, so that no round key
// or block outlives the call in them.
#include <arm_neon.h>

#include <cstdint>

#include "byte_order.h"
#include "rijndael_clearing.h"
#include "rijndael_key_expansion.h"
#include "rijndael_word_cfb.h"

namespace {

struct ArmAes : WordCfb<ArmAes> {
    static constexpr unsigned kLanes = 1;
    // AESE and AESMC pair up in the pipeline with a latency of two to four
    // cycles on current cores; eight independent blocks keep it full, and
    // with fifteen round keys still fit the 32 vector registers.
    static constexpr unsigned kInFlight = 8;
    using Reg = uint8x16_t;
    using Tail = ArmAes;

    template <unsigned R>
    struct Keys {
        uint8x16_t k[R + 1];
        Keys(const unsigned char *rk, unsigned /* rounds, which is R */, bool /* decrypting */) {
            QOLT_UNROLL_ALL
            for (unsigned r = 0; r <= R; ++r) k[r] = vld1q_u8(rk + 16 * r);
        }
    };

    static QOLT_FORCE_INLINE uint8x16_t load(const unsigned char *p) { return vld1q_u8(p); }
    static QOLT_FORCE_INLINE void store(unsigned char *p, uint8x16_t x) { vst1q_u8(p, x); }

    // Round by round across the N blocks, so that each instruction's result
    // is not needed until N instructions later.
    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, uint8x16_t (&x)[N]) {
        QOLT_UNROLL_ALL
        for (unsigned r = 0; r + 1 < R; ++r) {
            QOLT_UNROLL_ALL
            for (size_t i = 0; i < N; ++i) x[i] = vaesmcq_u8(vaeseq_u8(x[i], ks.k[r]));
        }
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = veorq_u8(vaeseq_u8(x[i], ks.k[R - 1]), ks.k[R]);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, uint8x16_t (&x)[N]) {
        QOLT_UNROLL_ALL
        for (unsigned r = R; r > 1; --r) {
            QOLT_UNROLL_ALL
            for (size_t i = 0; i < N; ++i) x[i] = vaesimcq_u8(vaesdq_u8(x[i], ks.k[r]));
        }
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = veorq_u8(vaesdq_u8(x[i], ks.k[1]), ks.k[0]);
    }

    // The CFB1 shift register's big-endian halves as a block: byte-swapped
    // words, the first byte lowest.
    static QOLT_FORCE_INLINE uint8x16_t fromShiftRegisters(const uint64_t *hl) {
        return vreinterpretq_u8_u64(vcombine_u64(vcreate_u64(__builtin_bswap64(hl[0])),
                                                 vcreate_u64(__builtin_bswap64(hl[1]))));
    }
    static QOLT_FORCE_INLINE unsigned keystreamBits(uint8x16_t x) {
        return unsigned(vgetq_lane_u8(x, 0)) >> 7;
    }
};

// SubWord (FIPS-197 5.2) by AESE with a zero round key: with the word in
// all four columns, every row holds one byte four times, so ShiftRows moves
// nothing and only SubBytes remains.
QOLT_FORCE_INLINE uint32_t subWord(uint32_t w) {
    const uint8x16_t x = vaeseq_u8(vreinterpretq_u8_u32(vdupq_n_u32(w)), vdupq_n_u8(0));
    return vgetq_lane_u32(vreinterpretq_u32_u8(x), 0);
}

void armExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    rijndaelExpandKey(key, rounds, rk, subWord);
}

void armInvertKey(unsigned rounds, unsigned char *rk) {
    for (unsigned r = 1; r < rounds; ++r) vst1q_u8(rk + 16 * r, vaesimcq_u8(vld1q_u8(rk + 16 * r)));
}

}  // namespace

const RijndaelBackend kRijndaelArmAesBackend =
    clearingBackend<ArmAes, armExpandKey, armInvertKey>();
