// The helpers the other tests trust: a table typed wrong must fail its test,
// not turn into other bytes.
#include <gtest/gtest.h>

#include <stdexcept>

#include "protocol.h"
#include "test_support.h"

namespace {

TEST(TestSupport, HexBothWays) {
    const Bytes b = {0x00, 0x01, 0x7f, 0x80, 0xab, 0xcd, 0xef, 0xff, 0x10};
    EXPECT_EQ("00017f80abcdefff 10", toHex(b));
    EXPECT_EQ("00017f80abcdefff10", toHex(b, 0));
    EXPECT_EQ(b, fromHex("00017f80 ABCDEFff 10"));
    EXPECT_EQ(Bytes{}, fromHex(" "));
}

TEST(TestSupport, FromHexRefusesOddCountsAndNonHexCharacters) {
    for (const char *bad : {"0", "abc", "00 1", "0g", "zz", "00\n00", "0x00", "-1"})
        EXPECT_THROW(fromHex(bad), std::invalid_argument) << bad;
}

// RFC 4648 section 10.
TEST(TestSupport, Base64EncodingOfTheStandardsVectors) {
    // clang-format off
    const char *const vectors[][2] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
                                      {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                      {"foobar", "Zm9vYmFy"}};
    // clang-format on
    for (const auto &v : vectors) {
        const std::string in = v[0];
        EXPECT_EQ(v[1], base64Encode(Bytes(in.begin(), in.end())));
    }
}

// "PLQ", then at most 13 bytes of the key text, then zeros.
TEST(TestSupport, ServerKeyIsPrefixThenThirteenBytesZeroFilled) {
    auto hex = [](const char *keyText) {
        const auto key = serverCredentialKey(keyText);
        return toHex(key.data(), key.size(), 0);
    };
    EXPECT_EQ("504c5100000000000000000000000000", hex(nullptr));
    EXPECT_EQ("504c5100000000000000000000000000", hex(""));
    EXPECT_EQ("504c5161620000000000000000000000", hex("ab"));
    EXPECT_EQ("504c51616263646566676869206b6c6d", hex("abcdefghi klmNOP"));
}

}  // namespace
