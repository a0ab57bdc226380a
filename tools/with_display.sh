#!/bin/sh
# Runs a command on the caller's X display when there is one, else on a
# private Xvfb.  CTest runs every dialog test through it; the tools run their
# whole test run through it, so that all tests share one X server.
# Usage: with_display.sh COMMAND [ARGS...]
if [ -n "${DISPLAY:-}" ] || ! command -v xvfb-run >/dev/null 2>&1; then
  exec "$@"
fi
# Listing the tests needs no display.
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac
. "$(dirname "$0")/common.sh"
exec xvfb-run -a -s "$QOLT_XVFB_SCREEN -noreset" "$@"
