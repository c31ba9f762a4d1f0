#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quolva needs.
# Idempotent: packages already present are skipped, so a second run does nothing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # GUI, sound input, pictures, deflate, video compressors, X11
  qt6-base-dev qt6-base-private-dev qt6-qpa-plugins qt6-multimedia-dev libqt6opengl6-dev libpulse-dev
  libjpeg62-turbo-dev zlib1g-dev
  libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libxcb1-dev libxcb-shm0-dev libxcb-keysyms1-dev libx11-dev
  # the Chinese interface and the shell
  fonts-wqy-microhei xdg-utils xchm
  # help file compiler
  fp-utils
  # tests: virtual display, window manager, pointer and keys, sound server, independent readers, sanitizers and fuzzers
  xvfb openbox wmctrl xdotool x11-apps x11-utils pulseaudio pulseaudio-utils ffmpeg sox python3-yaswfp
  # the SWF export played in a real player: Ruffle (from npm) in Debian's Chromium, driven by Node
  chromium
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# Node and npm run the player test; a machine may bring its own (npm then comes with node).
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
