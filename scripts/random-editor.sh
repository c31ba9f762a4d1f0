#!/usr/bin/env bash
# Runs the randomized test of the editor's commands longer than CI does, with new seeds each round:
#   scripts/random-editor.sh [MINUTES] [SEEDS-PER-ROUND]   (default 10 minutes, 20 seeds a round)
# QUOLVA_RANDOM_STEPS sets the steps of each sequence. A failing seed is printed with its steps; add it to
# the test's fixed seeds once the fault is mended, so that it keeps running in CI.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-10}
per_round=${2:-20}
"$top/scripts/build.sh" test
test_program="$top/build/test/bin/editor_gui_random_editor_commands"
end=$(( $(date +%s) + minutes * 60 ))
round=0
while [ "$(date +%s)" -lt "$end" ]; do
  round=$((round + 1))
  echo "random-editor: round $round, $per_round new seeds"
  QUOLVA_RANDOM_SEEDS="new:$per_round" "$top/scripts/with-rig.sh" "$test_program" -o -,txt
done
echo "random-editor: $round rounds passed"
