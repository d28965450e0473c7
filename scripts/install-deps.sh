#!/usr/bin/env bash
# Installs every package the build, the tests, the demo and the installer need on Debian 12.
# Idempotent: packages already present are left alone, so a second run costs a few seconds.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config libssl-dev openssl googletest
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 nsis
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
  # Wine and a display
  wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick
  # what Wine's DirectShow needs to parse and render
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386
  pulseaudio pulseaudio-utils libasound2-plugins:i386
  # test media and its analysis
  ffmpeg sox python3
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && { echo "install-deps: all packages present"; exit 0; }

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
