// MD5 (RFC 1321): the standard's test suite, incremental input at every
// split, alignment, padding boundaries, ignored counts and the 64-bit count.
#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_CTX: the oracle's counts are set directly
#include "md5.h"

#include <gtest/gtest.h>
#include <openssl/md5.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "test_support.h"

namespace {

Bytes digestWhole(const unsigned char *p, size_t n) {
    Md5Context ctx;
    memset(&ctx, 0x5c, sizeof ctx);  // old contents must not matter
    Bytes out(16);
    md5Start(&ctx);
    md5Add(&ctx, p, static_cast<int>(n));
    md5Finish(&ctx, out.data());
    return out;
}

Bytes digestWhole(const std::string &s) {
    return digestWhole(reinterpret_cast<const unsigned char *>(s.data()), s.size());
}

// Adds the message in the given piece sizes, the last piece taking the rest.
Bytes digestPieces(const Bytes &msg, const std::vector<size_t> &pieces) {
    Md5Context ctx;
    Bytes out(16);
    md5Start(&ctx);
    size_t at = 0;
    for (size_t piece : pieces) {
        md5Add(&ctx, msg.data() + at, static_cast<int>(piece));
        at += piece;
    }
    md5Add(&ctx, msg.data() + at, static_cast<int>(msg.size() - at));
    md5Finish(&ctx, out.data());
    return out;
}

// RFC 1321 appendix A.5.  Order: message, digest.
struct Vector {
    const char *message;
    const char *digest;
};
const Vector kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Rfc1321, AppendixA5Suite) {
    for (const Vector &v : kRfc1321Suite) {
        Bytes d = digestWhole(v.message);
        EXPECT_EQ(v.digest, toHex(d, 0)) << "message \"" << v.message << "\"";
    }
}

TEST(Md5Rfc1321, RandomMessagesMatchOpenssl) {
    std::mt19937 rng(1321);
    for (size_t n = 0; n <= 300; ++n) {
        Bytes msg = randomBytes(rng, n);
        EXPECT_EQ(toHex(opensslMd5(msg.data(), n)), toHex(digestWhole(msg.data(), n)))
            << "length " << n;
    }
}

TEST(Md5Incremental, EveryTwoWaySplitOfShortMessages) {
    std::mt19937 rng(7);
    for (size_t n : {1u, 55u, 56u, 63u, 64u, 65u, 127u, 128u, 129u, 200u}) {
        Bytes msg = randomBytes(rng, n);
        Bytes whole = digestWhole(msg.data(), n);
        for (size_t cut = 0; cut <= n; ++cut)
            ASSERT_EQ(toHex(whole), toHex(digestPieces(msg, {cut}))) << "n " << n << " cut " << cut;
    }
}

TEST(Md5Incremental, NamedSplitsAndByteAtATime) {
    std::mt19937 rng(8);
    Bytes msg = randomBytes(rng, 300);
    Bytes whole = digestWhole(msg.data(), msg.size());
    EXPECT_EQ(toHex(whole), toHex(digestPieces(msg, {63, 1, 64})));
    EXPECT_EQ(toHex(whole), toHex(digestPieces(msg, {1, 127})));
    EXPECT_EQ(toHex(whole), toHex(digestPieces(msg, std::vector<size_t>(msg.size(), 1))));
}

TEST(Md5Incremental, RandomSplitsOfLongMessages) {
    std::mt19937 rng(9);
    for (int round = 0; round < 20; ++round) {
        Bytes msg = randomBytes(rng, 5000 + rng() % 5000);
        std::vector<size_t> pieces;
        size_t used = 0;
        while (true) {
            size_t piece = rng() % 300;
            if (used + piece > msg.size()) break;
            pieces.push_back(piece);
            used += piece;
        }
        EXPECT_EQ(toHex(opensslMd5(msg.data(), msg.size())), toHex(digestPieces(msg, pieces)));
    }
}

TEST(Md5Alignment, UnalignedBlocksGiveTheAlignedResult) {
    std::mt19937 rng(10);
    Bytes msg = randomBytes(rng, 1000);
    Bytes expected = digestWhole(msg.data(), msg.size());
    alignas(16) unsigned char buffer[1100];
    for (size_t shift = 0; shift < 8; ++shift) {
        memcpy(buffer + shift, msg.data(), msg.size());
        EXPECT_EQ(toHex(expected), toHex(digestWhole(buffer + shift, msg.size())))
            << "shift " << shift;
    }
}

