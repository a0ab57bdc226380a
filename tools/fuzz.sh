#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz") and runs each one for
# the given number of seconds (default 60) on a scratch copy of its committed
# corpus, so new findings never land in the source tree unasked.  Two targets
# run at a time; each one's log is build/fuzz/fuzz-runs/<name>/log.
# Usage: tools/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build/fuzz

tools/deps.sh clang libclang-rt-14-dev
cmake --workflow --preset fuzz

# Each target's build leaves a manifest: line 1 the binary, line 2 its corpus.
shopt -s nullglob
manifests=("$build"/fuzzers/*.txt)
if [ ${#manifests[@]} -eq 0 ]; then
  echo "no fuzz targets found in $build/fuzzers" >&2
  exit 1
fi

# Two targets at a time, one per core; each writes its own log.
jobs=2
names=()
for manifest in "${manifests[@]}"; do
  name="$(basename "$manifest" .txt)"
  names+=("$name")
  { read -r binary; read -r corpus; } < "$manifest"
  work="$build/fuzz-runs/$name"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -r "$corpus"/. "$work/corpus/"
  echo "== $name: ${seconds} s"
  while [ "$(jobs -rp | wc -l)" -ge $jobs ]; do sleep 1; done
  ( "$binary" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1
    echo $? >"$work/status" ) &
done
wait

status=0
for name in "${names[@]}"; do
  work="$build/fuzz-runs/$name"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  if [ "$(cat "$work/status")" = 0 ]; then
    echo "ok   $name: ${runs:-?} executions (${rate:-?}/s), corpus $(ls "$work/corpus" | wc -l) inputs"
  else
    echo "FAIL $name: crash input in $work/artifacts/; the end of its log:" >&2
    tail -n 60 "$work/log" >&2
    status=1
  fi
done
exit $status
