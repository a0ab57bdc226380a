#!/usr/bin/env bash
# The tests that need gigabytes and minutes (CTest label "large", names
# holding "Large"): counts beyond 2^32 bits and INT_MAX bytes.  One at a
# time; about 4 GB at the most.  The default run (tools/test.sh) leaves them
# out.
# Usage: tools/test_large.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-large}"

tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOLT_WERROR=ON -DQOLT_LARGE_TESTS=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -L large
