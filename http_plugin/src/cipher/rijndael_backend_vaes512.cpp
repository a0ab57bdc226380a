// The VAES backend on 512-bit registers: four blocks to a register and four
// registers in flight.  Built with the AVX-512 and VAES flags (this file
// only); run only where cpuid and the operating system's saved state allow
// them.
// GCC 12 takes the deliberately undefined source of its own AVX-512
// broadcast intrinsics for an uninitialised variable: silenced for its
// header alone, so that this file's own code is still warned about.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "rijndael_vaes.h"

namespace {

struct Vaes512Instructions {
    using Reg = __m512i;
    static QOLT_FORCE_INLINE __m512i key(const unsigned char *p) {
        return _mm512_broadcast_i32x4(AesNi::load(p));
    }
    static QOLT_FORCE_INLINE __m512i enc(__m512i x, __m512i k) {
        return _mm512_aesenc_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m512i encLast(__m512i x, __m512i k) {
        return _mm512_aesenclast_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m512i dec(__m512i x, __m512i k) {
        return _mm512_aesdec_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m512i decLast(__m512i x, __m512i k) {
        return _mm512_aesdeclast_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m512i load(const unsigned char *p) { return _mm512_loadu_si512(p); }
    static QOLT_FORCE_INLINE void store(unsigned char *p, __m512i x) { _mm512_storeu_si512(p, x); }
    // Lanes (prev 3, cur 0, cur 1, cur 2): the 128 bytes cur:prev shifted
    // right by six 64-bit words.
    static QOLT_FORCE_INLINE __m512i shiftIn(__m512i prev, __m512i cur) {
        return _mm512_alignr_epi64(cur, prev, 6);
    }
    static QOLT_FORCE_INLINE __m128i lastLane(__m512i x) { return _mm512_extracti32x4_epi32(x, 3); }
};

}  // namespace

const RijndaelBackend kRijndaelVaes512Backend = VaesEntries<Vaes512Instructions>::backend();
