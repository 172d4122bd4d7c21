#!/usr/bin/env bash
# Times vpak against the usual tools on one tree, side by side in one run:
#   vpak make        against  zip -9 -r -q           and  tar cf - | pigz -9 -p 2
#   vpak extract     against  unzip -q               and  tar xf (of an uncompressed tar)
#   vpak extract     over a copy of the same tree  against  into an empty folder (the tree,
#                    and the archive of 100,000 small entries)
#   vpak test        against  unzip -tq (of the zip -9)  and  vpak extract of the same archive
#   vpak diff        of the unchanged tree  against  tar cf of it to a file plus vpak test
#   vpak replace-dir of the unchanged tree over its archive  against  vpak diff of them
#   vpak diff, sync  of a tree of one 200 MB file: peak memory, against vpak cat of the file
#   vpak list        of an archive of 100,000 entries (absolute time), and list, list --json and
#                    test of a crafted archive of 1,000,000 entries (time and peak memory)
#   vpak extract     of one file of a 40,000-entry archive  against  vpak list of it
#   vpak replace-dir of 100 files spread over a 400 MB archive  against  one cp of it, and
#                    against cp followed by sync (the update flushes); and its journal's
#                    peak size
#   vpak add         of one new 1 MB file to the tree's archive  against  cp of it followed by
#                    sync, and against vpak make of the whole tree
#   vpak sync        after 100 files spread over the tree changed  against  twice that cp+sync
#                    plus vpak make of the 100 files alone
#   vpak remove      of one folder of the tree's archive  against  that cp+sync
#                    (and, for scale, vpak add to the 400 MB archive against its cp+sync)
# Each figure is the median of several runs; peak memory comes from /usr/bin/time -v.
#
# Usage: bench/compare.sh [-r RUNS] [-s TREE_MB] [-w WORK_DIR] [-k] [TREE]
#   TREE      the tree to pack; without it one of about TREE_MB (default 450) is made of
#             the system's own files (/usr/include, /usr/share, /usr/lib), in sorted order
#   -r RUNS   runs per command (default 3)
#   -w DIR    where the trees, archives and extractions go (default: a new /tmp/vpak-bench.*)
#   -k        keep the work directory
# Builds vpak in Release mode into build-release/ first (VPAK=path skips that).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=3
tree_mb=450
work=""
keep=0
while getopts "r:s:w:kh" opt; do
  case $opt in
    r) runs=$OPTARG ;;
    s) tree_mb=$OPTARG ;;
    w) work=$OPTARG ;;
    k) keep=1 ;;
    *) sed -n '2,28p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
source_tree=${1:-}

for tool in zip unzip pigz tar /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done

if [ -z "${VPAK:-}" ]; then
  cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPAK_BUILD_GUI=OFF \
        -DVPAK_BUILD_TESTS=OFF -DVPAK_BUILD_BENCH=OFF >/dev/null
  cmake --build build-release --target vpak >/dev/null
  VPAK=$PWD/build-release/bin/vpak
fi

if [ -z "$work" ]; then work=$(mktemp -d /tmp/vpak-bench.XXXXXX); else mkdir -p "$work"; fi
work=$(cd "$work" && pwd)
[ "$keep" = 1 ] || trap 'rm -rf "$work"' EXIT

say() { printf '%s\n' "$*" >&2; }

# ---- measuring -------------------------------------------------------------------------------

