#!/usr/bin/env bash
# Builds everything (the window included) with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan and runs the whole test suite there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh build-asan -DVPAK_SANITIZE=ON -DVPAK_BUILD_BENCH=OFF
export QT_QPA_PLATFORM=offscreen
# Any report ends the test that caused it; leaks count as failures too. The suppression
# files name the few reports that come from system libraries (the X11 window tests use Qt's
# xcb platform), each with its reason.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:suppressions=$PWD/tools/asan.supp
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
