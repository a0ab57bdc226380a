// The CFB1 shift register of the backends that keep a block in plain
// integers (see rijndael_modes.h for the contract): two 64-bit words, the
// register's first byte at the top of hi.  The backend B derives from
// WordCfb<B> and supplies fromShiftRegisters and keystreamBits.
#ifndef QOLT_RIJNDAEL_WORD_CFB_H
#define QOLT_RIJNDAEL_WORD_CFB_H

#include "rijndael_modes.h"

namespace {

template <class B>
struct WordCfb {
    struct Cfb {
        uint64_t hi, lo;
    };
    static QOLT_FORCE_INLINE Cfb cfbStart(const unsigned char *iv) {
        return {load64be(iv), load64be(iv + 8)};
    }
    static QOLT_FORCE_INLINE auto cfbBlock(const Cfb &s) {
        const uint64_t hl[2] = {s.hi, s.lo};
        return B::fromShiftRegisters(hl);
    }
    template <class Reg>
    static QOLT_FORCE_INLINE unsigned cfbFeedback(const Reg &x, unsigned inBit) {
        return B::keystreamBits(x) ^ inBit;
    }
    static QOLT_FORCE_INLINE unsigned cfbBit(unsigned fb) { return fb; }
    static QOLT_FORCE_INLINE Cfb cfbShift(const Cfb &s, unsigned fb) {
        return {s.hi << 1 | s.lo >> 63, s.lo << 1 | fb};
    }
};

}  // namespace

#endif  // QOLT_RIJNDAEL_WORD_CFB_H
