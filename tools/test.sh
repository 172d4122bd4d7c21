#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the default tests, then the long ones
# (hundreds of kill trials of real vpak processes in the middle of updates and builds).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -LE long -j "$(nproc)"
ctest --test-dir build -C Long -L long --output-on-failure
