// The backends' entries with what a call leaves cleared before they return,
// so that no key, round key or block outlives it:
// - on 64-bit ARM the vector registers and the scratch general registers
//   (qoltClearVectorRegisters): compilers keep such bytes there even in
//   portable code (a memcpy of 16 bytes is one register), and whatever
//   saves those registers later (a signal frame, the dynamic linker, a
//   callee's spill) would put them on the stack;
// - on 32-bit x86 the stack below the caller: with seven general registers
//   the table code spills its state, the plaintext of a decryption's last
//   round included.
// Included by the backends only, each getting its own copy, as
// rijndael_modes.h's loops.
#ifndef QOLT_RIJNDAEL_CLEARING_H
#define QOLT_RIJNDAEL_CLEARING_H

#include "rijndael_modes.h"
#include "wipe.h"

namespace {

#if defined(__aarch64__)
// The vector registers and the scratch general registers (wipe.h).
QOLT_FORCE_INLINE void clearAfterCall() { qoltClearVectorRegisters(); }
#else
// The table loops' own frames, under 700 bytes deep on 32-bit x86
// (stack_depth_test); not the exports' whole wipe, whose own array would
// then be the deepest frame of every call.
QOLT_FORCE_INLINE void clearAfterCall() { qoltWipeStackBelow<2048>(); }
#endif

// One entry: the function, then what it left cleared.
template <auto F>
struct Clearing;
template <class... A, void (*F)(A...)>
struct Clearing<F> {
    static void run(A... a) {
        F(a...);
        clearAfterCall();
    }
};

// ModeLoops<B>::backend(E, I), every entry clearing.
template <class B, void (*E)(const unsigned char *, unsigned, unsigned char *),
          void (*I)(unsigned, unsigned char *)>
constexpr RijndaelBackend clearingBackend() {
    using L = ModeLoops<B>;
    return {Clearing<E>::run,
            Clearing<I>::run,
            Clearing<L::template block<false>>::run,
            Clearing<L::template block<true>>::run,
            Clearing<L::template ecb<false>>::run,
            Clearing<L::template ecb<true>>::run,
            Clearing<L::cbcEncrypt>::run,
            Clearing<L::cbcDecrypt>::run,
            Clearing<L::cfb1Encrypt>::run,
            Clearing<L::cfb1Decrypt>::run};
}

}  // namespace

#endif  // QOLT_RIJNDAEL_CLEARING_H
