#!/usr/bin/env bash
# Set-up and main job in one: installs what is missing, builds, and runs
# `tavolin2 demo` on its built-in defaults (output in tavolin2-demo/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec build/tavolin2 demo "${1:-tavolin2-demo}"
