#!/usr/bin/env bash
# Runs one fuzz target of build-fuzz/ for up to RUNS executions or SECONDS,
# at the lowest priority with a single worker, then merges what it found into
# a minimised corpus and replaces fuzz/corpus/<corpus> with it.
#   fuzz/run.sh TARGET CORPUS [RUNS] [SECONDS]
# The log (with libFuzzer's final figures) is build-fuzz/<target>.log; a crash
# is left as build-fuzz/<target>-crash-*.  Files written by the targets go to a
# folder in memory (TMPDIR=/dev/shm when it exists), so flushing costs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1 corpus=$2 runs=${3:-1000000} seconds=${4:-600}
bin=build-fuzz/fuzz/$target
[ -x "$bin" ] || { echo "no $bin: build with -DTAVOLIN2_FUZZ=ON first" >&2; exit 2; }
[ -d /dev/shm ] && export TMPDIR=/dev/shm
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
work=$PWD/build-fuzz/work-$corpus
rm -rf "$work" "$work.min"
mkdir -p "$work" "$work.min"
cp fuzz/corpus/"$corpus"/* "$work"/
# The picture loader's memory is bounded well below libFuzzer's 2 GB default
# (which let a 2 GB allocation for a 44-byte PNG pass unnoticed).
limits=()
[ "$target" = picture_fuzz ] && limits=(-malloc_limit_mb=512 -rss_limit_mb=1024)
status=0
nice -n 19 "$bin" -runs="$runs" -max_total_time="$seconds" -print_final_stats=1 "${limits[@]}" \
  -artifact_prefix="$PWD/build-fuzz/$target-" "$work" >"build-fuzz/$target.log" 2>&1 || status=$?
nice -n 19 "$bin" -merge=1 "${limits[@]}" "$work.min" "$work" >"build-fuzz/$target.merge.log" 2>&1
rm -rf fuzz/corpus/"$corpus"
mv "$work.min" fuzz/corpus/"$corpus"
grep -E "cov:" "build-fuzz/$target.log" | tail -1
grep -E "^(stat::|Done|==[0-9]+==ERROR|SUMMARY)" "build-fuzz/$target.log" | tail -12
exit $status
