// qolt_plugin_auth, used through dlopen of the built plugin as the client
// uses it, checked against OpenSSL's MD5 of the upper-cased salted text.
#include <glib.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "hex.h"
#include "salt.h"
#include "test_support.h"

namespace {

using AuthFn = char *(*)(const char *, char **);

class AuthDigest : public ::testing::Test {
protected:
    LoadedPlugin plugin;
    AuthFn auth = plugin.function<AuthFn>("qolt_plugin_auth");

    std::string call(const char *first, const char *second) {
        char *secondPtr = const_cast<char *>(second);
        char *result = auth(first, &secondPtr);
        EXPECT_NE(nullptr, result);
        if (!result) return {};
        std::string text(result);
        g_free(result);
        return text;
    }
};

std::string asciiUpper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

// The independent value: OpenSSL's MD5 of the upper-cased salted text.
std::string expectedDigest(const std::string &first, const std::string &second) {
    std::string salted = asciiUpper(QOLT_SALT_PREFIX + first + second + QOLT_SALT_SUFFIX);
    Bytes d = opensslMd5(reinterpret_cast<const unsigned char *>(salted.data()), salted.size());
    char hex[33];
    for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

bool isLowerHex32(const std::string &s) {
    if (s.size() != 32) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

TEST_F(AuthDigest, MatchesIndependentMd5OfUpperCasedSaltedText) {
    const char *pairs[][2] = {{"", ""},           {"alice", "secret"}, {"Bob", "P@ss w0rd!"},
                              {"x", ""},          {"", "y"},           {"één", "Ünïcode"},
                              {"tab\there", "nl\nx"}};
    for (auto &p : pairs) {
        std::string got = call(p[0], p[1]);
        EXPECT_TRUE(isLowerHex32(got)) << got;
        EXPECT_EQ(expectedDigest(p[0], p[1]), got) << p[0] << " / " << p[1];
    }
}

TEST_F(AuthDigest, TwoEmptyTextsDigestPrefixThenSuffix) {
    EXPECT_EQ(expectedDigest("", ""), call("", ""));
}

TEST_F(AuthDigest, AsciiCaseIsFoldedOnlyAscii) {
    EXPECT_EQ(call("alice", "secret"), call("ALICE", "SeCrEt"));
    // U+00E9 and U+00C9 in UTF-8: bytes above 0x7F are never folded.
    EXPECT_NE(call("\xc3\xa9", ""), call("\xc3\x89", ""));
    // '@' (0x40) and '`' (0x60), '[' and '{', sit beside the letter ranges.
    EXPECT_NE(call("`{", ""), call("@[", ""));
}

TEST_F(AuthDigest, TextsAreNotSeparated) {
    EXPECT_EQ(call("ab", "c"), call("a", "bc"));
}

TEST_F(AuthDigest, ResultIsTerminatedLowerHex) {
    char *second = const_cast<char *>("two");
    char *result = auth("one", &second);
    ASSERT_NE(nullptr, result);
    EXPECT_EQ('\0', result[32]);
    EXPECT_TRUE(isLowerHex32(result));
    EXPECT_STREQ("two", second);  // nothing written through second
    g_free(result);
}

TEST_F(AuthDigest, NullArgumentsCountAsEmptyTexts) {
    std::string empty = expectedDigest("", "");
    char *nullText = nullptr;
    char *r1 = auth(nullptr, &nullText);
    char *r2 = auth(nullptr, nullptr);
    char *r3 = auth("", nullptr);
    ASSERT_TRUE(r1 && r2 && r3);
    EXPECT_EQ(empty, r1);
    EXPECT_EQ(empty, r2);
    EXPECT_EQ(empty, r3);
    g_free(r1);
    g_free(r2);
    g_free(r3);
    EXPECT_EQ(expectedDigest("abc", ""), call("abc", nullptr));
}

TEST_F(AuthDigest, SeveralThreadsAtOnce) {
    std::string expected = expectedDigest("thread", "safe");
    auto work = [&](int *mismatches) {
        for (int i = 0; i < 2000; ++i)
            if (call("thread", "safe") != expected) ++*mismatches;
    };
    int m1 = 0, m2 = 0, m3 = 0;
    std::thread t1(work, &m1), t2(work, &m2), t3(work, &m3);
    t1.join();
    t2.join();
    t3.join();
    EXPECT_EQ(0, m1 + m2 + m3);
}

// A digit table must give exactly the text of "%02x".
TEST(HexDigits, TableMatchesPrintfForAllBytes) {
    for (int v = 0; v < 256; ++v) {
        unsigned char byte = static_cast<unsigned char>(v);
        char ours[2], theirs[3];
        hexEncodeLower(&byte, 1, ours);
        snprintf(theirs, sizeof theirs, "%02x", v);
        EXPECT_EQ(std::string(theirs), std::string(ours, 2)) << v;
    }
}

// A salted text longer than INT_MAX must still get the true digest, not one
// of a truncated or wrapped count.
TEST_F(AuthDigest, LargeTextBeyondInt32Count) {
    const size_t n = size_t(INT_MAX) + 100;
    char *first = static_cast<char *>(g_malloc(n + 1));
    memset(first, 'q', n);
    first[n] = '\0';
    char *second = const_cast<char *>("tail");
    char *result = auth(first, &second);
    g_free(first);
    ASSERT_NE(nullptr, result);

    EVP_MD_CTX *md = EVP_MD_CTX_new();
    ASSERT_EQ(1, EVP_DigestInit_ex(md, EVP_md5(), nullptr));
    std::string prefix = asciiUpper(QOLT_SALT_PREFIX);
    std::string suffix = asciiUpper(std::string("TAIL") + QOLT_SALT_SUFFIX);
    EVP_DigestUpdate(md, prefix.data(), prefix.size());
    std::string chunk(1 << 20, 'Q');
    for (size_t left = n; left > 0;) {
        size_t piece = left < chunk.size() ? left : chunk.size();
        EVP_DigestUpdate(md, chunk.data(), piece);
        left -= piece;
    }
    EVP_DigestUpdate(md, suffix.data(), suffix.size());
    unsigned char d[16];
    unsigned int len = 0;
    EVP_DigestFinal_ex(md, d, &len);
    EVP_MD_CTX_free(md);
    char hex[33];
    for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", d[i]);
    EXPECT_STREQ(hex, result);
    g_free(result);
}

}  // namespace
