#!/usr/bin/env bash
# Runs every built fuzz target for a set time, starting from its committed seed corpus
# (fuzz/corpus/NAME/) and, when present, its dictionary (fuzz/fuzz_NAME.dict). Prints the time
# and number of executions of each run. A crash, hang or leak leaves its input in
# fuzz/crashes/NAME/ and makes the script fail once all targets have run; move such an input to
# fuzz/regressions/NAME/ after fixing the bug, so that the test suite replays it.
# Usage: tools/run-fuzz.sh BUILD_DIR [SECONDS_PER_TARGET [NAME...]]
# With names (for example `png jpeg`), only those targets run.
set -euo pipefail
build="$(cd "$1" && pwd)"
seconds="${2:-60}"
shift $(( $# < 2 ? $# : 2 ))
cd "$(dirname "$0")/.."

shopt -s nullglob
if [ $# -gt 0 ]; then
  targets=()
  for name in "$@"; do targets+=("$build/fuzz/fuzz_$name"); done
else
  targets=("$build"/fuzz/fuzz_*)
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "No fuzz targets built in $build."
  exit 1
fi

failed=()
for target in "${targets[@]}"; do
  if ! [ -f "$target" ] || ! [ -x "$target" ]; then
    echo "No fuzz target $target."
    failed+=("$(basename "$target")")
    continue
  fi
  name="$(basename "$target")"
  short="${name#fuzz_}"
  seeds="fuzz/corpus/$short"
  work="fuzz/corpus-work/$short"
  crashes="fuzz/crashes/$short"
  log="$build/$name.log"
  mkdir -p "$work" "$crashes"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$crashes/")
  [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
  # Defects that only large inputs show (quadratic work on long drawings, huge declared sizes,
  # long names echoed in errors) need inputs beyond libFuzzer's default of the largest seed.
  case "$short" in
    polygon_xml | xml_reader | inflate | png | netpbm) options+=(-max_len=1048576) ;;
    jpeg | point_pairs) options+=(-max_len=262144) ;;
  esac
  # New inputs go to the first folder (the uncommitted work corpus); the seeds are only read.
  dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== $name for ${seconds}s (log: $log)"
  start=$(date +%s)
  status=0
  "$target" "${options[@]}" "${dirs[@]}" > "$log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))
  execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)"
  peak="$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)"
  echo "   ran ${elapsed}s, ${execs:-unknown} executions, peak ${peak:-unknown} MB, exit status $status"
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | sed 's/^/   /' || true
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets that failed: ${failed[*]}"
  exit 1
fi
