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

// Copies n bytes of a secret, as memcpy would, but never through the C
// library, whose copies on processors with AVX-512 go through xmm16 to
// xmm31 and leave the bytes there, where code built for any x86-64 cannot
// clear them.  On x86-64 a string move; elsewhere memcpy.
static inline void qoltCopy(void *to, const void *from, size_t n) {
#if defined(__x86_64__) && defined(__GNUC__)
    __asm__ __volatile__("rep movsb" : "+D"(to), "+S"(from), "+c"(n) : : "memory");
#else
    memcpy(to, from, n);
#endif
}

// The depth of stack below their caller that the cipher backends' entries
// use, where they may spill round keys, blocks and bit-planes: measured on
// every backend by stack_depth_test, on x86-64 the bitsliced loops the
// deepest at about 1.5 KiB, and rounded up.  The wipes after calls into a
// backend cover it.  On 32-bit x86, whose seven general registers hold
// half a 64-bit bit-plane each, the bitsliced loops spill about 7.3 KiB.
// Elsewhere, where fewer registers may mean more spills, the test holds
// the backends to twice the x86-64 depth.
#if defined(__x86_64__)
constexpr size_t kQoltBackendStack = 2048;
#elif defined(__i386__)
constexpr size_t kQoltBackendStack = 8192;
#else
constexpr size_t kQoltBackendStack = 4096;
#endif

// The depth below an export's frame that its callees with secrets may have
// used: a backend's, and the frames of the class's calls above it (with
// the class's own wipe, about 150 bytes measured).
constexpr size_t kQoltStackWipe = kQoltBackendStack + 512;

// Zeroes kDepth bytes of stack below the caller's frame, where the calls it
// has made kept their frames.  Not inlined, so that its array lies below the
// caller's frame and not in it.
template <size_t kDepth = kQoltStackWipe>
__attribute__((noinline)) static void qoltWipeStackBelow() {
    unsigned char area[kDepth];
    qoltWipe(area, sizeof area);
}

// Zeroes the vector registers that code built with the including file's
// flags may use, so that no round key or block outlives a call in them:
// once the call returns, a signal frame or the dynamic linker's lazy
// binding of the caller's next call would store them to the stack.  Every
// backend entry ends with it.  The registers are all caller-saved, so the
// clobbers cost no saves.
// - SSE (baseline and SSSE3 or AES-NI files): xmm0 to xmm15, one zero idiom
//   each.
// - AVX: ymm0 to ymm15, one VEX zero idiom each on the low 128 bits, which
//   zeroes the rest of the register.  Not vzeroall: it does the same work
//   but is microcoded on Intel processors, where it made a one-block call
//   two thirds slower (4.7 ns to 7.9 ns) against an eighth for these.
// - AVX-512: zmm0 to zmm31 the same way (EVEX for zmm16 to zmm31).
// - AArch64: v0 to v31; the compiler saves and restores d8 to d15 around it
//   for the caller.  And x0 to x18, as the general registers below.
#define QOLT_REGS_0_15(m) \
    m(0) m(1) m(2) m(3) m(4) m(5) m(6) m(7) m(8) m(9) m(10) m(11) m(12) m(13) m(14) m(15)
#define QOLT_REGS_16_31(m) \
    m(16) m(17) m(18) m(19) m(20) m(21) m(22) m(23) m(24) m(25) m(26) m(27) m(28) m(29) m(30) m(31)
#define QOLT_XMM(n) "xmm" #n,
#define QOLT_PXOR(n) "pxor %%xmm" #n ", %%xmm" #n "\n\t"
#define QOLT_VPXORD(n) "vpxord %%xmm" #n ", %%xmm" #n ", %%xmm" #n "\n\t"
#define QOLT_VPXOR(n) "vpxor %%xmm" #n ", %%xmm" #n ", %%xmm" #n "\n\t"
#define QOLT_V(n) "v" #n,
#define QOLT_MOVI(n) "movi v" #n ".16b, #0\n\t"
// And the general registers a call may change without restoring them, which
// hold the last words of a key schedule or a block.
#define QOLT_CLEAR_GPRS                                                                       \
    "xorl %%eax, %%eax\n\txorl %%ecx, %%ecx\n\txorl %%edx, %%edx\n\txorl %%esi, %%esi\n\t"      \
    "xorl %%edi, %%edi\n\txorl %%r8d, %%r8d\n\txorl %%r9d, %%r9d\n\txorl %%r10d, %%r10d\n\t" \
    "xorl %%r11d, %%r11d\n\t"