# measure NAME PREPARE COMMAND [NAME PREPARE COMMAND ...]: runs the commands of one group in
# turn, RUNS rounds, so that each meets the machine and the file system in the same state;
# PREPARE runs untimed before each COMMAND, which runs under /usr/bin/time -v. "$RUN" in them
# is the round's number. Leaves the median wall time in seconds in T_NAME, the best in B_NAME
# (the run least disturbed by whatever else the machine did), and the largest peak resident
# size in MiB in M_NAME.
measure() {
  local -a names=() prepares=() commands=()
  while [ $# -gt 0 ]; do names+=("$1"); prepares+=("$2"); commands+=("$3"); shift 3; done
  local -A times=() peaks=()
  local round k start end rss
  for ((round = 1; round <= runs; round++)); do
    for k in "${!names[@]}"; do
      RUN=$round bash -c "${prepares[$k]}"
      sync
      start=$(date +%s%N)
      RUN=$round /usr/bin/time -v -o "$work/time.txt" bash -c "${commands[$k]}" >/dev/null
      end=$(date +%s%N)
      times[${names[$k]}]+="$(( (end - start) / 1000000 )) "
      rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time.txt")
      (( rss > ${peaks[${names[$k]}]:-0} )) && peaks[${names[$k]}]=$rss
    done
  done
  local name median best
  for name in "${names[@]}"; do
    median=$(printf '%s\n' ${times[$name]} | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}')
    best=$(printf '%s\n' ${times[$name]} | sort -n | head -1)
    printf -v "T_$name" '%d.%03d' $((median / 1000)) $((median % 1000))
    printf -v "B_$name" '%d.%03d' $((best / 1000)) $((best % 1000))
    printf -v "M_$name" '%d' $((peaks[$name] / 1024))
    say "  $name: $(eval echo "\$T_$name") s (runs: ${times[$name]}ms), peak $(eval echo "\$M_$name") MiB"
  done
}

# ratio A B [DIGITS]: A / B with DIGITS decimals (default 2).
ratio() { awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN { if (b > 0) printf "%.*f", d, a / b; else print "n/a" }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "met" : "MISSED") }'; }

# ---- the trees -------------------------------------------------------------------------------

if [ -n "$source_tree" ]; then
  tree=$(cd "$source_tree" && pwd)
else
  tree=$work/tree
  say "Making a tree of about $tree_mb MB of system files in $tree ..."
  mkdir -p "$tree"
  # Regular files under 8 MB, in sorted order, until the size is reached.
  { find /usr/include /usr/share /usr/lib -xdev -type f -size -8M -readable -print0 2>/dev/null || true; } |
    sort -z > "$work/all.list"
  perl -0 -ne 'BEGIN { $limit = shift(@ARGV) * 1000000; $sum = 0 }
               chomp; next if m{/package-lists/}; my $s = -s $_; next unless defined $s;
               last if $sum + $s > $limit; $sum += $s; s{^/}{}; print "$_\0"' "$tree_mb" \
    < "$work/all.list" > "$work/chosen.list"
  tar -C / -cf - --null -T "$work/chosen.list" | tar -xf - -C "$tree"
  rm -f "$work/all.list" "$work/chosen.list"
fi
tree_bytes=$(du -sb "$tree" | cut -f1)
tree_files=$(find "$tree" -type f | wc -l)
largest=$(find "$tree" -type f -printf '%s\n' | sort -n | tail -1)
say "Tree: $tree, $((tree_bytes / 1000000)) MB in $tree_files files, largest $((largest / 1000000)) MB"

# ---- building --------------------------------------------------------------------------------

# The uncompressed tar for tar xf; making it also reads the whole tree once, so that every
# tool finds it in the page cache.
(cd "$tree" && tar cf "$work/t.tar" .)

say "Building (median of $runs runs each) ..."
measure vpak_make "rm -f '$work/t.pak'" "'$VPAK' make -q '$work/t.pak' '$tree'" \
        zip "rm -f '$work/t.zip'" "cd '$tree' && zip -9 -r -q '$work/t.zip' ." \
        pigz "rm -f '$work/t.tgz'" "cd '$tree' && tar cf - . | pigz -9 -p 2 > '$work/t.tgz'"
pak_bytes=$(stat -c %s "$work/t.pak")

# ---- extracting ------------------------------------------------------------------------------

# Every run extracts into a directory of its own: deleting a large tree just before makes
# the file system slower at creating the next one, whoever comes next.
say "Extracting ..."
# Extracting over a copy writes every file again where it already stands, as a second
# extraction into the same folder does.
measure vpak_extract ":" "'$VPAK' extract -q '$work/t.pak' '$work/x-vpak-'\$RUN" \
        vpak_over "[ -d '$work/x-over' ] || '$VPAK' extract -q '$work/t.pak' '$work/x-over'" \
        "'$VPAK' extract -q '$work/t.pak' '$work/x-over'" \
        unzip "mkdir -p '$work/x-unzip-'\$RUN" "unzip -q '$work/t.zip' -d '$work/x-unzip-'\$RUN" \
        tar_x "mkdir -p '$work/x-tar-'\$RUN" "tar xf '$work/t.tar' -C '$work/x-tar-'\$RUN"
