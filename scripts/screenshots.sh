#!/usr/bin/env bash
# Refreshes the interface screenshots under docs/screenshots: runs the GUI and end-to-end tests inside
# the private display rig with QUOLVA_SCREENSHOT_DIR set, so that each test saves what the screen showed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh" test
mkdir -p "$top/docs/screenshots"
cd "$top/build/test"
QUOLVA_SCREENSHOT_DIR="$top/docs/screenshots" "$top/scripts/with-rig.sh" ctest -L 'gui|e2e' --output-on-failure
ls -l "$top/docs/screenshots"
