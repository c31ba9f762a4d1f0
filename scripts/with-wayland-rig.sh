#!/usr/bin/env bash
# Runs a command inside a private GNOME Wayland desktop that needs no GPU: a session bus of its own,
# PipeWire and WirePlumber, headless mutter with one virtual monitor and XWayland (X11 programs run there,
# as on a GNOME desktop), the screen-cast portal (xdg-desktop-portal with the GNOME backend and the
# permission store), and the PulseAudio server of scripts/with-rig.sh.
#   scripts/with-wayland-rig.sh ctest -L wayland
#   QUOLVA_WAYLAND_MONITOR=1920x1080 scripts/with-wayland-rig.sh CMD   another monitor size (default 1280x720)
# The command sees DISPLAY and XAUTHORITY (the XWayland server), WAYLAND_DISPLAY, XDG_SESSION_TYPE=wayland,
# XDG_CURRENT_DESKTOP=GNOME, DBUS_SESSION_BUS_ADDRESS (the private bus, where the portal is),
# XDG_RUNTIME_DIR, PULSE_SERVER, QUOLVA_RIG_SINK, QUOLVA_RIG=1 and QUOLVA_WAYLAND_RIG=1. The portal asks
# the user before a screen cast; tests/support/wayland/seed_screencast_token.py stores the answer a user
# gives with "remember"; a session whose chooser is still open when it is closed makes the GNOME portal
# backend (43.1) crash, and the bus starts a new one for the next request. The servers' logs, and the
# times they were ready (steps.log), are in the folder above XDG_RUNTIME_DIR while the command runs.
# Everything the rig started, and whatever runs on its bus, is stopped when the command ends, whatever its
# outcome (XWayland takes about a second to go).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then echo "usage: with-wayland-rig.sh CMD [ARG...]" >&2; exit 2; fi
monitor=${QUOLVA_WAYLAND_MONITOR:-1280x720}
if ! [[ $monitor =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]]; then
  echo "with-wayland-rig: QUOLVA_WAYLAND_MONITOR is WIDTHxHEIGHT, not '$monitor'" >&2; exit 2
fi
rig=$(mktemp -d /tmp/quolva-wayland-rig.XXXXXX)
bus_address="unix:path=$rig/runtime/bus"
pids=()
. "$here/rig-sound.sh"

