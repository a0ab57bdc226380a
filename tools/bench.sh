#!/usr/bin/env bash
# Builds the benchmark suite and runs our code and its peers side by side,
# then prints the table of ratios.  By default in the build users get from
# this project: the default build type, RelWithDebInfo (preset "bench").
# With --matrix, in the three builds users get: Release (-O3), the default,
# and build type None with Debian's dpkg-buildflags (-O2, as dh builds a
# package); then one table of each target's ratio per build.
#
# Three runs of each binary.  The first, "native", races everything: our code
# on the backend the processor chooses against the peers on their AES
# instructions.  The second, "tables", races the cipher's table backend
# against the peers' table code (peers_on_tables, tools/common.sh).  The
# third, "ssse3", races the SSSE3 backend against OpenSSL's SSSE3 code
# (peers_on_ssse3).  Each run first checks that every contender gives our
# output.  The ratio table reads the first run a second time for the
# bitsliced backend against BearSSL's constant-time AES.
#
# Usage: tools/bench.sh [--matrix] [Google Benchmark options, e.g. --benchmark_filter=md5]
# Results: build/<preset>/bench-native.json and bench-tables.json, and the
# table in build/bench/bench-ratios.txt (bench-matrix.txt with --matrix);
# tools/bench_callgrind.sh adds instruction counts.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh

presets=(bench)
if [ "${1:-}" = "--matrix" ]; then
  presets=(bench-release bench bench-debian)
  shift
fi

tools/deps.sh libbenchmark-dev nettle-dev libgcrypt20-dev libssl-dev libbearssl-dev python3 dpkg-dev

configure() {  # configure PRESET
  if [ "$1" = bench-debian ]; then
    # CMake reads CXXFLAGS but not CPPFLAGS: dh appends the latter itself
    # (_FORTIFY_SOURCE), and so do we.
    cmake --preset "$1" \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
      -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  else
    cmake --preset "$1" >/dev/null
  fi
  cmake --build --preset "$1" >/dev/null
}

# Medians of five; the machine is shared, so single runs mislead.  The
# repetitions of all cases are interleaved in random order, so that a burst
# of load elsewhere slows ours and its peers alike instead of one of them.
common=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true
        --benchmark_enable_random_interleaving=true --benchmark_out_format=json)

inputs=()
for preset in "${presets[@]}"; do
  build=build/$preset
  label=${preset#bench-}
  [ "$preset" = bench ] && label=default
  configure "$preset"
  bin="$build/http_plugin/bench/qolt_bench"

  echo "== $label: native, the processor's choice, peers on AES instructions"
  "$bin" "${common[@]}" --benchmark_out="$build/bench-native.json" "$@"

  echo "== $label: tables, our table backend, peers on their table code"
  peers_on_tables "$bin" "${common[@]}" --benchmark_out="$build/bench-tables.json" \
    --benchmark_filter='^aes.*/(ours-tables|openssl|nettle)$' "$@"

  echo "== $label: ssse3, our SSSE3 backend, OpenSSL on its SSSE3 code"
  peers_on_ssse3 "$bin" "${common[@]}" --benchmark_out="$build/bench-ssse3.json" \
    --benchmark_filter='^aes.*/(ours-ssse3|openssl)$' "$@"

  if [ ${#presets[@]} -gt 1 ]; then
    inputs+=("native@$label=$build/bench-native.json" "tables@$label=$build/bench-tables.json"
             "ssse3@$label=$build/bench-ssse3.json" "bitsliced@$label=$build/bench-native.json")
  else
    inputs+=("native=$build/bench-native.json" "tables=$build/bench-tables.json"
             "ssse3=$build/bench-ssse3.json" "bitsliced=$build/bench-native.json")
  fi
done

out=build/bench/bench-ratios.txt
matrix=()
if [ ${#presets[@]} -gt 1 ]; then
  out=build/bench/bench-matrix.txt
  matrix=(--matrix)
fi
mkdir -p build/bench
{
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(processor_name), $(nproc) cores"
  echo
  python3 http_plugin/bench/ratios.py "${matrix[@]}" "${inputs[@]}"
} | tee "$out"
