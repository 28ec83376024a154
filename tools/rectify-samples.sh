#!/usr/bin/env bash
# Scores rectification on the sample sheet photos against their true drawings:
#   - the F1 of the unrectified and the rectified drawing, both with -b none and the true sheet
#     corners typed on standard input for -r (they should agree closely);
#   - for each detection method, the F1 of the rectified drawing and how far each detected
#     corner lies from the true one, in pixels of the loaded image;
#   - the refined image (-oi) with the true corners against OpenCV's warp of the photo through
#     them: its size, and per quarter the shift of best correlation of their details.
# Usage: tools/rectify-samples.sh [PENVEX] [SAMPLES_DIR]
# Needs Debian's python3-numpy, python3-scipy and python3-opencv (for /usr/bin/python3).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/ensure-deps.sh" samples
penvex="$(realpath "${1:-$root/build/penvex}")"
samples="$(realpath "${2:-$root/../shared/samples}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

py=/usr/bin/python3
score() { "$py" "$samples/score.py" "$@" | sed -n 's/^f1: //p'; }

# The four pairs (rectified corner, true image corner) for a W x H rectangle.
true_pairs() {
  "$py" - "$1" <<'EOF'
import json, sys
d = json.load(open(sys.argv[1]))
w, h = d["sheet_size"]
rect = [(0, 0), (w, 0), (w, h), (0, h)]
for (X, Y), (x, y) in zip(rect, d["sheet_corners"]):
    print(X, Y, x, y)
EOF
}

# The detected corners, recovered from one run with and one without -r: both list the same
# vertices in the same order (rectification only changes the view), so the perspective between
# them maps the rectangle's corners back to where the run put the sheet's corners. Prints each
# corner's distance to the true corner it was matched with (best cyclic order).
corner_errors() {
  "$py" - "$@" <<'EOF'
import json, sys
import numpy as np, cv2
import xml.etree.ElementTree as ET

def vertices(path):
    root = ET.parse(path).getroot()
    return np.array([[float(p.find("x").text), float(p.find("y").text)]
                     for p in root.iter("point") if p.find("x") is not None], np.float64)

truth, plain, rect, w, h = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4]), float(sys.argv[5])
a, b = vertices(plain), vertices(rect)
keep = np.isfinite(a).all(axis=1) & np.isfinite(b).all(axis=1)
H, _ = cv2.findHomography(b[keep], a[keep], 0)
corners = cv2.perspectiveTransform(np.array([[[0, 0], [w, 0], [w, h], [0, h]]], np.float64), H)[0]
true = np.array(json.load(open(truth))["sheet_corners"], np.float64)
best = min(range(4), key=lambda k: np.linalg.norm(np.roll(true, -k, axis=0) - corners, axis=1).sum())
errors = np.linalg.norm(np.roll(true, -best, axis=0) - corners, axis=1)
print("start at true corner %d; corner errors (px): %s" % (best, " ".join("%.1f" % e for e in errors)))
EOF
}

# Compares the rectified refined image with OpenCV's warp of the photo through the true corners
# onto the same rectangle (both y up in penvex's frame, rows from the top in OpenCV's).
refined_check() {
  "$py" - "$@" <<'EOF'
import json, math, sys
import numpy as np, cv2

truth, photo, ours, w, h = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4]), float(sys.argv[5])
d = json.load(open(truth))
source = cv2.imread(photo, cv2.IMREAD_COLOR)
H, W = source.shape[:2]
s = math.sqrt(W * H / (w * h))
ow, oh = int(s * w), int(s * h)
rect = [(0, 0), (w, 0), (w, h), (0, h)]
dst = np.float32([(X * s, oh - 1 - Y * s) for X, Y in rect])
src = np.float32([(x, H - 1 - y) for x, y in d["sheet_corners"]])
M = cv2.getPerspectiveTransform(dst, src)
reference = cv2.warpPerspective(source, M, (ow, oh), flags=cv2.INTER_LINEAR | cv2.WARP_INVERSE_MAP)
out = cv2.imread(ours, cv2.IMREAD_COLOR)


def detail(img):
    g = img.astype(np.float64).mean(axis=2)
    return g - cv2.blur(g, (9, 9))


def normalised(v):
    return (v - v.mean()) / v.std()


a, b = detail(out), detail(reference)
shifts = []
if a.shape == b.shape:
    m = 30
    for ty in range(2):
        for tx in range(2):
            y0, y1 = m + ty * (oh - 2 * m) // 2, m + (ty + 1) * (oh - 2 * m) // 2
            x0, x1 = m + tx * (ow - 2 * m) // 2, m + (tx + 1) * (ow - 2 * m) // 2
            u = normalised(a[y0:y1, x0:x1])
            best = max(((u * normalised(b[y0 + dy:y1 + dy, x0 + dx:x1 + dx])).mean(), dx, dy)
                       for dy in range(-12, 13) for dx in range(-12, 13))
            shifts.append("(%d,%d)" % (best[1], best[2]))
print("refined image %d x %d (photo %d x %d, reference %d x %d); best shifts per quarter: %s"
      % (out.shape[1], out.shape[0], W, H, ow, oh, " ".join(shifts)))
EOF
}

for name in sheet-on-desk large-sheet-on-desk; do
  image="$samples/$name.jpg"
  truth="$samples/$name.json"
  read -r w h < <("$py" -c "import json; print(*json.load(open('$truth'))['sheet_size'])")
  true_pairs "$truth" > pairs.txt
  "$penvex" "$image" -b none -q -ox plain.xml < /dev/null
  "$penvex" "$image" -b none -q -r -rs "$w" "$h" -ox rect.xml -oi refined.png < pairs.txt \
    > /dev/null
  echo "$name (sheet $w x $h)"
  echo "  -b none, true corners typed: F1 unrectified $(score "$truth" plain.xml)," \
       "rectified $(score "$truth" rect.xml --rectified "$w" "$h")"
  echo "  $(refined_check "$truth" "$image" refined.png "$w" "$h")"
  for method in lines segment; do
    if "$penvex" "$image" -b "$method" -q -ox plain.xml < /dev/null 2> /dev/null &&
      "$penvex" "$image" -b "$method" -q -r -rs "$w" "$h" -ox rect.xml < /dev/null; then
      echo "  -b $method: F1 unrectified $(score "$truth" plain.xml)," \
           "rectified $(score "$truth" rect.xml --rectified "$w" "$h");" \
           "$(corner_errors "$truth" plain.xml rect.xml "$w" "$h")"
    else
      echo "  -b $method: no sheet found"
    fi
  done
done