diff -r -q "$tree" "$work/x-vpak-1" >/dev/null || say "  (warning: the extracted tree differs from the source)"
rm -rf "$work"/x-*

# ---- testing ---------------------------------------------------------------------------------

# test inflates every stream and writes nothing: it should cost less than writing them all
# out, and no more than unzip's test of the same tree.
say "Testing ..."
measure vpak_test ":" "'$VPAK' test -q '$work/t.pak'" \
        unzip_t ":" "unzip -tq '$work/t.zip'"

# ---- comparing the archive with its unchanged tree -------------------------------------------

# diff reads the whole tree and inflates every stream: the reference reads the tree (tar into
# a file of its own, which the system need not flush) and tests the archive.
say "Comparing the archive with its tree ..."
diff_status=0
"$VPAK" diff -q "$work/t.pak" "$tree" >/dev/null 2>&1 || diff_status=$?
[ "$diff_status" = 0 ] || say "  (warning: vpak diff of the unchanged tree exits $diff_status)"
measure vpak_diff ":" "'$VPAK' diff -q '$work/t.pak' '$tree' || [ \$? = 1 ]" \
        tar_test "rm -f '$work/ref.tar'" "tar cf '$work/ref.tar' -C '$tree' . && '$VPAK' test -q '$work/t.pak'"
rm -f "$work/ref.tar"

# replace-dir of the unchanged tree over a copy of its archive: every entry keeps its stream,
# so it should cost about what diff does, and write nothing.
say "Replacing every file of the archive by its unchanged file ..."
measure vpak_replace_same "cp '$work/t.pak' '$work/same.pak'" \
        "'$VPAK' replace-dir -q '$work/same.pak' '$tree' || [ \$? = 1 ]"
cmp -s "$work/t.pak" "$work/same.pak" || say "  (warning: replace-dir of the unchanged tree changed the archive)"
rm -f "$work/same.pak"

# ---- comparing one large file ----------------------------------------------------------------

# diff and sync compare a large file with its stream piece by piece: neither is held whole,
# so their peak memory stays far below the file's size, as that of cat, which streams it.
say "Comparing a tree of one 200 MB file with its archive ..."
mkdir -p "$work/large"
head -c 200000000 /dev/urandom > "$work/large/big.bin"
"$VPAK" make -q "$work/large.pak" "$work/large" >/dev/null
measure vpak_diff_large ":" "'$VPAK' diff -q '$work/large.pak' '$work/large'" \
        vpak_dry_large ":" "'$VPAK' sync --dry-run -q '$work/large.pak' '$work/large'" \
        vpak_sync_large ":" "'$VPAK' sync -q '$work/large.pak' '$work/large'" \
        vpak_cat_large ":" "'$VPAK' cat '$work/large.pak' big.bin"
rm -rf "$work/large" "$work/large.pak"

# ---- listing 100,000 entries -----------------------------------------------------------------

say "Listing an archive of 100,000 entries ..."
mkdir -p "$work/many"
for ((d = 0; d < 100; d++)); do
  mkdir -p "$work/many/folder$d"
  (cd "$work/many/folder$d" && seq 1 1000 | split -l 1 -a 4 - "entry-")
done
"$VPAK" make -q "$work/many.pak" "$work/many" >/dev/null
rm -rf "$work/many"
measure vpak_list ":" "'$VPAK' list '$work/many.pak'"
say "Extracting the 100,000 entries into an empty folder and over a copy ..."
measure vpak_extract_many ":" "'$VPAK' extract -q '$work/many.pak' '$work/x-many-'\$RUN" \
        vpak_over_many "[ -d '$work/x-many-over' ] || '$VPAK' extract -q '$work/many.pak' '$work/x-many-over'" \
        "'$VPAK' extract -q '$work/many.pak' '$work/x-many-over'"
rm -rf "$work"/x-many-*

# ---- listing and testing 1,000,000 entries ---------------------------------------------------

