#!/usr/bin/env bash
# Installs what Quolva needs, builds the test flavour and runs the whole test suite: unit tests, GUI and
# end-to-end tests inside the private display and sound rig, the Wayland recording tests inside a private
# GNOME desktop, the SWF writer's tests under the sanitizers, and a short run of every fuzz target.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" test

"$top/scripts/build.sh" test
(cd "$top/build/test" && "$top/scripts/with-rig.sh" ctest --output-on-failure --no-tests=error -j2 -LE wayland)
# Recording on a Wayland desktop, through its screen cast portal, in a GNOME desktop of its own.
(cd "$top/build/test" && "$top/scripts/with-wayland-rig.sh" ctest --output-on-failure --no-tests=error -L wayland)

"$top/scripts/build.sh" sanitize
(cd "$top/build/sanitize" && ctest --output-on-failure --no-tests=error)

if [ -x "$top/scripts/fuzz.sh" ]; then
  "$top/scripts/fuzz.sh" 60
fi
echo "test.sh: all tests passed"
