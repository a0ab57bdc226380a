#!/usr/bin/env bash
# Builds both libraries and every test for 32-bit x86 (i386) with Debian's
# i686 cross compiler and the i386 development packages (multiarch), and
# runs the suite natively, the dialog tests on Xvfb.  gcc -m32 would need
# gcc-multilib, which Debian 12 cannot install beside its cross compilers
# (apt removes g++-aarch64-linux-gnu to make room); the i686 cross compiler
# coexists with them and links against the multiarch i386 libc.  Left
# out: the large tests, as everywhere, and the tests labelled native-only
# (the install test builds its clients with the host's pkg-config and
# CMake).  The x86-64 backends are not built; bitsliced serves.
# Usage: tools/check_i386.sh   (in build/i386)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/i386

# The i386 development packages through multiarch (see install_foreign);
# libc6-dbg:i386 lets valgrind run 32-bit programs (it must redirect the
# loader's strlen, which only the debug symbols name).
. tools/multiarch.sh
install_foreign i386 libglib2.0-dev:i386 libgtk2.0-dev:i386 libgtest-dev:i386 \
  libgmock-dev:i386 libssl-dev:i386 libc6-dbg:i386
tools/deps.sh g++-i686-linux-gnu

cmake -S . -B "$build" --toolchain cmake/toolchains/i686-linux-gnu.cmake \
  -DCMAKE_INSTALL_PREFIX=/usr -DQOLT_WERROR=ON -DQOLT_LARGE_TESTS=OFF
cmake --build "$build" -j 2

echo "== native-only, not run: $(ctest --test-dir "$build" -N -L native-only |
  sed -n 's/^Total Tests: //p') test(s)"
tools/with_display.sh ctest --test-dir "$build" -j 2 --output-on-failure -LE 'large|native-only'
