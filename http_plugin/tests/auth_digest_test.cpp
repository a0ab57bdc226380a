// qolt_plugin_auth, used through dlopen of the built plugin as the client
// uses it, checked against OpenSSL's MD5 of the upper-cased salted text:
// texts of every kind, null pointers, hostile bytes, threads, and a text
// past INT_MAX bytes.
#include <glib.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "bad_bytes.h"
#include "hex.h"
#include "protocol.h"
#include "test_support.h"

namespace {

using AuthFn = char *(*)(const char *, char **);

bool isLowerHex32(const std::string &s) {
    return s.size() == 32 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

class AuthDigest : public ::testing::Test {
protected:
    LoadedPlugin plugin;
    AuthFn auth = plugin.function<AuthFn>("qolt_plugin_auth");

    // The digest for these arguments, checked to be 32 lower-case hex digits.
    std::string digest(const char *first, char **second) {
        char *result = auth(first, second);
        EXPECT_NE(nullptr, result);
        if (!result) return {};
        std::string text(result);
        g_free(result);
        EXPECT_TRUE(isLowerHex32(text)) << text;
        return text;
    }
    std::string call(const std::string &first, const std::string &second) {
        char *secondPtr = const_cast<char *>(second.c_str());
        return digest(first.c_str(), &secondPtr);
    }
};

// Order: first text, second text.  The first row, two empty texts, is the
// digest of the prefix then the suffix.
TEST_F(AuthDigest, MatchesIndependentMd5OfUpperCasedSaltedText) {
    const std::string high = highBytes(), control = controlBytes();
    const std::pair<std::string, std::string> pairs[] = {
        {"", ""},
        {"alice", "secret"},
        {"Bob", "P@ss w0rd!"},
        {"x", ""},
        {"", "y"},
        {"één", "Ünïcode"},
        {"tab\there", "nl\nx"},
        {high, control},
        {control + "abc", high + "xyz"},
    };
    for (const auto &p : pairs)
        EXPECT_EQ(expectedDigest(p.first, p.second), call(p.first, p.second))
            << toHex(reinterpret_cast<const unsigned char *>(p.first.data()), p.first.size())
            << " / "
            << toHex(reinterpret_cast<const unsigned char *>(p.second.data()), p.second.size());
}

// A null first text, a null second pointer and a second pointer to null all
// count as the empty text.
TEST_F(AuthDigest, NullArgumentsCountAsEmptyTexts) {
    char *none = nullptr;
    char *blank = const_cast<char *>("");
    char *y = const_cast<char *>("y");
    // Order: first, second, the texts whose digest is expected.
    const struct {
        const char *first;
        char **second;
        const char *asFirst, *asSecond;
    } rows[] = {
        {nullptr, nullptr, "", ""}, {nullptr, &none, "", ""},    {"", &blank, "", ""},
        {"", nullptr, "", ""},      {"abc", nullptr, "abc", ""}, {"x", &none, "x", ""},
        {nullptr, &y, "", "y"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(expectedDigest(r.asFirst, r.asSecond), digest(r.first, r.second))
            << (r.first ? r.first : "<null>") << " / " << r.asSecond;
}

TEST_F(AuthDigest, AsciiCaseIsFoldedOnlyAscii) {
    EXPECT_EQ(call("alice", "secret"), call("ALICE", "SeCrEt"));
    // Bytes 0x80-0xFF are not letters: neither Latin-1 é/É nor the second
    // byte of U+00E9/U+00C9 in UTF-8 is folded.
    EXPECT_NE(call("\xe9", ""), call("\xc9", ""));
    EXPECT_NE(call("\xc3\xa9", ""), call("\xc3\x89", ""));
    // '@' (0x40) and '`' (0x60), '[' and '{', sit beside the letter ranges.
    EXPECT_NE(call("`{", ""), call("@[", ""));
}

TEST_F(AuthDigest, TextsAreNotSeparated) { EXPECT_EQ(call("ab", "c"), call("a", "bc")); }

TEST_F(AuthDigest, ResultIsTerminatedLowerHex) {
    char *second = const_cast<char *>("two");
    char *result = auth("one", &second);
    ASSERT_NE(nullptr, result);
    EXPECT_EQ('\0', result[32]);
    EXPECT_TRUE(isLowerHex32(result));
    EXPECT_STREQ("two", second);  // *second is only read
    g_free(result);
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
// of a truncated or wrapped count: MD5 counts in an int, so the export feeds
// it in pieces of 1 GiB.  The first text repeats every byte value but zero
// (lower-case letters to fold, bytes 0x80-0xFF to leave); OpenSSL digests
// the folded text a chunk at a time.  About 4 GiB: a "large" test, and one
// that a 32-bit address space cannot hold.
#if SIZE_MAX > UINT32_MAX
TEST_F(AuthDigest, LargeTextBeyondInt32Count) {
    const size_t n = size_t(INT_MAX) + 100;
    const size_t chunk = size_t(1) << 20;  // a whole number of periods
    auto byteAt = [](size_t i) { return static_cast<char>(i % 256 ? i % 256 : 'q'); };
    char *first = static_cast<char *>(g_malloc(n + 1));
    for (size_t i = 0; i < n; ++i) first[i] = byteAt(i);
    first[n] = '\0';
    const std::string secondText = highBytes() + controlBytes() + "tail";
    char *second = const_cast<char *>(secondText.c_str());
    char *result = auth(first, &second);
    g_free(first);
    ASSERT_NE(nullptr, result);

    auto folded = [](std::string s) {
        for (char &c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    std::string piece;
    for (size_t i = 0; i < chunk; ++i) piece += byteAt(i);
    piece = folded(piece);
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    ASSERT_EQ(1, EVP_DigestInit_ex(md, EVP_md5(), nullptr));
    const std::string prefix = folded(QOLT_SALT_PREFIX);
    const std::string suffix = folded(secondText + QOLT_SALT_SUFFIX);
    EVP_DigestUpdate(md, prefix.data(), prefix.size());
    for (size_t left = n; left > 0;) {
        const size_t take = left < chunk ? left : chunk;
        EVP_DigestUpdate(md, piece.data(), take);
        left -= take;
    }
    EVP_DigestUpdate(md, suffix.data(), suffix.size());
    unsigned char d[16];
    unsigned int len = 0;
    EVP_DigestFinal_ex(md, d, &len);
    EVP_MD_CTX_free(md);
    EXPECT_EQ(toHex(d, 16, 0), std::string(result));
    g_free(result);
}
#endif

}  // namespace
