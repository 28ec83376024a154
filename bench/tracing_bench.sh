#!/usr/bin/env bash
# Line extraction benchmark: drawings of constant stroke density (bench/tracing_drawing.py, drawn
# by ImageMagick) on canvases of 800 x 800, 1600 x 1600 and 3200 x 3200 pixels, traced from the
# grey image to the connected lines set. Prints the time per size and, on its last line, the
# ratio time(16x) / time(1x), which stays near 16 when the cost is linear in the drawing.
# Usage: bench/tracing_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/tracing_bench.sh BUILD_DIR}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$build/bench-data"
mkdir -p "$work"
drawings=()
for cells in 10 20 40; do
  drawing="$work/tracing-${cells}x${cells}.pgm"
  [ -s "$drawing" ] || /usr/bin/python3 "$here/tracing_drawing.py" "$cells" "$cells" 5 "$drawing"
  drawings+=("$drawing")
done
cmake --build "$build" --target bench_tracing -j 2 > /dev/null
"$build/bench/bench_tracing" "${drawings[@]}"
