#!/usr/bin/env bash
# Set-up and tests in one: installs what is missing, builds, runs the whole
# suite.  --sanitize builds and runs it under AddressSanitizer + UBSan;
# --tsan builds and runs the threading tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-asan
[ "${1:-}" = "--tsan" ] && dir=build-tsan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan/tsan.supp"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
# The installed tree: the examples built with find_package and pkg-config, and
# the Python package, against a temporary prefix.
[ "$dir" = build ] && scripts/test-install.sh "$dir"
exit 0
