#!/usr/bin/env bash
# Makes the NetPBM fixtures with ImageMagick and their reference samples with Pillow/numpy
# (8-bit and bitmap files) and ImageMagick's raw writer (16-bit files).
# Reference .raw files hold the samples top row first, 16-bit samples most significant byte
# first (the file's order), PBM pixels as 1 for black and 0 for white.
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert
$C -size 7x5 gradient:black-white -depth 8 grey8.pgm
$C -size 5x3 gradient:black-white -depth 16 grey16.pgm
$C -size 6x4 gradient:red-blue -depth 8 rgb8.ppm
$C -size 3x2 gradient:yellow-navy -depth 16 rgb16.ppm
$C -size 13x3 pattern:checkerboard -monochrome bits.pbm
/usr/bin/python3 - <<'PY'
import numpy as np
from PIL import Image
for name in ["grey8.pgm", "grey16.pgm", "rgb8.ppm", "rgb16.ppm", "bits.pbm"]:
    img = Image.open(name)
    a = np.array(img)
    if name.endswith(".pbm"):
        data = (~a).astype(np.uint8)            # True is white in Pillow's mode "1"
    elif "16" in name:
        continue                                # Pillow reduces 16-bit PPM to 8 bits
    else:
        data = a.astype(np.uint8)
    open(name + ".raw", "wb").write(data.tobytes())
    print(name, img.mode, img.size)
PY
# 16-bit references from ImageMagick's raw writer, most significant byte first.
$C grey16.pgm -depth 16 -endian MSB gray:grey16.pgm.raw
$C rgb16.ppm -depth 16 -endian MSB rgb:rgb16.ppm.raw
