#!/usr/bin/env bash
# Installs what is missing, builds (preset "demo", in build/default), and runs
# the demo client's tour on its built-in defaults.  Arguments are passed on to
# the demo client.
# Usage: tools/demo.sh [demo-client arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --workflow --preset demo >/dev/null
exec build/default/examples/demo_client/qolt_demo_client "$@"
