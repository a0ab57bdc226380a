#!/usr/bin/env bash
# No object built for an instruction set defines a weak or vague-linkage
# symbol (nm types W, V and u: inline functions, template instances, static
# locals of inline functions).  The linker keeps one copy of such a symbol
# for the whole library, and if it kept a copy built with AVX-512 flags,
# baseline code calling it would fault on older processors.
# Usage: check_backend_linkage.sh <libqolt_http_plugin_testing.a>
set -euo pipefail
lib=$1
members=$(ar t "$lib" | grep -E '^rijndael_backend_[a-z0-9]+\.cpp\.o$' || true)
if [ -z "$members" ]; then
  echo "no backend objects in $lib" >&2
  exit 1
fi
status=0
for m in $members; do
  # DW.ref.__gxx_personality_v0 is the exception tables' pointer to the C++
  # runtime's personality routine, the same in every object: data, not code.
  found=$(nm -A "$lib" 2>/dev/null | grep -F ":$m:" |
          awk '$(NF-1) ~ /^[WVu]$/ && $NF !~ /^DW\.ref\./' || true)
  if [ -n "$found" ]; then
    echo "FAIL  $m defines shared symbols:"
    echo "$found"
    status=1
  else
    echo "ok    $m"
  fi
done
exit $status
