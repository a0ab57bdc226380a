// No secret left behind, in any form: each call runs on a thread whose stack
// is a buffer of the test's own, cleared first, and the buffer is kept when
// the thread is done.  The call runs with two different secrets (key and
// plaintext), and twice with each; a byte that differs between the secrets
// but never between two runs with the same ones depends on a secret: it is
// residue, whether a copy, a spilled round key, a bit-plane or a state.
//
// What comes after the call is searched too: a signal, whose frame stores
// every register on the stack, and a first call through a lazily bound slot,
// for which the dynamic linker stores the vector registers.  The first tests
// prove that the comparison sees a copy and that both events do store the
// registers.
//
// Every backend is pinned in turn (--backend), the decoder's exports
// included: their sources are built into this test, beside the cipher it
// pins.
#include <dlfcn.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <valgrind/memcheck.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "protocol.h"
#include "qolt/http_plugin.h"
#include "qolt/rijndael.h"
#include "test_support.h"
#include "wipe.h"

namespace {

// What follows the call on its thread.
enum class After { Nothing, Signal, LazyCall };
const After kAfter[] = {After::Nothing, After::Signal, After::LazyCall};
const char *name(After a) {
    return a == After::Nothing ? "the call" : a == After::Signal ? "a signal" : "a lazy call";
}

// A library of the test's own, loaded anew for each run so that its call
// to itself goes through a slot not yet bound (it is linked -z lazy).
class LazySlot {
public:
    LazySlot() : handle_(dlopen(QOLT_LAZY_PROBE, RTLD_LAZY | RTLD_LOCAL)) {
        if (handle_) probe_ = reinterpret_cast<int (*)(int)>(dlsym(handle_, "qoltLazyProbe"));
    }
    ~LazySlot() {
        if (handle_) dlclose(handle_);
    }
    LazySlot(const LazySlot &) = delete;
    LazySlot &operator=(const LazySlot &) = delete;
    bool ready() const { return probe_ != nullptr; }
    int call(int x) const { return probe_(x); }

private:
    void *handle_;
    int (*probe_)(int) = nullptr;
};

void ignoreSignal(int) {}

class OwnStack {
public:
    static constexpr size_t kSize = 1 << 18;

    OwnStack() {
        void *p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        stack_ = p == MAP_FAILED ? nullptr : static_cast<unsigned char *>(p);
        struct sigaction action = {};
        action.sa_handler = ignoreSignal;
        sigaction(SIGUSR1, &action, nullptr);
    }
    ~OwnStack() {
        if (stack_) munmap(stack_, kSize);
    }
    OwnStack(const OwnStack &) = delete;
    OwnStack &operator=(const OwnStack &) = delete;

