#!/usr/bin/env bash
# Makes the photographed-sketch fixtures of the export tests with Pillow and numpy (Debian's
# python3-pil, python3-numpy): a colour photo of a pen sketch on a sheet lying on a desk, and a
# grey scan of thick marker strokes. The stroke centrelines are written beside each picture in
# the program's frame (x = column, y = height - 1 - row from the top), one polyline a line as
# "x y x y ...", so the tests judge the output against how the picture was drawn.
set -euo pipefail
cd "$(dirname "$0")"
/usr/bin/python3 - <<'PY'
import math
import numpy as np
from PIL import Image, ImageDraw, ImageFilter

def circle(cx, cy, r, n=24):
    pts = [(cx + r * math.cos(2 * math.pi * k / n), cy + r * math.sin(2 * math.pi * k / n))
           for k in range(n)]
    return pts + [pts[0]]

def draw_strokes(draw, strokes, colour, width):
    for pts in strokes:
        draw.line(pts, fill=colour, width=width, joint="curve")
        r = width / 2.0
        for x, y in (pts[0], pts[-1]):   # round caps
            draw.ellipse((x - r, y - r, x + r, y + r), fill=colour)

def write_centrelines(path, strokes, height):
    with open(path, "w") as out:
        for pts in strokes:
            out.write(" ".join("%g %g" % (x, height - 1 - y) for x, y in pts) + "\n")

rng = np.random.default_rng(20231205)

# sketch.ppm: 320 x 240 colour photo. A sheet (corners given top-down) on a brown desk, a pen
# drawing of a house, a hill and a sun, and small marks (a cross, a tick, dots) as clutter.
W, H = 320, 240
img = Image.new("RGB", (W, H), (112, 80, 54))
d = ImageDraw.Draw(img)
d.polygon([(22, 18), (300, 24), (296, 224), (18, 216)], fill=(236, 232, 220))
drawing = [
    [(70, 110), (170, 110), (170, 190), (70, 190), (70, 110)],          # house body
    [(60, 115), (120, 60), (180, 115)],                                  # roof
    [(105, 190), (105, 150), (135, 150), (135, 190)],                    # door
    [(190, 170), (215, 150), (240, 140), (265, 150), (285, 170)],        # hill
    circle(245, 70, 18),                                                 # sun
]
clutter = [
    [(52, 36), (60, 44)], [(60, 36), (52, 44)],                          # a small cross
    [(250, 203), (250, 211)],                                            # a tick
    [(40, 205), (41, 205)], [(272, 198), (273, 198)],                    # dots
]
pen = (35, 45, 130)
draw_strokes(d, drawing, pen, 3)
draw_strokes(d, clutter, pen, 3)
a = np.asarray(img.filter(ImageFilter.GaussianBlur(0.7)), dtype=np.float64)
shade = np.linspace(-12, 6, W)[None, :, None]                            # uneven light
a = np.clip(a + shade + rng.normal(0, 3, a.shape), 0, 255).astype(np.uint8)
Image.fromarray(a, "RGB").save("sketch.ppm")
write_centrelines("sketch.lines", drawing, H)
write_centrelines("sketch.clutter", clutter, H)

# thick.pgm: 480 x 360 grey scan of 12-pixel marker strokes on plain paper (no desk): a "Z"
# and a box beside its diagonal.
W, H = 480, 360
img = Image.new("L", (W, H), 226)
d = ImageDraw.Draw(img)
strokes = [
    [(60, 60), (420, 60), (60, 300), (420, 300)],
    [(80, 110), (170, 110), (170, 200), (80, 200), (80, 110)],
]
draw_strokes(d, strokes, 38, 12)
a = np.asarray(img.filter(ImageFilter.GaussianBlur(1.0)), dtype=np.float64)
a = np.clip(a + rng.normal(0, 3, a.shape), 0, 255).astype(np.uint8)
Image.fromarray(a, "L").save("thick.pgm")
write_centrelines("thick.lines", strokes, H)
PY
ls -l sketch.ppm thick.pgm
