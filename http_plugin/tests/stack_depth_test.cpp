// How deep below their caller the backends' frames reach, measured: each
// call runs on a thread whose stack is a buffer of the test's own, filled
// with a pattern first, and the lowest word that no longer holds the
// pattern is as deep as the call went.  The wipes that follow calls with
// secrets (wipe.h) must reach at least that deep on every backend: the
// backends' own entries within kQoltBackendStack, the calls the decoder's
// exports make within kQoltStackWipe.
//
// Every backend is pinned in turn (--backend).  Instrumented builds keep
// frames of their own, so only plain builds.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <valgrind/memcheck.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "protocol.h"
#include "qolt/rijndael.h"
#include "rijndael_dispatch.h"
#include "wipe.h"

namespace {

constexpr uint64_t kPattern = 0x5a3c96e1d2b4f087;

// The bytes f's callees used below the frame that calls it: from the frame
// address of the thread's body, which calls f through std::function (a few
// dozen bytes that the result counts as well), down to the lowest word no
// longer holding the pattern.  0 when the stack cannot be had.
size_t depthOf(const std::function<void()> &f) {
    constexpr size_t kSize = 1 << 18;
    void *p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        ADD_FAILURE() << "no stack";
        return 0;
    }
    auto *stack = static_cast<unsigned char *>(p);
    for (size_t i = 0; i < kSize; i += 8) memcpy(stack + i, &kPattern, 8);

    struct Job {
        const std::function<void()> &f;
        uintptr_t frame;
    } job{f, 0};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack, kSize);
    pthread_t thread;
    size_t depth = 0;
    if (pthread_create(
            &thread, &attr,
            [](void *arg) -> void * {
                Job &j = *static_cast<Job *>(arg);
                j.frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
                j.f();
                return nullptr;
            },
            &job) == 0) {
        pthread_join(thread, nullptr);
        // A finished thread's stack is no longer addressable to memcheck;
        // reading it is the point here.
        VALGRIND_MAKE_MEM_DEFINED(stack, kSize);
        size_t low = 0;
        for (uint64_t w; low < kSize; low += 8) {
            memcpy(&w, stack + low, 8);
            if (w != kPattern) break;
        }
        depth = job.frame - reinterpret_cast<uintptr_t>(stack + low);
    } else {
        ADD_FAILURE() << "no thread";
    }
    pthread_attr_destroy(&attr);
    munmap(stack, kSize);
    return depth;
}

// A frame of n bytes that the compiler must keep: the measure's own check.
template <size_t n>
__attribute__((noinline)) void frameOf() {
    unsigned char area[n];
    // Written here, not by a call into the C library, whose first call may
    // go through the dynamic linker and its own frames.
    for (size_t i = 0; i < n; ++i) area[i] = static_cast<unsigned char>(i | 1);
    __asm__ __volatile__("" : : "r"(area) : "memory");
}

const unsigned char kKey[32] = {0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae,
                                0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61,
                                0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};
const unsigned char kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// Block counts that take every path of the loops: one block, a tail, whole
// wide steps and steps with tails after them.
const size_t kBlockCounts[] = {1, 3, 16, 37, 260};

TEST(StackDepth, TheMeasureSeesAFrameOfKnownSize) {
    const size_t small = depthOf([] { frameOf<256>(); });
    const size_t large = depthOf([] { frameOf<3000>(); });
    EXPECT_GE(small, 256u);
    EXPECT_GE(large, 3000u);
    // The frame and not much else: the harness adds tens of bytes on
    // x86-64, under a kilobyte under qemu-aarch64.
    EXPECT_LT(large, 3000u + 1024);
    EXPECT_GE(large, small + 3000 - 256 - 1024) << small << " and " << large << " bytes";
}

// Every entry of the running backend, for every key length, mode and
// direction: the deepest any of them reaches is what the wipes must cover.
TEST(StackDepth, EveryBackendEntryStaysWithinTheWipe) {
    const RijndaelBackendEntry &running = rijndaelRunningBackend();
    const RijndaelBackend &b = *running.backend;
    alignas(16) unsigned char rk[16 * 15];
    std::vector<unsigned char> in(16 * 260), out(in.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i * 7 + 1);

    size_t deepest = 0;
    std::string where;
    auto measure = [&](const std::string &what, const std::function<void()> &f) {
        const size_t depth = depthOf(f);
        if (depth > deepest) deepest = depth, where = what;
    };
    for (unsigned rounds : {10u, 12u, 14u}) {
        const std::string r = std::to_string(rounds) + " rounds ";
        measure(r + "expandKey", [&] { b.expandKey(kKey, rounds, rk); });
        measure(r + "invertKey", [&] { b.invertKey(rounds, rk); });
        measure(r + "encryptBlock", [&] { b.encryptBlock(rk, rounds, in.data(), out.data()); });
        measure(r + "decryptBlock", [&] { b.decryptBlock(rk, rounds, in.data(), out.data()); });
        for (size_t n : kBlockCounts) {
            const std::string s = r + std::to_string(n) + " blocks ";
            const unsigned char *i = in.data();
            unsigned char *o = out.data();
            measure(s + "ecbEncrypt", [&] { b.ecbEncrypt(rk, rounds, i, o, n); });
            measure(s + "ecbDecrypt", [&] { b.ecbDecrypt(rk, rounds, i, o, n); });
            measure(s + "cbcEncrypt", [&] { b.cbcEncrypt(rk, rounds, kIv, i, o, n); });
            measure(s + "cbcDecrypt", [&] { b.cbcDecrypt(rk, rounds, kIv, i, o, n); });
            measure(s + "cfb1Encrypt", [&] { b.cfb1Encrypt(rk, rounds, kIv, i, o, n); });
            measure(s + "cfb1Decrypt", [&] { b.cfb1Decrypt(rk, rounds, kIv, i, o, n); });
        }
    }
    printf("backend %s: deepest %zu bytes (%s); backend wipe %zu, export wipe %zu\n", running.name,
           deepest, where.c_str(), kQoltBackendStack, kQoltStackWipe);
    RecordProperty("deepest", std::to_string(deepest));
    EXPECT_LE(deepest, kQoltBackendStack) << running.name << ": " << where;
}

// The cipher calls of the decoder's exports, wipes of their own included:
// key set-up for CBC decryption, and decryption of credentials of one, a
// few and many blocks.  Their frames must lie within the exports' wipe.
TEST(StackDepth, DecoderCallsStayWithinTheExportWipe) {
    const RijndaelBackendEntry &running = rijndaelRunningBackend();
    unsigned char key[kCredentialKeyBytes];
    credentialKey("stack depth", key);
    Rijndael cipher;
    size_t deepest = depthOf([&] {
        cipher.init(Rijndael::CBC, Rijndael::Decrypt, key, Rijndael::Key128, credentialVector());
    });
    std::vector<unsigned char> in(16 * 260, 0x5c), out(in.size());
    for (size_t n : kBlockCounts) {
        const int bytes = int(16 * n);
        deepest =
            std::max(deepest, depthOf([&] { cipher.padDecrypt(in.data(), bytes, out.data()); }));
    }
    printf("backend %s: decoder's cipher calls %zu bytes deep; export wipe %zu\n", running.name,
           deepest, kQoltStackWipe);
    EXPECT_LE(deepest, kQoltStackWipe) << running.name;
}

}  // namespace