say "Listing and testing an archive of 1,000,000 entries (1,000 folders of 1,000 empty files) ..."
# Crafted directly: a million files on disk would take longer to make than everything else.
# Each file has an empty zlib stream of its own, as make would store it.
perl -MCompress::Zlib -e '
  my $empty = compress("", 9);
  my ($n, $offset, $dir) = (length($empty), 0, pack("l<", 1000));
  for my $f (0 .. 999) {
    my $folder = sprintf("folder%04d", $f);
    $dir .= pack("l<", length($folder)) . $folder . pack("l<l<", 0, 1000);
    for my $k (0 .. 999) {
      my $file = sprintf("file%04d.dat", $k);
      $dir .= pack("l<", length($file)) . $file . pack("l<l<l<", $offset, $n, 0);
      $offset += $n;
    }
  }
  $dir .= pack("l<", 0);
  my $packed = compress($dir, 9);
  print pack("l<l<", length($dir), 8 + length($packed)), $packed, $empty x 1000000;
' > "$work/million.pak"
measure vpak_list_million ":" "'$VPAK' list '$work/million.pak'" \
        vpak_json_million ":" "'$VPAK' list --json '$work/million.pak'" \
        vpak_test_million ":" "'$VPAK' test -q '$work/million.pak'"
rm -f "$work/million.pak"

# ---- replacing 100 files in a 400 MB archive -------------------------------------------------

say "Replacing 100 files spread over a 400 MB archive ..."
# 40,000 files of 10 kB that do not compress (an archive of about 400 MB, with as many
# entries as a game's archive), then new contents of other lengths for every 400th.
mkdir -p "$work/big" "$work/new"
for ((d = 0; d < 40; d++)); do
  mkdir -p "$work/big/d$d"
  head -c 10000000 /dev/urandom | (cd "$work/big/d$d" && split -b 10000 -a 3 - "f")
done
"$VPAK" make -q "$work/big.pak" "$work/big" >/dev/null
"$VPAK" list "$work/big.pak" | cut -c46- | awk 'NR % 400 == 1' | tr '\\' / > "$work/chosen.txt"
k=0
while IFS= read -r path; do
  mkdir -p "$work/new/$(dirname "$path")"
  head -c $((9000 + 20 * k)) /dev/urandom > "$work/new/$path"
  k=$((k + 1))
done < "$work/chosen.txt"
rm -rf "$work/big"
big_bytes=$(stat -c %s "$work/big.pak")

# One file of the 40,000: matching every path is the only work an unselected entry may cost.
one=$(sed -n 50p "$work/chosen.txt")
measure vpak_extract_one "rm -rf '$work/one'" "'$VPAK' extract -q '$work/big.pak' '$work/one' '$one'" \
        vpak_list_big ":" "'$VPAK' list '$work/big.pak'"
rm -rf "$work/one"
measure vpak_replace "cp '$work/big.pak' '$work/work.pak'" "'$VPAK' replace-dir -q '$work/work.pak' '$work/new'" \
        cp "rm -f '$work/copy.pak'" "cp '$work/big.pak' '$work/copy.pak'" \
        cp_sync "rm -f '$work/copy.pak'" "cp '$work/big.pak' '$work/copy.pak' && sync"
# The journal's peak size over one more such run, sampled every 5 ms: the data area moves,
# and the journal holds the plan and two pieces, not the data area.
cp "$work/big.pak" "$work/work.pak"
sync
journal_peak=0
"$VPAK" replace-dir -q "$work/work.pak" "$work/new" >/dev/null &
replacing=$!
while kill -0 "$replacing" 2>/dev/null; do
  size=$(stat -c %s "$work/work.pak.vpak-journal" 2>/dev/null || echo 0)
  [ "$size" -gt "$journal_peak" ] && journal_peak=$size
  sleep 0.005
done
wait "$replacing"
rm -f "$work/work.pak"

# ---- editing the tree's archive -------------------------------------------------------------

# add, sync and remove write the archive anew, copying the streams of the entries they keep:
# each should cost about what copying the archive and flushing it costs, plus compressing
# what is new. Every run edits a fresh copy of the tree's archive.
say "Editing the tree's archive (add, sync, remove) ..."
mkdir -p "$work/add"
head -c 1000000 /dev/urandom > "$work/add/vpak-bench-added.bin"

