#!/usr/bin/env bash
# Renders every distinct error dialog of libpelidor_gui_errhandler under Xvfb
# into PNGs and writes an HTML page showing them with their action and result
# codes: <build-dir>/dialog-screenshots/index.html.
# Usage: tools/dialog_screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target pelidor_dialog_gallery
out="$build/dialog-screenshots"
rm -rf "$out"
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/gui_errhandler/pelidor_dialog_gallery" "$out"
echo "Open $(cd "$out" && pwd)/index.html"
