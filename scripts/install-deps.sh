#!/usr/bin/env bash
# Installs the Debian packages Quolva needs.
#   scripts/install-deps.sh run    building and running the program, and its demonstration on a machine
#                                  without a display (a private virtual display and sound server)
#   scripts/install-deps.sh test   all of that, and the test tools (the default)
# Idempotent: packages already present are skipped, so a second run does nothing. As root it runs
# apt-get itself; otherwise through sudo, saying first what it installs.
set -euo pipefail
purpose=${1:-test}

run_packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # GUI, sound input, pictures, deflate, video compressors, resampling, X11
  qt6-base-dev qt6-base-private-dev qt6-qpa-plugins qt6-multimedia-dev libqt6opengl6-dev libpulse-dev
  libjpeg62-turbo-dev zlib1g-dev
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev
  libxcb1-dev libxcb-shm0-dev libxcb-keysyms1-dev libxcb-xinput-dev libxkbcommon-dev libx11-dev
  # screen frames from a Wayland desktop's screen-cast portal
  libpipewire-0.3-dev
  # the Chinese interface (also the texts of Qt's own dialogs) and the shell
  fonts-wqy-microhei qt6-translations-l10n xdg-utils xchm
  # help file compiler
  fp-utils
  # the demonstration without a display: a virtual display and a private sound server
  xvfb pulseaudio pulseaudio-utils
)

test_packages=(
  # a window manager as desktops have one, pointer and keys, window facts
  openbox wmctrl xdotool x11-apps x11-utils
  # independent readers of what Quolva writes
  ffmpeg sox python3-yaswfp
  # another reader of the web movies: GStreamer's discoverer with its demuxers and decoders
  gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # the SWF export played in a real player: Ruffle (from npm) in Debian's Chromium, driven by Node
  chromium
  # a GNOME Wayland desktop without a GPU (scripts/with-wayland-rig.sh): a private session bus, PipeWire,
  # headless mutter with XWayland, the screen-cast portal and its permission store; its test helpers
  # (a native Wayland window, the seeded permission, the pointer) in Python
  dbus-daemon dbus-bin pipewire pipewire-bin wireplumber mutter xwayland
  xdg-desktop-portal xdg-desktop-portal-gnome python3-gi gir1.2-gtk-4.0 python3-dbus
  # sanitizers and fuzzers
  clang libclang-rt-14-dev
)

case "$purpose" in
  run)  packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "install-deps.sh: say 'run' or 'test', not '$purpose'" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# Node and npm run the player test; a machine may bring its own (npm then comes with node).
if [ "$purpose" = test ] && { ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; }; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: these Debian packages are missing and installing them needs root (or sudo):" >&2
    echo "  ${missing[*]}" >&2
    exit 1
  fi
  echo "install-deps: installing with sudo (it may ask for your password): ${missing[*]}"
  as_root=(sudo)
else
  echo "install-deps: installing ${missing[*]}"
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
