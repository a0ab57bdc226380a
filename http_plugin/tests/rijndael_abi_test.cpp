// Rijndael through the built qolt_http_plugin.so.2.  This binary links the
// shared library, not the internal one: every call goes through the exported
// symbols, and the fields are read where the public header places them.
// Which symbols are exported is tests/check_exports.sh's concern; the
// cipher's behaviour on every backend is rijndael_test's.
#include "qolt/rijndael.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace {

using R = Rijndael;

TEST(RijndaelAbi, CallsBindToThePlugin) {
    void *sym = dlsym(RTLD_DEFAULT, "_ZN8Rijndael12blockEncryptEPKhiPh");
    ASSERT_NE(nullptr, sym);
    Dl_info info;
    ASSERT_NE(0, dladdr(sym, &info));
    EXPECT_NE(nullptr, strstr(info.dli_fname, "qolt_http_plugin.so")) << info.dli_fname;
}

// FIPS-197 appendix C, with the last round key of its listing.
// Order: key, plaintext, ciphertext, round key `rounds`.
const char *const kAppendixC[][4] = {
    {"0001020304050607 08090a0b0c0d0e0f", "0011223344556677 8899aabbccddeeff",
     "69c4e0d86a7b0430 d8cdb78070b4c55a", "13111d7fe3944a17 f307a78b4d2b30c5"},
    {"0001020304050607 08090a0b0c0d0e0f 1011121314151617", "0011223344556677 8899aabbccddeeff",
     "dda97ca4864cdfe0 6eaf70a0ec0d7191", "a4970a331a78dc09 c418c271e3a41d5d"},
    {"0001020304050607 08090a0b0c0d0e0f 1011121314151617 18191a1b1c1d1e1f",
     "0011223344556677 8899aabbccddeeff", "8ea2b7ca516745bf eafc49904b496089",
     "24fc79ccbf0979e9 371ac23c6d68de36"},
};

TEST(RijndaelAbi, AppendixCAndTheFieldsAtTheirOffsets) {
    Bytes iv = fromHex("f0e1d2c3b4a59687 78695a4b3c2d1e0f");
    for (const auto &v : kAppendixC) {
        Bytes key = fromHex(v[0]), pt = fromHex(v[1]), out(16);
        auto keyLen = static_cast<R::KeyLength>((key.size() - 16) / 8);
        R enc, dec;
        ASSERT_EQ(0, enc.init(R::ECB, R::Encrypt, key.data(), keyLen, iv.data()));
        ASSERT_EQ(0, dec.init(R::CBC, R::Decrypt, key.data(), keyLen, iv.data()));
        EXPECT_EQ(128, enc.blockEncrypt(pt.data(), 128, out.data()));
        EXPECT_EQ(v[2], toHex(out));

        const unsigned char *raw = reinterpret_cast<const unsigned char *>(&dec);
        int32_t fields[3];
        uint32_t rounds;
        memcpy(fields, raw, sizeof fields);
        memcpy(&rounds, raw + RijndaelLayout::rounds, 4);
        EXPECT_EQ(R::Keyed, fields[0]);
        EXPECT_EQ(R::CBC, fields[1]);
        EXPECT_EQ(R::Decrypt, fields[2]);
        EXPECT_EQ(toHex(iv), toHex(raw + RijndaelLayout::initVector, 16));
        EXPECT_EQ(key.size() / 4 + 6, rounds);
        EXPECT_EQ(toHex(key.data(), 16), toHex(raw + RijndaelLayout::expandedKey, 16));
        EXPECT_EQ(v[3], toHex(raw + RijndaelLayout::expandedKey + 16 * rounds, 16));

        // Padded, a whole block gets a block of padding after it.
        Bytes padded(32);
        EXPECT_EQ(32, enc.padEncrypt(pt.data(), 16, padded.data()));
        EXPECT_EQ(v[2], toHex(padded.data(), 16));
        // One CBC block from the vector: the plaintext XOR the vector.
        EXPECT_EQ(128, dec.blockDecrypt(out.data(), 128, out.data()));
        for (int i = 0; i < 16; ++i) out[i] ^= iv[i];
        EXPECT_EQ(toHex(pt), toHex(out));
        // CBC padDecrypt keeps every byte, its first block likewise.
        EXPECT_EQ(32, dec.padDecrypt(padded.data(), 32, padded.data()));
        for (int i = 0; i < 16; ++i) padded[size_t(i)] ^= iv[size_t(i)];
        EXPECT_EQ(toHex(pt), toHex(padded.data(), 16));
    }
}

}  // namespace
