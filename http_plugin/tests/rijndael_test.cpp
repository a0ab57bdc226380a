// Rijndael (AES): the FIPS-197 and SP 800-38A vectors, the key schedules as
// stored, OpenSSL as a randomized oracle in every mode, key size and
// direction, PKCS #7 padding, lengths, every failure, the constant tables
// recomputed from GF(2^8) arithmetic, and every backend against the tables.
#include "qolt/rijndael.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#if defined(__x86_64__)
#include <cpuid.h>
#elif defined(__aarch64__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

#include "rijndael_bitsliced_circuit.h"
#include "rijndael_dispatch.h"
#include "rijndael_tables.h"
#include "test_support.h"

namespace {

using R = Rijndael;

// A cipher object in storage of the test's own, whose fields the tests read
// at their ABI offsets.  Only fields written during the object's lifetime are
// read: the constructor leaves every field but keyState indeterminate.
struct Cipher {
    alignas(Rijndael) unsigned char bytes[sizeof(Rijndael)];
    Rijndael *c;
    Cipher() : c(new (bytes) Rijndael) {}
    ~Cipher() { c->~Rijndael(); }
    Rijndael *operator->() { return c; }
    uint32_t word(size_t offset) const {
        uint32_t v;
        memcpy(&v, bytes + offset, 4);
        return v;
    }
    // Round keys 0 to rounds, read at the field's ABI offset.
    Bytes schedule() const {
        const unsigned char *k = bytes + RijndaelLayout::expandedKey;
        return Bytes(k, k + 16 * (word(RijndaelLayout::rounds) + 1));
    }
};

R::KeyLength keyLength(size_t keyBytes) { return static_cast<R::KeyLength>((keyBytes - 16) / 8); }

// OpenSSL's result; CFB1 counts in bits.  Empty when OpenSSL reports a failure.
Bytes openssl(R::Mode mode, const Bytes &key, const Bytes &iv, bool encrypt, const Bytes &in,
              bool pad) {
    const EVP_CIPHER *ciphers[3][3] = {
        {EVP_aes_128_ecb(), EVP_aes_192_ecb(), EVP_aes_256_ecb()},
        {EVP_aes_128_cbc(), EVP_aes_192_cbc(), EVP_aes_256_cbc()},
        {EVP_aes_128_cfb1(), EVP_aes_192_cfb1(), EVP_aes_256_cfb1()}};
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, ciphers[mode][keyLength(key.size())], nullptr, key.data(), iv.data(),
                      encrypt);
    EVP_CIPHER_CTX_set_padding(ctx, pad);
    if (mode == R::CFB1) EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPH_FLAG_LENGTH_BITS);
    Bytes out(in.size() + 16);
    int len = 0, last = 0;
    bool ok = EVP_CipherUpdate(ctx, out.data(), &len, in.data(),
                               int(mode == R::CFB1 ? 8 * in.size() : in.size())) == 1;
    if (mode == R::CFB1) len = int(in.size());
    ok = ok && EVP_CipherFinal_ex(ctx, out.data() + len, &last) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(ok ? size_t(len + last) : 0);
    return out;
}

// The test's own GF(2^8) arithmetic: a carry-less product reduced by the
// polynomial, inverses by search, the affine map bit by bit.
uint8_t gfMul(uint8_t a, uint8_t b) {
    unsigned p = 0;
    for (int i = 0; i < 8; ++i)
        if (b >> i & 1) p ^= unsigned(a) << i;
    for (int i = 14; i >= 8; --i)
        if (p >> i & 1) p ^= 0x11bu << (i - 8);
    return uint8_t(p);
}

uint8_t gfInverse(uint8_t a) {
    for (int b = 1; b < 256; ++b)
        if (gfMul(a, uint8_t(b)) == 1) return uint8_t(b);
    return 0;
}

uint8_t sboxOf(uint8_t x) {
    uint8_t b = gfInverse(x), s = 0;
    for (int i = 0; i < 8; ++i) {
        int bit = (b >> i ^ b >> (i + 4) % 8 ^ b >> (i + 5) % 8 ^ b >> (i + 6) % 8 ^
                   b >> (i + 7) % 8 ^ 0x63 >> i) &
                  1;
        s = uint8_t(s | bit << i);
    }
    return s;
}

// Row j of the product of a circulant matrix (first row m) with a column.
uint8_t matRow(const uint8_t m[4], const uint8_t col[4], int j) {
    uint8_t v = 0;
    for (int k = 0; k < 4; ++k) v ^= gfMul(m[(k - j) & 3], col[k]);
    return v;
}

const uint8_t kMix[4] = {2, 3, 1, 1}, kInvMix[4] = {14, 11, 13, 9};

// A column with v in one row, multiplied, packed row 0 in the low byte.
uint32_t packedColumn(const uint8_t m[4], int row, uint8_t v) {
    uint8_t col[4] = {};
    col[row] = v;
    uint32_t w = 0;
    for (int j = 0; j < 4; ++j) w |= uint32_t(matRow(m, col, j)) << 8 * j;
    return w;
}

TEST(RijndaelTables, EqualTablesRecomputedFromFieldArithmetic) {
    const RijndaelTables &t = kRijndaelTables;
    EXPECT_EQ(0x63, t.sbox[0x00]);  // FIPS-197 figure 7
    EXPECT_EQ(0xed, t.sbox[0x53]);
    for (int x = 0; x < 256; ++x) {
        uint8_t s = sboxOf(uint8_t(x));
        ASSERT_EQ(s, t.sbox[x]) << "x " << x;
        ASSERT_EQ(x, t.invSbox[s]) << "x " << x;
        for (int row = 0; row < 4; ++row) {
            ASSERT_EQ(packedColumn(kMix, row, s), t.enc[row][x]) << row << " " << x;
            ASSERT_EQ(packedColumn(kInvMix, row, t.invSbox[x]), t.dec[row][x]) << row << " " << x;
            ASSERT_EQ(packedColumn(kInvMix, row, uint8_t(x)), t.keyDec[row][x]) << row << " " << x;
        }
    }
    uint8_t power = 1;
    for (int i = 0; i < 30; ++i, power = gfMul(power, 2)) EXPECT_EQ(power, t.rcon[i]) << i;
}

