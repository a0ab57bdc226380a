#!/usr/bin/env bash
# Checks that a built shared library keeps its calls to itself: no dynamic
# relocation (.rela.plt or .rela.dyn) refers to a symbol that the library
# defines and exports.  Such a relocation is resolved at load time in the
# global scope, where an executable linked with -rdynamic, or a library
# loaded before, can put a definition of its own under the same name.
# Usage: check_self_binding.sh LIBRARY
set -euo pipefail
lib=$1

defined=$(nm -D --defined-only "$lib" | awk '{ print $3 }' | sort -u)
# Symbol names of the dynamic relocations; RELATIVE ones name none.
relocated=$(readelf -rW "$lib" | awk '$3 ~ /^R_/ && NF >= 5 { print $5 }' | sed 's/@.*//' | sort -u)
bound_late=$(comm -12 <(echo "$defined") <(echo "$relocated"))
if [ -n "$bound_late" ]; then
  echo "$lib: dynamic relocations against its own symbols (interposable):"
  echo "$bound_late" | c++filt | sed 's/^/  /'
  exit 1
fi
echo "ok: $lib binds its $(echo "$defined" | wc -l) exported symbols to itself"
