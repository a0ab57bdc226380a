// No secret left behind on the stack: each call runs on a thread whose stack
// is a buffer of the test's own, cleared first; afterwards the buffer is
// searched for the key, the round keys and the plaintext the call handled.
// Any 8 bytes of one of them found there is a copy the call left behind.
// The first test proves the search finds such a copy.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <valgrind/memcheck.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "credential_oracle.h"
#include "protocol.h"
#include "qolt/rijndael.h"
#include "rijndael_dispatch.h"
#include "test_support.h"

namespace {

// Named byte strings that must not be found.
using Secrets = std::vector<std::pair<std::string, Bytes>>;

class OwnStack {
public:
    static constexpr size_t kSize = 1 << 18;

    OwnStack() {
        void *p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        stack_ = p == MAP_FAILED ? nullptr : static_cast<unsigned char *>(p);
    }
    ~OwnStack() {
        if (stack_) munmap(stack_, kSize);
    }
    OwnStack(const OwnStack &) = delete;
    OwnStack &operator=(const OwnStack &) = delete;

    // Runs f on a thread whose stack is the cleared buffer.
    void run(const std::function<void()> &f) {
        ASSERT_NE(stack_, nullptr);
        memset(stack_, 0, kSize);
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        ASSERT_EQ(pthread_attr_setstack(&attr, stack_, kSize), 0);
        pthread_t thread;
        auto body = [](void *arg) -> void * {
            (*static_cast<const std::function<void()> *>(arg))();
            return nullptr;
        };
        ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()> *>(&f)), 0);
        pthread_join(thread, nullptr);
        pthread_attr_destroy(&attr);
    }

    // The secrets of which some 8 consecutive bytes lie in the buffer.
    std::vector<std::string> found(const Secrets &secrets) const {
        // A finished thread's stack is no longer addressable to memcheck;
        // reading it is this test's point.
        VALGRIND_MAKE_MEM_DEFINED(stack_, kSize);
        std::vector<std::string> names;
        for (const auto &s : secrets)
            for (size_t i = 0; i + 8 <= s.second.size(); ++i)
                if (memmem(stack_, kSize, s.second.data() + i, 8)) {
                    names.push_back(s.first + " at byte " + std::to_string(i));
                    break;
                }
        return names;
    }

private:
    unsigned char *stack_;
};

// The key, and each round key of both its schedules: Decrypt computes the
// encryption schedule first, then converts it.
Secrets keySecrets(const Bytes &key, Rijndael::KeyLength length) {
    Secrets s = {{"key", key}};
    for (Rijndael::Direction direction : {Rijndael::Encrypt, Rijndael::Decrypt}) {
        Rijndael cipher;
        cipher.init(Rijndael::CBC, direction, key.data(), length);
        const unsigned char *object = reinterpret_cast<const unsigned char *>(&cipher);
        uint32_t rounds;
        memcpy(&rounds, object + RijndaelLayout::rounds, 4);
        for (uint32_t r = 0; r <= rounds; ++r) {
            const unsigned char *k = object + RijndaelLayout::expandedKey + 16 * r;
            s.push_back({std::string(direction == Rijndael::Encrypt ? "encryption" : "decryption") +
                             " round key " + std::to_string(r),
                         Bytes(k, k + 16)});
        }
    }
    return s;
}

// A call that leaves a copy of the key at the bottom of a frame as deep as a
// cipher call's, below what the thread's own exit reuses.
__attribute__((noinline)) void leaveCopy(const Bytes &key) {
    unsigned char frame[1024];
    memset(frame, 0, sizeof frame);
    memcpy(frame, key.data(), 16);
    __asm__ __volatile__("" : : "r"(frame) : "memory");  // the copy is made
}

TEST(SecretResidue, TheSearchSeesACopyLeftBehind) {
    std::mt19937 rng(1);
    const Bytes key = randomBytes(rng, 16);
    OwnStack stack;
    stack.run([&] { leaveCopy(key); });
    EXPECT_EQ(stack.found({{"key", key}}).size(), 1u);
    stack.run([] {});
    EXPECT_TRUE(stack.found({{"key", key}}).empty());
}

TEST(SecretResidue, InitLeavesNoKeyOrRoundKey) {
    std::mt19937 rng(2);
    for (Rijndael::KeyLength length : {Rijndael::Key128, Rijndael::Key256})
        for (Rijndael::Direction direction : {Rijndael::Encrypt, Rijndael::Decrypt}) {
            const Bytes key = randomBytes(rng, length == Rijndael::Key128 ? 16 : 32);
            auto cipher = std::make_unique<Rijndael>();  // its own schedule is not residue
            OwnStack stack;
            stack.run([&] { cipher->init(Rijndael::CBC, direction, key.data(), length); });
            EXPECT_EQ(stack.found(keySecrets(key, length)), std::vector<std::string>())
                << "key bytes " << key.size() << ", direction " << direction;
        }
}

TEST(SecretResidue, PaddedCallsLeaveNoPlaintextBlock) {
    std::mt19937 rng(3);
    const Bytes key = randomBytes(rng, 16);
    const Bytes plain = randomBytes(rng, 21);
    // The padded last block: 5 bytes of data, 11 of value 11.
    Bytes last(plain.begin() + 16, plain.end());
    last.resize(16, 11);
    for (Rijndael::Mode mode : {Rijndael::CBC, Rijndael::ECB}) {
        Rijndael enc, dec;
        enc.init(mode, Rijndael::Encrypt, key.data(), Rijndael::Key128);
        dec.init(mode, Rijndael::Decrypt, key.data(), Rijndael::Key128);
        Bytes sealed(32), opened(32);
        OwnStack stack;
        stack.run([&] { EXPECT_EQ(enc.padEncrypt(plain.data(), 21, sealed.data()), 32); });
        EXPECT_EQ(stack.found({{"last block", last}}), std::vector<std::string>())
            << "padEncrypt, mode " << mode;
        if (mode != Rijndael::ECB) continue;
        stack.run([&] { EXPECT_EQ(dec.padDecrypt(sealed.data(), 32, opened.data()), 21); });
        EXPECT_EQ(stack.found({{"last block", last}}), std::vector<std::string>())
            << "padDecrypt, mode " << mode;
        EXPECT_EQ(Bytes(opened.begin(), opened.begin() + 21), plain);
    }
}

TEST(SecretResidue, DecoderExportsLeaveNoKeyRoundKeyOrPlaintext) {
    LoadedPlugin plugin;
    auto init = plugin.function<void (*)(const char *)>("qolt_plugin_auth_decode_init");
    auto decode = plugin.function<DecodeFn>("qolt_plugin_auth_decode");
    ASSERT_TRUE(init && decode);
    const std::string keyText = "residue test!";
    const std::string text = "user name and a password of 46 characters, say";
    Bytes key(kCredentialKeyBytes);
    credentialKey(keyText.c_str(), key.data());
    Secrets secrets = keySecrets(key, Rijndael::Key128);

    OwnStack stack;
    stack.run([&] { init(keyText.c_str()); });
    EXPECT_EQ(stack.found(secrets), std::vector<std::string>()) << "decode_init";

    const std::string encoded = credential(keyText, text);
    for (size_t i = 0; i + 16 <= text.size(); i += 16)
        secrets.push_back({"plaintext block", Bytes(text.begin() + i, text.begin() + i + 16)});
    std::string decoded;
    stack.run([&] { decoded = decodedText(decode, encoded); });
    EXPECT_EQ(decoded, text);
    EXPECT_EQ(stack.found(secrets), std::vector<std::string>()) << "decode";
}

}  // namespace
