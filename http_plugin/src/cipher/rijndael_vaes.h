// The VAES backends: the AES instructions on registers of several blocks,
// one template over the width's instructions I (as AesRounds takes them,
// plus load, store, shiftIn and lastLane), sixteen blocks in flight at
// either width.  Included only by the files built for that width's flags.
// The tails of ECB and CBC decryption are the AES-NI code compiled there;
// every entry that works a block at a time is the AES-NI backend's own.
//
// Constant time: as for AES-NI; the lane moves (permutes, broadcasts,
// extracts) take no secret index or branch.
#ifndef QOLT_RIJNDAEL_VAES_H
#define QOLT_RIJNDAEL_VAES_H

#include "rijndael_aesni.h"

namespace {

template <class I>
struct Vaes : AesRounds<I> {
    using Reg = typename I::Reg;
    static constexpr unsigned kLanes = sizeof(Reg) / 16;
    static constexpr unsigned kInFlight = 16 / kLanes;
    using Tail = AesNi;

    static QOLT_FORCE_INLINE Reg load(const unsigned char *p) { return I::load(p); }
    static QOLT_FORCE_INLINE void store(unsigned char *p, Reg x) { I::store(p, x); }
    // The block at p in every lane.
    static QOLT_FORCE_INLINE Reg splat(const unsigned char *p) { return I::key(p); }
    // Lanes (last lane of prev, cur lanes 0 .. kLanes - 2).
    static QOLT_FORCE_INLINE Reg shiftIn(Reg prev, Reg cur) { return I::shiftIn(prev, cur); }
    static QOLT_FORCE_INLINE __m128i lastLane(Reg x) { return I::lastLane(x); }
};

// The backend of width I: its own loops where the wide registers serve (ECB
// and CBC decryption), the AES-NI backend's entries everywhere else.
template <class I>
constexpr RijndaelBackend vaesBackend() {
    using Loops = ModeLoops<Vaes<I>>;
    return {rijndaelAesNiExpandKey,    rijndaelAesNiInvertKey,     rijndaelAesNiEncryptBlock,
            rijndaelAesNiDecryptBlock, Loops::template ecb<false>, Loops::template ecb<true>,
            rijndaelAesNiCbcEncrypt,   Loops::cbcDecrypt,          rijndaelAesNiCfb1Encrypt,
            rijndaelAesNiCfb1Decrypt};
}

}  // namespace

#endif  // QOLT_RIJNDAEL_VAES_H
