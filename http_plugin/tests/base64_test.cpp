// Strict base64 decoding (RFC 4648): case tables by rule, every byte value,
// every leftover-bit pattern, GLib-encoded round trips with white space,
// mutated texts, guard bytes, reads bounded by the terminator, and the INT_MAX
// limit.
#include "base64.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <string>

#include "test_support.h"

namespace {

// Size value in the tables that means: no target, counting mode.
constexpr uint64_t kCount = UINT64_MAX;
// Bytes after every target; they must never change.
constexpr size_t kGuardLength = 16;
constexpr unsigned char kGuard = 0x5a;

const char kSpaces[] = " \t\n\v\f\r";

// Holds a text at the very end of a readable mapping, followed by a page
// without access: a read past the terminator faults in any build.
class PageEndText {
public:
    explicit PageEndText(size_t capacity = 64 * 1024) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        length_ = (capacity + page_ - 1) / page_ * page_;
        void *p = mmap(nullptr, length_ + page_, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) abort();
        base_ = static_cast<char *>(p);
        if (mprotect(base_ + length_, page_, PROT_NONE) != 0) abort();
    }
    ~PageEndText() { munmap(base_, length_ + page_); }
    PageEndText(const PageEndText &) = delete;
    PageEndText &operator=(const PageEndText &) = delete;

    // The copy of s, its terminator the last readable byte.
    const char *place(const std::string &s) {
        if (s.size() + 1 > length_) abort();
        char *at = base_ + length_ - (s.size() + 1);
        memcpy(at, s.c_str(), s.size() + 1);
        return at;
    }

private:
    char *base_;
    size_t page_;
    size_t length_;
};

// A target of the given size, filled, with guard bytes after it.
struct GuardedTarget {
    GuardedTarget(size_t bytes, unsigned char fill) : size(bytes) {
        if (bytes > (size_t(1) << 30)) abort();  // the tests' targets are small
        buffer.assign(bytes + kGuardLength, kGuard);
        memset(buffer.data(), fill, bytes);
    }
    unsigned char *data() { return buffer.data(); }
    bool guardIntact() const {
        for (size_t k = size; k < buffer.size(); ++k)
            if (buffer[k] != kGuard) return false;
        return true;
    }
    size_t size;
    Bytes buffer;
};

