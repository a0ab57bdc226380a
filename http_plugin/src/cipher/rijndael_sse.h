// The block moves of a backend that keeps one block in a 128-bit register
// (see rijndael_modes.h for the contract): everything but the rounds and the
// round keys.  SSE2 and the SSSE3 byte shuffle only, so that any backend
// built with -mssse3 or more may include it.
//
// Constant time: loads and stores at the caller's addresses, shifts by
// constant counts, shuffles by constant masks.
#ifndef QOLT_RIJNDAEL_SSE_H
#define QOLT_RIJNDAEL_SSE_H

#include <tmmintrin.h>

#include <cstdint>

#include "rijndael_modes.h"

namespace {

struct SseOneBlock {
    static constexpr unsigned kLanes = 1;
    using Reg = __m128i;

    static QOLT_FORCE_INLINE __m128i load(const unsigned char *p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    static QOLT_FORCE_INLINE void store(unsigned char *p, __m128i x) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), x);
    }

    // Each 64-bit half byte-reversed: a big-endian shift-register half
    // becomes the block's byte order.
    static QOLT_FORCE_INLINE __m128i fromShiftRegisters(const uint64_t *hl) {
        const __m128i swapHalves =
            _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
        return _mm_shuffle_epi8(_mm_set_epi64x(int64_t(hl[1]), int64_t(hl[0])), swapHalves);
    }
    static QOLT_FORCE_INLINE unsigned keystreamBits(__m128i x) {
        return (unsigned(_mm_cvtsi128_si32(x)) >> 7) & 1;
    }

    // The CFB1 shift register as a little-endian 128-bit number: the block
    // byte-reversed, so that its one-bit shift is two 64-bit shifts.
    using Cfb = __m128i;
    static QOLT_FORCE_INLINE __m128i reverse16() {
        return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    }
    static QOLT_FORCE_INLINE __m128i cfbStart(const unsigned char *iv) {
        return _mm_shuffle_epi8(load(iv), reverse16());
    }
    static QOLT_FORCE_INLINE __m128i cfbBlock(__m128i s) {
        return _mm_shuffle_epi8(s, reverse16());
    }
    // Bit 7 of byte 0, moved to bit 0 of the low word.
    static QOLT_FORCE_INLINE __m128i cfbFeedback(__m128i x, unsigned inBit) {
        const __m128i keyBit = _mm_and_si128(_mm_srli_epi64(x, 7), _mm_cvtsi32_si128(1));
        return _mm_xor_si128(keyBit, _mm_cvtsi32_si128(int(inBit)));
    }
    static QOLT_FORCE_INLINE unsigned cfbBit(__m128i fb) { return unsigned(_mm_cvtsi128_si32(fb)); }
    static QOLT_FORCE_INLINE __m128i cfbShift(__m128i s, __m128i fb) {
        const __m128i carry = _mm_slli_si128(_mm_srli_epi64(s, 63), 8);
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi64(s, 1), carry), fb);
    }
};

}  // namespace

#endif  // QOLT_RIJNDAEL_SSE_H
