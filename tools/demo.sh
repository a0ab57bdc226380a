#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo client's tour on its
# built-in defaults.  Arguments are passed on to the demo client.
# Usage: tools/demo.sh [demo-client arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build

tools/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target qolt_demo_client
exec "$build/examples/demo_client/qolt_demo_client" "$@"
