#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (QOLT_SANITIZE: -fno-sanitize-recover=all), in its own build directory.  The
# first finding stops the test process that made it, so any finding fails the
# run; leaks count as findings.  The slow big-memory tests ("Large") are left
# to tools/test.sh.
# Usage: tools/check_sanitize.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-asan}"

tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOLT_WERROR=ON -DQOLT_SANITIZE=ON
cmake --build "$build" -j 2

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# fontconfig's process-lifetime cache, seen by every process that shows a dialog.
export LSAN_OPTIONS="suppressions=$PWD/gui_errhandler/tests/lsan.supp:print_suppressions=0"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --test-dir "$build" --output-on-failure -j 2 -E Large
