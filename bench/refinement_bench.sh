#!/usr/bin/env bash
# Refinement and clutter grouping at 50k, 200k and 1M vertices (drawings made in the program,
# see bench/refinement_bench.cpp). The last line gives, for each, the growth of the time per
# vertex from one size to the next: 1 is linear, the mark is 1.3.
# Usage: bench/refinement_bench.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/refinement_bench.sh BUILD_DIR}"
cmake --build "$build" --target bench_refinement -j 2 > /dev/null
"$build/bench/bench_refinement"
