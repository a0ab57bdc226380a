#!/usr/bin/env bash
# The concurrency tests, every test whose name holds "Thread", built with
# ThreadSanitizer (QOLT_TSAN) in their own build directory: several threads in
# qolt_plugin_auth, several threads decoding after one key set-up, and threads
# sharing one keyed Rijndael in every mode.  Any report fails the run.
# Usage: tools/check_tsan.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-tsan}"

tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOLT_WERROR=ON -DQOLT_TSAN=ON
# Only the binaries that hold concurrency tests; the rest of the suite is
# single-threaded and runs under the other checks.
cmake --build "$build" -j 2 --target auth_digest_test credential_decoder_test rijndael_threads_test

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
ctest --test-dir "$build" --output-on-failure -j 2 -R Thread --no-tests=error
