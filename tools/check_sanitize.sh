#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (QOLT_SANITIZE: -fno-sanitize-recover=all), in build/asan.  The first finding
# stops the test process that made it, so any finding fails the run; leaks
# count as findings.  The sanitizer options are in the preset "asan".
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/with_display.sh cmake --workflow --preset asan
