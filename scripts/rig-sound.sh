# The private PulseAudio server of the test rigs, sourced by scripts/with-rig.sh and
# scripts/with-wayland-rig.sh: a null sink "v" and, as the default source, a source that hears it, so that
# tests record real sound headless.
#   rig_sound_start NAME   starts the server in the rig's folder $rig (runtime files in $XDG_RUNTIME_DIR,
#                          which must exist, mode 0700) and exports PULSE_SERVER and the server's paths, so
#                          that the command reaches this server only, QUOLVA_RIG=1 and QUOLVA_RIG_SINK (the
#                          sink to play test sounds into); NAME begins its failure message
#   rig_sound_stop         stops the server and its keep-alive player (for the EXIT trap; never fails)
pulse_started=""; keepalive_pid=""

rig_sound_start() {
  export HOME_FOR_PULSE="$rig/home"; mkdir -p "$HOME_FOR_PULSE"
  export PULSE_SERVER="unix:$rig/pulse.socket"
  export PULSE_STATE_PATH="$rig/state" PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR"
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
  pactl info >/dev/null 2>&1 || { echo "$1: PulseAudio did not start:"; cat "$rig/pulse.log"; exit 1; } >&2
  # Keep the null sink busy so that its monitor delivers sound continuously, not in bursts.
  pacat -p --latency-msec=20 -d v --raw --format=s16le --rate=44100 --channels=2 </dev/zero &
  keepalive_pid=$!
  sleep 2
  export QUOLVA_RIG=1 QUOLVA_RIG_SINK=v
}

rig_sound_stop() {
  [ -n "$pulse_started" ] && pactl exit >/dev/null 2>&1 || true
  [ -n "$keepalive_pid" ] && kill "$keepalive_pid" 2>/dev/null || true
  sleep 0.3
  [ -f "$rig/pulse.pid" ] && kill "$(cat "$rig/pulse.pid")" 2>/dev/null || true
}