#define QOLT_GPRS "rax", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11",
// On AArch64 x0 to x18: AAPCS64's argument, result and scratch registers,
// and the platform register, which Linux leaves to the compiler as one more.
#define QOLT_REGS_0_18(m) QOLT_REGS_0_15(m) m(16) m(17) m(18)
#define QOLT_MOVX(n) "mov x" #n ", xzr\n\t"
#define QOLT_X(n) "x" #n,
static inline __attribute__((always_inline)) void qoltClearVectorRegisters() {
#if defined(__x86_64__) && defined(__GNUC__) && defined(__AVX512VL__)
    __asm__ __volatile__(QOLT_REGS_0_15(QOLT_VPXOR) QOLT_REGS_16_31(QOLT_VPXORD) QOLT_CLEAR_GPRS
                         : : : QOLT_GPRS QOLT_REGS_0_15(QOLT_XMM) QOLT_REGS_16_31(QOLT_XMM) "cc");
#elif defined(__x86_64__) && defined(__GNUC__) && defined(__AVX__) && !defined(__AVX512F__)
    __asm__ __volatile__(QOLT_REGS_0_15(QOLT_VPXOR) QOLT_CLEAR_GPRS
                         : : : QOLT_GPRS QOLT_REGS_0_15(QOLT_XMM) "cc");
#elif defined(__x86_64__) && defined(__GNUC__) && !defined(__AVX__)
    __asm__ __volatile__(QOLT_REGS_0_15(QOLT_PXOR) QOLT_CLEAR_GPRS
                         : : : QOLT_GPRS QOLT_REGS_0_15(QOLT_XMM) "cc");
#elif defined(__aarch64__) && defined(__GNUC__)
    __asm__ __volatile__(QOLT_REGS_0_15(QOLT_MOVI) QOLT_REGS_16_31(QOLT_MOVI)
                             QOLT_REGS_0_18(QOLT_MOVX)
                         : : : QOLT_REGS_0_18(QOLT_X) QOLT_REGS_0_15(QOLT_V)
                               QOLT_REGS_16_31(QOLT_V) "cc");
#elif defined(__x86_64__) || defined(__aarch64__)
#error "no way to clear the vector registers for these flags"
#endif
}
// For code built for any x86-64 that has called the C library with a
// secret (the exports): the registers of the processor it runs on, those of
// AVX and AVX-512 included, which the library's string functions use there.
static inline void qoltClearEveryVectorRegister() {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__AVX__)
    qoltClearVectorRegisters();
    // The assembler takes these whatever the compiler's flags; the compiler
    // itself never allocates the registers they clear in such code.
    if (__builtin_cpu_supports("avx512f"))
        __asm__ __volatile__(QOLT_REGS_0_15(QOLT_VPXOR) QOLT_REGS_16_31(QOLT_VPXORD) : :);
    else if (__builtin_cpu_supports("avx"))
        __asm__ __volatile__(QOLT_REGS_0_15(QOLT_VPXOR) : :);
#else
    qoltClearVectorRegisters();
#endif
}

#undef QOLT_REGS_0_15
#undef QOLT_REGS_16_31
#undef QOLT_XMM
#undef QOLT_PXOR
#undef QOLT_VPXORD
#undef QOLT_VPXOR
#undef QOLT_V
#undef QOLT_MOVI
#undef QOLT_CLEAR_GPRS
#undef QOLT_GPRS

#endif  // QOLT_WIPE_H
