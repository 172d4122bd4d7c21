#!/usr/bin/env bash
# Sets up, builds and runs the long tests (label "long"): hundreds of kill trials of real
# vpak processes in the middle of updates and builds. A plain ctest leaves them out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh build
ctest --test-dir build -C Long -L long --output-on-failure
