#!/usr/bin/env bash
# Runs one test script against the real window as a screen reader meets it: a private Xvfb
# display managed by openbox, a private D-Bus session with the accessibility bus started on
# it, and private home and XDG folders. Exits 77 (skipped) where these cannot run.
# Usage: run_atspi_test.sh VPAK_GUI VPAK SCRIPT
set -uo pipefail
gui=$1 vpak=$2 script=$3
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb openbox dbus-run-session xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "SKIPPED: at-spi-bus-launcher is not installed"; exit 77; }
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
  { echo "SKIPPED: python3-gi with Atspi is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vpak-atspi.XXXXXX")
chmod 700 "$work"
server=
manager=
cleanup() {
  [ -n "$manager" ] && kill "$manager" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >"$work/Xvfb.log" 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "SKIPPED: Xvfb did not start"; cat "$work/Xvfb.log"; exit 77; }
export DISPLAY=":$(head -n1 "$work/display")"

mkdir -p "$work/home" "$work/runtime" "$work/config" "$work/data" "$work/cache" "$work/tmp"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" \
  XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" TMPDIR="$work/tmp"
openbox >"$work/openbox.log" 2>&1 &
manager=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

export VPAK_GUI="$gui" VPAK="$vpak" ATSPI_WORK="$work" PYTHONPATH="$here${PYTHONPATH:+:$PYTHONPATH}"
dbus-run-session -- bash -c "
  '$launcher' --launch-immediately >'$work/bus.log' 2>&1 &
  for _ in \$(seq 50); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.1
  done
  exec /usr/bin/python3 '$script'"
