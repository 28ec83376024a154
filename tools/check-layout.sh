#!/usr/bin/env bash
# Checks the layering of src/: a file may include headers of its own folder and of folders
# below it in the order below, never of a folder beside or above it; and no header outside the
# visualization folder and the application reaches the socket code.
# Usage: tools/check-layout.sh [SOURCE_DIR]; exits 1 and names every offending include.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}/src"

# Rank of each folder; a folder may include only folders of a lower rank (and itself).
declare -A rank=([core]=0 [xml]=1 [args]=1 [migration]=1 [vs]=2 [demo]=2 [raster]=3
                 [background]=4 [strokes]=4 [tracing]=5 [rectify]=6 [export]=6 [app]=7)
status=0
for dir in */; do
  dir=${dir%/}
  if [ -z "${rank[$dir]+x}" ]; then
    echo "src/$dir: folder missing from the layer order in tools/check-layout.sh"
    status=1
    continue
  fi
  while IFS=: read -r file line target; do
    used=${target%%/*}
    if [ "$used" != "$dir" ] && { [ -z "${rank[$used]+x}" ] || [ "${rank[$used]}" -ge "${rank[$dir]}" ]; }; then
      echo "src/$file:$line includes $target: $used is not below $dir"
      status=1
    fi
  done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$dir" | sed -E 's/#include "([^"]+)"/\1/')
done
# Only the visualization folder and the application may see sockets.
if offenders=$(grep -rlE '#include "vs/(sockets|tcp_client)\.hpp"' . | grep -vE '^\./(vs|app)/'); then
  echo "socket code reached from: $offenders"
  status=1
fi
exit $status
