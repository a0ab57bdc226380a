#!/usr/bin/env bash
# End-to-end run of the demo client: the tour, a credential made by `encode`
# and read back by `decode`, and the client's plugin-loading failures.
# Usage: demo_test.sh DEMO-CLIENT NOT-A-PLUGIN.so
# $QOLT_EMULATOR, when set, runs the client (a cross build's qemu-user).
set -uo pipefail
demo=$1 not_plugin=$2
read -ra emulator <<<"${QOLT_EMULATOR:-}"
failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1));
  else echo "ok   $1"; fi
}

# Without a display: the tour runs, says once that dialogs are not shown.
out=$(env -u DISPLAY "${emulator[@]}" "$demo" 2>/tmp/demo_err.$$); rc=$?
check "tour status" 0 "$rc"
check "tour digest" 'digest("demo-user", "demo-password") = ' "$(echo "$out" | sed -n '1s/[0-9a-f]\{32\}$//p')"
check "tour decodes its credential" 'decoded: "Een geheime tekst van de demo"' "$(echo "$out" | sed -n 3p)"
check "no-display line" 1 "$(grep -c 'no display' /tmp/demo_err.$$)"

credential=$(env -u DISPLAY "${emulator[@]}" "$demo" encode "sleutel" "Tekst met spaties en é" 2>/dev/null)
# 23 bytes of text, zero-padded to two blocks.
check "encode is base64 of whole blocks" 32 "$(echo "$credential" | base64 -d | wc -c)"
check "decode reads encode back" 'decoded: "Tekst met spaties en é"' \
  "$(env -u DISPLAY "${emulator[@]}" "$demo" decode "sleutel" "$credential" 2>/dev/null)"

# Loading failures: the client's result codes 7, 8 and 9, and a failing status.
env -u DISPLAY "${emulator[@]}" "$demo" --plugin "" digest a b >/dev/null 2>/tmp/demo_err.$$; rc=$?
check "empty location status" 1 "$rc"
check "empty location code" 1 "$(grep -c 'result 7)' /tmp/demo_err.$$)"
env -u DISPLAY QOLT_PLUGIN=/nonexistent/plugin.so "${emulator[@]}" "$demo" digest a b >/dev/null 2>/tmp/demo_err.$$; rc=$?
check "unloadable status" 1 "$rc"
check "unloadable code" 1 "$(grep -c 'result 8)' /tmp/demo_err.$$)"
env -u DISPLAY "${emulator[@]}" "$demo" --plugin "$not_plugin" digest a b >/dev/null 2>/tmp/demo_err.$$; rc=$?
check "missing export status" 1 "$rc"
check "missing export code" 1 "$(grep -c 'result 9)' /tmp/demo_err.$$)"

# With a display (when there is one): the tour's dialog is shown and closed.
if [ -n "${DISPLAY:-}" ]; then
  out=$(timeout 20 "${emulator[@]}" "$demo" --close-after 200); rc=$?
  check "tour with dialog status" 0 "$rc"
  check "tour with dialog" 1 "$(echo "$out" | grep -c '^dialog: action 0, result 14')"
fi
rm -f /tmp/demo_err.$$
echo "$failures failed"
[ "$failures" -eq 0 ]
