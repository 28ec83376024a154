#!/usr/bin/env bash
# Deflate: the line masks and refined images that penvex writes for three sample photographs
# (a desk photo, a portrait photo, a large scan), compressed again from their raw image data by
# our encoder and by zlib at level 6 (gzip -6) in the same run. Usage: deflate_bench.sh BUILD
set -euo pipefail
build="${1:?usage: deflate_bench.sh BUILD_DIR}"
root="$(cd "$(dirname "$0")/.." && pwd)"
samples="${PENVEX_SAMPLES:-}"
if [ -z "$samples" ]; then
  for candidate in "$root/../shared/samples" /work/shared/samples; do
    [ -d "$candidate" ] && samples="$candidate" && break
  done
fi
work="$build/bench-data/deflate"
mkdir -p "$work"
cmake -S "$root" -B "$build" > /dev/null
cmake --build "$build" --target penvex bench_deflate -j 2 > /dev/null
files=()
for photo in desk-front desk-portrait large-scan; do
  if [ ! -s "$work/$photo-refined.png" ]; then
    "$build/penvex" "$samples/$photo.jpg" -q -a auto -b auto -om "$work/$photo-mask.png" \
      -oi "$work/$photo-refined.png" > /dev/null
  fi
  files+=("$work/$photo-mask.png" "$work/$photo-refined.png")
done
"$build/bench/bench_deflate" "${files[@]}"
