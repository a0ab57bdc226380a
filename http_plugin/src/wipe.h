// Clearing secrets: key bytes, round keys and plaintext that a call copied
// to its own stack or to a temporary are cleared before it returns.  Static:
// files built for other instruction sets include this too, and no copy of
// theirs may be shared with baseline code.
#ifndef QOLT_WIPE_H
#define QOLT_WIPE_H

#include <cstddef>
#include <cstring>

// Zeroes n bytes at p with stores the compiler may not remove, as it may a
// memset of memory that is about to die.  On x86-64 and 64-bit ARM stores of
// its own, never a call into the C library: the first call through a lazily bound slot would
// have the dynamic linker save the vector registers, and whatever round keys
// they still hold, to the stack.  Elsewhere memset, kept by an empty asm
// that may read what it wrote.
static inline void qoltWipe(void *p, size_t n) {
#if defined(__x86_64__) && defined(__GNUC__)
    __asm__ __volatile__("rep stosb" : "+D"(p), "+c"(n) : "a"(0) : "memory");
#elif defined(__aarch64__) && defined(__GNUC__)
    // The same on 64-bit ARM, whose lazy binding saves q0 to q7: pairs of
    // zero registers, then single bytes.
    unsigned char *q = static_cast<unsigned char *>(p);
    for (; n >= 16; n -= 16, q += 16)
        __asm__ __volatile__("stp xzr, xzr, [%0]" : : "r"(q) : "memory");
    for (; n > 0; --n, ++q) __asm__ __volatile__("strb wzr, [%0]" : : "r"(q) : "memory");
#elif defined(__GNUC__)
    memset(p, 0, n);
    __asm__ __volatile__("" : : "r"(p) : "memory");
#else
    volatile unsigned char *v = static_cast<volatile unsigned char *>(p);
    while (n--) *v++ = 0;
#endif
}

// The depth of stack below an export's frame that its callees may have
// used: the cipher's key schedule and its block loops keep round keys in
// registers that the compiler may spill there.
constexpr size_t kQoltStackWipe = 4096;

// Zeroes kQoltStackWipe bytes of stack below the caller's frame, where the
// calls it has made kept their frames.  Not inlined, so that its array lies
// below the caller's frame and not in it.
__attribute__((noinline)) static inline void qoltWipeStackBelow() {
    unsigned char area[kQoltStackWipe];
    qoltWipe(area, sizeof area);
}

#endif  // QOLT_WIPE_H
