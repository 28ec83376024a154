#!/usr/bin/env bash
# Line extraction benchmark: drawings of constant stroke density (bench/tracing_drawing.py, drawn
# by ImageMagick) on canvases of 800 x 800, 1600 x 1600 and 3200 x 3200 pixels (about 1,000,
# 4,000 and 16,000 segments). First the real penvex runs on each with "-a 3 -b none" (lines 3
# pixels thick, so nothing is rescaled; no sheet to find) and its own status lines give the time
# of every step of the run; then bench_tracing times the extraction from the grey image to the
# connected lines set in-process (the fastest of nine samples, the drawings taking turns, a
# sample of a smaller drawing repeating it to last as long as one of the largest) and prints, on
# its last line, the ratio time(16x) / time(1x), which stays near 16 when the cost is linear in
# the drawing.
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
cmake --build "$build" --target penvex bench_tracing -j 2 > /dev/null
for drawing in "${drawings[@]}"; do
  status=0
  "$build/penvex" "$drawing" -a 3 -b none > "$work/tracing-run.out" 2> "$work/tracing-run.err" ||
    status=$?
  # Status lines end in "<seconds>s OK" or "<seconds>s FAIL".
  awk -v name="$(basename "$drawing")" -v status="$status" '
    /^\* / { n = split($0, f, " "); t = f[n - 1]; sub(/s$/, "", t); total += t
              step = $0; sub(/^\* /, "", step); sub(/ +[0-9.]+s (OK|FAIL)$/, "", step)
              steps = steps sprintf("%s%s %s", steps == "" ? "" : ", ", step, t) }
    END { printf "penvex %s: %.3f s in status steps (%s), exit %d\n", name, total, steps, status }
  ' "$work/tracing-run.out"
  [ "$status" -eq 0 ] || sed 's/^/  stopped: /' "$work/tracing-run.err" | head -1
done
"$build/bench/bench_tracing" "${drawings[@]}"
