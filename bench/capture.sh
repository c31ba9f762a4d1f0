#!/usr/bin/env bash
# Runs the capture benchmark on a private 1920x1080 X display.
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
