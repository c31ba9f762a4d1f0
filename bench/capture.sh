#!/usr/bin/env bash
# Runs the capture benchmark on a private 1920x1080 X display, then the portal and X11 recordings of a
# private 1920x1080 Wayland desktop.
#   bench/capture.sh [BUILD_DIR]      (default build/test)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/test}
work=$(mktemp -d /tmp/quolva-bench.XXXXXX)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
DISPLAY=":$(head -n1 "$work/display")" "$build/bin/bench_capture"

# On a Wayland desktop (a private GNOME one, 1920x1080): CPU per recorded frame of a 10-second full-screen
# recording through the screen cast portal, beside the X11 grab of the same desktop (XWayland, which sees
# only X11 windows) in the same run. A native window changes colour every 50 ms, so frames keep coming.
echo "CPU per recorded frame on a Wayland desktop (1920x1080, busy):"
QUOLVA_WAYLAND_MONITOR=1920x1080 "$top/scripts/with-wayland-rig.sh" bash -c '
  set -euo pipefail
  export XDG_CONFIG_HOME="'"$work"'/config" QUOLVA_SOUND_SOURCE=tone:440
  mkdir -p "$XDG_CONFIG_HOME/Quolvaer"
  /usr/bin/python3 "'"$top"'/tests/support/wayland/colour_window.py" --period 50 >"'"$work"'/window.log" 2>&1 &
  for _ in $(seq 100); do grep -q "colour window up" "'"$work"'/window.log" && break; sleep 0.1; done
  token=$(/usr/bin/python3 "'"$top"'/tests/support/wayland/seed_screencast_token.py")
  printf "[General]\nscreencast_token=%s\n" "$token" >"$XDG_CONFIG_HOME/Quolvaer/cg.conf"
  for method in portal x11; do
    out="'"$work"'/$method.avi"
    cpu=$( { QUOLVA_CAPTURE=$method /usr/bin/time -f "%U %S" "'"$build"'/bin/quolvactl" record "$out" --full-screen \
             --seconds 10 >"'"$work"'/$method.log"; } 2>&1 | tail -n1)
    frames=$(sed -n "s/^frames written: //p" "'"$work"'/$method.log")
    awk -v m="$method" -v f="$frames" -v c="$cpu" "BEGIN { split(c, t, \" \"); s = t[1] + t[2];
      printf \"    %-8s %3d frames, %6.2f CPU s, %6.1f CPU ms per frame\n\", m, f, s, f ? 1000 * s / f : 0 }"
  done'
