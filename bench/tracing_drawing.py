#!/usr/bin/python3
# Draws a benchmark line drawing of constant stroke density with ImageMagick 6
# (/usr/bin/convert): a grid of 80-pixel cells with every cell border drawn (so that the
# borders form one connected skeleton region, like a large connected hatching: about 1,500
# segments of one region at 40 x 40 cells), and in every cell one figure: a circle, a wave, a
# diagonal hatching joined to the borders, or a rectangle.
# Black strokes 3 pixels wide, antialiased, on white, 8-bit PGM.
# Usage: tracing_drawing.py COLUMNS ROWS SEED OUT.pgm
#
# The drawing is rendered as one strip per row of cells and the strips are stacked, since the
# primitives of a large drawing exceed what one command line can carry; every strip draws all
# primitives that reach into it, shifted by a whole number of cells, so the strips join without
# seams.
import math
import os
import random
import subprocess
import sys
import tempfile

columns, rows, seed, output = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
cell = 80
random.seed(seed)
width, height = columns * cell, rows * cell
primitives = []  # (text with a {dy} placeholder for the strip shift, top, bottom)

def line(x0, y0, x1, y1):
    primitives.append(("line %.2f,{a} %.2f,{b}" % (x0, x1), (y0, y1), min(y0, y1), max(y0, y1)))

def chords(points):
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        line(x0, y0, x1, y1)

for c in range(columns + 1):
    x = min(c * cell, width - 2) + 1
    line(x, 1, x, height - 2)
for r in range(rows + 1):
    y = min(r * cell, height - 2) + 1
    line(1, y, width - 2, y)

for r in range(rows):
    for c in range(columns):
        ox, oy = c * cell, r * cell
        kind = random.randrange(4)
        if kind == 0:
            radius = random.uniform(18, 30)
            cx, cy = ox + cell / 2, oy + cell / 2
            primitives.append(("circle %.2f,{a} %.2f,{b}" % (cx, cx + radius), (cy, cy),
                               cy - radius, cy + radius))
        elif kind == 1:
            amplitude, phase = random.uniform(8, 18), random.uniform(0, math.pi)
            chords([(ox + 12 + i * 56 / 40,
                     oy + cell / 2 + amplitude * math.sin(phase + i * 2 * math.pi / 40))
                    for i in range(41)])
        elif kind == 2:
            step = random.uniform(11, 16)
            k = step
            while k < 2 * cell:
                line(ox + min(k, cell), oy + max(0.0, k - cell),
                     ox + max(0.0, k - cell), oy + min(k, cell))
                k += step
        else:
            inset = random.uniform(12, 20)
            top, bottom = oy + inset, oy + cell - inset
            primitives.append(("rectangle %.2f,{a} %.2f,{b}" % (ox + inset, ox + cell - inset),
                               (top, bottom), top, bottom))

with tempfile.TemporaryDirectory() as work:
    strips = []
    for r in range(rows):
        shift = r * cell
        drawn = ["stroke-linecap round"]
        for text, (a, b), top, bottom in primitives:
            if bottom >= shift - 4 and top <= shift + cell + 4:
                drawn.append(text.format(a="%.2f" % (a - shift), b="%.2f" % (b - shift)))
        strip = os.path.join(work, "strip%05d.pgm" % r)
        subprocess.run(["/usr/bin/convert", "-size", "%dx%d" % (width, cell), "xc:white",
                        "-stroke", "black", "-strokewidth", "3", "-fill", "none",
                        "-draw", " ".join(drawn), "-colorspace", "Gray", "-depth", "8", strip],
                       check=True)
        strips.append(strip)
    subprocess.run(["/usr/bin/convert"] + strips + ["-append", output], check=True)
