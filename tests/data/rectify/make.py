#!/usr/bin/python3
# Makes the rectification fixtures from the 400 x 300 copy of the sheet photo (made by
# ../background/make.sh) and the sheet's true corners in the sample's JSON, with OpenCV
# (Debian's python3-opencv). Run from this folder:
#   /usr/bin/python3 make.py /path/to/shared/samples/sheet-on-desk.json
#
# sheet-400-pairs.txt: the four point pairs for -r -rs 297 210, one per line: rectified x,
#   rectified y, image x, image y, with the true corners carried into the 400 x 300 frame as
#   (c + 0.5) s - 0.5 (how ImageMagick's resize maps pixel centres), s = 400 / 1600.
# sheet-400-297x210.png: the picture warped by OpenCV through those corners onto the
#   297 x 210 rectangle, at the size that keeps about the picture's pixel count
#   (s = sqrt(400 * 300 / (297 * 210)), sizes truncated), bilinear, black outside.
# sheet-turned-400-297x210.png: the same for ../background/sheet-turned-400.ppm, the photo
#   turned by ImageMagick's -distort SRT "826,598 0.7 -12 560,500" before the resize; its
#   corners are the true ones carried through that distortion.
import json
import math
import sys

import cv2
import numpy as np

truth = json.load(open(sys.argv[1] if len(sys.argv) > 1 else
                       "../../../../shared/samples/sheet-on-desk.json"))
W, H = 297.0, 210.0
rectangle = [(0.0, 0.0), (W, 0.0), (W, H), (0.0, H)]


def turned(corners, h, cx, cy, scale, angle, nx, ny):
    """Corners (x, y up, pixel centres at integers) of a picture h pixels high after
    ImageMagick's -distort SRT "cx,cy scale angle nx,ny": in its continuous frame (y down,
    pixel centres at c + 0.5) p goes to n + scale R (p - c), R turning clockwise as seen by
    angle degrees (negative: counter-clockwise)."""
    a = math.radians(angle)
    out = []
    for x, y in corners:
        px, py = x + 0.5 - cx, (h - 0.5 - y) - cy
        qx = nx + scale * (px * math.cos(a) - py * math.sin(a))
        qy = ny + scale * (px * math.sin(a) + py * math.cos(a))
        out.append((qx - 0.5, h - 0.5 - qy))
    return out


def warp(picture, true_corners, full_width, output):
    source = cv2.imread(picture, cv2.IMREAD_COLOR)
    height, width = source.shape[:2]
    factor = width / full_width
    corners = [((x + 0.5) * factor - 0.5, (y + 0.5) * factor - 0.5) for x, y in true_corners]
    s = math.sqrt(width * height / (W * H))
    ow, oh = int(s * W), int(s * H)
    # Both frames count y upward from the bottom row; OpenCV counts rows from the top.
    dst = np.float32([(X * s, oh - 1 - Y * s) for X, Y in rectangle])
    src = np.float32([(x, height - 1 - y) for x, y in corners])
    M = cv2.getPerspectiveTransform(dst, src)
    warped = cv2.warpPerspective(source, M, (ow, oh),
                                 flags=cv2.INTER_LINEAR | cv2.WARP_INVERSE_MAP,
                                 borderMode=cv2.BORDER_CONSTANT, borderValue=(0, 0, 0))
    cv2.imwrite(output, warped)
    print("%s: %d x %d from %d x %d" % (output, ow, oh, width, height))
    return corners


corners = warp("../background/sheet-400.ppm", truth["sheet_corners"], truth["width"],
               "sheet-400-297x210.png")
with open("sheet-400-pairs.txt", "w") as out:
    for (X, Y), (x, y) in zip(rectangle, corners):
        out.write("%g %g %.4f %.4f\n" % (X, Y, x, y))
warp("../background/sheet-turned-400.ppm",
     turned(truth["sheet_corners"], truth["height"], 826, 598, 0.7, -12, 560, 500),
     truth["width"], "sheet-turned-400-297x210.png")