// Computed at run time, the tables would sit in writable memory.
TEST(RijndaelTables, LieInReadOnlyMemory) {
    auto address = reinterpret_cast<uintptr_t>(&kRijndaelTables);
    FILE *maps = fopen("/proc/self/maps", "r");
    ASSERT_NE(nullptr, maps);
    char line[512], perms[8] = "";
    unsigned long from, to;
    bool found = false;
    while (!found && fgets(line, sizeof line, maps))
        found = sscanf(line, "%lx-%lx %7s", &from, &to, perms) == 3 && from <= address &&
                address + sizeof kRijndaelTables <= to;
    fclose(maps);
    ASSERT_TRUE(found);
    EXPECT_EQ("r-", std::string(perms, 2));
}

// FIPS-197 appendix A: the expansions of the keys of A.1, A.2 and A.3, words
// w[0] onwards, two round keys to a line.
const char *const kAppendixA[] = {
    "2b7e1516 28aed2a6 abf71588 09cf4f3c a0fafe17 88542cb1 23a33939 2a6c7605 "
    "f2c295f2 7a96b943 5935807a 7359f67f 3d80477d 4716fe3e 1e237e44 6d7a883b "
    "ef44a541 a8525b7f b671253b db0bad00 d4d1c6f8 7c839d87 caf2b8bc 11f915bc "
    "6d88a37a 110b3efd dbf98641 ca0093fd 4e54f70e 5f5fc9f3 84a64fb2 4ea6dc4f "
    "ead27321 b58dbad2 312bf560 7f8d292f ac7766f3 19fadc21 28d12941 575c006e "
    "d014f9a8 c9ee2589 e13f0cc8 b6630ca6",
    "8e73b0f7 da0e6452 c810f32b 809079e5 62f8ead2 522c6b7b fe0c91f7 2402f5a5 "
    "ec12068e 6c827f6b 0e7a95b9 5c56fec2 4db7b4bd 69b54118 85a74796 e92538fd "
    "e75fad44 bb095386 485af057 21efb14f a448f6d9 4d6dce24 aa326360 113b30e6 "
    "a25e7ed5 83b1cf9a 27f93943 6a94f767 c0a69407 d19da4e1 ec1786eb 6fa64971 "
    "485f7032 22cb8755 e26d1352 33f0b7b3 40beeb28 2f18a259 6747d26b 458c553e "
    "a7e1466c 9411f1df 821f750a ad07d753 ca400538 8fcc5006 282d166a bc3ce7b5 "
    "e98ba06f 448c773c 8ecc7204 01002202",
    "603deb10 15ca71be 2b73aef0 857d7781 1f352c07 3b6108d7 2d9810a3 0914dff4 "
    "9ba35411 8e6925af a51a8b5f 2067fcde a8b09c1a 93d194cd be49846e b75d5b9a "
    "d59aecb8 5bf3c917 fee94248 de8ebe96 b5a9328a 2678a647 98312229 2f6c79b3 "
    "812c81ad dadf48ba 24360af2 fab8b464 98c5bfc9 bebd198e 268c3ba7 09e04214 "
    "68007bac b2df3316 96e939e4 6c518d80 c814e204 76a9fb8a 5025c02d 59c58239 "
    "de136967 6ccc5a71 fa256395 9674ee15 5886ca5d 2e2f31d7 7e0af1fa 27cf73c3 "
    "749c47ab 18501dda e2757e4f 7401905a cafaaae3 e4d59b34 9adf6ace bd10190d "
    "fe4890d1 e6188d0b 046df344 706c631e",
};

TEST(RijndaelFips197, AppendixAKeyExpansionsInExpandedKey) {
    for (const char *expansion : kAppendixA) {
        Bytes all = fromHex(expansion);
        size_t rounds = all.size() / 16 - 1;
        Bytes key(all.begin(), all.begin() + (rounds - 6) * 4);
        // CFB1 runs the cipher forwards in both directions: never converted.
        const std::pair<R::Mode, R::Direction> keyings[] = {{R::ECB, R::Encrypt},
                                                            {R::CBC, R::Encrypt},
                                                            {R::CFB1, R::Encrypt},
                                                            {R::CFB1, R::Decrypt}};
        for (auto [mode, dir] : keyings) {
            Cipher c;
            ASSERT_EQ(0, c->init(mode, dir, key.data(), keyLength(key.size())));
            EXPECT_EQ(rounds, c.word(RijndaelLayout::rounds));
            EXPECT_EQ(toHex(all), toHex(c.schedule())) << "mode " << mode << " dir " << dir;
        }
    }
}

// Keyed for Decrypt (ECB, CBC): InvMixColumns of round keys 1 to rounds - 1,
// in their places; round keys 0 and rounds as they were.
TEST(RijndaelFips197, DecryptScheduleIsInvMixColumnsOfTheMiddleRoundKeys) {
    for (const char *expansion : kAppendixA) {
        Bytes expected = fromHex(expansion);
        size_t rounds = expected.size() / 16 - 1;
        Bytes key(expected.begin(), expected.begin() + (rounds - 6) * 4);
        for (size_t w = 4; w < 4 * rounds; ++w) {
            uint8_t col[4];
            memcpy(col, &expected[4 * w], 4);
            for (int j = 0; j < 4; ++j) expected[4 * w + j] = matRow(kInvMix, col, j);
        }
        for (R::Mode mode : {R::ECB, R::CBC}) {
            Cipher c;
            ASSERT_EQ(0, c->init(mode, R::Decrypt, key.data(), keyLength(key.size())));
            EXPECT_EQ(toHex(expected), toHex(c.schedule())) << "mode " << mode;
        }
    }
}

// NIST SP 800-38A appendix F.1 and F.2, all four blocks (512 bits).
// Order: source, mode, key, IV, ciphertext; the plaintext is kSp800Plain.
struct Sp800Vector {
    const char *source;
    R::Mode mode;
    const char *key, *iv, *ciphertext;
};
const char kSp800Plain[] =
    "6bc1bee22e409f96 e93d7e117393172a ae2d8a571e03ac9c 9eb76fac45af8e51 "
    "30c81c46a35ce411 e5fbc1191a0a52ef f69f2445df4f9b17 ad2b417be66c3710";
