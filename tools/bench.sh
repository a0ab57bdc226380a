#!/usr/bin/env bash
# Builds the benchmark suite (preset "bench": Release, in build/bench) and
# runs our code and its peers side by side, then prints the table of ratios.
#
# Two runs of one binary.  The first, "native", races everything: our code
# on the backend the processor chooses against the peers on their AES
# instructions.  The second, "tables", races the cipher's table backend
# against the peers' table code (peers_on_tables, tools/common.sh).  Each
# run first checks that every contender gives our output.  The ratio table
# reads the first run a second time for the bitsliced backend against
# BearSSL's constant-time AES.
#
# Usage: tools/bench.sh [Google Benchmark options, e.g. --benchmark_filter=md5]
# Results: build/bench/bench-tables.json, build/bench/bench-native.json and
# build/bench/bench-ratios.txt; tools/bench_callgrind.sh adds instruction counts.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
build=build/bench

tools/deps.sh libbenchmark-dev nettle-dev libgcrypt20-dev libssl-dev libbearssl-dev python3
cmake --workflow --preset bench >/dev/null

bin="$build/http_plugin/bench/qolt_bench"
# Medians of five; the machine is shared, so single runs mislead.  The
# repetitions of all cases are interleaved in random order, so that a burst
# of load elsewhere slows ours and its peers alike instead of one of them.
common=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true
        --benchmark_enable_random_interleaving=true --benchmark_out_format=json)

echo "== native: the processor's choice, peers on AES instructions"
"$bin" "${common[@]}" --benchmark_out="$build/bench-native.json" "$@"

echo "== tables: our table backend, peers on their table code"
peers_on_tables "$bin" "${common[@]}" --benchmark_out="$build/bench-tables.json" \
  --benchmark_filter='^aes.*/(ours-tables|openssl|nettle)$' "$@"

{
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
  echo
  python3 http_plugin/bench/ratios.py native="$build/bench-native.json" \
    tables="$build/bench-tables.json" bitsliced="$build/bench-native.json"
} | tee "$build/bench-ratios.txt"
