// Bad input at every export of the built plugin, loaded with dlopen as the
// client loads it (the cipher class through its exported symbols): null
// pointers, empty texts, 64 MiB texts, bytes 0x80 to 0xFF, embedded control
// bytes, invalid enumeration values.  Each case has its expected result; none
// may crash, and the sanitizer and valgrind checks run this file too.
//
// The expected digests come from GLib's MD5 and the expected plaintexts from
// OpenSSL, independent of the plugin.
#include "qolt/rijndael.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "bad_bytes.h"
#include "credential_oracle.h"
#include "salt.h"
#include "test_support.h"

namespace {

using AuthFn = char *(*)(const char *, char **);
using InitFn = void (*)(const char *);
using DecodeFn = char *(*)(const char *);
using R = Rijndael;


// GLib's MD5 of the salted text, ASCII letters folded.
std::string expectedDigest(const std::string &first, const std::string &second) {
    std::string salted = QOLT_SALT_PREFIX + first + second + QOLT_SALT_SUFFIX;
    for (char &c : salted)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    gchar *hex = g_compute_checksum_for_data(
        G_CHECKSUM_MD5, reinterpret_cast<const guchar *>(salted.data()), salted.size());
    std::string s(hex);
    g_free(hex);
    return s;
}

class BadInput : public ::testing::Test {
protected:
    LoadedPlugin plugin;
    AuthFn auth = plugin.function<AuthFn>("qolt_plugin_auth");
    InitFn init = plugin.function<InitFn>("qolt_plugin_auth_decode_init");
    DecodeFn decode = plugin.function<DecodeFn>("qolt_plugin_auth_decode");

    // The digest for these arguments, checked to be 32 lower-case hex digits.
    std::string digest(const char *first, char **second) {
        char *r = auth(first, second);
        EXPECT_NE(nullptr, r);
        if (!r) return {};
        std::string s(r);
        g_free(r);
        EXPECT_EQ(32u, s.size());
        EXPECT_EQ(std::string::npos, s.find_first_not_of("0123456789abcdef")) << s;
        return s;
    }
    std::string digest(const std::string &first, const std::string &second) {
        char *s = const_cast<char *>(second.c_str());
        return digest(first.c_str(), &s);
    }