const char kSp800Iv[] = "0001020304050607 08090a0b0c0d0e0f";
const char kKey128[] = "2b7e151628aed2a6 abf7158809cf4f3c";
const char kKey256[] = "603deb1015ca71be 2b73aef0857d7781 1f352c073b6108d7 2d9810a30914dff4";
const Sp800Vector kSp800Vectors[] = {
    {"F.1.1/F.1.2 ECB-AES128", R::ECB, kKey128, kSp800Iv,
     "3ad77bb40d7a3660 a89ecaf32466ef97 f5d3d58503b9699d e785895a96fdbaaf "
     "43b1cd7f598ece23 881b00e3ed030688 7b0c785e27e8ad3f 8223207104725dd4"},
    {"F.1.5/F.1.6 ECB-AES256", R::ECB, kKey256, kSp800Iv,
     "f3eed1bdb5d2a03c 064b5a7e3db181f8 591ccb10d410ed26 dc5ba74a31362870 "
     "b6ed21b99ca6f4f9 f153e7b1beafed1d 23304b7a39f9f3ff 067d8d8f9e24ecc7"},
    {"F.2.1/F.2.2 CBC-AES128", R::CBC, kKey128, kSp800Iv,
     "7649abac8119b246 cee98e9b12e9197d 5086cb9b507219ee 95db113a917678b2 "
     "73bed6b8e3c1743b 7116e69e22229516 3ff1caa1681fac09 120eca307586e1a7"},
    {"F.2.5/F.2.6 CBC-AES256", R::CBC, kKey256, kSp800Iv,
     "f58c4c04d6e5f1ba 779eabfb5f7bfbd6 9cfc4e967edb808d 679f777bc6702c7d "
     "39f23369a9d9bacf a530e26304231461 b2eb05e2c39be9fc da6c19078c6a9d1b"},
};

void PrintTo(const Sp800Vector &v, std::ostream *os) { *os << v.source; }

class RijndaelSp800_38a : public ::testing::TestWithParam<Sp800Vector> {};

TEST_P(RijndaelSp800_38a, EncryptsAndDecryptsFourBlocks) {
    const Sp800Vector &v = GetParam();
    Bytes key = fromHex(v.key), iv = fromHex(v.iv), pt = fromHex(kSp800Plain), out(64);
    Cipher enc, dec;
    ASSERT_EQ(0, enc->init(v.mode, R::Encrypt, key.data(), keyLength(key.size()), iv.data()));
    ASSERT_EQ(0, dec->init(v.mode, R::Decrypt, key.data(), keyLength(key.size()), iv.data()));
    EXPECT_EQ(512, enc->blockEncrypt(pt.data(), 512, out.data()));
    EXPECT_EQ(v.ciphertext, toHex(out)) << v.source;
    EXPECT_EQ(512, dec->blockDecrypt(out.data(), 512, out.data()));
    EXPECT_EQ(kSp800Plain, toHex(out)) << v.source;
}

INSTANTIATE_TEST_SUITE_P(AppendixF, RijndaelSp800_38a, ::testing::ValuesIn(kSp800Vectors));

// SP 800-38A F.3.1 and F.3.2 (CFB1-AES128): plaintext bits 0110 1011 1100
// 0001 give ciphertext bits 0110 1000 1011 0011.  Any object keyed with the
// key decrypts, whichever direction it was keyed for.
TEST(RijndaelCfb1, Sp800_38aFirstSixteenBits) {
    Bytes key = fromHex(kKey128), iv = fromHex(kSp800Iv), block(16), back(16);
    block[0] = 0x6b;
    block[1] = 0xc1;
    Cipher enc;
    ASSERT_EQ(0, enc->init(R::CFB1, R::Encrypt, key.data(), R::Key128, iv.data()));
    EXPECT_EQ(128, enc->blockEncrypt(block.data(), 128, block.data()));
    EXPECT_EQ("68b3", toHex(block).substr(0, 4));
    for (R::Direction dir : {R::Encrypt, R::Decrypt}) {
        Cipher dec;
        ASSERT_EQ(0, dec->init(R::CFB1, dir, key.data(), R::Key128, iv.data()));
        EXPECT_EQ(128, dec->blockDecrypt(block.data(), 128, back.data()));
        EXPECT_EQ("6bc1000000000000 0000000000000000", toHex(back)) << "keyed " << dir;
    }
}

// One random key, vector and input of the given bit length, through one
// object twice: apart, then in place.  Both give OpenSSL's result, so the
// vector is never updated; bytes after the whole blocks are never written.
void compareWithOpenssl(std::mt19937 &rng, R::Mode mode, size_t keyBytes, R::Direction dir,
                        R::Direction keyedFor, int bits) {
    Bytes key = randomBytes(rng, keyBytes), iv = randomBytes(rng, 16);
    Bytes in = randomBytes(rng, size_t(bits + 7) / 8 + 16);
    size_t whole = size_t(bits) / 128 * 16;
    Bytes blocks(in.begin(), in.begin() + whole);
    Bytes expected = openssl(mode, key, iv, dir == R::Encrypt, blocks, false);
    Cipher c;
    ASSERT_EQ(0, c->init(mode, keyedFor, key.data(), keyLength(keyBytes), iv.data()));
    for (bool inPlace : {false, true}) {
        Bytes out = inPlace ? in : Bytes(in.size(), 0xee), before = out;
        const unsigned char *from = inPlace ? out.data() : in.data();
        int r = dir == R::Encrypt ? c->blockEncrypt(from, bits, out.data())
                                  : c->blockDecrypt(from, bits, out.data());
        SCOPED_TRACE(testing::Message() << "mode " << mode << " key " << keyBytes << " dir " << dir
                                        << " bits " << bits << " in place " << inPlace);
        EXPECT_EQ(int(whole * 8), r);
        EXPECT_EQ(toHex(expected), toHex(out.data(), whole));
        EXPECT_EQ(toHex(before.data() + whole, in.size() - whole),
                  toHex(out.data() + whole, in.size() - whole));
    }
}

