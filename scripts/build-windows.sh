#!/usr/bin/env bash
# Cross-builds the Windows in-process server into build-windows/tavolin2.dll
# with MinGW-w64 (scripts/deps.sh --windows installs the tool chain).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-windows
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1; then
  echo "build-windows: no MinGW-w64 cross compiler (g++-mingw-w64-x86-64); run scripts/deps.sh --windows" >&2
  exit 2
fi
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DTAVOLIN2_WERROR="${TAVOLIN2_WERROR:-OFF}" >/dev/null
fi
cmake --build "$dir" -j "${TAVOLIN2_JOBS:-2}"
ls -l "$dir/tavolin2.dll"
