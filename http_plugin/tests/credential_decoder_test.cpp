// The credential decoder exports, used through dlopen of the built plugin as
// the client uses them.  Credentials are made by OpenSSL (AES-128-CBC) and
// GLib's base64 encoder, both independent of the plugin.
#include <glib.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "credential_oracle.h"
#include "test_support.h"

namespace {

using InitFn = void (*)(const char *);
using DecodeFn = char *(*)(const char *);

class CredentialDecoder : public ::testing::Test {
protected:
    LoadedPlugin plugin;
    InitFn init = plugin.function<InitFn>("qolt_plugin_auth_decode_init");
    DecodeFn decode = plugin.function<DecodeFn>("qolt_plugin_auth_decode");

    // The decoded bytes up to the terminator; "<null>" for a null result.
    std::string decodeText(const std::string &encoded) {
        char *r = decode(encoded.c_str());
        if (!r) return "<null>";
        std::string s(r);
        g_free(r);
        return s;
    }
};

TEST_F(CredentialDecoder, ZeroPaddedTextsOfEveryLengthComeBackExactly) {
    init("sleutel");
    std::mt19937 rng(5);
    for (size_t n = 1; n <= 100; ++n) {
        std::string text;
        for (size_t i = 0; i < n; ++i) text += char(' ' + rng() % 95);
        EXPECT_EQ(text, decodeText(credential("sleutel", text))) << "length " << n;
    }
}

// Base64 texts of up to 511 characters are decoded on the stack, longer ones
// in a heap buffer: lengths on both sides of that line.
TEST_F(CredentialDecoder, LongTextsComeBackExactly) {
    init("sleutel");
    for (size_t n = 360; n <= 420; n += 4) {
        std::string text(n, char('a' + n % 26));
        std::string encoded = credential("sleutel", text);
        EXPECT_EQ(text, decodeText(encoded)) << "base64 length " << encoded.size();
    }
}

TEST_F(CredentialDecoder, Pkcs7PaddingIsKeptAtTheEnd) {
    init("k");
    for (size_t n : {1u, 5u, 15u, 16u, 17u, 20u}) {
        std::string text(n, 'x');
        Bytes cipher = opensslEncrypt("k", Bytes(text.begin(), text.end()), true);
        char *r = decode(base64(cipher).c_str());
        ASSERT_NE(nullptr, r);
        size_t pad = 16 - n % 16;
        std::string expected = text + std::string(pad, char(pad));
        EXPECT_EQ(expected, std::string(r, cipher.size())) << "length " << n;
        EXPECT_EQ('\0', r[cipher.size()]);
        g_free(r);
    }
}

TEST_F(CredentialDecoder, BeforeAnyKeySetUpGivesEmptyText) {
    // A fresh load: the shared cipher is Unkeyed.
    EXPECT_EQ("", decodeText(credential("x", "geheim")));
}

TEST_F(CredentialDecoder, EmptyOrNullInputGivesNull) {
    init("k");
    EXPECT_EQ(nullptr, decode(""));
    EXPECT_EQ(nullptr, decode(nullptr));
    EXPECT_EQ(nullptr, decode(" \n\t "));  // decodes to no bytes
}

TEST_F(CredentialDecoder, KeyDerivation) {
    std::string text = "twintig tekens lang.";
    // Only the first 13 bytes of the key text reach the key.
    init("abcdefghijklmXYZ");
    EXPECT_EQ(text, decodeText(credential("abcdefghijklmQQQQQQ", text)));
    // Empty and null key texts: prefix and 13 zero bytes.
    init("");
    EXPECT_EQ(text, decodeText(credential("", text)));
    init(nullptr);
    EXPECT_EQ(text, decodeText(credential("", text)));
    // A very long key text is cut the same way.
    std::string longKey(1 << 20, 'z');
    init(longKey.c_str());
    EXPECT_EQ(text, decodeText(credential(longKey.substr(0, 13), text)));
}

TEST_F(CredentialDecoder, ReKeyingInPlaceAndRepeatedDecodes) {
    std::string a = credential("first", "tekst A");
    std::string b = credential("second", "tekst B");
    init("first");
    EXPECT_EQ("tekst A", decodeText(a));
    EXPECT_EQ("tekst A", decodeText(a));  // every decode starts from the vector
    init("second");
    EXPECT_EQ("tekst B", decodeText(b));
    EXPECT_NE("tekst A", decodeText(a));  // wrong key: garbled, not detected
}

TEST_F(CredentialDecoder, UndecryptableInputGivesEmptyText) {
    init("k");
    // 20 decoded bytes: not whole blocks.
    EXPECT_EQ("", decodeText(base64(Bytes(20, 0x41))));
    // A 21-byte buffer: the terminator included, all zero.
    char *r = decode(base64(Bytes(20, 0x41)).c_str());
    ASSERT_NE(nullptr, r);
    for (int i = 0; i < 21; ++i) EXPECT_EQ('\0', r[i]);
    g_free(r);
    // Malformed base64 in every form the decoder refuses.
    for (const char *bad : {"QQ=", "QQ", "QUI", "Q===", "QUI==", "QUJD=", "QQ==QQ==", "QR==",
                            "QUJ=", "QU*D", "QUJ\xc3\xa9", "-_-_", "===="}) {
        char *out = decode(bad);
        ASSERT_NE(nullptr, out) << bad;
        EXPECT_STREQ("", out) << bad;
        g_free(out);
    }
}

TEST_F(CredentialDecoder, WhiteSpaceInTheCredentialIsIgnored) {
    init("k");
    std::string c = credential("k", "met spaties");
    std::string spaced;
    for (size_t i = 0; i < c.size(); ++i) spaced += (i % 4 == 0 ? "\n " : "") + std::string(1, c[i]);
    EXPECT_EQ("met spaties", decodeText(spaced + "\r\n"));
}

TEST_F(CredentialDecoder, ThreadsDecodeAtOnceAfterOneKeySetUp) {
    init("gedeeld");
    std::string one = credential("gedeeld", "eerste geheim");
    std::string two = credential("gedeeld", "tweede geheim, iets langer dan een blok");
    auto work = [&](const std::string *c, const char *expected, int *bad) {
        for (int i = 0; i < 3000; ++i)
            if (decodeText(*c) != expected) ++*bad;
    };
    int bad1 = 0, bad2 = 0;
    std::thread t1(work, &one, "eerste geheim", &bad1);
    std::thread t2(work, &two, "tweede geheim, iets langer dan een blok", &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(0, bad1);
    EXPECT_EQ(0, bad2);
}

// Each load constructs a new Unkeyed cipher and each unload destroys it: a
// key set up before an unload is gone after the next load.
TEST(CredentialDecoderLifecycle, EveryLoadStartsUnkeyed) {
    std::string c = base64(opensslEncrypt("herlaad", zeroPadded("na herladen"), false));
    for (int round = 0; round < 20; ++round) {
        LoadedPlugin plugin;
        auto init = plugin.function<InitFn>("qolt_plugin_auth_decode_init");
        auto decode = plugin.function<DecodeFn>("qolt_plugin_auth_decode");
        ASSERT_TRUE(init && decode);
        char *before = decode(c.c_str());
        ASSERT_NE(nullptr, before);
        EXPECT_STREQ("", before) << "round " << round;
        g_free(before);
        init("herlaad");
        char *after = decode(c.c_str());
        EXPECT_STREQ("na herladen", after);
        g_free(after);
    }
}

}  // namespace
