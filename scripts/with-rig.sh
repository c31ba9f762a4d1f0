#!/usr/bin/env bash
# Runs a command inside a private test rig: a virtual X display (Xvfb) with a light window manager
# (openbox, as on a real desktop) and a PulseAudio server whose default source hears a null sink, so that
# tests can record the screen and real sound headless.
#   scripts/with-rig.sh ctest -L gui
#   scripts/with-rig.sh --no-window-manager CMD   the same without openbox (the demonstration needs none)
# The command sees DISPLAY, PULSE_SERVER, QUOLVA_RIG_SINK (the sink to play test sounds into) and
# QUOLVA_RIG=1. Both servers are stopped when the command ends, whatever its outcome.
set -euo pipefail
window_manager=1
if [ "${1:-}" = "--no-window-manager" ]; then window_manager=""; shift; fi
rig=$(mktemp -d /tmp/quolva-rig.XXXXXX)
xvfb_pid=""; wm_pid=""
. "$(dirname "$0")/rig-sound.sh"
cleanup() {
  rig_sound_stop
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$rig"
}
trap cleanup EXIT

# The display: Xvfb picks a free number and writes it to fd 3. -noreset: the server must not reset (and
# paint its root black) each time its last client goes.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$rig/display" 2>"$rig/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$rig/display" ] && break; sleep 0.05; done
[ -s "$rig/display" ] || { echo "with-rig: Xvfb did not start:"; cat "$rig/xvfb.log"; exit 1; } >&2
export DISPLAY=":$(head -n1 "$rig/display")"
# An X11 session, whatever desktop the rig was started from: no recording may go through that desktop's
# screen cast portal.
unset WAYLAND_DISPLAY
export XDG_SESSION_TYPE=x11

# The window manager: decorations, WM_DELETE_WINDOW, asynchronous moves, as users have them.
if [ -n "$window_manager" ]; then
  openbox --sm-disable >"$rig/openbox.log" 2>&1 &
  wm_pid=$!
  for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.05; done
  wmctrl -m >/dev/null 2>&1 || { echo "with-rig: openbox did not start:"; cat "$rig/openbox.log"; exit 1; } >&2
fi

# The sound server, private to this rig.
export XDG_RUNTIME_DIR="$rig/runtime"; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
rig_sound_start with-rig

set +e
"$@"
status=$?
set -e
exit $status
