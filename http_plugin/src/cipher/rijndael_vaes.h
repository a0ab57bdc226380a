// The VAES backends: the AES instructions on registers of several blocks,
// one template over the width's instructions I (as AesRounds takes them,
// plus load, store, shiftIn and lastLane), sixteen blocks in flight at
// either width.  Included only by the files built for that width's flags.
// Every entry that works a block at a time, and ECB and CBC decryption of
// fewer blocks than a wide step, are the AES-NI backend's own; the tails
// after wide steps are the AES-NI code compiled here.
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

// The backend of width I: its own loops for ECB and CBC decryption of a
// wide step or more, and its own copy of the AES-NI code for CFB1
// encryption, whose one chain of dependent blocks runs 4 to 7 % faster in
// the three-operand instructions of this file's flags (measured); the
// AES-NI backend's entries for everything else.
template <class I>
struct VaesEntries {
    using Loops = ModeLoops<Vaes<I>>;
    static constexpr size_t kStep = Vaes<I>::kLanes * Vaes<I>::kInFlight;

    template <bool kDecrypt>
    static void ecb(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                    unsigned char *out, size_t blocks) {
        if (blocks < kStep)
            (kDecrypt ? rijndaelAesNiEcbDecrypt : rijndaelAesNiEcbEncrypt)(rk, rounds, in, out,
                                                                           blocks);
        else
            Loops::template ecb<kDecrypt>(rk, rounds, in, out, blocks);
    }
    static void cbcDecrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                           const unsigned char *in, unsigned char *out, size_t blocks) {
        if (blocks < kStep)
            rijndaelAesNiCbcDecrypt(rk, rounds, iv, in, out, blocks);
        else
            Loops::cbcDecrypt(rk, rounds, iv, in, out, blocks);
    }

    static constexpr RijndaelBackend backend() {
        return {rijndaelAesNiExpandKey,
                rijndaelAesNiInvertKey,
                rijndaelAesNiEncryptBlock,
                rijndaelAesNiDecryptBlock,
                ecb<false>,
                ecb<true>,
                rijndaelAesNiCbcEncrypt,
                cbcDecrypt,
                Loops::cfb1Encrypt,
                rijndaelAesNiCfb1Decrypt};
    }
};

}  // namespace

#endif  // QOLT_RIJNDAEL_VAES_H
