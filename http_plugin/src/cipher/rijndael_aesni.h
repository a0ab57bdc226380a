// The AES-NI block primitives (see rijndael_modes.h for the contract),
// included by each file built for the AES instructions: the AES-NI backend
// itself and, for its serial loops and tails, the VAES backends.  Only the
// files compiled with -maes (or wider) may include it: it needs AES-NI and
// SSE2, nothing else, so that every processor with AES-NI runs it.
//
// Constant time: the rounds are the AES instructions, whose latency does not
// depend on their operands; no branch and no address here depends on a key,
// vector or data byte.
#ifndef QOLT_RIJNDAEL_AESNI_H
#define QOLT_RIJNDAEL_AESNI_H

#include <immintrin.h>

#include <cstdint>

#include "rijndael_modes.h"
#include "wipe.h"

namespace {

// FIPS-197 Cipher and its equivalent inverse cipher on N registers of any
// width, by that width's AES instructions, which I names: Reg, key(p) (the
// round key at p in every lane), enc, encLast, dec, decLast.  dec takes
// round keys converted by InvMixColumns, which is how the Decrypt schedule
// is stored.
template <class I>
struct AesRounds {
    using Reg = typename I::Reg;

    template <unsigned R>
    struct Keys {
        Reg k[R + 1];
        Keys(const unsigned char *rk, unsigned /* rounds, which is R */, bool /* decrypting */) {
            QOLT_UNROLL_ALL
            for (unsigned r = 0; r <= R; ++r) k[r] = I::key(rk + 16 * r);
        }
    };

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, Reg (&x)[N]) {
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = x[i] ^ ks.k[0];
        QOLT_UNROLL_ALL
        for (unsigned r = 1; r < R; ++r) {
            QOLT_UNROLL_ALL
            for (size_t i = 0; i < N; ++i) x[i] = I::enc(x[i], ks.k[r]);
        }
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = I::encLast(x[i], ks.k[R]);
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, Reg (&x)[N]) {
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = x[i] ^ ks.k[R];
        QOLT_UNROLL_ALL
        for (unsigned r = R - 1; r > 0; --r) {
            QOLT_UNROLL_ALL
            for (size_t i = 0; i < N; ++i) x[i] = I::dec(x[i], ks.k[r]);
        }
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) x[i] = I::decLast(x[i], ks.k[0]);
    }
};

struct AesNiInstructions {
    using Reg = __m128i;
    static QOLT_FORCE_INLINE __m128i key(const unsigned char *p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    static QOLT_FORCE_INLINE __m128i enc(__m128i x, __m128i k) { return _mm_aesenc_si128(x, k); }
    static QOLT_FORCE_INLINE __m128i encLast(__m128i x, __m128i k) {
        return _mm_aesenclast_si128(x, k);
    }
    static QOLT_FORCE_INLINE __m128i dec(__m128i x, __m128i k) { return _mm_aesdec_si128(x, k); }
    static QOLT_FORCE_INLINE __m128i decLast(__m128i x, __m128i k) {
        return _mm_aesdeclast_si128(x, k);
    }
};

struct AesNi : AesRounds<AesNiInstructions> {
    static constexpr unsigned kLanes = 1;
    // Eight blocks in flight cover the AES unit's latency times its
    // throughput on current processors.
    static constexpr unsigned kInFlight = 8;
    using Reg = __m128i;
    using Tail = AesNi;

    static QOLT_FORCE_INLINE __m128i load(const unsigned char *p) {
        return AesNiInstructions::key(p);
    }
    static QOLT_FORCE_INLINE void store(unsigned char *p, __m128i x) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), x);
    }

    // One block in two registers, xmm0 the state and xmm1 the round key,
    // each round key loaded as the instruction needs it: written in
    // assembler so that no other register is used, and the two are cleared
    // before the return.  The general registers hold only the addresses
    // and the number of rounds, which are not secret.  So the one-block
    // entry needs no clearing of every register after it (kOneBlockClears):
    // it stays a short call.  VEX forms where the file is built for AVX, so
    // that no legacy SSE instruction meets a dirty upper half.  The
    // branches follow the number of rounds alone.
    static constexpr bool kOneBlockClears = true;
