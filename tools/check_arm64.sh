#!/usr/bin/env bash
# Cross-builds both libraries and every test for 64-bit ARM (arm64) with
# Debian's cross compiler and the arm64 development packages (multiarch),
# and runs the suite under qemu-aarch64 through the toolchain file's
# CMAKE_CROSSCOMPILING_EMULATOR, the dialog tests on Xvfb.  Left out: the
# large tests, as everywhere, and the tests labelled native-only (the
# install test builds its clients with the host's pkg-config and CMake).
# qemu 7.2 gives every arm64 model it emulates the AES instructions, so the
# processor's choice is always the Cryptography Extensions backend; the
# bitsliced one runs pinned.
# Usage: tools/check_arm64.sh [QEMU_CPU]   (default cortex-a53), in build/arm64
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/arm64
export QEMU_CPU=${1:-cortex-a53}

# The arm64 development packages through multiarch (see install_foreign).
. tools/multiarch.sh
install_foreign arm64 libglib2.0-dev:arm64 libgtk2.0-dev:arm64 libgtest-dev:arm64 \
  libgmock-dev:arm64 libssl-dev:arm64
tools/deps.sh g++-aarch64-linux-gnu qemu-user

cmake -S . -B "$build" --toolchain cmake/toolchains/aarch64-linux-gnu.cmake \
  -DCMAKE_INSTALL_PREFIX=/usr -DQOLT_WERROR=ON -DQOLT_LARGE_TESTS=OFF
cmake --build "$build" -j 2

echo "== native-only, not run under qemu: $(ctest --test-dir "$build" -N -L native-only |
  sed -n 's/^Total Tests: //p') test(s)"
tools/with_display.sh ctest --test-dir "$build" -j 2 --output-on-failure -LE 'large|native-only'
echo "== $QEMU_CPU chose: $(qemu-aarch64 "$build/http_plugin/tests/rijndael_test" \
  --gtest_filter='RijndaelBackend.ProcessorDecidesWhichRuns' | grep -o 'cipher backend: .*')"
