// The AES-NI backend.  Built with -maes (this file only); run only where
// cpuid reports AES-NI.
#include "rijndael_aesni.h"
#include "rijndael_key_expansion.h"

namespace {

// SubWord of a key-schedule word (its first byte lowest): aeskeygenassist
// substitutes the word placed in its second column.
QOLT_FORCE_INLINE uint32_t subWord(uint32_t w) {
    const __m128i x = _mm_set_epi32(0, 0, int(w), 0);
    return uint32_t(_mm_cvtsi128_si32(_mm_aeskeygenassist_si128(x, 0)));
}

}  // namespace

// The entries as functions of their own, which the VAES backends call for
// whatever works a block at a time or is shorter than one of their wide
// steps: one copy serves all three, and such a call clears sixteen xmm
// registers behind it, not every zmm register (which, measured, tripled the
// time of one block).
void rijndaelAesNiExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    rijndaelExpandKey(key, rounds, rk, subWord);
    qoltClearVectorRegisters();
}

void rijndaelAesNiInvertKey(unsigned rounds, unsigned char *rk) {
    for (unsigned r = 1; r < rounds; ++r)
        AesNi::store(rk + 16 * r, _mm_aesimc_si128(AesNi::load(rk + 16 * r)));
    qoltClearVectorRegisters();
}

void rijndaelAesNiEncryptBlock(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                               unsigned char *out) {
    ModeLoops<AesNi>::block<false>(rk, rounds, in, out);
}
void rijndaelAesNiDecryptBlock(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                               unsigned char *out) {
    ModeLoops<AesNi>::block<true>(rk, rounds, in, out);
}
void rijndaelAesNiEcbEncrypt(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                             unsigned char *out, size_t blocks) {
    ModeLoops<AesNi>::ecb<false>(rk, rounds, in, out, blocks);
}
void rijndaelAesNiEcbDecrypt(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                             unsigned char *out, size_t blocks) {
    ModeLoops<AesNi>::ecb<true>(rk, rounds, in, out, blocks);
}
void rijndaelAesNiCbcDecrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                             const unsigned char *in, unsigned char *out, size_t blocks) {
    ModeLoops<AesNi>::cbcDecrypt(rk, rounds, iv, in, out, blocks);
}
void rijndaelAesNiCbcEncrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                             const unsigned char *in, unsigned char *out, size_t blocks) {
    ModeLoops<AesNi>::cbcEncrypt(rk, rounds, iv, in, out, blocks);
}
void rijndaelAesNiCfb1Encrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                              const unsigned char *in, unsigned char *out, size_t blocks) {
    ModeLoops<AesNi>::cfb1Encrypt(rk, rounds, iv, in, out, blocks);
}
void rijndaelAesNiCfb1Decrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                              const unsigned char *in, unsigned char *out, size_t blocks) {
    ModeLoops<AesNi>::cfb1Decrypt(rk, rounds, iv, in, out, blocks);
}

const RijndaelBackend kRijndaelAesNiBackend = {rijndaelAesNiExpandKey,    rijndaelAesNiInvertKey,
                                               rijndaelAesNiEncryptBlock, rijndaelAesNiDecryptBlock,
                                               rijndaelAesNiEcbEncrypt,   rijndaelAesNiEcbDecrypt,
                                               rijndaelAesNiCbcEncrypt,   rijndaelAesNiCbcDecrypt,
                                               rijndaelAesNiCfb1Encrypt,  rijndaelAesNiCfb1Decrypt};
