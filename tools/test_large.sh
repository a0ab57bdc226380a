#!/usr/bin/env bash
# The tests that need gigabytes and minutes (CTest label "large", names
# holding "Large"): counts beyond 2^32 bits and INT_MAX bytes.  One at a
# time; about 4 GB at the most.  The default run (tools/test.sh) leaves them
# out.  The workflow preset "large" shares build/test with the preset "test":
# the build only gains their registration.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --workflow --preset large
