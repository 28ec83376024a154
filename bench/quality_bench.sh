#!/usr/bin/env bash
# Vectorization quality on every demo figure at the defaults, quality=acceptable, quality=poor
# and with a bordered sheet in perspective: penvex renders each demo and writes its polylines
# with -ox, once with the default options and once with -auto; the table gives recall and
# precision within 3 pixels against the figure's own segments, and polylines per figure
# stroke, for both side by side. The last two lines hold the means.
# Usage: bench/quality_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/quality_bench.sh BUILD_DIR}"
cmake --build "$build" --target penvex bench_quality -j 2 > /dev/null
"$build/bench/bench_quality" "$build/penvex"
