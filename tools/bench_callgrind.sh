#!/usr/bin/env bash
# Instruction counts per byte under callgrind for MD5 and AES-128 ECB/CBC,
# ours and the peers (on their table code, as in tools/bench.sh).  Unlike
# timings, these counts do not move with the machine's load.
#
# Usage: tools/bench_callgrind.sh   (after tools/bench.sh, or it builds first)
# Result: build/bench/callgrind.txt, beside the timings.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
build=build/bench
count="$build/http_plugin/bench/qolt_bench_count"

if [ ! -x "$count" ]; then
  tools/deps.sh libbenchmark-dev nettle-dev libgcrypt20-dev libssl-dev python3
  cmake --workflow --preset bench >/dev/null
fi

bytes=65536
reps=4
out="$build/callgrind.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{
  printf '%-28s %14s %12s\n' operation instructions 'per byte'
  for op in md5 aes128-ecb-encrypt aes128-ecb-decrypt aes128-cbc-encrypt aes128-cbc-decrypt; do
    for who in ours openssl nettle; do
      peers_on_tables valgrind --tool=callgrind --collect-atstart=no \
        --callgrind-out-file="$work/out" "$count" "$op/$who" "$bytes" "$reps" \
        >/dev/null 2>"$work/log"
      ir=$(awk '/^(summary|totals):/ { print $2; exit }' "$work/out")
      printf '%-28s %14s %12s\n' "$op/$who" "$ir" \
        "$(awk -v ir="$ir" -v n=$((bytes * reps)) 'BEGIN { printf "%.2f", ir / n }')"
    done
  done
} | tee "$out"
