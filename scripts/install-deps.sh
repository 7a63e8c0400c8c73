#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test, when any is missing.
set -euo pipefail

packages=(g++ cmake ninja-build make pkg-config qt6-base-dev qt6-multimedia-dev qt6-svg-dev
  libsndfile1-dev libpulse-dev libmosquitto-dev
  googletest libgtest-dev libbenchmark-dev libfftw3-dev clang libclang-rt-14-dev
  xvfb xauth openbox xdotool x11-utils pulseaudio pulseaudio-utils sox imagemagick
  mosquitto mosquitto-clients openssl python3)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
