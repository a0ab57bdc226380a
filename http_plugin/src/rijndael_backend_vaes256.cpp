// The VAES backend on 256-bit registers, for processors that have the
// vector AES instructions but not AVX-512 (or not its 512-bit state): two
// blocks to a register and eight registers in flight.  Built with the AVX2
// and VAES flags only (this file only), so that nothing here needs AVX-512;
// run only where cpuid and the operating system's saved state allow them.
// The key schedule, the serial loops and the tails are the AES-NI code,
// compiled here.
//
// Constant time: as for AES-NI; the lane moves (permute2x128, broadcast,
// shuffle by a constant, the sign-bit mask) take no secret index or branch.
#include "rijndael_aesni.h"

namespace {

struct Vaes256 {
    static constexpr unsigned kLanes = 2;
    static constexpr unsigned kWidth = 8;
    using Reg = __m256i;
    using Narrow = AesNi;

    template <unsigned R>
    struct Keys {
        __m256i k[R + 1];
        explicit Keys(const unsigned char *rk) {
#pragma GCC unroll 15
            for (unsigned r = 0; r <= R; ++r) k[r] = _mm256_broadcastsi128_si256(AesNi::load(rk + 16 * r));
        }
    };

    static QOLT_FORCE_INLINE __m256i load(const unsigned char *p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    static QOLT_FORCE_INLINE void store(unsigned char *p, __m256i x) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), x);
    }
    static QOLT_FORCE_INLINE __m256i splat(const unsigned char *p) {
        return _mm256_broadcastsi128_si256(AesNi::load(p));
    }
    // Lanes (prev 1, cur 0).
    static QOLT_FORCE_INLINE __m256i shiftIn(__m256i prev, __m256i cur) {
        return _mm256_permute2x128_si256(prev, cur, 0x21);
    }
    static QOLT_FORCE_INLINE __m128i lastLane(__m256i x) { return _mm256_extracti128_si256(x, 1); }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, __m256i (&x)[N]) {
        for (size_t i = 0; i < N; ++i) x[i] = _mm256_xor_si256(x[i], ks.k[0]);
#pragma GCC unroll 14
        for (unsigned r = 1; r < R; ++r)
            for (size_t i = 0; i < N; ++i) x[i] = _mm256_aesenc_epi128(x[i], ks.k[r]);
        for (size_t i = 0; i < N; ++i) x[i] = _mm256_aesenclast_epi128(x[i], ks.k[R]);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, __m256i (&x)[N]) {
        for (size_t i = 0; i < N; ++i) x[i] = _mm256_xor_si256(x[i], ks.k[R]);
#pragma GCC unroll 14
        for (unsigned r = R - 1; r > 0; --r)
            for (size_t i = 0; i < N; ++i) x[i] = _mm256_aesdec_epi128(x[i], ks.k[r]);
        for (size_t i = 0; i < N; ++i) x[i] = _mm256_aesdeclast_epi128(x[i], ks.k[0]);
    }

    static QOLT_FORCE_INLINE __m256i fromShiftRegisters(const uint64_t *hl) {
        const __m256i x = _mm256_set_epi64x(int64_t(hl[3]), int64_t(hl[2]), int64_t(hl[1]),
                                            int64_t(hl[0]));
        return _mm256_shuffle_epi8(x, _mm256_broadcastsi128_si256(swapHalves128()));
    }
    // As for the 512-bit registers: CFB1 decryption runs on the AES-NI loop.
    static constexpr bool kWideCfb1 = false;
    // The sign bits of all 32 bytes; byte 0 of lane l is bit 16 * l.
    static QOLT_FORCE_INLINE unsigned keystreamBits(__m256i x) {
        const unsigned m = unsigned(_mm256_movemask_epi8(x));
        return (m & 1) << 1 | (m >> 16 & 1);
    }
};

}  // namespace

const RijndaelBackend kRijndaelVaes256Backend = ModeLoops<Vaes256>::backend(
    RijndaelBackendId::Vaes256, "vaes-256", aesniExpandKey, aesniInvertKey);
