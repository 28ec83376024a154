#!/usr/bin/env bash
# JPEG benchmark: a 12-megapixel 4:2:0 photograph at quality 90, baseline and progressive,
# decoded by us and by djpeg in the same run. Usage: bench/jpeg_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/jpeg_bench.sh BUILD_DIR}"
work="$build/bench-data"
mkdir -p "$work"

# The large sample photograph is 4000 x 3000, 4:2:0, quality 90; without it, a photograph-like
# fractal plasma of that size goes through cjpeg at quality 90 (4:2:0 is cjpeg's default).
baseline="$work/jpeg-baseline-q90.jpg"
if [ ! -s "$baseline" ]; then
  sample=""
  for candidate in "${PENVEX_SAMPLES:-}" "$(dirname "$0")/../../shared/samples" /work/shared/samples; do
    [ -n "$candidate" ] && [ -s "$candidate/large-sheet-on-desk.jpg" ] && sample="$candidate/large-sheet-on-desk.jpg" && break
  done
  if [ -n "$sample" ]; then
    cp "$sample" "$baseline"
  else
    /usr/bin/convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 "$work/plasma.ppm"
    cjpeg -quality 90 -outfile "$baseline" "$work/plasma.ppm"
  fi
fi
progressive="$work/jpeg-progressive-q90.jpg"
[ -s "$progressive" ] || jpegtran -progressive -outfile "$progressive" "$baseline"

cmake --build "$build" --target bench_jpeg -j 2 > /dev/null
"$build/bench/bench_jpeg" "$(command -v djpeg)" "$baseline" "$progressive"
