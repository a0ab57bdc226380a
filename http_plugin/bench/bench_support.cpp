#include "bench_support.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace bench {

Bytes randomBytes(size_t n, uint64_t seed) {
    Bytes out(n);
    uint64_t x = seed * 0x9e3779b97f4a7c15ull + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        out[i] = static_cast<unsigned char>((x * 0x2545f4914f6cdd1dull) >> 56);
    }
    return out;
}

std::string base64Encode(const Bytes &data) {
    gchar *text = g_base64_encode(data.data(), data.size());
    std::string out(text);
    g_free(text);
    return out;
}

std::string hex(const unsigned char *p, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 15];
    }
    return out;
}

std::vector<Check> &checks() {
    static std::vector<Check> all;
    return all;
}

std::string compare(const std::string &what, const std::string &who, const Bytes &ours,
                    const Bytes &theirs) {
    if (ours == theirs) return {};
    const size_t shown = 64;
    std::string a = hex(ours.data(), std::min(ours.size(), shown));
    std::string b = hex(theirs.data(), std::min(theirs.size(), shown));
    return what + ": " + who + " differs from ours\n  ours  (" + std::to_string(ours.size()) +
           " bytes): " + a + "\n  " + who + " (" + std::to_string(theirs.size()) + " bytes): " + b;
}

void add(const std::string &group, const std::string &contender, size_t bytes,
         std::function<void(benchmark::State &)> fn) {
    benchmark::RegisterBenchmark(
        (group + "/" + contender).c_str(), [fn = std::move(fn), bytes](benchmark::State &state) {
            fn(state);
            if (bytes) state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
        });
}

}  // namespace bench
