// One keyed Rijndael shared by several threads, in every mode, direction and
// key length.  The bulk calls only read the object, so each thread must get
// exactly what a single thread got before them; under ThreadSanitizer
// (tools/check_tsan.sh) any write to the shared object shows up as a race.
#include "qolt/rijndael.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace {

using R = Rijndael;

constexpr int kThreads = 4;
constexpr int kRounds = 150;
// Not whole blocks: the bits after the last block are neither read nor counted.
constexpr int kBits = 4 * 128 + 77;

// What one call gives: its result and the whole output buffer.
struct Outcome {
    int result;
    Bytes out;
    bool operator==(const Outcome &o) const { return result == o.result && out == o.out; }
};

using Call = Outcome (*)(R &, const Bytes &);

Outcome blockEnc(R &c, const Bytes &in) {
    Bytes out(in.size() + 16, 0xa5);
    return {c.blockEncrypt(in.data(), kBits, out.data()), out};
}
Outcome blockDec(R &c, const Bytes &in) {
    Bytes out(in.size() + 16, 0xa5);
    return {c.blockDecrypt(in.data(), kBits, out.data()), out};
}
Outcome padEnc(R &c, const Bytes &in) {
    Bytes out(in.size() + 16, 0xa5);
    return {c.padEncrypt(in.data(), int(in.size()), out.data()), out};
}
Outcome padDec(R &c, const Bytes &in) {
    Bytes out(in.size() + 16, 0xa5);
    return {c.padDecrypt(in.data(), int(in.size()), out.data()), out};
}
// In place, as the header allows in every operation and mode.
Outcome blockEncInPlace(R &c, const Bytes &in) {
    Bytes buf = in;
    return {c.blockEncrypt(buf.data(), kBits, buf.data()), buf};
}
Outcome blockDecInPlace(R &c, const Bytes &in) {
    Bytes buf = in;
    return {c.blockDecrypt(buf.data(), kBits, buf.data()), buf};
}

using Param = std::tuple<R::Mode, R::Direction, int /* key bytes */>;

class RijndaelThreads : public ::testing::TestWithParam<Param> {};

TEST_P(RijndaelThreads, SharedKeyedObjectGivesEveryThreadTheSingleThreadedResult) {
    const R::Mode mode = std::get<0>(GetParam());
    const R::Direction dir = std::get<1>(GetParam());
    const int keyBytes = std::get<2>(GetParam());
    std::mt19937 rng(unsigned(mode * 100 + dir * 10 + keyBytes));
    const Bytes key = randomBytes(rng, size_t(keyBytes)), iv = randomBytes(rng, 16);
    const auto keyLen = static_cast<R::KeyLength>((keyBytes - 16) / 8);

    R shared;
    ASSERT_EQ(0, shared.init(mode, dir, key.data(), keyLen, iv.data()));

    // Every operation, the ones the object refuses included: a refusal must
    // read nothing either.  padDecrypt in ECB gets valid padding from an
    // encrypting twin, so it runs to the end.
    std::vector<std::pair<Call, Bytes>> calls;
    const Bytes data = randomBytes(rng, 5 * 16 + 3);
    calls.push_back({blockEnc, data});
    calls.push_back({blockDec, data});
    calls.push_back({blockEncInPlace, data});
    calls.push_back({blockDecInPlace, data});
    calls.push_back({padEnc, data});
    Bytes padded(data.size() / 16 * 16 + 16);
    if (mode != R::CFB1) {
        R twin;
        ASSERT_EQ(0, twin.init(mode, R::Encrypt, key.data(), keyLen, iv.data()));
        ASSERT_EQ(int(padded.size()),
                  twin.padEncrypt(data.data(), int(data.size()), padded.data()));
    }
    calls.push_back({padDec, padded});

    std::vector<Outcome> expected;
    int succeeded = 0;
    for (const auto &c : calls) {
        expected.push_back(c.first(shared, c.second));
        if (expected.back().result > 0) ++succeeded;
    }
    // ECB and CBC: the three calls of the keyed direction; CFB1 keyed for
    // Encrypt runs the block calls both ways, keyed for Decrypt only back.
    EXPECT_EQ(mode != R::CFB1 ? 3 : dir == R::Encrypt ? 4 : 2, succeeded);

    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // Each thread walks the calls from a different start.
                const size_t k = size_t(t + round) % calls.size();
                if (!(calls[k].first(shared, calls[k].second) == expected[k]))
                    ++mismatches[size_t(t)];
            }
        });
    }
    for (auto &th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, mismatches[size_t(t)]) << "thread " << t;
}

std::string caseName(const ::testing::TestParamInfo<Param> &param) {
    static const char *const kModeNames[] = {"Ecb", "Cbc", "Cfb1"};
    return std::string(kModeNames[std::get<0>(param.param)]) +
           (std::get<1>(param.param) == R::Encrypt ? "Encrypt" : "Decrypt") +
           std::to_string(std::get<2>(param.param) * 8);
}

INSTANTIATE_TEST_SUITE_P(EveryMode, RijndaelThreads,
                         ::testing::Combine(::testing::Values(R::ECB, R::CBC, R::CFB1),
                                            ::testing::Values(R::Encrypt, R::Decrypt),
                                            ::testing::Values(16, 24, 32)),
                         caseName);

}  // namespace
