#!/usr/bin/env bash
# cmake --install puts each file at its place below the prefix (bin/, the freedesktop folders
# of share/, Debian's compressed manual pages) and installs nothing else: no test program,
# benchmark or fuzz target.
# Usage: install_layout_test.sh BUILD_DIR WITH_WINDOW(0|1) WITH_PROGRAM_PAGES(0|1)
#                                WITH_FORMAT_PAGES(0|1) APP_ID
set -euo pipefail
build=$1 window=$2 man=$3 formats=$4 id=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"

expected=(
  bin/vpak
  share/bash-completion/completions/vpak
  share/doc/vpak/README.md
)
[ "$man" = 1 ] && expected+=(share/man/man1/vpak.1.gz)
[ "$formats" = 1 ] && expected+=(share/man/man5/vpak-pak.5.gz share/man/man5/vpak-journal.5.gz)
if [ "$window" = 1 ]; then
  expected+=(
    bin/vpak-gui
    "share/applications/$id.desktop"
    share/mime/packages/vpak.xml
    "share/metainfo/$id.metainfo.xml"
    share/icons/hicolor/scalable/apps/vpak.svg
  )
  for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/vpak.png")
  done
  [ "$man" = 1 ] && expected+=(share/man/man1/vpak-gui.1.gz)
fi

actual=$(cd "$work/prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
if [ "$actual" != "$wanted" ]; then
  echo "installed files differ from the expected layout (< installed, > expected):"
  diff <(echo "$actual") <(echo "$wanted") || true
  exit 1
fi

# The programs stay executable and each rendering of the icon has the size its folder names.
for program in bin/vpak $([ "$window" = 1 ] && echo bin/vpak-gui); do
  [ -x "$work/prefix/$program" ] || { echo "$program is not executable"; exit 1; }
done
if [ "$window" = 1 ]; then
  for size in 16 22 24 32 48 64 128 256; do
    got=$(identify -format '%wx%h' "$work/prefix/share/icons/hicolor/${size}x${size}/apps/vpak.png")
    [ "$got" = "${size}x${size}" ] || { echo "the ${size}x${size} icon is $got"; exit 1; }
  done
fi
echo "installed ${#expected[@]} files, each at its place"
