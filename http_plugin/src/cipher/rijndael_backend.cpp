// The registry of backends and the choice among them (rijndael_dispatch.h).
// The rows come from the backend list in http_plugin/CMakeLists.txt, which
// generates them per library: the plugin's lists the backends it may choose,
// the tests' adds the references they pin.  Adding a backend is its line
// there, its support test below, and its object.
#include <atomic>
#include <cstring>

#include "rijndael_dispatch.h"

#if defined(__x86_64__)
#include <cpuid.h>
#elif defined(__aarch64__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

// What cpuid and XCR0 report (on ARM, the kernel's hardware capabilities),
// read once per choice into one place.
struct RijndaelCpu {
    bool ssse3 = false, aesni = false, avx = false, avx2 = false, vaes = false;
    bool avx512f = false, avx512vl = false;
    bool ymmState = false, zmmState = false;  // the OS saves those registers
    bool armAes = false;                      // AESE, AESD, AESMC, AESIMC
};

namespace {

#if defined(__x86_64__)
bool bit(unsigned word, int n) { return (word >> n) & 1; }
#endif

RijndaelCpu readCpu() {
    RijndaelCpu cpu;
#if defined(__x86_64__)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return cpu;
    cpu.ssse3 = bit(c, 9);
    cpu.aesni = bit(c, 25);
    cpu.avx = bit(c, 28);
    if (bit(c, 27)) {  // OSXSAVE: XCR0 tells which register state the OS saves
        unsigned lo, hi;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        cpu.ymmState = (lo & 0x6) == 0x6;    // SSE and AVX
        cpu.zmmState = (lo & 0xe6) == 0xe6;  // and opmask, both upper ZMM halves
    }
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        cpu.avx2 = bit(b, 5);
        cpu.avx512f = bit(b, 16);
        cpu.avx512vl = bit(b, 31);
        cpu.vaes = bit(c, 9);
    }
#elif defined(__aarch64__)
    // The first call of getauxval() goes through the dynamic linker's lazy
    // binding, which saves the argument registers q0 to q7 on the stack;
    // the first cipher call chooses, and its caller may have left key bytes
    // there (a memcpy of the key).  They are the caller's to lose over any
    // call, so they are cleared first.
    __asm__ __volatile__(
        "movi v0.16b, #0\n\tmovi v1.16b, #0\n\tmovi v2.16b, #0\n\tmovi v3.16b, #0\n\t"
        "movi v4.16b, #0\n\tmovi v5.16b, #0\n\tmovi v6.16b, #0\n\tmovi v7.16b, #0" ::
            : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7");
    // The auxiliary vector is where Linux says what the cores have.
    cpu.armAes = (getauxval(AT_HWCAP) & HWCAP_AES) != 0;
#endif
    return cpu;
}

bool always(const RijndaelCpu &) { return true; }

#if defined(__x86_64__)
bool ssse3(const RijndaelCpu &cpu) { return cpu.ssse3; }

// AES-NI alone: the backend needs nothing beyond it and SSE2.
bool aesNi(const RijndaelCpu &cpu) { return cpu.aesni; }

// VAES on 256-bit registers: AVX, AVX2 and VAES, with the AVX state saved.
bool vaes256(const RijndaelCpu &cpu) {
    return cpu.aesni && cpu.avx && cpu.avx2 && cpu.vaes && cpu.ymmState;
}

// VAES on 512-bit registers: with AVX-512F and -VL (the AES-NI tails use all
// 32 registers), and the 512-bit state saved.
bool vaes512(const RijndaelCpu &cpu) {
    return vaes256(cpu) && cpu.avx512f && cpu.avx512vl && cpu.zmmState;
}
#elif defined(__aarch64__)
bool armAes(const RijndaelCpu &cpu) { return cpu.armAes; }
#endif

}  // namespace

// QOLT_RIJNDAEL_BACKEND(Id, "name", supported, choosable), most preferred
// first.
#define QOLT_RIJNDAEL_BACKEND(id, name, supported, choosable) \
    extern const RijndaelBackend kRijndael##id##Backend;
#include "rijndael_registry.inc"
#undef QOLT_RIJNDAEL_BACKEND

const RijndaelBackendEntry kRijndaelBackends[] = {
#define QOLT_RIJNDAEL_BACKEND(id, name, supported, choosable) \
    {RijndaelBackendId::id, name, &kRijndael##id##Backend, supported, choosable},
#include "rijndael_registry.inc"
#undef QOLT_RIJNDAEL_BACKEND
};
const size_t kRijndaelBackendCount = sizeof kRijndaelBackends / sizeof kRijndaelBackends[0];

namespace {

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
    const RijndaelCpu cpu = readCpu();
    // The bitsliced backend runs anywhere; the list chooses it at the latest.
    const RijndaelBackend *chosen = &kRijndaelBitslicedBackend;
    for (const RijndaelBackendEntry &e : kRijndaelBackends)
        if (e.choosable && e.supported(cpu)) {
            chosen = e.backend;
            break;
        }
    rijndaelChosenBackend.store(chosen, std::memory_order_relaxed);
    return *chosen;
}

const RijndaelBackendEntry &rijndaelRunningBackend() {
    const RijndaelBackend *b = rijndaelChosenBackend.load(std::memory_order_relaxed);
    if (b == &kFirstCall) b = &rijndaelChooseBackend();
    for (const RijndaelBackendEntry &e : kRijndaelBackends)
        if (e.backend == b) return e;
    return kRijndaelBackends[kRijndaelBackendCount - 1];
}

const RijndaelBackendEntry &rijndaelBackendEntry(RijndaelBackendId id) {
    for (const RijndaelBackendEntry &e : kRijndaelBackends)
        if (e.id == id) return e;
    // An id not built for this architecture: the tables stand for it, and
    // rijndaelBackendSupported() says no.
    return kRijndaelBackends[kRijndaelBackendCount - 1];
}

const RijndaelBackendEntry *rijndaelBackendNamed(const char *name) {
    for (const RijndaelBackendEntry &e : kRijndaelBackends)
        if (strcmp(e.name, name) == 0) return &e;
    return nullptr;
}

bool rijndaelBackendSupported(RijndaelBackendId id) {
    const RijndaelBackendEntry &e = rijndaelBackendEntry(id);
    return e.id == id && e.supported(readCpu());
}

bool rijndaelPinBackend(RijndaelBackendId id) {
    if (!rijndaelBackendSupported(id)) return false;
    rijndaelChosenBackend.store(rijndaelBackendEntry(id).backend, std::memory_order_relaxed);
    return true;
}
