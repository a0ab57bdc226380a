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

// The key schedule and its conversion need AES-NI alone: the VAES backends
// take these too, so that one copy serves all three.
void rijndaelAesNiExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    rijndaelExpandKey(key, rounds, rk, subWord);
    qoltClearVectorRegisters();
}

void rijndaelAesNiInvertKey(unsigned rounds, unsigned char *rk) {
    for (unsigned r = 1; r < rounds; ++r)
        AesNi::store(rk + 16 * r, _mm_aesimc_si128(AesNi::load(rk + 16 * r)));
    qoltClearVectorRegisters();
}

const RijndaelBackend kRijndaelAesNiBackend =
    ModeLoops<AesNi>::backend(rijndaelAesNiExpandKey, rijndaelAesNiInvertKey);
