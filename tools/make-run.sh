#!/usr/bin/env bash
# `make run`: vectorizes the committed sketch photo (docs/sketch.jpg) by default, or runs penvex
# with the given args.
set -euo pipefail
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
shift
if [ $# -gt 0 ]; then
  exec "$binary" "$@"
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(dirname "$binary")"
echo "$ penvex docs/sketch.jpg -os $out/sketch.svg -ox $out/sketch.xml"
"$binary" "$root/docs/sketch.jpg" -os "$out/sketch.svg" -ox "$out/sketch.xml"
echo "Wrote $out/sketch.svg (the drawing) and $out/sketch.xml (its polylines)."