# A copy of the tree with every (files/100)-th file grown by a few bytes, and a tree of those
# 100 files alone: what make of them costs is the part of sync that no copy can save.
cp -a "$tree" "$work/tree2"
(cd "$work/tree2" && find . -type f -print0) | sort -z |
  perl -0 -ne 'BEGIN { $step = shift(@ARGV); $n = 0 }
               if ($. % $step == 0 && $n < 100) { s{^\./}{}; print; $n++ }' \
       "$(( tree_files >= 200 ? tree_files / 100 : 1 ))" > "$work/changed.list"
while IFS= read -r -d '' path; do
  chmod u+w "$work/tree2/$path"
  printf 'changed\n' >> "$work/tree2/$path"
done < "$work/changed.list"
mkdir -p "$work/changed"
tar -C "$work/tree2" -cf - --null -T "$work/changed.list" | tar -xf - -C "$work/changed"
say "  sync: $(tr -cd '\0' < "$work/changed.list" | wc -c) files changed"

# The first folder inside the tree's largest top-level folder (the top-level folder itself
# when it holds none).
top=$(cd "$tree" && du -sb -- */ | sort -n | tail -1 | cut -f2-)
top=${top%/}
removed=$(cd "$tree" && find "$top" -mindepth 1 -maxdepth 1 -type d | sort | head -1)
removed=${removed:-$top}
say "  remove: $removed ($(find "$tree/$removed" -type f | wc -l) files," \
    "$(( $(du -sb "$tree/$removed" | cut -f1) / 1000000 )) MB)"

measure vpak_add "cp '$work/t.pak' '$work/edit.pak'" "'$VPAK' add -q '$work/edit.pak' '$work/add/vpak-bench-added.bin'" \
        vpak_sync "cp '$work/t.pak' '$work/edit.pak'" "'$VPAK' sync -q '$work/edit.pak' '$work/tree2'" \
        vpak_remove "cp '$work/t.pak' '$work/edit.pak'" "'$VPAK' remove -q '$work/edit.pak' '$removed'" \
        cp_sync_pak "rm -f '$work/copy.pak'" "cp '$work/t.pak' '$work/copy.pak' && sync" \
        vpak_make_changed "rm -f '$work/changed.pak'" "'$VPAK' make -q '$work/changed.pak' '$work/changed'" \
        vpak_add_big "cp '$work/big.pak' '$work/edit.pak'" "'$VPAK' add -q '$work/edit.pak' '$work/add/vpak-bench-added.bin'"
# sync's reference, of the medians and of the best runs: twice the cp+sync, plus make of the
# changed files.
for k in T B; do
  printf -v "${k}_sync_ref" '%s' "$(awk -v c="$(eval echo "\$${k}_cp_sync_pak")" \
    -v m="$(eval echo "\$${k}_vpak_make_changed")" 'BEGIN { printf "%.3f", 2 * c + m }')"
done
rm -rf "$work/tree2" "$work/changed" "$work/add" "$work"/edit.pak "$work"/copy.pak "$work"/changed.pak

# ---- the figures -----------------------------------------------------------------------------

limit_mb=$((64 + 2 * largest / 1048576))

