// The backends' entries with what a call leaves cleared before they return,
// so that no key, round key or block outlives it:
// - on 64-bit ARM the vector registers: compilers keep such bytes there even
//   in portable code (a memcpy of 16 bytes is one register), and whatever
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
// Zeroes all 32 vector registers.  v8 to v15 are the caller's to keep (their
// low halves), so naming them makes the compiler save and restore those
// halves around this; what comes back is the caller's own, the upper halves
// zero.
QOLT_FORCE_INLINE void clearAfterCall() {
    __asm__ __volatile__(
        "movi v0.16b, #0\n\tmovi v1.16b, #0\n\tmovi v2.16b, #0\n\tmovi v3.16b, #0\n\t"
        "movi v4.16b, #0\n\tmovi v5.16b, #0\n\tmovi v6.16b, #0\n\tmovi v7.16b, #0\n\t"
        "movi v8.16b, #0\n\tmovi v9.16b, #0\n\tmovi v10.16b, #0\n\tmovi v11.16b, #0\n\t"
        "movi v12.16b, #0\n\tmovi v13.16b, #0\n\tmovi v14.16b, #0\n\tmovi v15.16b, #0\n\t"
        "movi v16.16b, #0\n\tmovi v17.16b, #0\n\tmovi v18.16b, #0\n\tmovi v19.16b, #0\n\t"
        "movi v20.16b, #0\n\tmovi v21.16b, #0\n\tmovi v22.16b, #0\n\tmovi v23.16b, #0\n\t"
        "movi v24.16b, #0\n\tmovi v25.16b, #0\n\tmovi v26.16b, #0\n\tmovi v27.16b, #0\n\t"
        "movi v28.16b, #0\n\tmovi v29.16b, #0\n\tmovi v30.16b, #0\n\tmovi v31.16b, #0" ::
            : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12",
              "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24",
              "v25", "v26", "v27", "v28", "v29", "v30", "v31");
}
#else
QOLT_FORCE_INLINE void clearAfterCall() { qoltWipeStackBelow(); }
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
