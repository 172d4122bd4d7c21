#!/usr/bin/env bash
# Installs the Debian packages vpak needs (those missing only), then configures and builds.
# Usage: tools/setup.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libssl-dev libicu-dev libdeflate-dev
  qt6-base-dev libsimpleini-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  libxcb1-dev xvfb xauth openbox x11-utils xdotool imagemagick zip unzip pigz time strace
  dbus at-spi2-core python3-gi gir1.2-atspi-2.0 python3-pyatspi xdg-utils qt6-image-formats-plugins
  help2man gzip man-db groff-base dpkg-dev file desktop-file-utils appstream shared-mime-info
  bash-completion librsvg2-bin qt6-image-formats-plugins
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

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja "$@"
cmake --build "$build_dir"
