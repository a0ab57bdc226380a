// The credential decoder exports, used through dlopen of the built plugin as
// the client uses them.  Credentials are made by OpenSSL (AES-128-CBC) and
// GLib's base64 encoder, both independent of the plugin; every key text, every
// kind of bad input, and lengths on both sides of the decoder's stack buffer.
#include <glib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "bad_bytes.h"
#include "credential_oracle.h"
#include "test_support.h"

namespace {

using InitFn = void (*)(const char *);

class CredentialDecoder : public ::testing::Test {
protected:
    LoadedPlugin plugin;
    InitFn init = plugin.function<InitFn>("qolt_plugin_auth_decode_init");
    DecodeFn decode = plugin.function<DecodeFn>("qolt_plugin_auth_decode");

    std::string decodeText(const std::string &encoded) { return decodedText(decode, encoded); }
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

// Base64 texts of up to 511 characters are decoded in a 512-byte buffer on
// the stack (the terminator's byte included), longer ones in a heap buffer.
// Every kind of text at 511, 512 and 513 characters, white space making up
// the length, and whole credentials whose base64 crosses the line.
TEST_F(CredentialDecoder, LengthsAroundTheStackBuffer) {
    init("sleutel");
    for (size_t n = 360; n <= 420; n += 4) {
        std::string text(n, char('a' + n % 26));
        std::string encoded = credential("sleutel", text);
        EXPECT_EQ(text, decodeText(encoded)) << "base64 length " << encoded.size();
    }
    const std::string text(368, 'v');  // 23 blocks: 492 characters of base64
    const std::string valid = credential("sleutel", text);
    ASSERT_EQ(492u, valid.size());
    for (size_t length : {511u, 512u, 513u}) {
        auto padded = [length](const std::string &s) {
            return s + std::string(length - s.size(), ' ');
        };
        const std::string shortGroup(length - length % 4 - 1, 'A');
        std::string badLast(length, 'A');
        badLast.back() = '*';
        // Order: text, decoded text.
        const std::pair<std::string, std::string> rows[] = {
            {padded(valid), text},                 // a credential and white space
            {std::string(length, ' '), "<null>"},  // white space decodes to nothing
            {badLast, ""},                         // a byte outside the alphabet, last
            {padded(shortGroup), ""},              // one short of a whole group
        };
        for (const auto &r : rows) {
            ASSERT_EQ(length, r.first.size());
            EXPECT_EQ(r.second, decodeText(r.first))
                << "length " << length << ": " << r.first.substr(0, 16) << "...";
        }
    }
}

TEST_F(CredentialDecoder, Pkcs7PaddingIsKeptAtTheEnd) {
    init("k");
    for (size_t n : {1u, 5u, 15u, 16u, 17u, 20u}) {
        std::string text(n, 'x');
        Bytes cipher = opensslEncrypt("k", Bytes(text.begin(), text.end()), true);
        char *r = decode(base64Encode(cipher).c_str());
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

// A null text, and every text that decodes to no bytes, give null.
TEST_F(CredentialDecoder, NothingDecodedGivesNull) {
    init("k");
    for (const char *nothing : {static_cast<const char *>(nullptr), "", " \t\r\n\v\f", " \n\t "}) {
        char *r = decode(nothing);
        EXPECT_EQ(nullptr, r) << (nothing ? nothing : "<null>");
        g_free(r);
    }
}

// The key is the prefix and the first 13 bytes of the key text, zero-filled;
// any byte but zero is a key byte.  Order: key text set up (null: a null
// pointer), key text the server used.
TEST_F(CredentialDecoder, KeyTexts) {
    const std::string longKey(1 << 20, 'z');
    const struct {
        const char *setUp;
        std::string server;
    } rows[] = {
        {"abcdefghijklmXYZ", "abcdefghijklmQQQQQQ"},  // only 13 bytes reach the key
        {"dertien bytes", "dertien bytes"},
        {"veertien bytes", "veertien byte"},
        {"", ""},
        {nullptr, ""},  // prefix and 13 zero bytes
        {longKey.c_str(), longKey.substr(0, 13)},
        {"\t\n\r ab\x80", "\t\n\r ab\x80"},
    };
    const std::string high = highBytes(), control = controlBytes();
    const std::string text = "twintig tekens lang.";
    for (const auto &r : rows) {
        init(r.setUp);
        EXPECT_EQ(text, decodeText(credential(r.server, text)))
            << toHex(reinterpret_cast<const unsigned char *>(r.server.data()), r.server.size());
    }
    for (const std::string &keyText : {high, control}) {
        init(keyText.c_str());
        EXPECT_EQ(text, decodeText(credential(keyText.substr(0, 13), text)))
            << toHex(reinterpret_cast<const unsigned char *>(keyText.data()), 13);
    }
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
    EXPECT_EQ("", decodeText(base64Encode(Bytes(20, 0x41))));
    // A 21-byte buffer: the terminator included, all zero.
    char *r = decode(base64Encode(Bytes(20, 0x41)).c_str());
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

TEST_F(CredentialDecoder, HighBytesAnywhereGiveTheEmptyText) {
    init("k");
    const std::string good = credential("k", "zestien tekens!!");
    ASSERT_EQ("zestien tekens!!", decodeText(good));
    for (int b = 0x80; b <= 0xff; ++b) {
        const char byte = static_cast<char>(b);
        EXPECT_EQ("", decodeText(std::string(1, byte) + good)) << b;
        EXPECT_EQ("", decodeText(good.substr(0, 8) + byte + good.substr(8))) << b;
        EXPECT_EQ("", decodeText(good + byte)) << b;
    }
}

// White space anywhere is skipped; every other control byte refuses the
// text; a zero byte ends it, as it ends every C text.
TEST_F(CredentialDecoder, WhiteSpaceIsSkippedOtherControlBytesRefused) {
    init("k");
    const std::string c = credential("k", "met spaties");
    std::string spaced;
    for (size_t i = 0; i < c.size(); ++i)
        spaced += (i % 4 == 0 ? "\n " : "") + std::string(1, c[i]);
    EXPECT_EQ("met spaties", decodeText(spaced + "\r\n"));

    for (char b : controlBytes()) {
        const std::string text = c.substr(0, 4) + b + c.substr(4);
        const bool space = b == '\t' || b == '\n' || b == '\v' || b == '\f' || b == '\r';
        EXPECT_EQ(space ? "met spaties" : "", decodeText(text)) << int(b);
    }
    const std::string cut = c.substr(0, 4) + '\0' + c.substr(4);
    EXPECT_EQ("", decodeText(cut.c_str()));  // "XXXX": three bytes, not a whole block
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
    const std::string c = credential("herlaad", "na herladen");
    for (int round = 0; round < 20; ++round) {
        LoadedPlugin plugin;
        auto init = plugin.function<InitFn>("qolt_plugin_auth_decode_init");
        auto decode = plugin.function<DecodeFn>("qolt_plugin_auth_decode");
        ASSERT_TRUE(init && decode);
        EXPECT_EQ("", decodedText(decode, c)) << "round " << round;
        init("herlaad");
        EXPECT_EQ("na herladen", decodedText(decode, c));
    }
}

}  // namespace
