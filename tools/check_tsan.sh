#!/usr/bin/env bash
# The concurrency tests, every test whose name holds "Thread", built with
# ThreadSanitizer (QOLT_TSAN) in build/tsan: several threads in
# qolt_plugin_auth, several threads decoding after one key set-up, and threads
# sharing one keyed Rijndael in every mode, and error dialogs called from a
# worker while the main thread runs the GTK+ main loop, builds its windows
# before it, or is about to enter it (each on its own Xvfb, through
# tools/with_display.sh).  Any report fails the run.  Only the binaries that
# hold them are built (preset "tsan").
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
# GLib's slice allocator hands memory from one thread to another under its
# own futex locks, which the sanitizer does not see: plain malloc instead.
export G_SLICE=always-malloc
cmake --workflow --preset tsan
