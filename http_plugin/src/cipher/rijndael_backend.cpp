// Which backend the cipher runs: chosen once from cpuid, never from the
// environment; tests may pin one.
#include "rijndael_backend.h"

#include <atomic>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

#if defined(__x86_64__)
bool bit(unsigned word, int n) { return (word >> n) & 1; }

// AES-NI with the SSSE3 byte shuffle and SSE4.1 the backend is built with.
bool hasAesNi() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return bit(c, 25) && bit(c, 9) && bit(c, 19);
}

// The operating system saves the registers named by these XCR0 bits.
bool osSaves(unsigned mask) {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !bit(c, 27)) return false;  // OSXSAVE
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (lo & mask) == mask;
}

// Leaf 7's feature words, zero where the processor has no leaf 7.
void leaf7(unsigned &b, unsigned &c) {
    unsigned a, d;
    b = c = 0;
    if (__get_cpuid_max(0, nullptr) >= 7) __cpuid_count(7, 0, a, b, c, d);
}

// VAES on 256-bit registers: AVX2 and VAES, with the SSE and AVX state saved.
bool hasVaes256() {
    unsigned b, c;
    leaf7(b, c);
    return hasAesNi() && osSaves(0x6) && bit(b, 5) && bit(c, 9);
}

// VAES on 512-bit registers: VAES with AVX-512F and -VL (the AES-NI tails
// use all 32 registers), and the operating system's consent to save the
// vector state (XCR0: SSE, AVX, opmask and both halves of the upper ZMM
// registers).
bool hasVaes512() {
    unsigned b, c;
    leaf7(b, c);
    return hasVaes256() && osSaves(0xe6) && bit(b, 16) && bit(b, 31);
}
#endif

const RijndaelBackend *backendOf(RijndaelBackendId id) {
    switch (id) {
    case RijndaelBackendId::Tables: return &kRijndaelTablesBackend;
    case RijndaelBackendId::Bitsliced: return &kRijndaelBitslicedBackend;
#if defined(__x86_64__)
    case RijndaelBackendId::AesNi: return hasAesNi() ? &kRijndaelAesNiBackend : nullptr;
    case RijndaelBackendId::Vaes256: return hasVaes256() ? &kRijndaelVaes256Backend : nullptr;
    case RijndaelBackendId::Vaes: return hasVaes512() ? &kRijndaelVaesBackend : nullptr;
#else
    default: break;
#endif
    }
    return nullptr;
}

const RijndaelBackend *widest() {
    if (const RijndaelBackend *b = backendOf(RijndaelBackendId::Vaes)) return b;
    if (const RijndaelBackend *b = backendOf(RijndaelBackendId::Vaes256)) return b;
    if (const RijndaelBackend *b = backendOf(RijndaelBackendId::AesNi)) return b;
    // The tables leak the key through the cache: never chosen.
    return &kRijndaelBitslicedBackend;
}

}  // namespace

// Constant-initialised, so usable from any constructor; a first use from two
// threads at once makes the same choice twice, harmlessly.
std::atomic<const RijndaelBackend *> rijndaelChosenBackend{nullptr};

const RijndaelBackend &rijndaelChooseBackend() {
    const RijndaelBackend *b = widest();
    rijndaelChosenBackend.store(b, std::memory_order_relaxed);
    return *b;
}

bool rijndaelBackendSupported(RijndaelBackendId id) { return backendOf(id) != nullptr; }

bool rijndaelPinBackend(RijndaelBackendId id) {
    const RijndaelBackend *b = backendOf(id);
    if (b) rijndaelChosenBackend.store(b, std::memory_order_relaxed);
    return b != nullptr;
}

const char *rijndaelBackendName(RijndaelBackendId id) {
    switch (id) {
    case RijndaelBackendId::Tables: return "tables";
    case RijndaelBackendId::Bitsliced: return "bitsliced";
    case RijndaelBackendId::AesNi: return "aes-ni";
    case RijndaelBackendId::Vaes256: return "vaes-256";
    case RijndaelBackendId::Vaes: return "vaes";
    }
    return nullptr;
}
