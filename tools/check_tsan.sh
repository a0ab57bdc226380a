#!/usr/bin/env bash
# The concurrency tests, every test whose name holds "Thread", built with
# ThreadSanitizer (QOLT_TSAN) in build/tsan: several threads in
# qolt_plugin_auth, several threads decoding after one key set-up, and threads
# sharing one keyed Rijndael in every mode, and error dialogs called from a
# second thread while the first runs the GTK+ main loop (each on its own
# Xvfb, through tools/with_display.sh).  Any report fails the run.  Only
# the binaries that hold them are built (preset "tsan").
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --workflow --preset tsan
