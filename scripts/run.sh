#!/usr/bin/env bash
# Installs what Quolva needs to run, builds the release program and starts it on the current display:
#   scripts/run.sh [REC.avi]      the program (opening REC.avi, when given)
# On a machine without a display it shows instead what the program does: in a private virtual display
# and sound server it records a moving scene with a tone, burns in a rising caption, publishes the result
# as an H.264 AVI and an SWF movie, and prints where the files are and what they hold:
#   scripts/run.sh [DIR]          the demonstration's files go to DIR (default: a new folder here)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" run
"$top/scripts/build.sh" release
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$top/build/release/bin/quolva" "$@"
fi
echo "run.sh: there is no display here; showing what Quolva does on a private virtual display instead"
exec "$top/scripts/with-rig.sh" --no-window-manager "$top/build/release/bin/quolvactl" demo "$@"
