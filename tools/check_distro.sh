#!/usr/bin/env bash
# Every test but the large ones in the builds a distribution makes, with
# valgrind installed (so the constant-time and instruction-count tests run):
#   distro      Debian's dpkg-buildflags with DEB_BUILD_MAINT_OPTIONS=hardening=+all
#   distro-lto  the same with optimize=+lto added, as Ubuntu's defaults have it
# Both in build type None with prefix /usr, and, as dh --buildsystem=cmake
# does, CPPFLAGS (-D_FORTIFY_SOURCE) appended to CFLAGS and CXXFLAGS, which
# CMake reads while it ignores CPPFLAGS.  Each build is configured afresh, so
# that the flags of this run are the ones in its cache.
# Usage: tools/check_distro.sh [distro|distro-lto]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh dpkg-dev valgrind

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(distro distro-lto)

summary=()
for preset in "${presets[@]}"; do
  case $preset in
    distro) options="hardening=+all" ;;
    distro-lto) options="hardening=+all optimize=+lto" ;;
    *) echo "unknown build: $preset"; exit 2 ;;
  esac
  echo "== $preset: DEB_BUILD_MAINT_OPTIONS=$options"
  (
    export DEB_BUILD_MAINT_OPTIONS=$options
    eval "$(dpkg-buildflags --export=sh)"
    export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
    echo "CXXFLAGS=$CXXFLAGS"
    echo "LDFLAGS=$LDFLAGS"
    cmake --preset "$preset" --fresh >/dev/null
    cmake --build --preset "$preset"
  )
  log=build/$preset/ctest.log
  tools/with_display.sh ctest --preset "$preset" 2>&1 | tee "$log"
  summary+=("$preset: $(grep -E 'tests passed' "$log")")
done
printf '%s\n' "${summary[@]}"