# row LABEL VPAK REFERENCE_NAME REFERENCE TARGET: one comparison, medians and best runs.
row() {
  local label=$1 mine=$2 refname=$3 ref=$4 target=$5 median best digits
  # As many decimals as the target has, so that the verdict sees them.
  digits=${target#*.}
  median=$(ratio "$(eval echo "\$T_$mine")" "$(eval echo "\$T_$ref")" "${#digits}")
  best=$(ratio "$(eval echo "\$B_$mine")" "$(eval echo "\$B_$ref")" "${#digits}")
  printf '%-34s %8s %-8s %8s %7s %7s  <= %-5s %s\n' "$label" "$(eval echo "\$T_$mine")" "$refname" \
    "$(eval echo "\$T_$ref")" "$median" "$best" "$target" "$(verdict "$median" "$target")"
}

echo
echo "vpak against the usual tools: median of $runs runs (and ratio of the best runs), $(nproc) cores"
echo "tree: $((tree_bytes / 1000000)) MB in $tree_files files (largest $((largest / 1000000)) MB), archive $((pak_bytes / 1000000)) MB"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '%-34s %8s %-8s %8s %7s %7s  %s\n' "" "vpak s" "against" "s" "ratio" "best" "target"
row "make" vpak_make "zip -9" zip 0.55
row "make" vpak_make "pigz -9" pigz 1.10
row "extract" vpak_extract "unzip" unzip 0.80
row "extract" vpak_extract "tar xf" tar_x 0.75
row "extract over a copy" vpak_over "empty" vpak_extract 1.50
row "extract 100,000 over a copy" vpak_over_many "empty" vpak_extract_many 1.50
row "test" vpak_test "unzip -t" unzip_t 0.35
row "test" vpak_test "extract" vpak_extract 0.50
row "diff, unchanged tree" vpak_diff "tar+test" tar_test 1.20
row "replace-dir, unchanged tree" vpak_replace_same "diff" vpak_diff 1.50
row "extract 1 of 40,000 files" vpak_extract_one "list" vpak_list_big 2.00
row "replace-dir, 100 files in $((big_bytes / 1000000)) MB" vpak_replace "cp" cp 3.00
row "  the same" vpak_replace "cp+sync" cp_sync 1.60
row "add, 1 MB file" vpak_add "cp+sync" cp_sync_pak 1.50
row "add, 1 MB file" vpak_add "make" vpak_make 0.067
row "sync, 100 files changed" vpak_sync "2cs+m100" sync_ref 1.00
row "remove, 1 folder" vpak_remove "cp+sync" cp_sync_pak 1.50
printf '%-34s %8s %-8s %8s %7s %7s  %s\n' "  (add to the $((big_bytes / 1000000)) MB archive)" "$T_vpak_add_big" \
  "cp+sync" "$T_cp_sync" "$(ratio "$T_vpak_add_big" "$T_cp_sync")" "$(ratio "$B_vpak_add_big" "$B_cp_sync")" "-"
printf '%-34s %8s %-8s %8s %7s %7s  %s\n' "list, 100,000 entries" "$T_vpak_list" "" "" "" "" \
  "< 0.2 s $(verdict "$T_vpak_list" 0.199)"
# million LABEL NAME SECONDS MIB: a listing of a million entries against its time and memory.
million() {
  local time=$(eval echo "\$T_$2") peak=$(eval echo "\$M_$2") verdicts=""
  [ "$3" != "-" ] && verdicts="<= $3 s $(verdict "$time" "$3"), "
  printf '%-34s %8s %-8s %8s %7s %7s  %s\n' "$1" "$time" "" "" "" "" "${verdicts}<= $4 MiB $(verdict "$peak" "$4") ($peak MiB)"
}
million "list, 1,000,000 entries" vpak_list_million 1.0 100
million "list --json, 1,000,000 entries" vpak_json_million 1.0 100
million "test, 1,000,000 entries" vpak_test_million - 200
# shellcheck disable=SC2154 # measure sets T_*, B_* and M_* through printf -v
echo "(2cs+m100: twice cp+sync of the tree's archive, $T_cp_sync_pak s, plus make of the 100 files alone," \
     "$T_vpak_make_changed s; remove took $removed)"
echo
echo "journal of that replace-dir at its largest: $(awk -v b="$journal_peak" 'BEGIN { printf "%.1f", b / 1048576 }') MiB" \
     "(the archive: $((big_bytes / 1048576)) MiB)"
echo "peak memory (MiB): make $M_vpak_make, extract $M_vpak_extract, list $M_vpak_list, replace-dir $M_vpak_replace;"
echo "  test $M_vpak_test, diff $M_vpak_diff, extract of one file $M_vpak_extract_one;"
# shellcheck disable=SC2154
echo "  add $M_vpak_add, sync $M_vpak_sync, remove $M_vpak_remove;"
echo "  of a tree of one 200 MB file: diff $M_vpak_diff_large, sync --dry-run $M_vpak_dry_large," \
     "sync $M_vpak_sync_large, cat $M_vpak_cat_large; diff and sync under 64 MiB:" \
     "$(verdict "$(( M_vpak_diff_large > M_vpak_sync_large ? M_vpak_diff_large : M_vpak_sync_large ))" 64)"
echo "  zip $M_zip, pigz pipeline $M_pigz, unzip $M_unzip, tar xf $M_tar_x, unzip -t $M_unzip_t"
echo "  make and extract under 64 MiB + twice the largest file = $limit_mb MiB:" \
     "make $(verdict "$M_vpak_make" "$limit_mb"), extract $(verdict "$M_vpak_extract" "$limit_mb")"
