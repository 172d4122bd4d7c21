#!/usr/bin/env bash
# cpack -G DEB builds one package of the project's version whose dependencies were computed
# from the programs' libraries, which holds every manual page, and the programs unpacked from
# it run: vpak prints its version and builds an archive, and the window opens that archive
# and keeps running, silent on standard error.
# Usage: deb_package_test.sh BUILD_DIR VERSION WITH_WINDOW(0|1) WITH_PROGRAM_PAGES(0|1)
#                            WITH_FORMAT_PAGES(0|1)
set -euo pipefail
build=$(realpath "$1") version=$2 window=$3 man=${4:-0} formats=${5:-0}

work=$(mktemp -d)
window_pid=""
cleanup() {
  [ -z "$window_pid" ] || kill "$window_pid" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

fail() { echo "$*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" > cpack.log 2>&1 || { cat cpack.log; fail "cpack failed"; }
packages=(package/vpak_"$version"_*.deb)
[ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "no single package vpak_${version}_*.deb: $(ls package)"
deb=${packages[0]}

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
# dpkg-shlibdeps names the packages of the libraries the programs link, with versions.
libraries=('libc6' 'libssl[0-9.]*' 'libicu[0-9]*' 'libdeflate[0-9]*' 'zlib1g')
[ "$window" = 0 ] || libraries+=('libqt6widgets6')
for library in "${libraries[@]}"; do
  [[ $depends =~ (^|, )$library\ \( ]] || fail "Depends lacks $library: $depends"
done

# The manual pages lie where man looks for them, compressed as Debian ships them.
pages=()
[ "$man" = 0 ] || pages+=(man1/vpak.1.gz)
[ "$man" = 0 ] || [ "$window" = 0 ] || pages+=(man1/vpak-gui.1.gz)
[ "$formats" = 0 ] || pages+=(man5/vpak-pak.5.gz man5/vpak-journal.5.gz)
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for page in "${pages[@]}"; do
  grep -qx "\./usr/share/man/$page" <<< "$contents" || fail "the package lacks usr/share/man/$page"
done

dpkg-deb -x "$deb" root
vpak=root/usr/bin/vpak
[ "$("$vpak" --version)" = "Veldane .PAK Maker / Extractor / Updater v$version" ] || fail "vpak --version: $("$vpak" --version)"
mkdir tree
echo "a file to pack" > tree/readme.txt
"$vpak" make -q tiny.pak tree > make.log 2>&1 || { cat make.log; fail "vpak make failed"; }
[ "$("$vpak" list tiny.pak | sed 's/.*\*//')" = "readme.txt" ] || fail "the archive does not list its file"

[ "$window" = 1 ] || exit 0
# A build's left-over beside the archive goes when the archive is opened: its going shows
# that the window has opened the archive.
echo "what a killed build left" > tiny.pak.vpak-new-0123456789ab
mkdir -m 700 runtime
HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen \
  root/usr/bin/vpak-gui "$work/tiny.pak" > window.out 2> window.err &
window_pid=$!
for _ in $(seq 100); do
  [ -e tiny.pak.vpak-new-0123456789ab ] || break
  sleep 0.1
done
[ ! -e tiny.pak.vpak-new-0123456789ab ] || fail "the window did not open the archive within 10 seconds"
# Time to show the opened archive's tree, then it must still run and have said nothing.
sleep 1
kill -0 "$window_pid" 2> /dev/null || { cat window.err; fail "the window ended after opening the archive"; }
[ ! -s window.err ] || { cat window.err; fail "the window wrote to standard error"; }
echo "the package $(basename "$deb") runs both programs"
