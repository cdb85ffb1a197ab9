#!/usr/bin/env bash
# Cross-builds the Windows in-process server into build-windows/tavolin2.dll
# with MinGW-w64 (scripts/deps.sh --windows installs the tool chain).
#   scripts/build-windows.sh              64-bit, build-windows/
#   scripts/build-windows.sh --32         32-bit, build-windows-32/
#   scripts/build-windows.sh --installer  both, and the installer made with
#                                         NSIS (Debian's nsis package):
#                                         build-windows/tavolin2-setup-VERSION.exe
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --installer ]; then
  if ! command -v makensis >/dev/null 2>&1; then
    echo "build-windows: no makensis (Debian's nsis); run scripts/deps.sh --windows" >&2
    exit 2
  fi
  "$0"
  "$0" --32
  version=$(sed -n 's/^project(tavolin2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  out=build-windows/tavolin2-setup-$version.exe
  gen64=build-windows/generated  # widl writes the type library into the build folder itself
  makensis -V2 -DVERSION="$version" -DOUTFILE="$PWD/$out" \
    -DDLL64="$PWD/build-windows/tavolin2.dll" -DTLB64="$PWD/build-windows/tavolin2.tlb" \
    -DDLL32="$PWD/build-windows-32/tavolin2.dll" -DTLB32="$PWD/build-windows-32/tavolin2.tlb" \
    -DIDL="$PWD/$gen64/tavolin2.idl" -DHEADER="$PWD/$gen64/tavolin2_idl.h" -DREADME="$PWD/src/win/README.txt" \
    src/win/installer.nsi
  ls -l "$out"
  exit 0
fi
arch=x86_64 dir=build-windows
if [ "${1:-}" = --32 ]; then arch=i686 dir=build-windows-32; fi
prefix=$arch-w64-mingw32
if ! command -v "$prefix-g++-posix" >/dev/null 2>&1 && ! command -v "$prefix-g++" >/dev/null 2>&1; then
  echo "build-windows: no MinGW-w64 cross compiler ($prefix-g++, Debian's g++-mingw-w64-${arch//_/-});" \
    "run scripts/deps.sh --windows" >&2
  exit 2
fi
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTAVOLIN2_WERROR="${TAVOLIN2_WERROR:-OFF}" >/dev/null
fi
cmake --build "$dir" -j "${TAVOLIN2_JOBS:-2}"
ls -l "$dir/tavolin2.dll"