TEST(Md5Alignment, TransformReadsUnalignedBlockLikeAligned) {
    std::mt19937 rng(11);
    Bytes block = randomBytes(rng, 64);
    alignas(8) unsigned char buffer[72];
    Md5Context reference;
    md5Start(&reference);
    md5Transform(&reference, block.data());
    for (size_t shift = 1; shift < 8; ++shift) {
        memcpy(buffer + shift, block.data(), 64);
        Md5Context ctx;
        md5Start(&ctx);
        md5Transform(&ctx, buffer + shift);
        EXPECT_EQ(0, memcmp(reference.state, ctx.state, sizeof ctx.state)) << "shift " << shift;
    }
}

// The record is not reset by md5Finish, so its count shows how many bytes the
// padding and length took: 55 mod 64 fits one block, 56 mod 64 needs another.
TEST(Md5Padding, FiftyFiveAndFiftySixModSixtyFour) {
    std::mt19937 rng(12);
    struct Case {
        size_t length;
        uint32_t bytesAfterFinish;
    } cases[] = {{55, 64}, {56, 128}, {119, 128}, {120, 192}, {0, 64}, {63, 128}, {64, 128}};
    for (const Case &c : cases) {
        Bytes msg = randomBytes(rng, c.length);
        Md5Context ctx;
        unsigned char digest[16];
        md5Start(&ctx);
        md5Add(&ctx, msg.data(), static_cast<int>(msg.size()));
        md5Finish(&ctx, digest);
        EXPECT_EQ(c.bytesAfterFinish * 8, ctx.bitCount[0]) << "length " << c.length;
        EXPECT_EQ(toHex(opensslMd5(msg.data(), msg.size())), toHex(digest, 16));
    }
}

TEST(Md5Counts, ZeroAndNegativeCountsLeaveTheRecordUnchanged) {
    std::mt19937 rng(13);
    Bytes msg = randomBytes(rng, 100);
    Md5Context ctx;
    memset(&ctx, 0xa5, sizeof ctx);
    md5Start(&ctx);
    md5Add(&ctx, msg.data(), 37);
    Md5Context before;
    memcpy(&before, &ctx, sizeof ctx);
    for (int count : {0, -1, -64, INT32_MIN}) {
        md5Add(&ctx, msg.data() + 37, count);
        EXPECT_EQ(0, memcmp(&before, &ctx, sizeof ctx)) << "count " << count;
    }
    md5Add(&ctx, nullptr, 0);
    EXPECT_EQ(0, memcmp(&before, &ctx, sizeof ctx));
}

// The bit count crosses 2^32 into bitCount[1].  Both our record and OpenSSL's
// are started with the count just below 2^32 bits rather than after hashing
// 512 MiB; the chaining words are the initial ones in both.
TEST(Md5Counts, CarryIntoHighWordMatchesOpenssl) {
    std::mt19937 rng(14);
    for (uint32_t startBits : {0xFFFFFE00u, 0xFFFFFC00u, 0xFFFFF000u}) {
        for (size_t n : {1u, 63u, 64u, 65u, 200u, 1000u}) {
            Bytes msg = randomBytes(rng, n);
            Md5Context ctx;
            md5Start(&ctx);
            ctx.bitCount[0] = startBits;
            MD5_CTX oracle;
            MD5_Init(&oracle);
            oracle.Nl = startBits;
            oracle.Nh = 0;
            md5Add(&ctx, msg.data(), static_cast<int>(n));
            MD5_Update(&oracle, msg.data(), n);
            uint64_t total = uint64_t(startBits) + 8 * n;
            EXPECT_EQ(uint32_t(total >> 32), ctx.bitCount[1])
                << "start " << startBits << " n " << n;
            EXPECT_EQ(uint32_t(total), ctx.bitCount[0]);
            unsigned char ours[16], theirs[16];
            md5Finish(&ctx, ours);
            MD5_Final(theirs, &oracle);
            EXPECT_EQ(toHex(theirs, 16), toHex(ours, 16)) << "start " << startBits << " n " << n;
        }
    }
}

TEST(Md5Large, CountOfHalfAGigabyteCarriesIntoHighWord) {
    // A count of 2^29 bytes or more puts its top bits straight into the high word.
    Md5Context ctx;
    md5Start(&ctx);
    std::vector<unsigned char> big((size_t(1) << 29) + 64, 0x61);
    md5Add(&ctx, big.data(), static_cast<int>(big.size()));
    EXPECT_EQ(1u, ctx.bitCount[1]);
    EXPECT_EQ(512u, ctx.bitCount[0]);
    unsigned char digest[16];
    md5Finish(&ctx, digest);
    EXPECT_EQ(toHex(opensslMd5(big.data(), big.size())), toHex(digest, 16));
}

}  // namespace
