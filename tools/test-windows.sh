#!/usr/bin/env bash
# Cross-builds the Windows test programs (tools/build-windows.sh) and runs them under Wine,
# in a Wine prefix of the build's own (build-windows/wineprefix), never the user's.
# Only the tests whose code has its Windows side run here so far: the platform seams of
# src/support (sorting, SHA-1, CRC-32, inflating).
set -euo pipefail
cd "$(dirname "$0")/.."
TARGET=vpak_windows_tests bash tools/build-windows.sh
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || wineboot --init
ctest --test-dir build-windows --output-on-failure