// Bit lengths mostly not whole blocks, a quarter under one block, the rest
// up to 40 blocks: past the widest backend's 16-block steps and through its
// 8-block and single-block tails.  CFB1 decrypts with objects keyed either
// way.
TEST(RijndaelOpenssl, RandomizedEveryModeKeySizeAndDirection) {
    std::mt19937 rng(197);
    for (R::Mode mode : {R::ECB, R::CBC, R::CFB1})
        for (size_t keyBytes : {16, 24, 32})
            for (R::Direction dir : {R::Encrypt, R::Decrypt})
                for (int trial = 0; trial < 16; ++trial) {
                    int bits = int(rng() % (trial % 4 == 0 ? 128 : 40 * 128));
                    R::Direction keyedFor = mode == R::CFB1 && trial % 2 ? R::Encrypt : dir;
                    compareWithOpenssl(rng, mode, keyBytes, dir, keyedFor, bits);
                }
}

// encrypt() and decrypt() are private, exported for no caller but the
// class: their member pointers are taken in an explicit instantiation,
// where access is not checked (C++17 [temp.explicit]/12).
using OneBlock = void (Rijndael::*)(const unsigned char *, unsigned char *) const;
template <OneBlock *slot, OneBlock method>
struct OneBlockAccess {
    static inline const bool taken = (*slot = method, true);
};
OneBlock encryptMethod, decryptMethod;
template struct OneBlockAccess<&encryptMethod, &Rijndael::encrypt>;
template struct OneBlockAccess<&decryptMethod, &Rijndael::decrypt>;

// encrypt() is FIPS-197 Cipher and decrypt() its equivalent inverse on the
// Decrypt schedule: against OpenSSL's ECB in every key length, in place and
// not, on the running backend (each pinned in turn).
TEST(RijndaelOneBlock, EncryptAndDecryptAgreeWithOpensslInEveryKeyLength) {
    ASSERT_TRUE(encryptMethod && decryptMethod);
    std::mt19937 rng(1600);
    for (size_t keyBytes : {16, 24, 32})
        for (int trial = 0; trial < 8; ++trial) {
            SCOPED_TRACE(testing::Message() << "key " << keyBytes << " trial " << trial);
            const Bytes key = randomBytes(rng, keyBytes), plain = randomBytes(rng, 16);
            const Bytes sealed = openssl(R::ECB, key, Bytes(16), true, plain, false);
            Cipher enc, dec;
            ASSERT_EQ(0, enc->init(R::ECB, R::Encrypt, key.data(), keyLength(keyBytes)));
            ASSERT_EQ(0, dec->init(R::ECB, R::Decrypt, key.data(), keyLength(keyBytes)));
            Bytes out(16, 0xee), inPlace = plain;
            ((*enc.c).*encryptMethod)(plain.data(), out.data());
            ((*enc.c).*encryptMethod)(inPlace.data(), inPlace.data());
            EXPECT_EQ(toHex(sealed), toHex(out));
            EXPECT_EQ(toHex(sealed), toHex(inPlace));
            ((*dec.c).*decryptMethod)(sealed.data(), out.data());
            ((*dec.c).*decryptMethod)(inPlace.data(), inPlace.data());
            EXPECT_EQ(toHex(plain), toHex(out));
            EXPECT_EQ(toHex(plain), toHex(inPlace));
        }
}

// padEncrypt agrees with OpenSSL's PKCS #7 (1 to 15 bytes give 16, 16 give
// 32 with a whole block of 16s, 17 give 32) and writes nothing past its
// count, nothing at all for 0 bytes; padDecrypt gives back, in ECB, the
// message, in CBC, the message and its padding.  In place throughout.
void padRoundTrip(std::mt19937 &rng, R::Mode mode, size_t keyBytes, size_t n) {
    Bytes key = randomBytes(rng, keyBytes), iv = randomBytes(rng, 16);
    Bytes msg = randomBytes(rng, n), buf = msg;
    int padded = n ? int(n / 16 * 16 + 16) : 0;
    buf.resize(size_t(padded) + 16, 0xee);
    Cipher enc, dec;
    ASSERT_EQ(0, enc->init(mode, R::Encrypt, key.data(), keyLength(keyBytes), iv.data()));
    ASSERT_EQ(0, dec->init(mode, R::Decrypt, key.data(), keyLength(keyBytes), iv.data()));
    SCOPED_TRACE(testing::Message() << "mode " << mode << " key " << keyBytes << " n " << n);
    ASSERT_EQ(padded, enc->padEncrypt(buf.data(), int(n), buf.data()));
    EXPECT_EQ(toHex(Bytes(16, 0xee)), toHex(buf.data() + padded, 16));
    if (n == 0) return;
    Bytes ct(buf.begin(), buf.begin() + padded);
    EXPECT_EQ(toHex(openssl(mode, key, iv, true, msg, true)), toHex(ct));
    int r = dec->padDecrypt(buf.data(), padded, buf.data());
    Bytes plain = mode == R::ECB ? msg : openssl(mode, key, iv, false, ct, false);
    EXPECT_EQ(int(plain.size()), r);
    EXPECT_EQ(toHex(plain), toHex(buf.data(), plain.size()));
}

TEST(RijndaelPadding, AgreesWithOpensslAndRoundTrips) {
    std::mt19937 rng(5652);
    for (R::Mode mode : {R::ECB, R::CBC})
        for (size_t keyBytes : {16, 24, 32})
            for (size_t n = 0; n <= 260; n += n < 70 ? 1 : 37) padRoundTrip(rng, mode, keyBytes, n);
}

