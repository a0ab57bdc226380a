// No key, round key or plaintext left in the vector registers (64-bit ARM):
// every entry of every backend this processor runs is called directly and
// the 32 registers are stored the moment it returns, then searched as the
// residue test searches a stack.  Whatever later saved them (a signal
// frame, the dynamic linker, a spill) would put such bytes in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "rijndael_dispatch.h"
#include "test_support.h"

namespace {

struct Registers {
    unsigned char v[32][16];
};

// Runs f (a backend call), then stores v0 to v31 before other code runs.
template <class F>
__attribute__((noinline)) void callThenStore(const F &f, Registers &regs) {
    f();
    unsigned char *p = regs.v[0];
    __asm__ __volatile__(
        "st1 {v0.16b, v1.16b, v2.16b, v3.16b}, [%0], #64\n\t"
        "st1 {v4.16b, v5.16b, v6.16b, v7.16b}, [%0], #64\n\t"
        "st1 {v8.16b, v9.16b, v10.16b, v11.16b}, [%0], #64\n\t"
        "st1 {v12.16b, v13.16b, v14.16b, v15.16b}, [%0], #64\n\t"
        "st1 {v16.16b, v17.16b, v18.16b, v19.16b}, [%0], #64\n\t"
        "st1 {v20.16b, v21.16b, v22.16b, v23.16b}, [%0], #64\n\t"
        "st1 {v24.16b, v25.16b, v26.16b, v27.16b}, [%0], #64\n\t"
        "st1 {v28.16b, v29.16b, v30.16b, v31.16b}, [%0], #64"
        : "+r"(p)
        :
        : "memory");
}

// The secrets of which some 8 consecutive bytes lie in a register.
std::vector<std::string> found(const Registers &regs,
                               const std::vector<std::pair<std::string, Bytes>> &secrets) {
    std::vector<std::string> names;
    for (const auto &s : secrets)
        for (size_t i = 0; i + 8 <= s.second.size(); ++i)
            if (memmem(regs.v, sizeof regs.v, s.second.data() + i, 8)) {
                names.push_back(s.first + " at byte " + std::to_string(i));
                break;
            }
    return names;
}

// The proof that the search sees what a call leaves: the test's own load of
// a secret into a register, with no call to clear it.
TEST(VectorRegisters, TheSearchSeesABlockLeftInARegister) {
    std::mt19937 rng(1);
    const Bytes block = randomBytes(rng, 16);
    Registers regs;
    callThenStore(
        [&] {
            __asm__ __volatile__("ld1 {v20.16b}, [%0]" : : "r"(block.data()) : "v20", "memory");
        },
        regs);
    EXPECT_EQ(found(regs, {{"block", block}}).size(), 1u);
}

TEST(VectorRegisters, EveryBackendEntryLeavesNoKeyRoundKeyOrPlaintext) {
    std::mt19937 rng(2);
    constexpr size_t kBlocks = 9;  // a whole step of eight and a tail
    for (size_t e = 0; e < kRijndaelBackendCount; ++e) {
        const RijndaelBackendEntry &entry = kRijndaelBackends[e];
        if (!rijndaelBackendSupported(entry.id)) continue;
        const RijndaelBackend &b = *entry.backend;
        for (unsigned rounds : {10u, 14u}) {
            SCOPED_TRACE(std::string(entry.name) + ", " + std::to_string(rounds) + " rounds");
            const Bytes key = randomBytes(rng, 4 * (rounds - 6));
            const Bytes iv = randomBytes(rng, 16);
            const Bytes plain = randomBytes(rng, 16 * kBlocks);
            Bytes rk(16 * (rounds + 1)), dk(16 * (rounds + 1)), out(16 * kBlocks);
            Bytes back(16 * kBlocks);
            Registers regs;

            callThenStore([&] { b.expandKey(key.data(), rounds, rk.data()); }, regs);
            EXPECT_EQ(found(regs, {{"key", key}, {"round keys", rk}}), std::vector<std::string>())
                << "expandKey";
            dk = rk;
            callThenStore([&] { b.invertKey(rounds, dk.data()); }, regs);
            EXPECT_EQ(found(regs, {{"round keys", rk}, {"decryption round keys", dk}}),
                      std::vector<std::string>())
                << "invertKey";

            // Each call with its schedule and the plaintext it reads or writes.
            struct Call {
                const char *name;
                std::function<void()> run;
                const Bytes &schedule;
            };
            const Call calls[] = {
                {"encryptBlock",
                 [&] { b.encryptBlock(rk.data(), rounds, plain.data(), out.data()); }, rk},
                {"ecbEncrypt",
                 [&] { b.ecbEncrypt(rk.data(), rounds, plain.data(), out.data(), kBlocks); }, rk},
                {"cbcEncrypt",
                 [&] {
                     b.cbcEncrypt(rk.data(), rounds, iv.data(), plain.data(), out.data(), kBlocks);
                 },
                 rk},
                {"cfb1Encrypt",
                 [&] { b.cfb1Encrypt(rk.data(), rounds, iv.data(), plain.data(), out.data(), 1); },
                 rk},
                {"ecbDecrypt",
                 [&] {
                     b.ecbEncrypt(rk.data(), rounds, plain.data(), out.data(), kBlocks);
                     b.ecbDecrypt(dk.data(), rounds, out.data(), back.data(), kBlocks);
                 },
                 dk},
                {"decryptBlock",
                 [&] {
                     b.encryptBlock(rk.data(), rounds, plain.data(), out.data());
                     b.decryptBlock(dk.data(), rounds, out.data(), back.data());
                 },
                 dk},
                {"cbcDecrypt",
                 [&] {
                     b.cbcEncrypt(rk.data(), rounds, iv.data(), plain.data(), out.data(), kBlocks);
                     b.cbcDecrypt(dk.data(), rounds, iv.data(), out.data(), back.data(), kBlocks);
                 },
                 dk},
                {"cfb1Decrypt",
                 [&] {
                     b.cfb1Encrypt(rk.data(), rounds, iv.data(), plain.data(), out.data(), 1);
                     b.cfb1Decrypt(rk.data(), rounds, iv.data(), out.data(), back.data(), 1);
                 },
                 rk},
            };
            for (const Call &c : calls) {
                callThenStore(c.run, regs);
                EXPECT_EQ(found(regs, {{"schedule", c.schedule}, {"plaintext", plain}}),
                          std::vector<std::string>())
                    << c.name;
            }
            // The decryptions really gave the plaintext back (the last one, CFB1, one block).
            EXPECT_EQ(Bytes(back.begin(), back.begin() + 16),
                      Bytes(plain.begin(), plain.begin() + 16));
        }
    }
}

}  // namespace
