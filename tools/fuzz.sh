#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each one for
# the given number of seconds (default 60) on a scratch copy of its committed
# corpus, so new findings never land in the source tree unasked.
# Usage: tools/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build-fuzz

tools/deps.sh clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQOLT_FUZZ=ON -DQOLT_BUILD_TESTS=OFF -DQOLT_BUILD_DEMO=OFF
cmake --build "$build" -j 2

# Each target's build leaves a manifest: line 1 the binary, line 2 its corpus.
shopt -s nullglob
manifests=("$build"/fuzzers/*.txt)
if [ ${#manifests[@]} -eq 0 ]; then
  echo "no fuzz targets found in $build/fuzzers" >&2
  exit 1
fi

status=0
for manifest in "${manifests[@]}"; do
  name="$(basename "$manifest" .txt)"
  { read -r binary; read -r corpus; } < "$manifest"
  work="$build/fuzz-runs/$name"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -r "$corpus"/. "$work/corpus/"
  echo "== $name: ${seconds} s"
  if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$work/artifacts/" "$work/corpus"; then
    echo "== $name FAILED: crash input in $work/artifacts/" >&2
    status=1
  fi
done
exit $status
