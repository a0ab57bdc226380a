// Shared pieces of the benchmark suite: deterministic inputs, the agreement
// checks each subject registers, and the naming scheme the ratio table reads.
//
// Every benchmark is named "<case>/<contender>": our code is the contender
// "ours", each peer its library's name.  Before any timing, main() runs every
// registered agreement check; a check that finds a contender whose output
// differs from ours stops the run.
#ifndef QOLT_BENCH_SUPPORT_H
#define QOLT_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<unsigned char>;

// Reproducible pseudo-random bytes (xorshift64*), the same in every run.
Bytes randomBytes(size_t n, uint64_t seed);

// Base64 (RFC 4648, with padding) of the bytes by GLib, as the tests make
// it: canonical text for the decoders to read.
std::string base64Encode(const Bytes &data);

std::string hex(const unsigned char *p, size_t n);

// An agreement check: compares every contender of one case with ours and
// returns an empty string, or a description of the first mismatch.
struct Check {
    std::string name;
    std::function<std::string()> run;
};
std::vector<Check> &checks();

// Compares two outputs; on a difference returns "<what>: <who> differs"
// with both sides in hex, else an empty string.
std::string compare(const std::string &what, const std::string &who, const Bytes &ours,
                    const Bytes &theirs);

// Registers fn as the benchmark "<group>/<contender>", processing bytes per
// iteration (0: no throughput figure).
void add(const std::string &group, const std::string &contender, size_t bytes,
         std::function<void(benchmark::State &)> fn);

// Each subject file registers its checks and benchmarks here.
void registerMd5();
void registerRijndael();
void registerBase64();
void registerPlugin();

}  // namespace bench

#endif  // QOLT_BENCH_SUPPORT_H