std::string escaped(const std::string &s) {
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        if (c >= 0x21 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

// Order: text, target size (kCount: no target), result, decoded bytes in hex.
struct Case {
    const char *text;
    uint64_t size;
    int result;
    const char *bytes;
};

void PrintTo(const Case &c, std::ostream *os) {
    *os << '"' << escaped(c.text) << "\" into ";
    if (c.size == kCount)
        *os << "no target";
    else
        *os << c.size << " bytes";
}

// Sources: RFC 4648 section 10 and the decoder's contract.
const Case kAccepted[] = {
    {"", 0, 0, ""},
    {"", 4, 0, ""},
    {" \t\n\v\f\r", 4, 0, ""},
    {"QUJD", 3, 3, "414243"},
    {"QUJD", 8, 3, "414243"},
    {"QUI=", 3, 2, "4142"},
    {"QQ==", 2, 1, "41"},
    {"QUJDREVG", 6, 6, "41424344 4546"},
    {"QUJDREU=", 6, 5, "41424344 45"},
    {"QUJDRA==", 5, 4, "41424344"},
    {"AAAA", 3, 3, "000000"},
    {"////", 3, 3, "ffffff"},
    {"+/+/", 3, 3, "fbffbf"},
    {"Zg==", 2, 1, "66"},
    {"Zm8=", 3, 2, "666f"},
    {"Zm9v", 3, 3, "666f6f"},
    {"Zm9vYg==", 5, 4, "666f6f62"},
    {"Zm9vYmE=", 6, 5, "666f6f62 61"},
    {"Zm9vYmFy", 6, 6, "666f6f62 6172"},
};

// White space anywhere: before, between, around and between the pads, after.
const Case kWhiteSpace[] = {
    {"QQ =\n=\t", 2, 1, "41"},
    {" Q\tU\nJ\vD\f\r", 3, 3, "414243"},
    {"\n\nQUI=\r\n", 3, 2, "4142"},
    {"QQ\t\t=  \n =", 2, 1, "41"},
    {"QUJD\nQUJD\n", 6, 6, "41424341 4243"},
};

// Every write is tested against the size; a padded group needs one more byte.
const Case kBounds[] = {
    {"QUJD", 2, -1, ""},
    {"QUJD", 0, -1, ""},
    {"QUI=", 2, -1, ""},
    {"QQ==", 1, -1, ""},
    {"QQ==", 0, -1, ""},
    {"QUJDQUJD", 6, 6, "41424341 4243"},
    {"QUJDQUJD", 5, -1, ""},
    {"QUJDQUJD", 3, -1, ""},
    {"QUJDQUI=", 6, 5, "41424341 42"},
    {"QUJDQUI=", 5, -1, ""},
    {"QUJDQQ==", 5, 4, "41424341"},
    {"QUJDQQ==", 4, -1, ""},
};

// clang-format off
// Incomplete groups need padding; pads only as a group's third and fourth
// characters; nothing but white space after them.
const Case kPadding[] = {
    {"Q", 8, -1, ""},
    {"QQ", 8, -1, ""},
    {"QUI", 8, -1, ""},
    {"QUJDQ", 8, -1, ""},
    {"QQ=", 8, -1, ""},
    {"QQ= ", 8, -1, ""},
    {"Q===", 8, -1, ""},
    {"QUI==", 8, -1, ""},
    {"QUJD=", 8, -1, ""},
    {"QUJD==", 8, -1, ""},
    {"=", 8, -1, ""},
    {"====", 8, -1, ""},
    {"QQ==QQ==", 8, -1, ""},
    {"QUI=QUJD", 8, -1, ""},
    {"QQ=A=", 8, -1, ""},
    {"QQ===", 8, -1, ""},
    {"QQ== =", 8, -1, ""},
    {"QUI= =", 8, -1, ""},
    {"QUI=A", 8, -1, ""},
    {"QQ==*", 8, -1, ""},
};

// Bytes outside the alphabet, the pad and white space.
const Case kAlphabet[] = {
    {"QU*D", 8, -1, ""},
    {"*", 8, -1, ""},
    {"QUJ\x80", 8, -1, ""},
    {"\xffQUJD", 8, -1, ""},
    {"QUJD\xa0", 8, -1, ""},
    {"QUJ\x85", 8, -1, ""},
    {"QUJ-", 8, -1, ""},
    {"QUJ_", 8, -1, ""},
    {"QUI.", 8, -1, ""},
    {"QQ==\x80", 8, -1, ""},
};

// The last character before the padding must leave zero bits over, which is
// checked only when there is a target.
const Case kLeftoverBits[] = {
    {"QR==", 2, -1, ""},
    {"QR==", 8, -1, ""},
    {"QUJ=", 3, -1, ""},
    {"QUJ=", 8, -1, ""},
    {"QR==", kCount, 1, ""},
    {"QUJ=", kCount, 2, ""},
    {"QUJDQR==", 8, -1, ""},
};

// Counting mode: the same syntax, no sizes.
const Case kCounting[] = {
    {"", kCount, 0, ""},
    {" \n", kCount, 0, ""},
    {"QUJD", kCount, 3, ""},
    {"QUI=", kCount, 2, ""},
    {"QQ==", kCount, 1, ""},
    {"QUJDQUJDQUJD", kCount, 9, ""},
    {"QQ =\n=\t", kCount, 1, ""},
    {"QQ=", kCount, -1, ""},
    {"QUI", kCount, -1, ""},
    {"QUJD=", kCount, -1, ""},
    {"QQ==QQ==", kCount, -1, ""},
    {"QU*D", kCount, -1, ""},
    {"QUJ\x80", kCount, -1, ""},
};
// clang-format on

class Base64Table : public ::testing::TestWithParam<Case> {};

TEST_P(Base64Table, ResultAndBytes) {
    const Case &c = GetParam();
    PageEndText page(4096);
    const char *text = page.place(c.text);
    if (c.size == kCount) {
        EXPECT_EQ(c.result, base64Decode(text, nullptr, 0));
        EXPECT_EQ(c.result, base64Decode(text, nullptr, 1));  // the size is ignored
        return;
    }
    // Earlier target contents must not matter: zero-filled and 0xff-filled
    // targets give the same result and bytes.
    for (unsigned char fill : {0x00, 0xff}) {
        GuardedTarget target(c.size, fill);
        int result = base64Decode(text, target.data(), c.size);
        EXPECT_EQ(c.result, result) << "fill " << int(fill);
        if (result >= 0 && result == c.result) {
            EXPECT_EQ(toHex(fromHex(c.bytes)), toHex(target.data(), static_cast<size_t>(result)))
                << "fill " << int(fill);
        }
        EXPECT_TRUE(target.guardIntact()) << "fill " << int(fill);
    }
    // What decodes into a target counts the same without one.
    if (c.result >= 0) {
        EXPECT_EQ(c.result, base64Decode(text, nullptr, 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Accepted, Base64Table, ::testing::ValuesIn(kAccepted));
INSTANTIATE_TEST_SUITE_P(WhiteSpace, Base64Table, ::testing::ValuesIn(kWhiteSpace));
INSTANTIATE_TEST_SUITE_P(Bounds, Base64Table, ::testing::ValuesIn(kBounds));
INSTANTIATE_TEST_SUITE_P(Padding, Base64Table, ::testing::ValuesIn(kPadding));
INSTANTIATE_TEST_SUITE_P(Alphabet, Base64Table, ::testing::ValuesIn(kAlphabet));
INSTANTIATE_TEST_SUITE_P(LeftoverBits, Base64Table, ::testing::ValuesIn(kLeftoverBits));
INSTANTIATE_TEST_SUITE_P(Counting, Base64Table, ::testing::ValuesIn(kCounting));

TEST(Base64Contract, NullTextIsEmpty) {
    GuardedTarget target(4, 0xff);
    EXPECT_EQ(0, base64Decode(nullptr, target.data(), 4));
    EXPECT_EQ(0, base64Decode(nullptr, nullptr, 0));
    EXPECT_EQ(Bytes(4, 0xff), Bytes(target.buffer.begin(), target.buffer.begin() + 4));
}

TEST(Base64Contract, EmptyOrBlankTextWritesNothing) {
    for (const char *text : {"", kSpaces}) {
        GuardedTarget target(4, 0xff);
        EXPECT_EQ(0, base64Decode(text, target.data(), 4));
        EXPECT_EQ(Bytes(4, 0xff), Bytes(target.buffer.begin(), target.buffer.begin() + 4));
    }
}

// A padded group leaves zero in the byte after its data; a complete group
// writes nothing after its data.
TEST(Base64Contract, ByteAfterTheData) {
    GuardedTarget padded(4, 0xff);
    ASSERT_EQ(2, base64Decode("QUI=", padded.data(), 4));
    EXPECT_EQ("414200ff", toHex(padded.data(), 4));
    GuardedTarget complete(4, 0xff);
    ASSERT_EQ(3, base64Decode("QUJD", complete.data(), 4));
    EXPECT_EQ("414243ff", toHex(complete.data(), 4));
}

// The value of an alphabet character, from RFC 4648 table 1's ranges.
int valueOf(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Every byte but zero (which ends the text): the decoder's value table
// against the ranges above, leading a group and between groups.
TEST(Base64Bytes, EveryByteValue) {
    PageEndText page;
    for (int b = 1; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const bool space = strchr(kSpaces, c) != nullptr;
        const int v = valueOf(static_cast<unsigned char>(b));

        // Leading a group: only alphabet characters decode.
        GuardedTarget lead(3, 0xff);
        int result = base64Decode(page.place(std::string(1, c) + "AAA"), lead.data(), 3);
        EXPECT_EQ(v >= 0 ? 3 : -1, result) << "byte " << b;
        if (v >= 0 && result == 3) {
            EXPECT_EQ(v << 2, lead.data()[0]) << "byte " << b;
        }

        // Between groups: only white space is skipped.
        GuardedTarget between(6, 0xff);
        EXPECT_EQ(space ? 6 : -1,
                  base64Decode(page.place(std::string("QUJD") + c + "QUJD"), between.data(), 6))
            << "byte " << b;
        EXPECT_TRUE(lead.guardIntact() && between.guardIntact()) << "byte " << b;
    }
}

TEST(Base64Bytes, EveryLeftoverBitPattern) {
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    PageEndText page;
    for (int v = 0; v < 64; ++v) {
        // After two characters 4 bits are left over; after three, 2.
        std::string one = std::string("Q") + alphabet[v] + "==";
        std::string two = std::string("QU") + alphabet[v] + "=";
        GuardedTarget a(2, 0xff), b(3, 0xff);
        int resultOne = base64Decode(page.place(one), a.data(), 2);
        int resultTwo = base64Decode(page.place(two), b.data(), 3);
        EXPECT_EQ((v & 0x0f) == 0 ? 1 : -1, resultOne) << one;
        EXPECT_EQ((v & 0x03) == 0 ? 2 : -1, resultTwo) << two;
        if (resultOne == 1) {
            EXPECT_EQ(0x40 | (v >> 4), a.data()[0]) << one;
        }
        if (resultTwo == 2) {
            EXPECT_EQ(0x40 | (v >> 2), b.data()[1]) << two;
        }
        EXPECT_EQ(1, base64Decode(page.place(one), nullptr, 0)) << one;
        EXPECT_EQ(2, base64Decode(page.place(two), nullptr, 0)) << two;
    }
}

void insertWhiteSpace(std::mt19937 &rng, std::string &text) {
    int count = static_cast<int>(rng() % 6);
    for (int k = 0; k < count; ++k)
        text.insert(text.begin() + static_cast<long>(rng() % (text.size() + 1)),
                    kSpaces[rng() % (sizeof kSpaces - 1)]);
}

TEST(Base64RoundTrip, GlibEncodedWithWhiteSpace) {
    std::mt19937 rng(4648);
    PageEndText page;
    for (int round = 0; round < 3000; ++round) {
        size_t n = round < 64 ? static_cast<size_t>(round) : rng() % 400;
        Bytes data(n);
        for (auto &b : data) b = static_cast<unsigned char>(rng());
        std::string text = base64Encode(data);
        insertWhiteSpace(rng, text);

        const char *placed = page.place(text);
        GuardedTarget target(text.size() + 1, static_cast<unsigned char>(rng()));
        int result = base64Decode(placed, target.data(), text.size() + 1);
        ASSERT_EQ(static_cast<int>(n), result) << '"' << escaped(text) << '"';
        ASSERT_EQ(toHex(data), toHex(target.data(), n)) << '"' << escaped(text) << '"';
        ASSERT_TRUE(target.guardIntact()) << '"' << escaped(text) << '"';
        ASSERT_EQ(result, base64Decode(placed, nullptr, 0)) << '"' << escaped(text) << '"';
    }
}

std::string withoutWhiteSpace(const std::string &s) {
    std::string out;
    for (char c : s)
        if (!strchr(kSpaces, c)) out += c;
    return out;
}

// Valid texts damaged at random.  Whatever is accepted must be exactly the
// canonical encoding of what it decodes to, white space aside; counting mode
// agrees on it, and rejects nothing that a target accepts.
TEST(Base64Strictness, MutatedTextsAcceptedOnlyWhenCanonical) {
    std::mt19937 rng(3548);
    PageEndText page;
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes data(rng() % 12);
        for (auto &b : data) b = static_cast<unsigned char>(rng());
        std::string text = base64Encode(data);
        insertWhiteSpace(rng, text);
        const char pool[] = "AQgw=/+ \n-_*\x80\xff";
        size_t at = text.empty() ? 0 : rng() % text.size();
        switch (rng() % 4) {
        case 0:
            if (!text.empty()) text[at] = static_cast<char>(rng() % 255 + 1);
            break;
        case 1:
            if (!text.empty()) text.erase(at, 1);
            break;
        case 2:
            text.insert(text.begin() + static_cast<long>(at), pool[rng() % (sizeof pool - 1)]);
            break;
        default:
            if (!text.empty()) text[at] = pool[rng() % (sizeof pool - 1)];
            break;
        }

        const char *placed = page.place(text);
        GuardedTarget zeros(text.size() + 1, 0x00), ones(text.size() + 1, 0xff);
        int result = base64Decode(placed, zeros.data(), zeros.size);
        ASSERT_EQ(result, base64Decode(placed, ones.data(), ones.size)) << escaped(text);
        ASSERT_TRUE(zeros.guardIntact() && ones.guardIntact()) << escaped(text);
        int count = base64Decode(placed, nullptr, 0);
        if (result >= 0) {
            ++accepted;
            Bytes decoded(zeros.data(), zeros.data() + result);
            ASSERT_EQ(decoded, Bytes(ones.data(), ones.data() + result)) << escaped(text);
            ASSERT_EQ(base64Encode(decoded), withoutWhiteSpace(text)) << escaped(text);
            ASSERT_EQ(result, count) << escaped(text);
        } else {
            ++rejected;
            // Only the leftover-bits check, which needs a target, separates
            // the modes, and it applies to padded texts alone.
            if (count >= 0) {
                std::string bare = withoutWhiteSpace(text);
                ASSERT_TRUE(!bare.empty() && bare.back() == '=') << escaped(text);
            }
        }
    }
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(rejected, 1000);
}

// A text of many 'A's and a tail, built from one 64 MiB chunk mapped again
// and again, so that gigabytes of text cost little memory.
class RepeatedText {
public:
    RepeatedText(uint64_t repeats, const std::string &tail) {
        const size_t chunk = size_t(64) << 20;
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const uint64_t whole = repeats / chunk;
        const size_t rest = static_cast<size_t>(repeats % chunk);
        lastLength_ = (rest + tail.size() + 1 + page - 1) / page * page;
        length_ = whole * chunk + lastLength_;

        int fd = memfd_create("base64-text", 0);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(chunk)) != 0) abort();
        void *fill = mmap(nullptr, chunk, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (fill == MAP_FAILED) abort();
        memset(fill, 'A', chunk);
        munmap(fill, chunk);

        void *p =
            mmap(nullptr, length_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) abort();
        base_ = static_cast<char *>(p);
        for (uint64_t k = 0; k < whole; ++k)
            if (mmap(base_ + k * chunk, chunk, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) ==
                MAP_FAILED)
                abort();
        close(fd);
        char *last = base_ + whole * chunk;
        if (mmap(last, lastLength_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                 -1, 0) == MAP_FAILED)
            abort();
        memset(last, 'A', rest);
        memcpy(last + rest, tail.c_str(), tail.size() + 1);
    }
    ~RepeatedText() { munmap(base_, length_); }
    RepeatedText(const RepeatedText &) = delete;
    RepeatedText &operator=(const RepeatedText &) = delete;
    const char *text() const { return base_; }

private:
    char *base_;
    size_t length_;
    size_t lastLength_;
};

// INT_MAX = 3 * 715827882 + 1: that many groups of "AAAA" and then "AA=="
// decode to exactly INT_MAX bytes; ending in "AAA=" instead would make one
// byte more, which the signed result cannot hold.  Two texts of 2.9 GB take
// about half a minute: a "large" test (CMake option QOLT_LARGE_TESTS).
TEST(Base64Large, CountingStopsAtIntMax) {
    const uint64_t groups = 715827882;
    {
        RepeatedText fits(groups * 4, "AA==");
        EXPECT_EQ(INT_MAX, base64Decode(fits.text(), nullptr, 0));
    }
    {
        RepeatedText tooLong(groups * 4, "AAA=");
        EXPECT_EQ(-1, base64Decode(tooLong.text(), nullptr, 0));
    }
}

}  // namespace
