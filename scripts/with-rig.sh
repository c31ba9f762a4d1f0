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
xvfb_pid=""; wm_pid=""; pulse_started=""
cleanup() {
  [ -n "$pulse_started" ] && pactl exit >/dev/null 2>&1 || true
  [ -n "${keepalive_pid:-}" ] && kill "$keepalive_pid" 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  sleep 0.3
  [ -f "$rig/pulse.pid" ] && kill "$(cat "$rig/pulse.pid")" 2>/dev/null || true
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

# The window manager: decorations, WM_DELETE_WINDOW, asynchronous moves, as users have them.
if [ -n "$window_manager" ]; then
  openbox --sm-disable >"$rig/openbox.log" 2>&1 &
  wm_pid=$!
  for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.05; done
  wmctrl -m >/dev/null 2>&1 || { echo "with-rig: openbox did not start:"; cat "$rig/openbox.log"; exit 1; } >&2
fi

# The sound server, private to this rig.
export XDG_RUNTIME_DIR="$rig/runtime"; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export HOME_FOR_PULSE="$rig/home"; mkdir -p "$HOME_FOR_PULSE"
export PULSE_SERVER="unix:$rig/pulse.socket"
export PULSE_STATE_PATH="$rig/state" PULSE_RUNTIME_PATH="$rig/runtime"
cat >"$rig/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$rig/pulse.socket
load-module module-null-sink sink_name=v sink_properties=device.description=QuolvaRigSink
load-module module-remap-source source_name=vmic master=v.monitor source_properties=device.description=QuolvaRigMic
set-default-sink v
set-default-source vmic
PA
HOME="$HOME_FOR_PULSE" pulseaudio -n -F "$rig/default.pa" --daemonize=no --exit-idle-time=-1 \
  --disallow-exit --use-pid-file=no --system=no --log-target=file:"$rig/pulse.log" &
echo $! >"$rig/pulse.pid"
pulse_started=1
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null 2>&1 || { echo "with-rig: PulseAudio did not start:"; cat "$rig/pulse.log"; exit 1; } >&2
# Keep the null sink busy so that its monitor delivers sound continuously, not in bursts.
pacat -p --latency-msec=20 -d v --raw --format=s16le --rate=44100 --channels=2 </dev/zero &
keepalive_pid=$!
sleep 2
export QUOLVA_RIG=1 QUOLVA_RIG_SINK=v

set +e
"$@"
status=$?
set -e
exit $status
