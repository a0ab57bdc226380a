#!/bin/sh
# Runs a command on the caller's X display when there is one, else on a
# private Xvfb.  CTest runs every dialog test through it; the tools run their
# whole test run through it, so that all tests share one X server.
# Usage: with_display.sh [--screen WxHxD] COMMAND [ARGS...]
# --screen always starts a private Xvfb with that screen, for a test of how
# the dialogs fit a small one.
. "$(dirname "$0")/common.sh"
if [ "${1:-}" = --screen ]; then
  screen=$2
  shift 2
  exec xvfb-run -a -s "-screen 0 $screen -noreset" "$@"
fi
if [ -n "${DISPLAY:-}" ] || ! command -v xvfb-run >/dev/null 2>&1; then
  exec "$@"
fi
# Listing the tests needs no display.
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac
exec xvfb-run -a -s "$QOLT_XVFB_SCREEN -noreset" "$@"
