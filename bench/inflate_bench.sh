#!/usr/bin/env bash
# Inflate: the image data of the large sample photograph saved as PNG by ImageMagick at its
# default compression, decoded by us and by zlib in the same run. Usage: inflate_bench.sh BUILD
set -euo pipefail
build="${1:?usage: inflate_bench.sh BUILD_DIR}"
root="$(cd "$(dirname "$0")/.." && pwd)"
samples="${PENVEX_SAMPLES:-}"
if [ -z "$samples" ]; then
  for candidate in "$root/../shared/samples" /work/shared/samples; do
    [ -d "$candidate" ] && samples="$candidate" && break
  done
fi
work="$build/bench-data"
mkdir -p "$work"
photo="$work/large-sheet-on-desk.png"
if [ ! -s "$photo" ]; then
  /usr/bin/convert "$samples/large-sheet-on-desk.jpg" "$photo"
fi
# Configure again: zlib's development files may have been installed since the last configure.
cmake -S "$root" -B "$build" > /dev/null
cmake --build "$build" --target bench_inflate -j 2 > /dev/null
"$build/bench/bench_inflate" "$photo"
