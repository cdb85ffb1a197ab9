#!/usr/bin/env bash
# Format check of every C and C++ file git tracks (clang-format, .clang-format);
# --fix rewrites them instead; --tidy [files] runs clang-tidy (.clang-tidy) over
# the files given, or over src/, with build/compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')
case "${1:-}" in
  --fix) clang-format -i "${files[@]}" ;;
  --tidy)
    shift
    [ -f build/compile_commands.json ] || { echo "lint: build first (scripts/build.sh)" >&2; exit 2; }
    if [ $# -eq 0 ]; then mapfile -t targets < <(git ls-files 'src/*.cpp'); set -- "${targets[@]}"; fi
    clang-tidy -p build --quiet "$@"
    ;;
  "") clang-format --dry-run -Werror "${files[@]}" ;;
  *) echo "usage: scripts/lint.sh [--fix | --tidy [files...]]" >&2; exit 2 ;;
esac
