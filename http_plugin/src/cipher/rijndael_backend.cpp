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

bool hasSsse3() {
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && bit(c, 9);
}

// AES-NI; the backend needs nothing beyond it and SSE2.
bool hasAesNi() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return bit(c, 25);
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
    case RijndaelBackendId::Ssse3: return hasSsse3() ? &kRijndaelSsse3Backend : nullptr;
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
    if (const RijndaelBackend *b = backendOf(RijndaelBackendId::Ssse3)) return b;
    // The tables leak the key through the cache: never chosen.
    return &kRijndaelBitslicedBackend;
}

// The stand-in of the first call: each function chooses, then forwards.
template <class... A>
struct FirstCall {
    template <void (*const RijndaelBackend::*f)(A...)>
    static void forward(A... a) {
        (rijndaelChooseBackend().*f)(a...);
    }
};

using Rk = const unsigned char *;
using In = const unsigned char *;
using Out = unsigned char *;
using Block = FirstCall<Rk, unsigned, In, Out>;
using Bulk = FirstCall<Rk, unsigned, In, Out, size_t>;
using Chained = FirstCall<Rk, unsigned, In, In, Out, size_t>;

const RijndaelBackend kFirstCall = {
    RijndaelBackendId::Tables,
    "first-call",
    FirstCall<In, unsigned, Out>::forward<&RijndaelBackend::expandKey>,
    FirstCall<unsigned, Out>::forward<&RijndaelBackend::invertKey>,
    Block::forward<&RijndaelBackend::encryptBlock>,
    Block::forward<&RijndaelBackend::decryptBlock>,
    Bulk::forward<&RijndaelBackend::ecbEncrypt>,
    Bulk::forward<&RijndaelBackend::ecbDecrypt>,
    Chained::forward<&RijndaelBackend::cbcEncrypt>,
    Chained::forward<&RijndaelBackend::cbcDecrypt>,
    Chained::forward<&RijndaelBackend::cfb1Encrypt>,
    Chained::forward<&RijndaelBackend::cfb1Decrypt>,
};

}  // namespace

// Constant-initialised, so usable from any constructor; a first use from two
// threads at once makes the same choice twice, harmlessly.
std::atomic<const RijndaelBackend *> rijndaelChosenBackend{&kFirstCall};

const RijndaelBackend &rijndaelChooseBackend() {
    const RijndaelBackend *b = widest();
    rijndaelChosenBackend.store(b, std::memory_order_relaxed);
    return *b;
}

const RijndaelBackend &rijndaelRunningBackend() {
    const RijndaelBackend *b = rijndaelChosenBackend.load(std::memory_order_relaxed);
    return b == &kFirstCall ? rijndaelChooseBackend() : *b;
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
    case RijndaelBackendId::Ssse3: return "ssse3";
    case RijndaelBackendId::Bitsliced: return "bitsliced";
    case RijndaelBackendId::AesNi: return "aes-ni";
    case RijndaelBackendId::Vaes256: return "vaes-256";
    case RijndaelBackendId::Vaes: return "vaes";
    }
    return nullptr;
}
