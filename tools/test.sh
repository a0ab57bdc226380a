#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test but the large ones (the dialog tests on one Xvfb): the workflow
# preset "test", in build/test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/with_display.sh cmake --workflow --preset test
