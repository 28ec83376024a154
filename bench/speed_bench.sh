#!/usr/bin/env bash
# The whole run against the fastest JPEG decoder: for each 12-megapixel sample photo, the run
# `penvex FILE -q -ox out.xml` with the default -j and with -j 1, beside `djpeg -outfile
# /dev/null FILE` on the same file, best of 5 runs taken in alternation so that all three see
# the same machine; then the peak memory of the default run (/usr/bin/time -v) against the
# decoded RGB picture. The last line holds the worst ratio of the default run to djpeg.
# Without the samples, a photograph-like fractal plasma of that size stands in.
# Usage: bench/speed_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/speed_bench.sh BUILD_DIR}"
work="$build/bench-data/speed"
mkdir -p "$work"
cmake --build "$build" --target penvex -j 2 > /dev/null
penvex="$(cd "$build" && pwd)/penvex"
djpeg="$(command -v djpeg)"

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

# Nanoseconds of one run of the given command.
nanos() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(( end - start ))
}
seconds() { awk -v t="$1" 'BEGIN { printf "%.3f", t / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '%-26s %8s %8s %6s %8s %6s %9s %6s\n' photo djpeg penvex ratio '-j 1' ratio 'peak MB' '/RGB'
worst=0
for photo in "${photos[@]}"; do
  best_d=""; best_p=""; best_1=""
  for _ in 1 2 3 4 5; do
    d=$(nanos "$djpeg" -outfile /dev/null "$photo")
    p=$(nanos "$penvex" "$photo" -q -ox "$work/out.xml")
    one=$(nanos "$penvex" "$photo" -q -ox "$work/out.xml" -j 1)
    { [ -z "$best_d" ] || [ "$d" -lt "$best_d" ]; } && best_d=$d
    { [ -z "$best_p" ] || [ "$p" -lt "$best_p" ]; } && best_p=$p
    { [ -z "$best_1" ] || [ "$one" -lt "$best_1" ]; } && best_1=$one
  done
  # Peak resident memory against the decoded picture, width x height x 3 bytes.
  peak_kb=$(/usr/bin/time -v "$penvex" "$photo" -q -ox "$work/out.xml" 2>&1 >/dev/null |
    awk '/Maximum resident/ { print $NF }')
  pixels=$({ "$djpeg" -pnm "$photo" || true; } | head -c 64 | awk 'NR == 2 { print $1 * $2; exit }')
  r=$(ratio "$best_p" "$best_d")
  worst=$(awk -v r="$r" -v w="$worst" 'BEGIN { print (r > w ? r : w) }')
  printf '%-26s %8s %8s %6s %8s %6s %9.1f %6s\n' "$(basename "$photo")" "$(seconds "$best_d")" \
    "$(seconds "$best_p")" "$r" "$(seconds "$best_1")" "$(ratio "$best_1" "$best_d")" \
    "$(awk -v k="$peak_kb" 'BEGIN { print k / 1024 }')" \
    "$(awk -v k="$peak_kb" -v p="$pixels" 'BEGIN { printf "%.2f", k * 1024 / (3 * p) }')"
done
printf 'worst ratio whole run / djpeg: %s\n' "$worst"