// ECB checks the padding: the last byte 1 to 16, the pad bytes equal to it.
// On failure the first block is already written, the last one is not.
TEST(RijndaelPadding, EcbRejectsBadPadding) {
    Bytes key = fromHex(kKey128);
    Cipher enc, dec;
    ASSERT_EQ(0, enc->init(R::ECB, R::Encrypt, key.data(), R::Key128));
    ASSERT_EQ(0, dec->init(R::ECB, R::Decrypt, key.data(), R::Key128));
    // Order: last plaintext block, result of padDecrypt on two blocks.
    const struct {
        const char *lastBlock;
        int result;
    } cases[] = {{"4e4e4e4e4e4e4e4e 4e4e4e4e04040404", 28},
                 {"4e4e4e4e4e4e4e4e 4e4e4e0909090901", 31},
                 {"1010101010101010 1010101010101010", 16},
                 {"0f10101010101010 1010101010101010", R::ErrCorruptData},
                 {"4e4e4e4e4e4e4e4e 4e4e4e4e4e4e4e11", R::ErrCorruptData},
                 {"4e4e4e4e4e4e4e4e 4e4e4e4e03040404", R::ErrCorruptData},
                 {"4e4e4e4e4e4e4e4e 4e4e4e4e04030404", R::ErrCorruptData},
                 {"4e4e4e4e4e4e4e4e 4e4e4e4e05050500", R::ErrCorruptData},
                 {"0000000000000000 0000000000000000", R::ErrCorruptData}};
    for (const auto &c : cases) {
        Bytes pt(16, 0x4e), last = fromHex(c.lastBlock), ct(32), out(32, 0xee);
        pt.insert(pt.end(), last.begin(), last.end());
        ASSERT_EQ(256, enc->blockEncrypt(pt.data(), 256, ct.data()));
        EXPECT_EQ(c.result, dec->padDecrypt(ct.data(), 32, out.data())) << c.lastBlock;
        size_t kept = c.result > 0 ? size_t(c.result) : 16;
        EXPECT_EQ(toHex(pt.data(), kept), toHex(out.data(), kept));
        if (c.result < 0) {
            EXPECT_EQ(toHex(Bytes(16, 0xee)), toHex(out.data() + 16, 16));
        }
    }
}

// The failure table, a row per line: every refusal in the order the header
// gives, and the lengths no buffer could hold.  Order: situation, mode,
// direction keyed for (-1: never keyed), operation, null input, length,
// result.
enum Op { BlockEnc, BlockDec, PadEnc, PadDec };
struct FailureRow {
    const char *situation;
    int mode, keyedFor;
    Op op;
    bool nullInput;
    int length, result;
};
void PrintTo(const FailureRow &row, std::ostream *os) { *os << row.situation; }
const FailureRow kFailureRows[] = {
    {"unkeyed", R::ECB, -1, BlockEnc, false, 128, R::ErrNotKeyed},
    {"unkeyed", R::ECB, -1, BlockDec, false, 128, R::ErrNotKeyed},
    {"unkeyed", R::ECB, -1, PadEnc, false, 16, R::ErrNotKeyed},
    {"unkeyed", R::ECB, -1, PadDec, false, 16, R::ErrNotKeyed},
    {"unkeyed, before null input", R::ECB, -1, BlockEnc, true, 128, R::ErrNotKeyed},
    {"ECB keyed Decrypt: blockEncrypt", R::ECB, R::Decrypt, BlockEnc, false, 128,
     R::ErrWrongDirection},
    {"CFB1 keyed Decrypt: blockEncrypt", R::CFB1, R::Decrypt, BlockEnc, false, 128,
     R::ErrWrongDirection},
    {"CBC keyed Encrypt: blockDecrypt", R::CBC, R::Encrypt, BlockDec, false, 128,
     R::ErrWrongDirection},
    {"CBC keyed Decrypt: padEncrypt", R::CBC, R::Decrypt, PadEnc, false, 16, R::ErrNotKeyed},
    {"CFB1 keyed Decrypt: padEncrypt", R::CFB1, R::Decrypt, PadEnc, false, 16, R::ErrNotKeyed},
    {"ECB keyed Encrypt: padDecrypt", R::ECB, R::Encrypt, PadDec, false, 16, R::ErrWrongDirection},
    {"wrong direction, before null input", R::CBC, R::Decrypt, BlockEnc, true, 128,
     R::ErrWrongDirection},
    {"wrong direction, before length 20", R::CBC, R::Encrypt, PadDec, false, 20,
     R::ErrWrongDirection},
    {"null input", R::ECB, R::Encrypt, BlockEnc, true, 128, 0},
    {"null input, INT_MAX bits", R::CBC, R::Encrypt, BlockEnc, true, INT_MAX, 0},
    {"null input", R::CBC, R::Decrypt, PadDec, true, 16, 0},
    {"length 0", R::CFB1, R::Encrypt, BlockDec, false, 0, 0},
    {"length 0", R::CBC, R::Decrypt, PadDec, false, 0, 0},
    {"length -1", R::CBC, R::Encrypt, BlockEnc, false, -1, 0},
    {"length -128", R::CBC, R::Decrypt, BlockDec, false, -128, 0},
    {"length -16", R::ECB, R::Encrypt, PadEnc, false, -16, 0},
    {"length INT_MIN", R::CBC, R::Encrypt, PadEnc, false, INT_MIN, 0},
    {"length INT_MIN", R::CBC, R::Decrypt, PadDec, false, INT_MIN, 0},
    {"null input, before length 20", R::CBC, R::Decrypt, PadDec, true, 20, 0},
    {"length 20", R::ECB, R::Decrypt, PadDec, false, 20, R::ErrCorruptData},
    {"length 20, before CFB1", R::CFB1, R::Decrypt, PadDec, false, 20, R::ErrCorruptData},
    {"length INT_MAX, not whole blocks", R::CBC, R::Decrypt, PadDec, false, INT_MAX,
     R::ErrCorruptData},
    {"CFB1 keyed Decrypt: blockDecrypt", R::CFB1, R::Decrypt, BlockDec, false, 128, 128},
    {"CFB1 keyed Encrypt: blockDecrypt", R::CFB1, R::Encrypt, BlockDec, false, 128, 128},
    {"CFB1: padEncrypt", R::CFB1, R::Encrypt, PadEnc, false, 16, R::ErrMode},
    {"CFB1: padDecrypt", R::CFB1, R::Decrypt, PadDec, false, 16, R::ErrMode},
    {"CFB1, before too long", R::CFB1, R::Encrypt, PadEnc, false, INT_MAX, R::ErrMode},
    {"count past INT_MAX", R::ECB, R::Encrypt, PadEnc, false, INT_MAX - 15, R::ErrCorruptData},
    {"count past INT_MAX", R::CBC, R::Encrypt, PadEnc, false, INT_MAX, R::ErrCorruptData},
};

class RijndaelFailures : public ::testing::TestWithParam<FailureRow> {};

