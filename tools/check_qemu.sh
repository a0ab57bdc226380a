#!/usr/bin/env bash
# Runs the cipher's tests and the plugin's export tests under Debian's
# qemu-user as if on older processors, so that the run-time choice of the
# cipher backend meets processors without the instructions:
#   Nehalem   no AES instructions: the table backend
#   Westmere  AES-NI, no AVX2, AVX-512 or VAES: the AES-NI backend
# Usage: tools/check_qemu.sh [build-dir]   (reuses a tools/test.sh build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

tools/deps.sh qemu-user
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOLT_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target rijndael_test rijndael_threads_test \
  rijndael_abi_test credential_decoder_test auth_digest_test

tests="$build/http_plugin/tests"
for cpu in Nehalem Westmere; do
  for t in rijndael_test rijndael_threads_test rijndael_abi_test \
           credential_decoder_test auth_digest_test; do
    echo "== $t on $cpu"
    # The gigabyte cases take minutes under emulation; tools/test_large.sh runs them natively.
    qemu-x86_64 -cpu "$cpu" "$tests/$t" --gtest_brief=1 --gtest_filter='-*Large*'
  done
  qemu-x86_64 -cpu "$cpu" "$tests/rijndael_test" --gtest_filter='RijndaelBackend.*' |
    grep 'cipher backend:'
done
