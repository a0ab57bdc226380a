#!/bin/sh
# CTest runs each dialog test through this: on the caller's X display when
# there is one (tools/test.sh starts one), else on a private Xvfb.
if [ -n "${DISPLAY:-}" ] || ! command -v xvfb-run >/dev/null 2>&1; then
  exec "$@"
fi
# Listing the tests needs no display.
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac
exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$@"
