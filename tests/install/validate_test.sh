#!/usr/bin/env bash
# Each file the desktop reads passes the tool that reads or checks it, without a word of
# complaint, and carries the project's version where it names one.
# Usage: validate_test.sh desktop FILE
#        validate_test.sh metainfo FILE VERSION
#        validate_test.sh mime FILE
#        validate_test.sh man PAGE VERSION
set -euo pipefail
kind=$1 file=$(realpath "$2") version=${3:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Runs a checker; it must succeed and print nothing on standard error (nor, where it
# reports hints on standard output, there).
quiet() {
  local out=$1
  shift
  if ! "$@" > "$work/out" 2> "$work/err"; then
    echo "failed: $*"; cat "$work/out" "$work/err"; exit 1
  fi
  if [ -s "$work/err" ] || { [ "$out" = silent ] && [ -s "$work/out" ]; }; then
    echo "complaints from: $*"; cat "$work/out" "$work/err"; exit 1
  fi
}

case $kind in
  desktop)
    quiet silent desktop-file-validate "$file"
    grep -qx 'Exec=vpak-gui %f' "$file"
    grep -qx 'MimeType=application/x-veldane-pak;' "$file"
    ;;
  metainfo)
    quiet any appstreamcli validate --no-net --pedantic "$file"
    grep -q "<release version=\"$version\"" "$file" || { echo "no release $version"; exit 1; }
    ;;
  mime)
    # A copy of share/mime holding only this package, as update-mime-database builds it.
    mkdir -p mime/packages
    cp "$file" mime/packages/vpak.xml
    # Built where the XDG search path looks, or the tool says it may never be found.
    XDG_DATA_HOME=$work XDG_DATA_DIRS=$work quiet silent update-mime-database "$work/mime"
    [ -s mime/mime.cache ] || { echo "no mime.cache was written"; exit 1; }
    [ -f mime/application/x-veldane-pak.xml ] || { echo "the type was not written"; exit 1; }
    for glob in '*.pak' '*.PAK'; do
      grep -qF "application/x-veldane-pak:$glob" mime/globs2 || { echo "no glob $glob"; exit 1; }
    done
    ;;
  man)
    # man -l renders the page through groff (and tbl), whose warnings --warnings passes on:
    # in the locale's encoding, and as a UTF-8 terminal shows it.
    MANWIDTH=80 quiet any man --warnings -E UTF-8 -l "$file"
    MANWIDTH=80 quiet any man --warnings -l "$file"
    # A program's page tells how it is run and ends; a format's page tells its bytes. Both
    # name the version, as the program's or as vpak's.
    name=$(basename "$file")
    name=${name%%.*}
    case $(basename "$file") in
      *.1.gz) sections=(NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' 'SEE ALSO') footer="$name $version" ;;
      *.5.gz) sections=(NAME DESCRIPTION 'SEE ALSO') footer="vpak $version" ;;
      *) echo "not a page of section 1 or 5: $file"; exit 1 ;;
    esac
    for section in "${sections[@]}"; do
      grep -q "^$section\$" "$work/out" || { echo "no section $section"; exit 1; }
    done
    grep -q "^$footer " "$work/out" || { echo "no version $version in the footer"; exit 1; }
    # whatis and apropos know the page by its NAME line, as mandb reads it.
    lexgrog "$file" > "$work/whatis" 2>&1 || { echo "lexgrog cannot read the NAME section"; cat "$work/whatis"; exit 1; }
    grep -q "\"$name - " "$work/whatis" || { echo "the NAME line does not name $name"; cat "$work/whatis"; exit 1; }
    ;;
  *)
    echo "unknown kind $kind" >&2
    exit 2
    ;;
esac
echo "$kind: $(basename "$file") passes"
