#!/usr/bin/env bash
# The plugin stays small: its stripped size within a bound, and nothing of
# the reference backends (the table code and its tables), which only the
# tests' library holds, linked in.
# Usage: check_plugin_size.sh PLUGIN MAX-BYTES
set -euo pipefail
plugin=$1 bound=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
strip -o "$work/plugin" "$plugin"
size=$(stat -c %s "$work/plugin")
if [ "$size" -le "$bound" ]; then
  echo "ok    stripped plugin $size bytes (bound $bound)"
else
  echo "FAIL  stripped plugin $size bytes, above the bound $bound"
  status=1
fi

reference=$(nm -C "$plugin" | grep -E ' (kRijndaelTablesBackend|kRijndaelTables)$' || true)
if [ -n "$reference" ]; then
  echo "FAIL  the plugin holds the reference backend:"
  echo "$reference"
  status=1
else
  echo "ok    no reference backend in the plugin"
fi
exit $status
