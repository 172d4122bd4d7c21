#!/usr/bin/env bash
# Renders the application icon's PNG sizes from the drawing, data/icons/vpak.svg, into
# data/icons/vpak-N.png (committed: the build needs no SVG renderer). Run it after changing
# the drawing. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio vpak.svg --output "vpak-$size.png"
done
