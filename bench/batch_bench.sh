#!/bin/sh
# Batch conversion with one worker and with every core: 32 photo-like
# pictures of 1024x1024 (ffmpeg's gradients with grain, as PNG), converted by
# `tavolin2 gif --out-dir` with -j 1 and -j N, each 7 times in turn; prints the
# medians (wall clock, the process start included) and their ratio.
# Usage: bench/batch_bench.sh [BUILD_DIR] [N]   (N: the core count by default)
set -eu
build=${1:-build}
jobs=${2:-$(nproc)}
cli="$build/tavolin2"
[ -x "$cli" ] || { echo "batch_bench: no $cli (build first: scripts/build.sh)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "batch_bench: needs ffmpeg (scripts/deps.sh installs it)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq 1 32); do
    ffmpeg -loglevel error -y -f lavfi \
        -i "gradients=s=1024x1024:seed=$i:n=4,format=rgb24,noise=alls=16:allf=t+u:all_seed=$i" \
        -frames:v 1 "$work/p$i.png"
done
run() {  # prints the wall time of one conversion in seconds
    rm -rf "$work/out"
    start=$(date +%s.%N)
    "$cli" gif "$work"/p*.png --out-dir "$work/out" -j "$1" --quiet
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' 
}
median() { sort -n | sed -n 4p; }
: >"$work/t1"
: >"$work/tn"
for k in 1 2 3 4 5 6 7; do
    run 1 >>"$work/t1"
    run "$jobs" >>"$work/tn"
done
t1=$(median <"$work/t1")
tn=$(median <"$work/tn")
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "32 pictures 1024x1024: -j 1 ${t1} s, -j $jobs ${tn} s (medians of 7)"
awk -v a="$t1" -v b="$tn" 'BEGIN { printf "ratio: %.2fx\n", a / b }' 
