#!/usr/bin/env bash
# Every test binary of the suite, the fuzz corpus replays and the demo
# client's tour under valgrind memcheck, in its own build directory: any
# memory error or any definitely, indirectly or possibly lost block fails
# the run.  GLib, GTK+, pango and fontconfig keep some allocations for the
# life of the process; tools/valgrind.supp names those and nothing else.
# The tests that need gigabytes ("Large") are left to tools/test_large.sh.
# Builds with the preset "valgrind", in build/valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--under-display" ]; then
  tools/deps.sh
  cmake --workflow --preset valgrind
  # One X server for the dialog tests and the tour's dialog.
  exec tools/with_display.sh "$0" --under-display
fi
build=$PWD/build/valgrind

logs="$build/valgrind-logs"
rm -rf "$logs"
mkdir -p "$logs"
# GLib's own caches through plain malloc, and freed memory cleared, so that
# valgrind sees every block for what it is.
export G_SLICE=always-malloc G_DEBUG=gc-friendly
vg=(valgrind --error-exitcode=99 --leak-check=full
    --show-leak-kinds=definite,indirect,possible
    --errors-for-leak-kinds=definite,indirect,possible
    --num-callers=40 --keep-debuginfo=yes --suppressions="$PWD/tools/valgrind.supp")

status=0
run() {  # run NAME COMMAND [ARGS...]
  local name=$1 started
  shift
  started=$(date +%s)
  if "${vg[@]}" --log-file="$logs/$name.log" "$@" >"$logs/$name.out" 2>&1; then
    echo "ok   $name ($(( $(date +%s) - started )) s)"
  else
    echo "FAIL $name: valgrind log and output follow ($logs/$name.*)"
    tail -n 40 "$logs/$name.out"
    cat "$logs/$name.log"
    status=1
  fi
}

shopt -s nullglob
tests=("$build"/http_plugin/tests/*_test "$build"/gui_errhandler/tests/*_test)
replays=("$build"/http_plugin/fuzz/*_fuzz_replay)
if [ ${#tests[@]} -eq 0 ] || [ ${#replays[@]} -eq 0 ]; then
  echo "no test binaries in $build" >&2
  exit 1
fi
for t in "${tests[@]}"; do
  # The constant-time test runs under memcheck by itself in every test run.
  [[ $t == */rijndael_ct_test ]] && continue
  run "$(basename "$t")" "$t" --gtest_filter='-*Large*'
done
for r in "${replays[@]}"; do
  name=$(basename "$r" _fuzz_replay)
  run "$(basename "$r")" "$r" "http_plugin/fuzz/corpus/$name"
done

# The demo client's tour, with and without a display, and its failure paths:
# its own test script, given a client that runs under valgrind.
wrapper="$build/demo_client_under_valgrind"
{
  echo '#!/bin/sh'
  printf 'exec'
  printf ' %q' "${vg[@]}" "--log-file=$logs/demo_client.%p.log" \
    "$build/examples/demo_client/qolt_demo_client"
  printf ' "$@"\n'
} >"$wrapper"
chmod +x "$wrapper"
started=$(date +%s)
not_plugin=("$build"/gui_errhandler/libpelidor_gui_errhandler.so.*.*)
if examples/demo_client/demo_test.sh "$wrapper" "${not_plugin[0]}" >"$logs/demo_tour.out" 2>&1 &&
   ! grep -L "ERROR SUMMARY: 0 errors" "$logs"/demo_client.*.log | grep -q .; then
  echo "ok   demo tour, $(ls "$logs"/demo_client.*.log | wc -l) client runs ($(( $(date +%s) - started )) s)"
else
  echo "FAIL demo tour ($logs/demo_tour.out, $logs/demo_client.*.log)"
  cat "$logs/demo_tour.out"
  for f in "$logs"/demo_client.*.log; do grep -q "ERROR SUMMARY: 0 errors" "$f" || cat "$f"; done
  status=1
fi
exit $status
