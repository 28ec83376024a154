#!/usr/bin/env bash
# `make run`: by default renders a perspective demo sheet at acceptable quality in a scratch
# folder and vectorizes it, then vectorizes the committed photo docs/sketch.jpg; with ARGS it
# runs penvex with those arguments instead.
set -euo pipefail
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
shift
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -gt 0 ]; then
  exec "$binary" "$@"
fi
out="$(pwd)/scratch/run"
mkdir -p "$out"
cd "$out"
demo="demo:square,background,backgroundborder,perspective,quality=acceptable"
echo "$ penvex $demo -os square-vector.svg -ox square-vector.xml -om square-mask.pgm"
"$binary" "$demo" -os square-vector.svg -ox square-vector.xml -om square-mask.pgm
echo
echo "Wrote into $out:"
echo "  square.png         the rendered photo of the demo sheet"
echo "  square.svg         the figure's own reference drawing (not flipped: y grows downward)"
echo "  square-vector.svg  the vectorized drawing"
echo "  square-vector.xml  the polylines as polygon XML"
echo "  square-mask.pgm    the line mask"
echo
echo "$ penvex docs/sketch.jpg -b segment -os sketch.svg -ox sketch.xml"
"$binary" "$root/docs/sketch.jpg" -b segment -os sketch.svg -ox sketch.xml
echo "Wrote sketch.svg (the drawing of the photo docs/sketch.jpg) and sketch.xml (its polylines)."
