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

// VAES on 512-bit registers: the processor's AVX2, AVX-512F, -BW and -VL
// (the AES-NI tails use all 32 registers) and VAES bits, and the operating system's consent to save the vector state
// (XCR0: SSE, AVX, opmask and both halves of the upper ZMM registers).
bool hasVaes512() {
    unsigned a, b, c, d;
    if (!hasAesNi() || !__get_cpuid(1, &a, &b, &c, &d) || !bit(c, 27)) return false;
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 0xe6) != 0xe6) return false;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return bit(b, 5) && bit(b, 16) && bit(b, 30) && bit(b, 31) && bit(c, 9);
}
#endif

const RijndaelBackend *backendOf(RijndaelBackendId id) {
    switch (id) {
    case RijndaelBackendId::Tables: return &kRijndaelTablesBackend;
#if defined(__x86_64__)
    case RijndaelBackendId::AesNi: return hasAesNi() ? &kRijndaelAesNiBackend : nullptr;
    case RijndaelBackendId::Vaes: return hasVaes512() ? &kRijndaelVaesBackend : nullptr;
#else
    default: break;
#endif
    }
    return nullptr;
}

const RijndaelBackend *widest() {
    if (const RijndaelBackend *b = backendOf(RijndaelBackendId::Vaes)) return b;
    if (const RijndaelBackend *b = backendOf(RijndaelBackendId::AesNi)) return b;
    return &kRijndaelTablesBackend;
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
    case RijndaelBackendId::AesNi: return "aes-ni";
    case RijndaelBackendId::Vaes: return "vaes";
    }
    return nullptr;
}
