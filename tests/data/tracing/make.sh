#!/usr/bin/env bash
# Draws the line-drawing fixtures with ImageMagick 6 (Debian's /usr/bin/convert): black strokes
# 3 pixels wide, antialiased, on white, saved as 8-bit binary PGM. The drawn geometry of each
# file is listed beside it in NAME.strokes, in ImageMagick's drawing coordinates (x to the
# right, y downward, the centre of pixel column i at about x = i).
#
# This ImageMagick closes every stroked path (bezier, path, polyline, arc primitives alike), so
# open curves are drawn as chains of short line primitives with round caps (so that the chords
# join without notches; the caps also extend the ink by 1.5 pixels at the curves' ends): 120
# chords per curve, which stay within 0.1 pixel of the curve. Straight strokes have butt caps
# and end where they were drawn.
set -euo pipefail
cd "$(dirname "$0")"
# draw NAME SIZE LINECAP PRIMITIVE...: all primitives in one drawing context.
draw() {
  local name=$1 size=$2 cap=$3
  shift 3
  /usr/bin/convert -size "$size" xc:white -stroke black -strokewidth 3 -fill none \
    -draw "stroke-linecap $cap $*" -colorspace Gray -depth 8 "$name.pgm"
}
# Chords of a curve, one line primitive per line: curve KIND PARAMETERS...
chords() {
  /usr/bin/python3 - "$@" <<'PY'
import math, sys
kind, values = sys.argv[1], [float(v) for v in sys.argv[2:]]
def bezier(t, p):
    u = 1 - t
    return (u**3 * p[0] + 3 * u * u * t * p[2] + 3 * u * t * t * p[4] + t**3 * p[6],
            u**3 * p[1] + 3 * u * u * t * p[3] + 3 * u * t * t * p[5] + t**3 * p[7])
def ellipse(t, p):
    cx, cy, rx, ry, a0, a1 = p
    a = math.radians(a0 + (a1 - a0) * t)
    return (cx + rx * math.cos(a), cy + ry * math.sin(a))
f = bezier if kind == "bezier" else ellipse
points = [f(i / 120, values) for i in range(121)]
for (x0, y0), (x1, y1) in zip(points, points[1:]):
    print("line %.3f,%.3f %.3f,%.3f" % (x0, y0, x1, y1))
PY
}
mapfile -t bezier < <(chords bezier 20 160 60 20 140 20 180 160)
mapfile -t arc < <(chords ellipse 235 140 35 20 180 360)

draw rectangle 200x150 butt "rectangle 30,25 170,125"
draw cross 200x150 butt "line 20,75 180,75" "line 100,15 100,135"
draw curves 280x180 round "${bezier[@]}" "circle 235,55 235,25" "${arc[@]}"
