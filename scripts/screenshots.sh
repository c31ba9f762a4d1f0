#!/usr/bin/env bash
# Refreshes the interface screenshots under docs/screenshots: runs the GUI and end-to-end tests inside
# the private display rig (and the Wayland tests in the private GNOME desktop) with QUOLVA_SCREENSHOT_DIR
# set, so that each test saves what the screen showed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh" test
mkdir -p "$top/docs/screenshots"
cd "$top/build/test"
QUOLVA_SCREENSHOT_DIR="$top/docs/screenshots" "$top/scripts/with-rig.sh" ctest -L 'gui|e2e' -LE wayland --output-on-failure
QUOLVA_SCREENSHOT_DIR="$top/docs/screenshots" "$top/scripts/with-wayland-rig.sh" ctest -L wayland --output-on-failure
ls -l "$top/docs/screenshots"
