#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping those
# already present.  Run as root, or as a user who may use sudo.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-liberation
  libpng-dev libjpeg-dev libgif-dev libwebp-dev libtiff-dev
  python3-pil python3-pytest zbar-tools
  libmpv-dev libx11-dev ffmpeg xvfb x11-utils x11-apps
  pulseaudio pulseaudio-utils sox tmux locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "deps: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
# Another install running at the same time holds the package lock: wait for it.
lock=(-o DPkg::Lock::Timeout=900)
$sudo apt-get "${lock[@]}" update -q
$sudo apt-get "${lock[@]}" install -y -q --no-install-recommends "${missing[@]}"
