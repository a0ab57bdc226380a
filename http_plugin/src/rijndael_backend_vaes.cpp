// The VAES backend: the AES instructions on 512-bit registers, four blocks
// to a register and four registers in flight.  Built with the AVX-512 and
// VAES flags (this file only); run only where cpuid and the operating
// system's saved state allow them.  The key schedule, the serial loops and
// the tails are the AES-NI code, compiled here.
//
// Constant time: as for AES-NI; the lane moves (alignr, broadcast, shuffle
// by a constant, the sign-bit mask) take no secret index or branch.
// GCC 12 takes the deliberately undefined source of its own AVX-512
// broadcast intrinsics for an uninitialised variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "rijndael_aesni.h"

namespace {

struct Vaes {
    static constexpr unsigned kLanes = 4;
    static constexpr unsigned kWidth = 4;
    using Reg = __m512i;
    using Narrow = AesNi;

    template <unsigned R>
    struct Keys {
        __m512i k[R + 1];
        explicit Keys(const unsigned char *rk) {
#pragma GCC unroll 15
            for (unsigned r = 0; r <= R; ++r) k[r] = _mm512_broadcast_i32x4(AesNi::load(rk + 16 * r));
        }
    };

    static QOLT_FORCE_INLINE __m512i load(const unsigned char *p) { return _mm512_loadu_si512(p); }
    static QOLT_FORCE_INLINE void store(unsigned char *p, __m512i x) { _mm512_storeu_si512(p, x); }
    static QOLT_FORCE_INLINE __m512i splat(const unsigned char *p) {
        return _mm512_broadcast_i32x4(AesNi::load(p));
    }
    // Lanes (prev 3, cur 0, cur 1, cur 2): the 128 bytes cur:prev shifted
    // right by six 64-bit words.
    static QOLT_FORCE_INLINE __m512i shiftIn(__m512i prev, __m512i cur) {
        return _mm512_alignr_epi64(cur, prev, 6);
    }
    static QOLT_FORCE_INLINE __m128i lastLane(__m512i x) { return _mm512_extracti32x4_epi32(x, 3); }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, __m512i (&x)[N]) {
        for (size_t i = 0; i < N; ++i) x[i] = _mm512_xor_si512(x[i], ks.k[0]);
#pragma GCC unroll 14
        for (unsigned r = 1; r < R; ++r)
            for (size_t i = 0; i < N; ++i) x[i] = _mm512_aesenc_epi128(x[i], ks.k[r]);
        for (size_t i = 0; i < N; ++i) x[i] = _mm512_aesenclast_epi128(x[i], ks.k[R]);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, __m512i (&x)[N]) {
        for (size_t i = 0; i < N; ++i) x[i] = _mm512_xor_si512(x[i], ks.k[R]);
#pragma GCC unroll 14
        for (unsigned r = R - 1; r > 0; --r)
            for (size_t i = 0; i < N; ++i) x[i] = _mm512_aesdec_epi128(x[i], ks.k[r]);
        for (size_t i = 0; i < N; ++i) x[i] = _mm512_aesdeclast_epi128(x[i], ks.k[0]);
    }

    static QOLT_FORCE_INLINE __m512i fromShiftRegisters(const uint64_t *hl) {
        const __m512i x = _mm512_set_epi64(int64_t(hl[7]), int64_t(hl[6]), int64_t(hl[5]),
                                           int64_t(hl[4]), int64_t(hl[3]), int64_t(hl[2]),
                                           int64_t(hl[1]), int64_t(hl[0]));
        return _mm512_shuffle_epi8(x, _mm512_broadcast_i32x4(swapHalves128()));
    }
    // Measured: building sixteen registers from their words costs more than
    // the wider rounds save; CFB1 decryption runs on the AES-NI loop.
    static constexpr bool kWideCfb1 = false;
    // The sign bits of all 64 bytes; byte 0 of lane l is bit 16 * l.
    static QOLT_FORCE_INLINE unsigned keystreamBits(__m512i x) {
        const uint64_t m = _mm512_movepi8_mask(x);
        return unsigned((m & 1) << 3 | (m >> 16 & 1) << 2 | (m >> 32 & 1) << 1 | (m >> 48 & 1));
    }
};

}  // namespace

const RijndaelBackend kRijndaelVaesBackend = ModeLoops<Vaes>::backend(
    RijndaelBackendId::Vaes, "vaes", aesniExpandKey, aesniInvertKey);
