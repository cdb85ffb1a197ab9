#!/usr/bin/env bash
# Installs the build in build/ (or the folder given) to a temporary prefix and
# builds and runs the three examples against that installed tree only: the C
# and C++ ones with find_package and with pkg-config, the Python one with the
# installed package.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
# the installed tree must not point back into the build
mv "$prefix" "$work/moved" && prefix=$work/moved
export XDG_DATA_HOME=$work/xdg
cc=${CC:-cc}
cxx=${CXX:-c++}

check() {  # check NAME OUT_DIR: the outputs an example writes
  local name=$1 out=$2
  for f in picture.gif code128.png list.m3u; do
    [ -s "$out/$f" ] || { echo "test-install: $name wrote no $f" >&2; exit 1; }
  done
  head -c 6 "$out/picture.gif" | grep -q GIF8 || { echo "test-install: $name: picture.gif is no GIF" >&2; exit 1; }
  if command -v zbarimg >/dev/null; then
    [ "$(zbarimg -q --raw "$out/code128.png" 2>/dev/null)" = "TAVOLIN2-128" ] ||
      { echo "test-install: $name: the Code 128 does not scan" >&2; exit 1; }
  fi
  echo "test-install: $name ok"
}

# find_package
cmake -S examples -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" -j2 >/dev/null
for e in example_c example_cpp; do
  mkdir -p "$work/out-$e"
  "$work/cmake/$e" "$work/out-$e" 2>/dev/null >/dev/null
  check "$e (find_package)" "$work/out-$e"
done

# pkg-config
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name tavolin2-kit.pc)")
flags=$(pkg-config --cflags --libs tavolin2-kit)
libdir=$(pkg-config --variable=libdir tavolin2)
$cc -std=c11 -Wall -Wextra -Werror examples/c/example.c $flags -Wl,-rpath,"$libdir" -o "$work/pc_c"
$cxx -std=c++20 -Wall -Wextra -Werror examples/cpp/example.cpp $flags -Wl,-rpath,"$libdir" -o "$work/pc_cpp"
for e in pc_c pc_cpp; do
  mkdir -p "$work/out-$e"
  "$work/$e" "$work/out-$e" 2>/dev/null >/dev/null
  check "$e (pkg-config)" "$work/out-$e"
done

# Python, from the installed package folder
if [ -x /usr/bin/python3 ]; then
  site=$(dirname "$(find "$prefix" -path '*/tavolin2/__init__.py')")
  mkdir -p "$work/out-py"
  env -u TAVOLIN2_LIBRARY PYTHONPATH="$(dirname "$site")" PYTHONDONTWRITEBYTECODE=1 \
    /usr/bin/python3 examples/python/example.py "$work/out-py" 2>/dev/null >/dev/null
  check "example.py" "$work/out-py"
fi

# the installed command line, from its moved prefix
"$prefix/bin/tavolin2" --version >/dev/null 2>&1 || "$prefix/bin/tavolin2" barcode-text X >/dev/null
echo "test-install: ok"
