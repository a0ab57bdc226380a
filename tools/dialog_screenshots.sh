#!/usr/bin/env bash
# Renders every distinct error dialog of libpelidor_gui_errhandler under Xvfb
# into PNGs and writes an HTML page showing them with their action and result
# codes: build/gallery/dialog-screenshots/index.html (preset "gallery").
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
rm -rf build/gallery/dialog-screenshots
cmake --workflow --preset gallery
echo "Open $PWD/build/gallery/dialog-screenshots/index.html"
