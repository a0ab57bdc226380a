#!/usr/bin/env bash
# Checks a library's symbol versions: every export is defined in version NODE
# (and is its default version), dlsym finds every export by its plain name,
# and an old client, whose references carry no version, runs against the
# library and binds to it.
# Usage: check_symbol_versions.sh LIBRARY NODE OLD-CLIENT DLSYM-EXPORTS
# $QOLT_EMULATOR, when set, runs the programs (a cross build's qemu-user).
set -euo pipefail
lib=$1 node=$2 client=$3 dlsym_exports=$4
read -ra emulator <<<"${QOLT_EMULATOR:-}"
status=0

# Defined dynamic symbols, as NAME@@VERSION; the node's own absolute symbol aside.
defined=$(nm -D --defined-only "$lib" | awk -v node="$node" '$3 != node { print $3 }')
if [ -z "$defined" ]; then echo "no exports in $lib"; exit 1; fi
outside=$(echo "$defined" | grep -v "@@$node\$" || true)
if [ -n "$outside" ]; then
  echo "exports outside the default version $node:"; echo "$outside" | sed 's/^/  /'
  status=1
fi

# shellcheck disable=SC2046  # one argument per symbol name
"${emulator[@]}" "$dlsym_exports" "$lib" "$node" $(echo "$defined" | sed 's/@.*//') || status=1

# The old client must need no version of the library (else it proves nothing),
# then run against it and take its exports from it.
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if readelf -V "$client" | grep -q "File: $soname"; then
  echo "$(basename "$client") references versions of $soname: not an old client"
  status=1
fi
if out=$(LD_LIBRARY_PATH="$(dirname "$lib")" "${emulator[@]}" "$client" 2>&1); then
  real=$(readlink -f "$lib")
  while read -r line; do
    case "$line" in
      "defined in "*)
        if [ "$(readlink -f "${line#defined in }")" != "$real" ]; then
          echo "old client bound to ${line#defined in }, not $real"
          status=1
        fi ;;
    esac
  done <<<"$out"
  grep -q "^defined in " <<<"$out" || { echo "old client named no library"; status=1; }
else
  echo "old client failed against $lib:"; echo "$out"
  status=1
fi

[ $status -eq 0 ] && echo "ok: $(echo "$defined" | wc -l) exports of $(basename "$lib") in $node; the old client runs"
exit $status
