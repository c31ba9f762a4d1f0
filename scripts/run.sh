#!/usr/bin/env bash
# Installs what Quolva needs, builds the release program and starts it on the current display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" release
exec "$top/build/release/bin/quolva" "$@"
