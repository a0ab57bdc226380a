// The VAES backend on 256-bit registers, for processors that have the
// vector AES instructions but not AVX-512 (or not its 512-bit state): two
// blocks to a register and eight registers in flight.  Built with the AVX2
// and VAES flags only (this file only), so that nothing here needs AVX-512;
// run only where cpuid and the operating system's saved state allow them.
#include "rijndael_vaes.h"

namespace {

struct Vaes256Instructions {
    using Reg = __m256i;
    static QOLT_FORCE_INLINE __m256i key(const unsigned char *p) {
        return _mm256_broadcastsi128_si256(AesNi::load(p));
    }
    static QOLT_FORCE_INLINE __m256i enc(__m256i x, __m256i k) {
        return _mm256_aesenc_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m256i encLast(__m256i x, __m256i k) {
        return _mm256_aesenclast_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m256i dec(__m256i x, __m256i k) {
        return _mm256_aesdec_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m256i decLast(__m256i x, __m256i k) {
        return _mm256_aesdeclast_epi128(x, k);
    }
    static QOLT_FORCE_INLINE __m256i load(const unsigned char *p) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    static QOLT_FORCE_INLINE void store(unsigned char *p, __m256i x) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), x);
    }
    // Lanes (prev 1, cur 0).
    static QOLT_FORCE_INLINE __m256i shiftIn(__m256i prev, __m256i cur) {
        return _mm256_permute2x128_si256(prev, cur, 0x21);
    }
    static QOLT_FORCE_INLINE __m128i lastLane(__m256i x) { return _mm256_extracti128_si256(x, 1); }
};

}  // namespace

const RijndaelBackend kRijndaelVaes256Backend = VaesEntries<Vaes256Instructions>::backend();
