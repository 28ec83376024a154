#!/usr/bin/env bash
# Runs every benchmark script bench/*_bench.sh against the Release build in BUILD_DIR.
# Usage: bench/run.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: bench/run.sh BUILD_DIR}"
for script in "$(dirname "$0")"/*_bench.sh; do
  bash "$script" "$build"
done
