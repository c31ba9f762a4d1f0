#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a while (default 60 s) on its seed corpus.
#   scripts/fuzz.sh [SECONDS]
# A crash, a hang (over 10 s for one input) or an allocation above 512 MB fails the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$top/scripts/build.sh" fuzz
bin="$top/build/fuzz/bin"
shopt -s nullglob
targets=("$bin"/fuzz_*)
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets built" >&2; exit 1; }
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work="$top/build/fuzz/corpus/$name"; mkdir -p "$work"
  seeds=()
  [ -d "$top/fuzz/corpus/$name" ] && seeds=("$top/fuzz/corpus/$name")
  echo "fuzz.sh: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
            -print_final_stats=1 "$work" "${seeds[@]}" 2>"$top/build/fuzz/$name.log" \
    || { tail -n 40 "$top/build/fuzz/$name.log" >&2; echo "fuzz.sh: $name failed" >&2; exit 1; }
  grep -E '^stat::number_of_executed_units' "$top/build/fuzz/$name.log" || true
done
