#!/usr/bin/env bash
# Makes docs/sketch.jpg, the photo that `make run` vectorizes: a sheet of paper in mild
# perspective on a wooden desk with a pen flowchart (boxes, arrows, a decision diamond, a
# circle) and a few scribbled labels, drawn with Pillow and numpy (Debian's python3-pil,
# python3-numpy) and compressed by cjpeg (libjpeg-turbo-progs) at quality 90.
set -euo pipefail
cd "$(dirname "$0")"
/usr/bin/python3 - <<'PY'
import math
import numpy as np
from PIL import Image, ImageDraw, ImageFilter

rng = np.random.default_rng(4242)
W, H = 800, 600
# Desk: warm brown with a faint wood grain.
y, x = np.mgrid[0:H, 0:W]
grain = 8 * np.sin(x / 9.0 + 3 * np.sin(y / 60.0))
desk = np.stack([120 + grain, 86 + grain * 0.8, 58 + grain * 0.6], axis=-1)
img = Image.fromarray(np.clip(desk, 0, 255).astype(np.uint8), "RGB")
d = ImageDraw.Draw(img)
sheet = [(70, 48), (742, 70), (724, 560), (52, 540)]
d.polygon(sheet, fill=(238, 236, 228))

# Map drawing coordinates on the unit sheet into the photographed quadrilateral.
def on_sheet(u, v):
    (x0, y0), (x1, y1), (x2, y2), (x3, y3) = sheet
    top = (x0 + (x1 - x0) * u, y0 + (y1 - y0) * u)
    bottom = (x3 + (x2 - x3) * u, y3 + (y2 - y3) * u)
    return (top[0] + (bottom[0] - top[0]) * v, top[1] + (bottom[1] - top[1]) * v)

def stroke(points, width=4, colour=(28, 34, 96)):
    pts = [on_sheet(u, v) for u, v in points]
    d.line(pts, fill=colour, width=width, joint="curve")
    r = width / 2
    for px, py in (pts[0], pts[-1]):
        d.ellipse((px - r, py - r, px + r, py + r), fill=colour)

def box(u0, v0, u1, v1):
    stroke([(u0, v0), (u1, v0), (u1, v1), (u0, v1), (u0, v0)])

def arrow(u0, v0, u1, v1):
    stroke([(u0, v0), (u1, v1)])
    a = math.atan2(v1 - v0, u1 - u0)
    for s in (-1, 1):
        stroke([(u1, v1), (u1 - 0.025 * math.cos(a + s * 0.5), v1 - 0.033 * math.sin(a + s * 0.5))])

box(0.08, 0.10, 0.32, 0.26)
box(0.08, 0.62, 0.32, 0.80)
stroke([(0.60, 0.08), (0.74, 0.20), (0.60, 0.32), (0.46, 0.20), (0.60, 0.08)])
circle = [(0.72 + 0.09 * math.cos(t), 0.70 + 0.12 * math.sin(t))
          for t in np.linspace(0, 2 * math.pi, 40)]
stroke(circle)
arrow(0.32, 0.18, 0.45, 0.19)
arrow(0.60, 0.33, 0.60, 0.56)
arrow(0.62, 0.70, 0.33, 0.71)
arrow(0.20, 0.61, 0.20, 0.28)
# Scribbled labels: short strokes that are not attached to the drawing.
for k, (u, v) in enumerate([(0.14, 0.17), (0.55, 0.19), (0.14, 0.70), (0.68, 0.69), (0.40, 0.42)]):
    for j in range(3):
        du = 0.012 * j
        stroke([(u + du, v - 0.012 + 0.004 * (k % 2)), (u + du + 0.006, v + 0.012)], width=3)

a = np.asarray(img.filter(ImageFilter.GaussianBlur(0.9)), dtype=np.float64)
light = np.linspace(-18, 10, W)[None, :, None] + np.linspace(-6, 6, H)[:, None, None]
a = np.clip(a + light + rng.normal(0, 2.5, a.shape), 0, 255).astype(np.uint8)
Image.fromarray(a, "RGB").save("sketch.ppm")
PY
cjpeg -quality 90 -outfile sketch.jpg sketch.ppm
rm sketch.ppm
ls -l sketch.jpg
