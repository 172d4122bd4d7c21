#!/usr/bin/env bash
# Times two builds of vpak on the same tree and archives, and prints their figures side by
# side: compare.sh runs once for each on one shared tree, and every row of its table is shown
# with the time of each build and their ratio (below 1: the second build is faster).
#
# Usage: bench/before_after.sh BEFORE AFTER [-r RUNS] [-s TREE_MB] [TREE]
#   BEFORE, AFTER  two vpak executables (for example a Release build of an older commit)
#   the options and TREE are compare.sh's
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
  sed -n '2,9p' "$0"
  exit 2
fi
before=$(realpath "$1")
after=$(realpath "$2")
shift 2

work=$(mktemp -d /tmp/vpak-before-after.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The tree is made once, by the first run (unless one is given), and kept for the second.
VPAK=$before bench/compare.sh -k -w "$work/run" "$@" > "$work/before.txt"
args=("$@")
if [ $# -eq 0 ] || [ ! -d "${*: -1}" ]; then
  mv "$work/run/tree" "$work/tree"
  args+=("$work/tree")
fi
rm -rf "$work/run"
VPAK=$after bench/compare.sh -w "$work/run" "${args[@]}" > "$work/after.txt"

# The rows of compare.sh's table: a label of 34 columns, vpak's median time, and what it is
# set against.
rows() { awk '/^ +vpak s/ { on = 1; next } on && (NF == 0 || /^\(/) { exit } on { print }' "$1"; }
echo "before: $before"
echo "after:  $after"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '%-34s %-9s %9s %9s %7s\n' "" "against" "before s" "after s" "ratio"
paste -d '\n' <(rows "$work/before.txt") <(rows "$work/after.txt") |
  awk '{ label = substr($0, 1, 34); against = substr($0, 45, 8); split(substr($0, 36), f, " ")
         if (NR % 2 == 1) { first = f[1]; next }
         printf "%-34s %-9s %9s %9s %7s\n", label, against, first, f[1],
                (first > 0 ? sprintf("%.2f", f[1] / first) : "n/a") }'
echo
echo "peak memory, before:"
sed -n '/^peak memory/,$p' "$work/before.txt"
echo "peak memory, after:"
sed -n '/^peak memory/,$p' "$work/after.txt"
