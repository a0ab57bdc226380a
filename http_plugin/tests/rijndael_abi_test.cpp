// Rijndael through the built qolt_http_plugin.so.2.  This binary links the
// shared library, not the internal one: every call goes through the exported
// symbols, and the fields are read where the public header places them.
#include "qolt/rijndael.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "test_support.h"

namespace {

using R = Rijndael;

// The demangled names that a shared object defines in its dynamic symbol
// table: what a client can bind to.
std::set<std::string> definedDynamicSymbols(const char *path) {
    std::ifstream file(path, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    Elf64_Ehdr header;
    if (image.size() < sizeof header) return names;
    memcpy(&header, image.data(), sizeof header);
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section, strings;
        memcpy(&section, &image[header.e_shoff + i * sizeof section], sizeof section);
        if (section.sh_type != SHT_DYNSYM) continue;
        memcpy(&strings, &image[header.e_shoff + section.sh_link * sizeof strings], sizeof strings);
        for (size_t at = section.sh_offset; at < section.sh_offset + section.sh_size;
             at += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            memcpy(&sym, &image[at], sizeof sym);
            if (sym.st_shndx == SHN_UNDEF || sym.st_name == 0) continue;
            const char *name = &image[strings.sh_offset + sym.st_name];
            int status = -1;
            char *demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
            names.insert(status == 0 ? demangled : name);
            free(demangled);
        }
    }
    return names;
}

TEST(RijndaelAbi, ExportsEveryMethodAndNothingElseOfTheCipher) {
    std::set<std::string> cipher;
    for (const std::string &name : definedDynamicSymbols(QOLT_PLUGIN_PATH))
        if (name.find("ijndael") != std::string::npos) cipher.insert(name);
    const std::set<std::string> expected = {
        "Rijndael::Rijndael()",
        "Rijndael::~Rijndael()",
        "Rijndael::init(Rijndael::Mode, Rijndael::Direction, unsigned char const*, "
        "Rijndael::KeyLength, unsigned char const*)",
        "Rijndael::blockEncrypt(unsigned char const*, int, unsigned char*)",
        "Rijndael::blockDecrypt(unsigned char const*, int, unsigned char*)",
        "Rijndael::padEncrypt(unsigned char const*, int, unsigned char*)",
        "Rijndael::padDecrypt(unsigned char const*, int, unsigned char*)",
        "Rijndael::encrypt(unsigned char const*, unsigned char*) const",
        "Rijndael::decrypt(unsigned char const*, unsigned char*) const",
        "Rijndael::keySched(unsigned char const (*) [4])",
        "Rijndael::keyEncToDec()",
    };
    EXPECT_EQ(expected, cipher);
}

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

        // One CBC block from the vector: the plaintext XOR the vector.
        EXPECT_EQ(128, dec.blockDecrypt(out.data(), 128, out.data()));
        for (int i = 0; i < 16; ++i) out[i] ^= iv[i];
        EXPECT_EQ(toHex(pt), toHex(out));
    }
}

// As the credential decoder uses it: CBC, 128-bit key, padded; the CBC
// plaintext keeps its padding.  ECB removes it.
TEST(RijndaelAbi, PaddedRoundTrips) {
    Bytes key = fromHex("2b7e151628aed2a6 abf7158809cf4f3c"), iv(16, 0x24);
    for (R::Mode mode : {R::CBC, R::ECB}) {
        R enc, dec;
        ASSERT_EQ(0, enc.init(mode, R::Encrypt, key.data(), R::Key128, iv.data()));
        ASSERT_EQ(0, dec.init(mode, R::Decrypt, key.data(), R::Key128, iv.data()));
        for (int n = 1; n <= 40; ++n) {
            Bytes msg(size_t(n), static_cast<unsigned char>(n)), buf = msg;
            int padded = n / 16 * 16 + 16, kept = mode == R::CBC ? padded : n;
            buf.resize(size_t(padded));
            msg.resize(size_t(padded), static_cast<unsigned char>(padded - n));
            ASSERT_EQ(padded, enc.padEncrypt(buf.data(), n, buf.data()));
            EXPECT_EQ(kept, dec.padDecrypt(buf.data(), padded, buf.data()));
            EXPECT_EQ(toHex(msg.data(), size_t(kept)), toHex(buf.data(), size_t(kept))) << n;
        }
    }
}

}  // namespace
