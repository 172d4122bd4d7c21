#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz and runs each one for a
# bounded time, starting from the saved corpus in fuzz/corpus/<target>/.
#
# Usage: tools/fuzz.sh [run|merge] [TARGET...]
#   run    (default) fuzz each target for VPAK_FUZZ_SECONDS seconds (default 60); exits 1
#          when a target found a crash, which is saved under build-fuzz/crashes/<target>/.
#   merge  add to fuzz/corpus/<target>/ the inputs the runs found (build-fuzz/corpus/<target>/)
#          that reach code the saved corpus does not.
# TARGET is archive_reader, directory_walk, loc_parser or extraction; all of them by default.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=run
if [ $# -gt 0 ] && { [ "$1" = run ] || [ "$1" = merge ]; }; then
  mode=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(archive_reader directory_walk loc_parser extraction)
seconds=${VPAK_FUZZ_SECONDS:-60}
build=build-fuzz

bash tools/setup.sh "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DVPAK_FUZZ=ON \
  -DVPAK_BUILD_GUI=OFF -DVPAK_BUILD_TESTS=OFF -DVPAK_BUILD_BENCH=OFF

# The targets write their inputs and sandboxes below TMPDIR, a few files per execution:
# memory-backed /dev/shm runs them about a hundred times faster than a disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  TMPDIR=$(mktemp -d /dev/shm/vpak-fuzz.XXXXXX)
else
  TMPDIR=$(mktemp -d "$PWD/$build/tmp.XXXXXX")
fi
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
export UBSAN_OPTIONS=print_stacktrace=1

# No input of at most max_len bytes has any business asking for 128 MiB at once.
limits=(-max_len=8192 -timeout=60 -rss_limit_mb=2048 -malloc_limit_mb=128)

# The saved corpus stays whole; of what the runs found, only inputs that reach code the
# saved ones do not are added (edges only, not hit counts, so the corpus stays small).
merge_target() {
  local target=$1 fresh="$build/merged/$1"
  rm -rf "$fresh"
  mkdir -p "$fresh" "$build/corpus/$target"
  cp "fuzz/corpus/$target"/* "$fresh"/
  "$build/bin/fuzz_$target" -merge=1 -use_counters=0 "${limits[@]}" "$fresh" "$build/corpus/$target" \
    > "$build/logs/$target-merge.log" 2>&1
  rm -rf "fuzz/corpus/$target"
  mv "$fresh" "fuzz/corpus/$target"
  echo "fuzz_$target: $(find "fuzz/corpus/$target" -type f | wc -l) inputs in fuzz/corpus/$target"
}

run_target() {
  local target=$1 log="$build/logs/$1.log" status=0
  mkdir -p "$build/corpus/$target" "$build/crashes/$target"
  # New inputs go to the first folder, so the saved corpus stays as committed.
  "$build/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 "${limits[@]}" \
    -artifact_prefix="$build/crashes/$target/" "$build/corpus/$target" "fuzz/corpus/$target" \
    > "$log" 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$target: ${runs:-0} executions in ${seconds} s, no crash"
    return 0
  fi
  echo "fuzz_$target: ${runs:-?} executions, FOUND A CRASH (exit $status); log: $log"
  grep -E "^(==[0-9]+==ERROR|SUMMARY|fuzz finding|artifact_prefix|Test unit written)" "$log" || tail -n 30 "$log"
  return 1
}

mkdir -p "$build/logs"
passed=0
failed=0
for target in "${targets[@]}"; do
  if [ ! -x "$build/bin/fuzz_$target" ]; then
    echo "unknown fuzz target: $target" >&2
    exit 2
  fi
  if [ "$mode" = merge ]; then
    merge_target "$target"
  elif run_target "$target"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done

if [ "$mode" = run ]; then
  echo "fuzz: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
fi
