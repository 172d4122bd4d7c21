#!/usr/bin/env bash
# Sets up, builds and starts vpak: the window when it was built, otherwise the command line's help.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh build
if [ -x build/bin/vpak-gui ]; then
  exec build/bin/vpak-gui "$@"
fi
exec build/bin/vpak --help
