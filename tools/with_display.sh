#!/bin/sh
# Runs a command on the caller's X display when there is one, else on a
# private Xvfb.  CTest runs every dialog test through it; the tools run their
# whole test run through it, so that all tests share one X server.
# Usage: with_display.sh [--private | --screen WxHxD] COMMAND [ARGS...]
# --private always starts a private Xvfb, even when DISPLAY is set (the build
# option QOLT_PRIVATE_XVFB, for package builds on a desktop); --screen always
# starts one with that screen, for a test of how the dialogs fit a small one.
# With neither a display nor xvfb-run, the command runs as it is: a dialog
# test then finds no X server and exits with CTest's skip code, 77; a private
# Xvfb that cannot be had skips at once.
. "$(dirname "$0")/common.sh"
screen=
case "${1:-}" in
  --private) screen=${QOLT_XVFB_SCREEN#-screen 0 }; shift ;;
  --screen) screen=$2; shift 2 ;;
esac
# Listing the tests needs no display.
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac
if [ -n "$screen" ]; then
  if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "skipped: a private X server is asked for, and xvfb-run (package xvfb) is missing" >&2
    exit 77
  fi
  exec xvfb-run -a -s "-screen 0 $screen -noreset" "$@"
fi
if [ -n "${DISPLAY:-}" ] || ! command -v xvfb-run >/dev/null 2>&1; then
  exec "$@"
fi
exec xvfb-run -a -s "$QOLT_XVFB_SCREEN -noreset" "$@"
