#!/usr/bin/env bash
# Compares the binary interface of the built plugin and error library with
# the baselines committed in abi/, using abidiff (abigail-tools) on a build
# with debug information in its own build directory.  Any difference fails:
# an export added, removed or renamed, a changed soname, a changed parameter
# or return type, and a change to the layout of the exported Rijndael class
# (its size, its fields' offsets and types, its enumerations).
#
# To change the interface on purpose, rewrite the baselines and commit them
# with the change that needs them:
#   tools/check_abi.sh --update
# Usage: tools/check_abi.sh [--update]   (builds with the preset "abi")
set -euo pipefail
cd "$(dirname "$0")/.."
update=0
if [ "${1:-}" = "--update" ]; then
  update=1
fi
build=build/abi

tools/deps.sh abigail-tools
cmake --workflow --preset abi

# library in the build directory : its baseline
pairs=(
  "http_plugin/qolt_http_plugin.so.2:abi/qolt_http_plugin.abi"
  "gui_errhandler/libpelidor_gui_errhandler.so.0:abi/libpelidor_gui_errhandler.abi"
)
# No paths, source locations or DT_NEEDED entries: the baseline holds the
# interface only, the same from any checkout.  The translation units' names,
# which abidw keeps, are relative to the checkout: the preset maps its folder
# away (-ffile-prefix-map).
abidw_options=(--no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed
               --drop-undefined-syms --type-id-style hash)

status=0
for pair in "${pairs[@]}"; do
  lib="$build/${pair%%:*}"
  baseline="${pair##*:}"
  if [ $update -eq 1 ]; then
    abidw "${abidw_options[@]}" --out-file "$baseline" "$lib"
    echo "wrote $baseline from $lib"
  fi
  if grep -n "='/" "$baseline"; then
    echo "FAIL $baseline names an absolute path (above): it would differ from checkout to checkout"
    status=1
  fi
  if [ $update -eq 1 ]; then
    continue
  fi
  # abidiff's status is a bit set: 1 error, 2 usage, 4 any change, 8 an
  # incompatible change.  Every non-zero status fails, and --harmless counts
  # what abidiff would otherwise let pass, such as a new enumerator.
  rc=0
  report=$(abidiff --harmless "$baseline" "$lib" 2>&1) || rc=$?
  if [ $rc -eq 0 ]; then
    echo "ok   $(basename "$lib"): the interface equals $baseline"
  else
    echo "FAIL $(basename "$lib") differs from $baseline (abidiff status $rc):"
    echo "$report"
    echo "If the change is intended: tools/check_abi.sh --update, and commit $baseline."
    status=1
  fi
done
exit $status
