#!/usr/bin/env bash
# Loading and conditioning benchmark: the 12-megapixel sample photograph of a sheet on a desk
# (4000 x 3000 JPEG) is loaded, converted to grey and scaled to the default line thickness
# (1155 x 866), then conditioned and searched for the sheet by both methods.
# Without the sample, a photograph-like fractal plasma of that size made by ImageMagick and
# cjpeg stands in. Usage: bench/loading_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/loading_bench.sh BUILD_DIR}"
work="$build/bench-data"
mkdir -p "$work"

photo="$work/loading-12mp.jpg"
if [ ! -s "$photo" ]; then
  sample=""
  for candidate in "${PENVEX_SAMPLES:-}" "$(dirname "$0")/../../shared/samples" /work/shared/samples; do
    [ -n "$candidate" ] && [ -s "$candidate/large-sheet-on-desk.jpg" ] && sample="$candidate/large-sheet-on-desk.jpg" && break
  done
  if [ -n "$sample" ]; then
    cp "$sample" "$photo"
  else
    /usr/bin/convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 "$work/plasma.ppm"
    cjpeg -quality 90 -outfile "$photo" "$work/plasma.ppm"
  fi
fi

cmake --build "$build" --target bench_loading -j 2 > /dev/null
"$build/bench/bench_loading" "$photo"
