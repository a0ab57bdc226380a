#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test but the large ones, which tools/test_large.sh runs (the dialog
# tests under a real X server started by xvfb-run).
# Usage: tools/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOLT_WERROR=ON
cmake --build "$build" -j "$(nproc)"
# One X server for the whole run; the GUI tests find it through DISPLAY.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