// A failing call writes nothing (and reads nothing past these 32 bytes).
TEST_P(RijndaelFailures, ResultInTableOrderAndNothingWrittenOnFailure) {
    const FailureRow &row = GetParam();
    Bytes key(16, 0x0f), in(32, 0x21), out(48, 0xee);
    Cipher c;
    if (row.keyedFor >= 0) {
        ASSERT_EQ(0, c->init(R::Mode(row.mode), R::Direction(row.keyedFor), key.data(), R::Key128));
    }
    int (R::*ops[])(const unsigned char *, int, unsigned char *) = {
        &R::blockEncrypt, &R::blockDecrypt, &R::padEncrypt, &R::padDecrypt};
    const unsigned char *input = row.nullInput ? nullptr : in.data();
    EXPECT_EQ(row.result, (c.c->*ops[row.op])(input, row.length, out.data()));
    if (row.result <= 0) {
        EXPECT_EQ(toHex(Bytes(48, 0xee)), toHex(out));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RijndaelFailures, ::testing::ValuesIn(kFailureRows));

TEST(RijndaelInit, ChecksInOrderAndKeepsWhatWasStoredBeforeTheFailure) {
    Bytes key(32, 0x42), iv(16, 0x77), keptIv(16, 0x99);
    Cipher c;
    EXPECT_EQ(1u, c.word(RijndaelLayout::keyState));  // constructed: Unkeyed
    // Out-of-range values cast to the 32-bit enumerations, refused in the
    // order mode, direction, key length.  Each pass starts from the fields
    // of a successful init (ECB, Encrypt, 192 bits, keptIv), none of which a
    // failing init below would store, so that each field shows whether the
    // check that failed came before or after it was stored.
    for (int bad : {3, 4, -1, 256, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(bad);
        ASSERT_EQ(0, c->init(R::ECB, R::Encrypt, key.data(), R::Key192, keptIv.data()));
        EXPECT_EQ(R::ErrMode, c->init(R::Mode(bad), R::Encrypt, key.data(), R::Key128, iv.data()));
        EXPECT_EQ(R::ErrMode,
                  c->init(R::Mode(bad), R::Direction(bad), nullptr, R::KeyLength(bad), iv.data()));
        EXPECT_EQ(1u, c.word(RijndaelLayout::keyState));
        EXPECT_EQ(0u, c.word(RijndaelLayout::mode));
        EXPECT_EQ(R::ErrDirection,
                  c->init(R::CBC, R::Direction(bad), key.data(), R::Key256, iv.data()));
        EXPECT_EQ(R::ErrDirection,
                  c->init(R::CBC, R::Direction(bad), nullptr, R::KeyLength(bad), iv.data()));
        EXPECT_EQ(1u, c.word(RijndaelLayout::mode));
        EXPECT_EQ(0u, c.word(RijndaelLayout::direction));
        EXPECT_EQ(toHex(keptIv), toHex(c.bytes + RijndaelLayout::initVector, 16));
        EXPECT_EQ(R::ErrKeyLength,
                  c->init(R::CFB1, R::Decrypt, key.data(), R::KeyLength(bad), iv.data()));
        EXPECT_EQ(R::ErrKeyLength,
                  c->init(R::CFB1, R::Decrypt, nullptr, R::KeyLength(bad), iv.data()));
        EXPECT_EQ(2u, c.word(RijndaelLayout::mode));
        EXPECT_EQ(1u, c.word(RijndaelLayout::direction));
        EXPECT_EQ(toHex(iv), toHex(c.bytes + RijndaelLayout::initVector, 16));
        EXPECT_EQ(12u, c.word(RijndaelLayout::rounds));
        EXPECT_EQ(1u, c.word(RijndaelLayout::keyState));
    }
    EXPECT_EQ(R::ErrNoKey, c->init(R::ECB, R::Encrypt, nullptr, R::Key256, nullptr));
    EXPECT_EQ(14u, c.word(RijndaelLayout::rounds));
    EXPECT_EQ(toHex(Bytes(16, 0)), toHex(c.bytes + RijndaelLayout::initVector, 16));  // null vector

    // A failed init leaves a keyed object Unkeyed: every bulk call then says
    // so and writes nothing.
    const Bytes in(64, 0x22);
    Bytes out(80, 0xee);
    for (R::Direction dir : {R::Encrypt, R::Decrypt}) {
        ASSERT_EQ(0, c->init(R::ECB, dir, key.data(), R::Key256));
        EXPECT_EQ(0u, c.word(RijndaelLayout::keyState));
        EXPECT_EQ(R::ErrNoKey, c->init(R::ECB, dir, nullptr, R::Key256));
        EXPECT_EQ(R::ErrNotKeyed, c->blockEncrypt(in.data(), 512, out.data()));
        EXPECT_EQ(R::ErrNotKeyed, c->blockDecrypt(in.data(), 512, out.data()));
        EXPECT_EQ(R::ErrNotKeyed, c->padEncrypt(in.data(), 64, out.data()));
        EXPECT_EQ(R::ErrNotKeyed, c->padDecrypt(in.data(), 64, out.data()));
        EXPECT_EQ(toHex(Bytes(80, 0xee)), toHex(out));
    }
}

// No key the object no longer needs: re-keyed from AES-256 to AES-128 it
// keeps nothing of round keys 11 to 14 (13 and 14 give back the old key); a
// failed init() leaves no schedule at all; the destructor clears the whole
// object.
TEST(RijndaelInit, KeepsNoKeyItNoLongerNeeds) {
    std::mt19937 rng(2727);
    const Bytes key256 = randomBytes(rng, 32), key128 = randomBytes(rng, 16);
    const size_t scheduleBytes = 15 * 16;
    auto schedule = [](const Cipher &c) {
        return toHex(c.bytes + RijndaelLayout::expandedKey, 15 * 16);
    };
    const std::string cleared = toHex(Bytes(scheduleBytes, 0));
    for (R::Direction dir : {R::Encrypt, R::Decrypt}) {
        SCOPED_TRACE(dir);
        Cipher c;
        ASSERT_EQ(0, c->init(R::CBC, dir, key256.data(), R::Key256));
        ASSERT_EQ(0, c->init(R::CBC, dir, key128.data(), R::Key128));
        Cipher fresh;
        ASSERT_EQ(0, fresh->init(R::CBC, dir, key128.data(), R::Key128));
        EXPECT_EQ(toHex(fresh.schedule()), toHex(c.schedule()));
        EXPECT_EQ(toHex(Bytes(4 * 16, 0)), toHex(c.bytes + RijndaelLayout::expandedKey + 11 * 16, 64));

        // Each failure, after a keyed state.
        ASSERT_EQ(0, c->init(R::CBC, dir, key256.data(), R::Key256));
        EXPECT_EQ(R::ErrNoKey, c->init(R::CBC, dir, nullptr, R::Key256));
        EXPECT_EQ(cleared, schedule(c));
        for (int bad : {3, -1}) {
            ASSERT_EQ(0, c->init(R::CBC, dir, key256.data(), R::Key256));
            EXPECT_EQ(R::ErrMode, c->init(R::Mode(bad), dir, key256.data(), R::Key256));
            EXPECT_EQ(cleared, schedule(c));
            ASSERT_EQ(0, c->init(R::CBC, dir, key256.data(), R::Key256));
            EXPECT_EQ(R::ErrDirection, c->init(R::CBC, R::Direction(bad), key256.data(), R::Key256));
            EXPECT_EQ(cleared, schedule(c));
            ASSERT_EQ(0, c->init(R::CBC, dir, key256.data(), R::Key256));
            EXPECT_EQ(R::ErrKeyLength, c->init(R::CBC, dir, key256.data(), R::KeyLength(bad)));
            EXPECT_EQ(cleared, schedule(c));
        }
    }
    // The destructor, on storage that outlives the object.
    alignas(Rijndael) unsigned char storage[sizeof(Rijndael)];
    memset(storage, 0x5c, sizeof storage);
    Rijndael *c = new (storage) Rijndael;
    ASSERT_EQ(0, c->init(R::CBC, R::Decrypt, key256.data(), R::Key256, key128.data()));
    c->~Rijndael();
    EXPECT_EQ(toHex(Bytes(sizeof storage, 0)), toHex(storage, sizeof storage));
}

// Each backend's own functions against the table backend's: the key
// schedule and its inversion, then every mode at every block count to 40,
// which covers each width's whole steps and every tail, out of place and in
// place.
void runBackend(const RijndaelBackend &b, int op, const unsigned char *rk, unsigned rounds,
                const unsigned char *iv, const unsigned char *in, unsigned char *out, size_t n) {
    switch (op) {
    case 0: b.ecbEncrypt(rk, rounds, in, out, n); break;
    case 1: b.ecbDecrypt(rk, rounds, in, out, n); break;
    case 2: b.cbcEncrypt(rk, rounds, iv, in, out, n); break;
    case 3: b.cbcDecrypt(rk, rounds, iv, in, out, n); break;
    case 4: b.cfb1Encrypt(rk, rounds, iv, in, out, n); break;
    default: b.cfb1Decrypt(rk, rounds, iv, in, out, n); break;
    }
}

// The bitsliced circuits against the tables, for every byte, on 64-bit
// planes (64 bytes at a time): SubBytes; InvSubBytes with the inverse affine
// map applied on both sides; and the one with that map folded into its
// linear layers, which takes the byte plus 0x63.  A wrong gate in a linear
// layer may spare a few bytes, so all 256 are checked.
TEST(RijndaelCircuits, ComputeTheSboxAndItsInverseForEveryByte) {
    const RijndaelTables &t = kRijndaelTables;
    for (unsigned base = 0; base < 256; base += 64) {
        uint64_t s[8] = {}, inv[8] = {}, folded[8] = {};
        for (unsigned i = 0; i < 64; ++i)
            for (unsigned j = 0; j < 8; ++j) {
                s[j] |= uint64_t((base + i) >> j & 1) << i;
                folded[j] |= uint64_t(((base + i) ^ 0x63) >> j & 1) << i;
            }
        memcpy(inv, s, sizeof inv);
        subBytes(s);
        invSubBytes(inv);
        invSubBytesFolded(folded);
        const auto byteAt = [](const uint64_t(&q)[8], unsigned i) {
            unsigned v = 0;
            for (unsigned j = 0; j < 8; ++j) v |= unsigned(q[j] >> i & 1) << j;
            return v;
        };
        for (unsigned i = 0; i < 64; ++i) {
            const unsigned x = base + i;
            ASSERT_EQ(byteAt(s, i), t.sbox[x]) << "S-box at " << x;
            ASSERT_EQ(byteAt(inv, i), t.invSbox[x]) << "inverse at " << x;
            ASSERT_EQ(byteAt(folded, i), t.invSbox[x]) << "folded inverse at " << x;
        }
    }
}

// The running backend (each in turn, pinned) against the tables, through
// the backends' own entry points: the same schedules, expanded and
// converted, and the same output in every mode for every block count from 0
// to 40, in place and not, so that each way a message splits into wide
// steps, narrower steps, partial groups and single blocks is met.
TEST(RijndaelBackend, AgreesWithTheTablesAtEveryBlockCount) {
    std::mt19937 rng(1818);
    const RijndaelBackendEntry &running = rijndaelRunningBackend();
    const RijndaelBackend &b = *running.backend, &t = kRijndaelTablesBackend;
    for (unsigned rounds : {10u, 12u, 14u}) {
        SCOPED_TRACE(testing::Message() << running.name << " rounds " << rounds);
        const Bytes key = randomBytes(rng, 4 * (rounds - 6)), iv = randomBytes(rng, 16);
        unsigned char enc[2][15 * 16], dec[2][15 * 16];
        t.expandKey(key.data(), rounds, enc[0]);
        b.expandKey(key.data(), rounds, enc[1]);
        ASSERT_EQ(toHex(enc[0], 16 * (rounds + 1)), toHex(enc[1], 16 * (rounds + 1)));
        memcpy(dec, enc, sizeof dec);
        t.invertKey(rounds, dec[0]);
        b.invertKey(rounds, dec[1]);
        ASSERT_EQ(toHex(dec[0], 16 * (rounds + 1)), toHex(dec[1], 16 * (rounds + 1)));
        for (int op = 0; op < 6; ++op) {
            const unsigned char *rk = op == 1 || op == 3 ? dec[0] : enc[0];
            for (size_t n = 0; n <= 40; ++n) {
                const Bytes in = randomBytes(rng, 16 * n + 1);
                Bytes want(in.size(), 0xee), got = want, inPlace = in;
                runBackend(t, op, rk, rounds, iv.data(), in.data(), want.data(), n);
                runBackend(b, op, rk, rounds, iv.data(), in.data(), got.data(), n);
                runBackend(b, op, rk, rounds, iv.data(), inPlace.data(), inPlace.data(), n);
                EXPECT_EQ(toHex(want), toHex(got)) << "op " << op << " blocks " << n;
                EXPECT_EQ(in.back(), inPlace.back()) << "op " << op << " blocks " << n;
                inPlace.back() = 0xee;
                EXPECT_EQ(toHex(want), toHex(inPlace)) << "op " << op << " blocks " << n;
            }
        }
    }
}

// The largest count padEncrypt takes, INT_MAX - 16 bytes: its result,
// INT_MAX - 15, is the last that fits an int (the table above refuses one
// byte more).  ECB in place there and back; 2 GiB: a "large" test.
TEST(RijndaelLarge, PaddedRoundTripAtTheLargestCount) {
    const int n = INT_MAX - 16, padded = n / 16 * 16 + 16;
    ASSERT_EQ(INT_MAX - 15, padded);
    auto byteAt = [](size_t i) { return static_cast<unsigned char>(i * 131 + (i >> 16)); };
    Bytes data(static_cast<size_t>(padded));
    for (size_t i = 0; i < size_t(n); ++i) data[i] = byteAt(i);
    const Bytes key(16, 0x55);
    Cipher enc, dec;
    ASSERT_EQ(0, enc->init(R::ECB, R::Encrypt, key.data(), R::Key128));
    ASSERT_EQ(0, dec->init(R::ECB, R::Decrypt, key.data(), R::Key128));
    ASSERT_EQ(padded, enc->padEncrypt(data.data(), n, data.data()));
    ASSERT_EQ(n, dec->padDecrypt(data.data(), padded, data.data()));
    size_t wrong = 0;
    for (size_t i = 0; i < size_t(n); ++i) wrong += data[i] != byteAt(i);
    EXPECT_EQ(0u, wrong);
}

}  // namespace

// Set by the tests' main when --backend pinned one.
extern bool qoltCipherBackendPinned;

namespace {

// What the processor offers, for the backends built for this architecture:
// on x86-64 asked of the compiler's own cpuid reader (clang 14 has no name
// for VAES, so its bit is read directly), on 64-bit ARM of the kernel's
// hardware capabilities.  Elsewhere, 32-bit x86 included, none.
bool processorHas(const char *what) {
    const std::string w = what;
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (w == "ssse3") return __builtin_cpu_supports("ssse3");
    if (w == "aes-ni") return __builtin_cpu_supports("aes");
#if defined(__clang__)
    unsigned a, b, c = 0, d;
    const bool vaes = __get_cpuid_count(7, 0, &a, &b, &c, &d) && (c >> 9 & 1);
#else
    const bool vaes = __builtin_cpu_supports("vaes");
#endif
    const bool vaes256 = processorHas("aes-ni") && vaes && __builtin_cpu_supports("avx2");
    if (w == "vaes-256") return vaes256;
    if (w == "vaes-512")
        return vaes256 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#elif defined(__aarch64__)
    if (w == "armv8-aes") return (getauxval(AT_HWCAP) & HWCAP_AES) != 0;
#endif
    return false;
}

// The cipher takes the widest backend the processor runs; a backend it
// cannot run can be neither pinned nor chosen; the tables never are.  Under
// qemu-x86_64 -cpu Nehalem this is the SSSE3 backend, under -cpu qemu64 the
// bitsliced one, under -cpu Westmere AES-NI; on 64-bit ARM the Cryptography
// Extensions where the kernel reports them, else bitsliced.
TEST(RijndaelBackend, ProcessorDecidesWhichRuns) {
    EXPECT_TRUE(rijndaelBackendSupported(RijndaelBackendId::Tables));
    EXPECT_TRUE(rijndaelBackendSupported(RijndaelBackendId::Bitsliced));
    EXPECT_EQ(processorHas("ssse3"), rijndaelBackendSupported(RijndaelBackendId::Ssse3));
    EXPECT_EQ(processorHas("aes-ni"), rijndaelBackendSupported(RijndaelBackendId::AesNi));
    EXPECT_EQ(processorHas("vaes-256"), rijndaelBackendSupported(RijndaelBackendId::Vaes256));
    EXPECT_EQ(processorHas("vaes-512"), rijndaelBackendSupported(RijndaelBackendId::Vaes512));
    EXPECT_EQ(processorHas("armv8-aes"), rijndaelBackendSupported(RijndaelBackendId::ArmAes));
    const RijndaelBackendEntry &running = rijndaelRunningBackend();
    EXPECT_TRUE(rijndaelBackendSupported(running.id));
    EXPECT_STREQ(rijndaelBackendName(running.id), running.name);
    if (!qoltCipherBackendPinned) {
        const RijndaelBackendId widest = processorHas("vaes-512")    ? RijndaelBackendId::Vaes512
                                         : processorHas("vaes-256")  ? RijndaelBackendId::Vaes256
                                         : processorHas("aes-ni")    ? RijndaelBackendId::AesNi
                                         : processorHas("ssse3")     ? RijndaelBackendId::Ssse3
                                         : processorHas("armv8-aes") ? RijndaelBackendId::ArmAes
                                                                     : RijndaelBackendId::Bitsliced;
        EXPECT_EQ(rijndaelBackendName(widest), std::string(running.name));
    }
    for (RijndaelBackendId id :
         {RijndaelBackendId::Ssse3, RijndaelBackendId::AesNi, RijndaelBackendId::Vaes256,
          RijndaelBackendId::Vaes512, RijndaelBackendId::ArmAes})
        if (!rijndaelBackendSupported(id)) {
            EXPECT_FALSE(rijndaelPinBackend(id));
            EXPECT_EQ(&running, &rijndaelRunningBackend());
        }
    printf("cipher backend: %s\n", running.name);
}

}  // namespace
