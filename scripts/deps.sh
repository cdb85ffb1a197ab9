#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping those
# already present.  Run as root, or as a user who may use sudo.
# --windows adds the Windows cross build and its Wine tests
# (scripts/build-windows.sh, scripts/test-windows.sh).
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-liberation
  libpng-dev libjpeg-dev libgif-dev libwebp-dev libtiff-dev
  python3-pil python3-pytest python3-venv zbar-tools
  libmpv-dev libxcb1-dev libx11-dev ffmpeg xvfb x11-utils x11-apps
  # the sound server library libmpv-dev needs, of the kind the i386 GStreamer plugins of the
  # Wine tests also use: with the other kind one install removes the other's packages
  libjack-jackd2-dev
  pulseaudio pulseaudio-utils sox tmux locales
)

i386=()
if [ "${1:-}" = "--windows" ]; then
  # the MinGW-w64 cross compilers (64-bit and 32-bit), widl, the platform's IDL
  # files, Wine of both architectures (the 32-bit one from the i386 packages),
  # NSIS for the installer, and GStreamer's wave parser for Wine's mpegvideo
  # device, of each architecture
  packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools libwine-dev wine wine64 xdotool nsis
            gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
  if [ "$(dpkg --print-architecture)" = amd64 ]; then
    i386=(wine32:i386 gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
    packages+=("${i386[@]}")
  fi
fi

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
if [ ${#i386[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get "${lock[@]}" update -q
# the i386 GStreamer plugins only where the archive has them (Wine runs without them,
# with no mpegvideo device)
wanted=()
for p in "${missing[@]}"; do
  case "$p" in
    gstreamer*:i386) apt-cache show "$p" >/dev/null 2>&1 || { echo "deps: no $p in the archive; skipped"; continue; } ;;
  esac
  wanted+=("$p")
done
$sudo apt-get "${lock[@]}" install -y -q --no-install-recommends "${wanted[@]}"