# Ends the rig's processes by pid, last started first, and the helpers the bus started on demand (the
# document portal, ...): they leave dbus-daemon's family, so they are found by this bus's address in their
# environment (where the bus adds ",guid=..." to it). What has not gone after 5 s is killed. The document
# portal's file system, mounted in the runtime folder, goes with it; if it stays, it is unmounted.
cleanup() {
  rig_sound_stop
  local ours=() i p e deadline
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null && ours+=("${pids[i]}") || true; done
  for e in $(grep -lzE "^DBUS_SESSION_BUS_ADDRESS=${bus_address//./\\.}(,|\$)" /proc/[0-9]*/environ 2>/dev/null); do
    p=${e#/proc/}; p=${p%/environ}
    [ "$p" = $$ ] || { kill "$p" 2>/dev/null && ours+=("$p") || true; }
  done
  deadline=$((${EPOCHREALTIME/./} + 5000000))
  for p in "${ours[@]}"; do
    while kill -0 "$p" 2>/dev/null && ((${EPOCHREALTIME/./} < deadline)); do sleep 0.05; done
    kill -KILL "$p" 2>/dev/null || true
  done
  if grep -qF " $rig/runtime/doc " /proc/mounts; then fusermount3 -u -z "$rig/runtime/doc" || true; fi
  rm -rf "$rig"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The desktop's environment. The servers keep their settings and data in the rig's folder (GSettings in
# memory); the command keeps the user's own.
unset DISPLAY XAUTHORITY WAYLAND_SOCKET
export XDG_RUNTIME_DIR="$rig/runtime"; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS="$bus_address"
export WAYLAND_DISPLAY=wayland-quolva XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
mkdir -p "$rig/portals" "$rig/config" "$rig/data" "$rig/cache" "$rig/state"
cp /usr/share/xdg-desktop-portal/portals/gnome.portal "$rig/portals/"   # no other backend is tried
server_env=(env XDG_CONFIG_HOME="$rig/config" XDG_DATA_HOME="$rig/data" XDG_CACHE_HOME="$rig/cache"
  XDG_STATE_HOME="$rig/state" XDG_DESKTOP_PORTAL_DIR="$rig/portals" GSETTINGS_BACKEND=memory
  NO_AT_BRIDGE=1 GTK_A11Y=none GSK_RENDERER=cairo)

started=${EPOCHREALTIME/./}
step() { printf '%6.2f s  %s\n' "$(((${EPOCHREALTIME/./} - started) / 10000))e-2" "$1" >>"$rig/steps.log"; }
fail() {
  { echo "with-wayland-rig: $1; its log, $(basename "$2"):"; cat "$2"; echo "with-wayland-rig: what was up:"; cat "$rig/steps.log"; } >&2
  exit 1
}
# start NAME PROGRAM [ARG...]: runs a server in the background, its output in $rig/NAME.log.
start() { local name=$1; shift; "${server_env[@]}" "$@" >"$rig/$name.log" 2>&1 & pids+=($!); }
# ready SECONDS WHAT LOG CHECK...: waits until CHECK succeeds; fails if the last started server ends first
# or if SECONDS pass.
ready() {
  local seconds=$1 what=$2 log=$3 pid=${pids[-1]}; shift 3
  local deadline=$((${EPOCHREALTIME/./} + seconds * 1000000))
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || fail "$what ended before it was ready" "$log"
    ((${EPOCHREALTIME/./} < deadline)) || fail "$what was not ready within $seconds s" "$log"
    sleep 0.025
  done
  step "$what"
}
has_name() {
  dbus-send --session --print-reply=literal --reply-timeout=1000 --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true
}
wireplumber_ready() { timeout 2 pw-cli ls Client 2>/dev/null | grep -q WirePlumber; }
x_display() { sed -n 's/.*Using public X11 display \(:[0-9]\+\).*/\1/p' "$rig/mutter.log" | head -n1; }
x_authority() { compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" | head -n1; }
mutter_ready() {
  has_name org.gnome.Mutter.ScreenCast && [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
    [ -n "$(x_display)" ] && [ -n "$(x_authority)" ] &&
    DISPLAY=$(x_display) XAUTHORITY=$(x_authority) timeout 2 xdpyinfo >/dev/null 2>&1
}
screencast_ready() {
  has_name org.freedesktop.portal.Desktop &&
    dbus-send --session --print-reply --reply-timeout=2000 --dest=org.freedesktop.portal.Desktop \
      /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
      string:org.freedesktop.portal.ScreenCast string:version >/dev/null 2>&1
}

# The order matters: WirePlumber links the cast's stream to its reader; the GNOME portal backend offers
# screen casts only if mutter is on the bus when it starts; names are awaited, never asked for (asking
# would start a second copy through the bus's activation).
start dbus dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS"
ready 10 "the session bus" "$rig/dbus.log" test -S "$XDG_RUNTIME_DIR/bus"
start pipewire pipewire
ready 10 "PipeWire" "$rig/pipewire.log" test -S "$XDG_RUNTIME_DIR/pipewire-0"
start wireplumber wireplumber
ready 10 "WirePlumber" "$rig/wireplumber.log" wireplumber_ready
start mutter mutter --headless --wayland --wayland-display "$WAYLAND_DISPLAY" --virtual-monitor "$monitor"
ready 30 "mutter and XWayland" "$rig/mutter.log" mutter_ready
start permission-store /usr/libexec/xdg-permission-store
ready 10 "the permission store" "$rig/permission-store.log" has_name org.freedesktop.impl.portal.PermissionStore
start portal-gnome /usr/libexec/xdg-desktop-portal-gnome -r
ready 10 "the GNOME portal backend" "$rig/portal-gnome.log" has_name org.freedesktop.impl.portal.desktop.gnome
start portal /usr/libexec/xdg-desktop-portal -r
ready 10 "the screen-cast portal" "$rig/portal.log" screencast_ready
DISPLAY=$(x_display); XAUTHORITY=$(x_authority); export DISPLAY XAUTHORITY

# The sound server, private to this rig.
rig_sound_start with-wayland-rig
step "PulseAudio"
export QUOLVA_WAYLAND_RIG=1

set +e
"$@"
status=$?
set -e
exit $status
