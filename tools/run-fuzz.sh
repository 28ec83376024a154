#!/usr/bin/env bash
# Runs every built fuzz target for a while on its committed seed corpus.
set -euo pipefail
build="$1"
seconds="${2:-60}"
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "No fuzz targets built yet."
  exit 0
fi
for target in "${targets[@]}"; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  seeds="fuzz/corpus/${name#fuzz_}"
  work="fuzz/corpus-work/${name#fuzz_}"
  mkdir -p "$work"
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")} 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' || true
done