    // Runs f, then what `after` says, on a thread whose stack is the cleared
    // buffer; returns the buffer as the thread left it.
    Bytes run(const std::function<void()> &f, After after = After::Nothing) {
        Bytes image;
        if (!stack_) {
            ADD_FAILURE() << "no stack";
            return image;
        }
        LazySlot slot;
        if (after == After::LazyCall && !slot.ready()) {
            ADD_FAILURE() << "cannot load " << QOLT_LAZY_PROBE << ": " << dlerror();
            return image;
        }
        struct Job {
            const std::function<void()> &f;
            After after;
            const LazySlot &slot;
            const unsigned char *frame;
        } job{f, after, slot, nullptr};
        memset(stack_, 0, kSize);
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstack(&attr, stack_, kSize);
        auto body = [](void *arg) -> void * {
            Job &j = *static_cast<Job *>(arg);
            j.frame = static_cast<const unsigned char *>(__builtin_frame_address(0));
            // A thread starts with its creator's registers, in which the
            // creator's own copies of the secret may lie.
            qoltClearEveryVectorRegister();
            j.f();
            // Nothing between the call and these may touch a vector register.
            if (j.after == After::Signal) raise(SIGUSR1);
            if (j.after == After::LazyCall) j.slot.call(1);
            return nullptr;
        };
        pthread_t thread;
        if (pthread_create(&thread, &attr, body, &job) == 0) {
            pthread_join(thread, nullptr);
            // A finished thread's stack is no longer addressable to
            // memcheck; reading it is this test's point.
            VALGRIND_MAKE_MEM_DEFINED(stack_, kSize);
            image.assign(stack_, stack_ + kSize);
            // Above the thread's first frame lie its descriptor and static
            // TLS, not stack: among them the kernel's record of the CPU the
            // thread last ran on, which differs from run to run.
            if (job.frame > stack_ && job.frame < stack_ + kSize)
                std::fill(image.begin() + (job.frame - stack_), image.end(), 0);
        } else {
            ADD_FAILURE() << "no thread";
        }
        pthread_attr_destroy(&attr);
        return image;
    }

private:
    unsigned char *stack_;
};

// Runs a call with secrets 0 and 1, twice each, followed by `after`, and
// returns the offsets of the bytes that depend on the secret.  Each run
// first installs its secret: `prepare(s)`, outside the thread; the call
// itself is the same code on the same addresses every time.
std::vector<size_t> residue(OwnStack &stack, const std::function<void(int)> &prepare,
                            const std::function<void()> &call, After after) {
    Bytes later[2];
    // Each secret's runs in pairs, secret 0 before and after secret 1, so
    // that noise which alternates or drifts from run to run (addresses,
    // thread ids) differs within a secret's runs.
    Bytes first[2][2];
    const int order[6] = {0, 0, 1, 1, 0, 0};
    for (int run = 0; run < 6; ++run) {
        const int s = order[run];
        prepare(s);
        Bytes image = stack.run(call, after);
        if (run < 4)
            first[s][run % 2] = std::move(image);
        else
            later[run % 2] = std::move(image);
    }
    std::vector<size_t> found;
    if (getenv("DBG")) { for (size_t i = 0; i < first[0][0].size(); ++i) if (first[0][0][i] != first[1][0][i] && first[0][0][i]==later[0][i]) fprintf(stderr, "%zu %02x %02x\n", i, first[0][0][i], first[1][0][i]); }
    for (size_t i = 0; i < first[0][0].size(); ++i) {
        const unsigned char a = first[0][0][i];
        if (a != first[1][0][i] && a == first[0][1][i] && a == later[0][i] && a == later[1][i] &&
            first[1][0][i] == first[1][1][i])
            found.push_back(i);
    }
    return found;
}

// The residue after the call, after a signal and after a lazy call, in a
// message naming each case with its byte count.
std::string residueReport(OwnStack &stack, const std::function<void(int)> &prepare,
                          const std::function<void()> &call) {
    std::string report;
    for (After after : kAfter) {
        // Under valgrind the registers, their saving and the signal frame
        // are its emulation's, not the processor's.
        if (after != After::Nothing && RUNNING_ON_VALGRIND) continue;
        const std::vector<size_t> bytes = residue(stack, prepare, call, after);
        if (!bytes.empty())
            report += std::to_string(bytes.size()) + " bytes after " + name(after) +
                      " (first at stack offset " + std::to_string(bytes.front()) + "); ";
    }
    return report;
}

// Two secrets: keys, vectors, plaintexts of the same lengths.
struct Pair {
    Bytes key[2], plain[2];
    Pair(std::mt19937 &rng, size_t keyBytes, size_t plainBytes) {
        for (int s = 0; s < 2; ++s) {
            key[s] = randomBytes(rng, keyBytes);
            plain[s] = randomBytes(rng, plainBytes);
        }
    }
};

// Fills every vector register (xmm0 to xmm15, or v0 to v31) with the
// marker, so that a store of any of them is seen in the stack.
void fillVectorRegisters(const unsigned char marker[16]) {
#if defined(__x86_64__)
#define QOLT_FILL(n) "movdqu (%0), %%xmm" #n "\n\t"
    __asm__ __volatile__(QOLT_FILL(0) QOLT_FILL(1) QOLT_FILL(2) QOLT_FILL(3) QOLT_FILL(4)
                             QOLT_FILL(5) QOLT_FILL(6) QOLT_FILL(7) QOLT_FILL(8) QOLT_FILL(9)
                                 QOLT_FILL(10) QOLT_FILL(11) QOLT_FILL(12) QOLT_FILL(13)
                                     QOLT_FILL(14) QOLT_FILL(15)
                         :
                         : "r"(marker)
                         : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                           "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#undef QOLT_FILL
#elif defined(__aarch64__)
#define QOLT_FILL(n) "ld1 {v" #n ".16b}, [%0]\n\t"
#define QOLT_FILL8(a, b, c, d, e, f, g, h) \
    QOLT_FILL(a) QOLT_FILL(b) QOLT_FILL(c) QOLT_FILL(d) QOLT_FILL(e) QOLT_FILL(f) QOLT_FILL(g) QOLT_FILL(h)
    __asm__ __volatile__(QOLT_FILL8(0, 1, 2, 3, 4, 5, 6, 7) QOLT_FILL8(8, 9, 10, 11, 12, 13, 14, 15)
                             QOLT_FILL8(16, 17, 18, 19, 20, 21, 22, 23)
                                 QOLT_FILL8(24, 25, 26, 27, 28, 29, 30, 31)
                         :
                         : "r"(marker)
                         : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11",
                           "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21",
                           "v22", "v23", "v24", "v25", "v26", "v27", "v28", "v29", "v30", "v31",
                           "memory");
#undef QOLT_FILL8
#undef QOLT_FILL
#else
    (void)marker;
#endif
}

// A call that leaves a copy of the key at the bottom of a frame as deep as a
// cipher call's, below what the thread's own exit reuses.
__attribute__((noinline)) void leaveCopy(const Bytes &key) {
    unsigned char frame[1024];
    memset(frame, 0, sizeof frame);
    memcpy(frame, key.data(), 16);
    __asm__ __volatile__("" : : "r"(frame) : "memory");  // the copy is made
}

// Bytes at which two byte strings differ.
size_t differing(const Bytes &a, const Bytes &b) {
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

TEST(SecretResidue, TheComparisonSeesACopyLeftBehindAndNothingElse) {
    std::mt19937 rng(1);
    Pair p(rng, 16, 0);
    Bytes key(16);
    OwnStack stack;
    EXPECT_EQ(residue(
                  stack, [&](int s) { key = p.key[s]; }, [&] { leaveCopy(key); },
                  After::Nothing)
                  .size(),
              differing(p.key[0], p.key[1]));
    EXPECT_EQ(residueReport(
                  stack, [](int) {}, [] {}),
              "");
}

TEST(SecretResidue, SignalAndLazyCallStoreTheVectorRegisters) {
    if (RUNNING_ON_VALGRIND) GTEST_SKIP() << "valgrind's signal frames and CPU are its own";

    std::mt19937 rng(2);
    Pair p(rng, 16, 0);
    Bytes marker(16);
    auto prepare = [&](int s) { marker = p.key[s]; };
    auto fill = [&] { fillVectorRegisters(marker.data()); };
    OwnStack stack;
    // Each stored register is a 16-byte copy of the marker.
    for (After after : {After::Signal, After::LazyCall})
        EXPECT_GE(residue(stack, prepare, fill, after).size(), 8 * differing(p.key[0], p.key[1]))
            << name(after);
    EXPECT_TRUE(residue(stack, prepare, fill, After::Nothing).empty());
}

TEST(SecretResidue, InitLeavesNothingOfTheKey) {
    std::mt19937 rng(3);
    for (Rijndael::KeyLength length : {Rijndael::Key128, Rijndael::Key256})
        for (Rijndael::Direction direction : {Rijndael::Encrypt, Rijndael::Decrypt}) {
            Pair p(rng, length == Rijndael::Key128 ? 16 : 32, 0);
            auto cipher = std::make_unique<Rijndael>();  // its own schedule is not residue
            Bytes key(p.key[0].size());
            OwnStack stack;
            EXPECT_EQ(residueReport(
                          stack, [&](int s) { key = p.key[s]; },
                          [&] { cipher->init(Rijndael::CBC, direction, key.data(), length); }),
                      "")
                << "key bytes " << key.size() << ", direction " << direction;
        }
}

TEST(SecretResidue, PaddedCallsLeaveNothingOfKeyOrPlaintext) {
    std::mt19937 rng(4);
    Pair p(rng, 16, 21);
    for (Rijndael::Mode mode : {Rijndael::CBC, Rijndael::ECB}) {
        auto enc = std::make_unique<Rijndael>(), dec = std::make_unique<Rijndael>();
        Bytes plain(21), sealed(32), opened(32);
        auto prepare = [&](int s) {
            enc->init(mode, Rijndael::Encrypt, p.key[s].data(), Rijndael::Key128);
            dec->init(mode, Rijndael::Decrypt, p.key[s].data(), Rijndael::Key128);
            plain = p.plain[s];
            enc->padEncrypt(plain.data(), 21, sealed.data());
        };
        OwnStack stack;
        EXPECT_EQ(residueReport(stack, prepare,
                                [&] { enc->padEncrypt(plain.data(), 21, sealed.data()); }),
                  "")
            << "padEncrypt, mode " << mode;
        if (mode != Rijndael::ECB) continue;
        EXPECT_EQ(residueReport(stack, prepare,
                                [&] { dec->padDecrypt(sealed.data(), 32, opened.data()); }),
                  "")
            << "padDecrypt, mode " << mode;
        EXPECT_EQ(Bytes(opened.begin(), opened.begin() + 21), plain);
    }
}

TEST(SecretResidue, DecoderExportsLeaveNothingOfKeyOrPlaintext) {
    // Key texts of equal lengths and one credential: the ciphertext is
    // public, the same for both, and decrypts to a different plaintext under
    // each key.
    const std::string keyTexts[2] = {"residue test!", "other secret?"};
    std::mt19937 rng(5);
    const Bytes sealed = randomBytes(rng, 48);
    const std::string input = base64Encode(sealed);
    std::string keyText;
    char *result = nullptr;  // the caller's, freed outside the thread
    OwnStack stack;
    EXPECT_EQ(residueReport(
                  stack, [&](int s) { keyText = keyTexts[s]; },
                  [&] { qolt_plugin_auth_decode_init(keyText.c_str()); }),
              "")
        << "decode_init";
    EXPECT_EQ(residueReport(
                  stack,
                  [&](int s) {
                      g_free(result);
                      result = nullptr;
                      qolt_plugin_auth_decode_init(keyTexts[s].c_str());
                  },
                  [&] { result = qolt_plugin_auth_decode(input.c_str()); }),
              "")
        << "decode";
    // The last run decoded with key 0: every byte, padding and all.
    Bytes key(kCredentialKeyBytes), plain(48);
    credentialKey(keyTexts[0].c_str(), key.data());
    Rijndael cipher;
    cipher.init(Rijndael::CBC, Rijndael::Decrypt, key.data(), Rijndael::Key128,
                credentialVector());
    ASSERT_EQ(cipher.blockDecrypt(sealed.data(), 8 * 48, plain.data()), 8 * 48);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(toHex(reinterpret_cast<unsigned char *>(result), 48), toHex(plain));
    g_free(result);
}

}  // namespace