#if defined(__AVX__)
#define QOLT_MOVDQU "vmovdqu "
#define QOLT_OP(op) "v" op " %%xmm1, %%xmm0, %%xmm0\n\t"
#define QOLT_ZERO "vpxor %%xmm0, %%xmm0, %%xmm0\n\tvpxor %%xmm1, %%xmm1, %%xmm1\n\t"
#else
#define QOLT_MOVDQU "movdqu "
#define QOLT_OP(op) op " %%xmm1, %%xmm0\n\t"
#define QOLT_ZERO "pxor %%xmm0, %%xmm0\n\tpxor %%xmm1, %%xmm1\n\t"
#endif
#define QOLT_STEP(offset, op) QOLT_MOVDQU #offset "(%[rk]), %%xmm1\n\t" QOLT_OP(op)
    template <bool kDecrypt>
    static QOLT_FORCE_INLINE void oneBlock(const unsigned char *rk, unsigned rounds,
                                           const unsigned char *in, unsigned char *out) {
        const unsigned char *last = rk + 16 * rounds;
        if (!kDecrypt) {
            __asm__ __volatile__(
                QOLT_MOVDQU "(%[in]), %%xmm0\n\t" QOLT_STEP(0, "pxor") QOLT_STEP(16, "aesenc")
                    QOLT_STEP(32, "aesenc") QOLT_STEP(48, "aesenc") QOLT_STEP(64, "aesenc")
                        QOLT_STEP(80, "aesenc") QOLT_STEP(96, "aesenc") QOLT_STEP(112, "aesenc")
                            QOLT_STEP(128, "aesenc") QOLT_STEP(144, "aesenc")
                "cmpl $10, %[rounds]\n\tjbe 1f\n\t" QOLT_STEP(160, "aesenc") QOLT_STEP(176, "aesenc")
                "cmpl $12, %[rounds]\n\tjbe 1f\n\t" QOLT_STEP(192, "aesenc") QOLT_STEP(208, "aesenc")
                "1:\n\t" QOLT_MOVDQU "(%[last]), %%xmm1\n\t" QOLT_OP("aesenclast")
                QOLT_MOVDQU "%%xmm0, (%[out])\n\t" QOLT_ZERO
                :
                : [rk] "r"(rk), [last] "r"(last), [rounds] "r"(rounds), [in] "r"(in),
                  [out] "r"(out)
                : "xmm0", "xmm1", "cc", "memory");
        } else {
            __asm__ __volatile__(
                QOLT_MOVDQU "(%[in]), %%xmm0\n\t" QOLT_MOVDQU "(%[last]), %%xmm1\n\t" QOLT_OP("pxor")
                "cmpl $12, %[rounds]\n\tjbe 1f\n\t" QOLT_STEP(208, "aesdec") QOLT_STEP(192, "aesdec")
                "1:\n\tcmpl $10, %[rounds]\n\tjbe 2f\n\t" QOLT_STEP(176, "aesdec")
                    QOLT_STEP(160, "aesdec")
                "2:\n\t" QOLT_STEP(144, "aesdec") QOLT_STEP(128, "aesdec") QOLT_STEP(112, "aesdec")
                    QOLT_STEP(96, "aesdec") QOLT_STEP(80, "aesdec") QOLT_STEP(64, "aesdec")
                        QOLT_STEP(48, "aesdec") QOLT_STEP(32, "aesdec") QOLT_STEP(16, "aesdec")
                            QOLT_STEP(0, "aesdeclast")
                QOLT_MOVDQU "%%xmm0, (%[out])\n\t" QOLT_ZERO
                :
                : [rk] "r"(rk), [last] "r"(last), [rounds] "r"(rounds), [in] "r"(in),
                  [out] "r"(out)
                : "xmm0", "xmm1", "cc", "memory");
        }
    }
#undef QOLT_MOVDQU
#undef QOLT_OP
#undef QOLT_ZERO
#undef QOLT_STEP

    // The CFB1 shift register given as two big-endian halves, as a block:
    // the halves byte-swapped as words, so no byte shuffle (SSSE3) is needed.
    static QOLT_FORCE_INLINE __m128i fromShiftRegisters(const uint64_t *hl) {
        return _mm_set_epi64x(int64_t(__builtin_bswap64(hl[1])), int64_t(__builtin_bswap64(hl[0])));
    }
    static QOLT_FORCE_INLINE unsigned keystreamBits(__m128i x) {
        return (unsigned(_mm_cvtsi128_si32(x)) >> 7) & 1;
    }

    // The CFB1 shift register is the block itself, shifted as a 128-bit
    // big-endian number with SSE2 alone: each byte doubled, plus the top bit
    // of the byte after it.  The feedback is kept where it enters, bit 0 of
    // byte 15, so the loop's chain through the register stays a few cycles.
    using Cfb = __m128i;
    static QOLT_FORCE_INLINE __m128i cfbStart(const unsigned char *iv) { return load(iv); }
    static QOLT_FORCE_INLINE __m128i cfbBlock(__m128i s) { return s; }
    static QOLT_FORCE_INLINE __m128i lastByteBit0() {
        return _mm_set_epi8(1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    // Bit 7 of byte 0 of x, moved to bit 0 of byte 15, XOR the input bit.
    static QOLT_FORCE_INLINE __m128i cfbFeedback(__m128i x, unsigned inBit) {
        const __m128i keyBit =
            _mm_and_si128(_mm_srli_epi64(_mm_slli_si128(x, 15), 7), lastByteBit0());
        return _mm_xor_si128(keyBit, _mm_and_si128(_mm_set1_epi8(char(inBit)), lastByteBit0()));
    }
    static QOLT_FORCE_INLINE unsigned cfbBit(__m128i fb) {
        return unsigned(_mm_extract_epi16(fb, 7)) >> 8;
    }
    static QOLT_FORCE_INLINE __m128i cfbShift(__m128i s, __m128i fb) {
        const __m128i nextTop = _mm_cmplt_epi8(_mm_srli_si128(s, 1), _mm_setzero_si128());
        const __m128i carry = _mm_and_si128(nextTop, _mm_set1_epi8(1));
        return _mm_or_si128(_mm_or_si128(_mm_add_epi8(s, s), carry), fb);
    }
};

}  // namespace

#endif  // QOLT_RIJNDAEL_AESNI_H
