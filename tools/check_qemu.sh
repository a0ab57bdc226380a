#!/usr/bin/env bash
# Runs the cipher's tests and the plugin's export tests under Debian's
# qemu-user as if on older processors, so that the run-time choice of the
# cipher backend meets processors without the instructions:
#   qemu64       no AES instructions, no SSSE3: the bitsliced backend
#   qemu64,+aes  AES-NI without SSSE3 (a common virtual machine): AES-NI
#   Nehalem      SSSE3, no AES instructions: the SSSE3 backend
#   Westmere     AES-NI, no AVX2, AVX-512 or VAES: the AES-NI backend
# Never VAES: qemu 7.2 computes the upper lane of 256-bit vaesenc wrongly.
# Usage: tools/check_qemu.sh   (reuses the build of tools/test.sh, preset "test")
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/test

tools/deps.sh qemu-user
cmake --preset test >/dev/null
cmake --build --preset test --target rijndael_test rijndael_threads_test \
  rijndael_abi_test credential_decoder_test auth_digest_test

tests="$build/http_plugin/tests"
for cpu in qemu64 qemu64,+aes Nehalem Westmere; do
  for t in rijndael_test rijndael_threads_test rijndael_abi_test \
           credential_decoder_test auth_digest_test; do
    echo "== $t on $cpu"
    # The gigabyte cases take minutes under emulation; tools/test_large.sh runs them natively.
    qemu-x86_64 -cpu "$cpu" "$tests/$t" --gtest_brief=1 --gtest_filter='-*Large*'
  done
  echo "== $cpu chose: $(qemu-x86_64 -cpu "$cpu" "$tests/rijndael_test" \
    --gtest_filter='RijndaelBackend.ProcessorDecidesWhichRuns' | grep -o 'cipher backend: .*')"
done
