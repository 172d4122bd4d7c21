#!/usr/bin/env bash
# Cross-builds the command line for 64-bit Windows with mingw-w64: build-windows/bin/vpak.exe,
# linked statically so that it runs alone, and the test programs, which tools/test-windows.sh
# runs under Wine. Installs the Debian packages it needs (those missing only). The window is
# not built: Qt for Windows is not in Debian.
# Usage: tools/build-windows.sh [extra cmake arguments...]
# Environment: TARGET (build only this target, as tools/test-windows.sh does).
# Environment: JOBS (parallel jobs, default: the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  libcli11-dev nlohmann-json3-dev googletest
  wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B build-windows -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DVPAK_BUILD_GUI=OFF -DVPAK_BUILD_TESTS=ON -DVPAK_BUILD_BENCH=OFF \
  "${launcher[@]}" "$@"
cmake --build build-windows -j "${JOBS:-$(nproc)}" ${TARGET:+--target "$TARGET"}
