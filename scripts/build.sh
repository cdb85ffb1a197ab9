#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with --sanitize, or
# build-tsan/ with --tsan: the threading tests alone, under ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DTAVOLIN2_SANITIZE=ON -DTAVOLIN2_BENCH=OFF)
fi
targets=()
if [ "${1:-}" = "--tsan" ]; then
  dir=build-tsan
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOLIN2_TSAN=ON -DTAVOLIN2_BENCH=OFF)
  targets=(--target tavolin2_tsan_tests)
fi
# CI sets TAVOLIN2_WERROR=ON: a warning fails its build.
flags+=(-DTAVOLIN2_WERROR="${TAVOLIN2_WERROR:-OFF}")
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
# Configure every time: cheap, and it mends a folder whose first configure failed.
[ -f "$dir/CMakeCache.txt" ] && generator=()  # the folder keeps the generator it was made with
cmake -S . -B "$dir" "${generator[@]}" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
