#!/usr/bin/env bash
# Checks a built shared library's binary interface: its soname, and that its
# dynamic symbol table defines exactly the committed list of exports.
# Optionally, that the named local data symbols (constant tables) lie in a
# read-only section.
# Usage: check_exports.sh LIBRARY SONAME EXPORTS-FILE [READ-ONLY-SYMBOL-REGEX]
set -euo pipefail
lib=$1 soname=$2 expected=$3 rodata=${4:-}
status=0

actual_soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$actual_soname" != "$soname" ]; then
  echo "soname is '$actual_soname', expected '$soname'"
  status=1
fi

# Defined dynamic symbols, demangled, one per line, without their version
# (check_symbol_versions.sh checks those) and without the version nodes' own
# symbols (type A).  Every other symbol is either undefined (an import) or
# must not be there.
actual=$(nm -D --defined-only --without-symbol-versions -C "$lib" |
         awk '$2 != "A" { $1=""; $2=""; sub(/^  /, ""); print }' | sort -u)
wanted=$(grep -v '^#' "$expected" | sed '/^$/d' | sort -u)
extra=$(comm -23 <(echo "$actual") <(echo "$wanted"))
missing=$(comm -13 <(echo "$actual") <(echo "$wanted"))
if [ -n "$extra" ]; then echo "exported but not in $expected:"; echo "$extra" | sed 's/^/  /'; status=1; fi
if [ -n "$missing" ]; then echo "missing from the exports:"; echo "$missing" | sed 's/^/  /'; status=1; fi

if [ -n "$rodata" ]; then
  # nm types r/R: read-only data.  Anything else (d, b, ...) is writable.
  tables=$(nm -C "$lib" | grep -E " ($rodata)\$" || true)
  if [ -z "$tables" ]; then echo "no symbol matches '$rodata'"; status=1; fi
  writable=$(echo "$tables" | awk '$2 !~ /^[rR]$/' || true)
  if [ -n "$writable" ]; then echo "constant tables outside read-only sections:"; echo "$writable"; status=1; fi
fi

[ $status -eq 0 ] && echo "ok: $lib exports $(echo "$actual" | wc -l) symbols, soname $actual_soname"
exit $status
