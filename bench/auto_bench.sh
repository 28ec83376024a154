#!/usr/bin/env bash
# The automatic mode's cost: for each 12-megapixel sample photo, the whole run with the default
# options and with -auto (`penvex FILE -q -ox out.xml [-auto]`), best of 5 runs taken in
# alternation so that both see the same machine, and the ratio. The last line holds the worst
# ratio. Without the samples, a photograph-like fractal plasma of that size stands in.
# Usage: bench/auto_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/auto_bench.sh BUILD_DIR}"
work="$build/bench-data/auto"
mkdir -p "$work"
cmake --build "$build" --target penvex -j 2 > /dev/null
penvex="$(cd "$build" && pwd)/penvex"

photos=()
for candidate in "${PENVEX_SAMPLES:-}" "$(dirname "$0")/../../shared/samples" /work/shared/samples; do
  if [ -n "$candidate" ] && [ -s "$candidate/large-scan.jpg" ]; then
    photos=("$candidate/large-sheet-on-desk.jpg" "$candidate/large-scan.jpg"
            "$candidate/large-sticky-on-desk.jpg")
    break
  fi
done
if [ ${#photos[@]} -eq 0 ]; then
  /usr/bin/convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 "$work/plasma.ppm"
  cjpeg -quality 90 -outfile "$work/plasma.jpg" "$work/plasma.ppm"
  photos=("$work/plasma.jpg")
fi

# Seconds of one run, with nanosecond clock readings around it.
seconds() {
  local start end
  start=$(date +%s%N)
  "$penvex" "$@" -q -ox "$work/out.xml" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(( end - start ))
}

printf '%-28s %12s %12s %8s\n' "photo" "defaults s" "-auto s" "ratio"
worst=0
for photo in "${photos[@]}"; do
  best_default=""; best_auto=""
  for _ in 1 2 3 4 5; do
    d=$(seconds "$photo"); a=$(seconds "$photo" -auto)
    [ -z "$best_default" ] || [ "$d" -lt "$best_default" ] && best_default=$d
    [ -z "$best_auto" ] || [ "$a" -lt "$best_auto" ] && best_auto=$a
  done
  ratio=$(awk -v a="$best_auto" -v d="$best_default" 'BEGIN { printf "%.2f", a / d }')
  worst=$(awk -v r="$ratio" -v w="$worst" 'BEGIN { print (r > w ? r : w) }')
  printf '%-28s %12.3f %12.3f %8s\n' "$(basename "$photo")" \
    "$(awk -v t="$best_default" 'BEGIN { print t / 1e9 }')" \
    "$(awk -v t="$best_auto" 'BEGIN { print t / 1e9 }')" "$ratio"
done
printf 'worst ratio -auto / defaults: %s\n' "$worst"