    // The decoded text; "<null>" for a null result.
    std::string decoded(const char *encoded) {
        char *r = decode(encoded);
        if (!r) return "<null>";
        std::string s(r);
        g_free(r);
        return s;
    }
};

// ---- qolt_plugin_auth -----------------------------------------------------

TEST_F(BadInput, AuthNullPointersAndEmptyTextsAreTheEmptyText) {
    const std::string empty = expectedDigest("", "");
    char *none = nullptr;
    char *blank = const_cast<char *>("");
    EXPECT_EQ(empty, digest(nullptr, nullptr));
    EXPECT_EQ(empty, digest(nullptr, &none));
    EXPECT_EQ(empty, digest("", &blank));
    EXPECT_EQ(expectedDigest("x", ""), digest("x", nullptr));
    EXPECT_EQ(expectedDigest("", "y"), digest("", "y"));
    // *second is only read.
    char *second = const_cast<char *>("y");
    digest("x", &second);
    EXPECT_STREQ("y", second);
}

TEST_F(BadInput, AuthHighAndControlBytesAreDigestedUnfolded) {
    const std::string high = highBytes(), control = controlBytes();
    EXPECT_EQ(expectedDigest(high, control), digest(high, control));
    EXPECT_EQ(expectedDigest(control + "abc", high + "xyz"), digest(control + "abc", high + "xyz"));
    // Bytes 0x80-0xFF are not letters: no fold brings two of them together.
    EXPECT_NE(digest("\xe9", ""), digest("\xc9", ""));
}

TEST_F(BadInput, Auth64MiBTexts) {
    const std::string first(k64MiB, 'q'), second(k64MiB, '\xff');
    EXPECT_EQ(expectedDigest(first, second), digest(first, second));
}

// ---- qolt_plugin_auth_decode_init ------------------------------------------

TEST_F(BadInput, DecodeInitNullAndEmptyKeyTextsGiveThePrefixKey) {
    const std::string c = credential("", "geen sleutel");
    init(nullptr);
    EXPECT_EQ("geen sleutel", decoded(c.c_str()));
    init("");
    EXPECT_EQ("geen sleutel", decoded(c.c_str()));
}

TEST_F(BadInput, DecodeInitTakesHighAndControlBytesAsKeyBytes) {
    for (const std::string &keyText : {highBytes(), controlBytes(), std::string("\t\n\r ab\x80")}) {
        init(keyText.c_str());
        EXPECT_EQ("sleutel van bytes", decoded(credential(keyText.substr(0, 13), "sleutel van bytes").c_str()));
    }
}

TEST_F(BadInput, DecodeInit64MiBKeyTextUsesItsFirst13Bytes) {
    std::string keyText(k64MiB, 'k');
    keyText.replace(0, 13, "dertien bytes");
    init(keyText.c_str());
    EXPECT_EQ("lange sleutel", decoded(credential("dertien bytes", "lange sleutel").c_str()));
}

// ---- qolt_plugin_auth_decode -----------------------------------------------

TEST_F(BadInput, DecodeNullEmptyAndBlankTextsGiveNull) {
    init("k");
    EXPECT_EQ("<null>", decoded(nullptr));
    EXPECT_EQ("<null>", decoded(""));
    EXPECT_EQ("<null>", decoded(" \t\r\n\v\f"));
}

TEST_F(BadInput, DecodeHighBytesAnywhereGiveTheEmptyText) {
    init("k");
    const std::string good = credential("k", "zestien tekens!!");
    ASSERT_EQ("zestien tekens!!", decoded(good.c_str()));
    for (int b = 0x80; b <= 0xff; ++b) {
        const char byte = static_cast<char>(b);
        EXPECT_EQ("", decoded((std::string(1, byte) + good).c_str())) << b;
        EXPECT_EQ("", decoded((good.substr(0, 8) + byte + good.substr(8)).c_str())) << b;
        EXPECT_EQ("", decoded((good + byte).c_str())) << b;
    }
}

// White-space control bytes are skipped, every other control byte refuses
// the text; a zero byte ends it, as it ends every C text.
TEST_F(BadInput, DecodeEmbeddedControlBytes) {
    init("k");
    const std::string good = credential("k", "met stuurtekens");
    for (char b : controlBytes()) {
        const std::string text = good.substr(0, 4) + b + good.substr(4);
        const bool space = b == '\t' || b == '\n' || b == '\v' || b == '\f' || b == '\r';
        EXPECT_EQ(space ? "met stuurtekens" : "", decoded(text.c_str())) << int(b);
    }
    const std::string cut = good.substr(0, 4) + '\0' + good.substr(4);
    EXPECT_EQ("", decoded(cut.c_str()));  // "XXXX": three bytes, not a whole block
}

TEST_F(BadInput, Decode64MiBTexts) {
    init("groot");
    // A valid credential of 48 MiB of data: the text, then zero padding.
    std::string text(size_t(48) << 20, 'g');
    text.replace(text.size() - 5, 5, "einde");
    char *r = decode(credential("groot", text).c_str());
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(text.size(), strlen(r));
    EXPECT_EQ(0, memcmp(text.data(), r, text.size()));
    g_free(r);
    // 64 MiB of white space decodes to nothing; 64 MiB of base64 with one bad
    // byte at the end, or one short of a whole group, to the empty text.
    EXPECT_EQ("<null>", decoded(std::string(k64MiB, ' ').c_str()));
    std::string bad(k64MiB, 'A');
    bad.back() = '*';
    EXPECT_EQ("", decoded(bad.c_str()));
    bad.back() = 'A';
    bad.pop_back();
    EXPECT_EQ("", decoded(bad.c_str()));
}

// ---- the exported Rijndael class -------------------------------------------

// Out-of-range values cast to the 32-bit enumerations are refused in the
// order mode, direction, key length, and leave the object Unkeyed: every
// bulk call then says so and writes nothing.
TEST(BadInputRijndael, InitRefusesInvalidEnumerationValues) {
    const Bytes key(32, 0x11), in(64, 0x22);
    for (int bad : {3, 4, -1, 256, INT_MAX, INT_MIN}) {
        R c;
        EXPECT_EQ(R::ErrMode, c.init(R::Mode(bad), R::Encrypt, key.data(), R::Key128)) << bad;
        EXPECT_EQ(R::ErrMode, c.init(R::Mode(bad), R::Direction(bad), nullptr, R::KeyLength(bad)));
        EXPECT_EQ(R::ErrDirection, c.init(R::CBC, R::Direction(bad), key.data(), R::Key256));
        EXPECT_EQ(R::ErrKeyLength, c.init(R::CFB1, R::Decrypt, key.data(), R::KeyLength(bad)));
        EXPECT_EQ(R::ErrNoKey, c.init(R::ECB, R::Decrypt, nullptr, R::Key192));
        Bytes out(80, 0xee);
        EXPECT_EQ(R::ErrNotKeyed, c.blockEncrypt(in.data(), 512, out.data()));
        EXPECT_EQ(R::ErrNotKeyed, c.blockDecrypt(in.data(), 512, out.data()));
        EXPECT_EQ(R::ErrNotKeyed, c.padEncrypt(in.data(), 64, out.data()));
        EXPECT_EQ(R::ErrNotKeyed, c.padDecrypt(in.data(), 64, out.data()));
        EXPECT_EQ(Bytes(80, 0xee), out);
    }
}

// Lengths no buffer could hold are refused before anything is read.
TEST(BadInputRijndael, HugeAndNegativeLengthsReadAndWriteNothing) {
    const Bytes key(16, 0x33), in(16, 0x44);
    R enc, dec;
    ASSERT_EQ(0, enc.init(R::CBC, R::Encrypt, key.data(), R::Key128));
    ASSERT_EQ(0, dec.init(R::CBC, R::Decrypt, key.data(), R::Key128));
    Bytes out(32, 0xee);
    EXPECT_EQ(R::ErrCorruptData, enc.padEncrypt(in.data(), INT_MAX, out.data()));
    EXPECT_EQ(R::ErrCorruptData, dec.padDecrypt(in.data(), INT_MAX, out.data()));
    for (int len : {0, -1, -128, INT_MIN}) {
        EXPECT_EQ(0, enc.blockEncrypt(in.data(), len, out.data())) << len;
        EXPECT_EQ(0, dec.blockDecrypt(in.data(), len, out.data())) << len;
        EXPECT_EQ(0, enc.padEncrypt(in.data(), len, out.data())) << len;
        EXPECT_EQ(0, dec.padDecrypt(in.data(), len, out.data())) << len;
    }
    EXPECT_EQ(0, enc.blockEncrypt(nullptr, INT_MAX, out.data()));
    EXPECT_EQ(0, dec.padDecrypt(nullptr, 16, out.data()));
    EXPECT_EQ(Bytes(32, 0xee), out);
}

TEST(BadInputRijndael, PaddedRoundTripOf64MiB) {
    const Bytes key(16, 0x55), iv(16, 0x66);
    Bytes data(k64MiB + 16);
    for (size_t i = 0; i < k64MiB; ++i) data[i] = static_cast<unsigned char>(i * 131 + (i >> 16));
    const Bytes original(data.begin(), data.begin() + long(k64MiB));
    R enc, dec;
    ASSERT_EQ(0, enc.init(R::ECB, R::Encrypt, key.data(), R::Key128, iv.data()));
    ASSERT_EQ(0, dec.init(R::ECB, R::Decrypt, key.data(), R::Key128, iv.data()));
    ASSERT_EQ(int(k64MiB + 16), enc.padEncrypt(data.data(), int(k64MiB), data.data()));
    ASSERT_EQ(int(k64MiB), dec.padDecrypt(data.data(), int(k64MiB + 16), data.data()));
    EXPECT_TRUE(std::equal(original.begin(), original.end(), data.begin()));
}

}  // namespace
