#!/usr/bin/env bash
# Scores rectification on the sample sheet photos against their true drawings:
#   - the F1 of the unrectified and the rectified drawing, both with -b none and the true sheet
#     corners typed on standard input for -r (they should agree closely);
#   - for each detection method, the F1 of the rectified drawing and how far each detected
#     corner lies from the true one, in pixels of the loaded image.
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

for name in sheet-on-desk large-sheet-on-desk; do
  image="$samples/$name.jpg"
  truth="$samples/$name.json"
  read -r w h < <("$py" -c "import json; print(*json.load(open('$truth'))['sheet_size'])")
  true_pairs "$truth" > pairs.txt
  "$penvex" "$image" -b none -q -ox plain.xml < /dev/null
  "$penvex" "$image" -b none -q -r -rs "$w" "$h" -ox rect.xml < pairs.txt > /dev/null
  echo "$name (sheet $w x $h)"
  echo "  -b none, true corners typed: F1 unrectified $(score "$truth" plain.xml)," \
       "rectified $(score "$truth" rect.xml --rectified "$w" "$h")"
  for method in lines segment; do
    "$penvex" "$image" -b "$method" -q -ox plain.xml < /dev/null
    if "$penvex" "$image" -b "$method" -q -r -rs "$w" "$h" -ox rect.xml < /dev/null; then
      echo "  -b $method: F1 unrectified $(score "$truth" plain.xml)," \
           "rectified $(score "$truth" rect.xml --rectified "$w" "$h");" \
           "$(corner_errors "$truth" plain.xml rect.xml "$w" "$h")"
    else
      echo "  -b $method: no sheet found"
    fi
  done
done
