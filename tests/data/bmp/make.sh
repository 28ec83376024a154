#!/usr/bin/env bash
# Makes the BMP fixtures from a 29 x 17 crop of png/rgb8.png (odd width: every row padded) with
# Pillow (python3-pil) and ImageMagick 6 (/usr/bin/convert), and their reference decodes:
# NAME.raw is `/usr/bin/convert NAME.bmp -depth 8 rgb:-`, 8-bit RGB rows top-down.
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
$C ../png/rgb8.png -crop 29x17+7+5 +repage "$tmp/src.png"

# ImageMagick: 4-bit palette, run-length coded 8-bit palette, 16-bit 5-6-5 and 32-bit ARGB with
# colour masks (BMP version 5 headers), and the oldest 12-byte header (24-bit).
$C "$tmp/src.png" -colors 12 BMP3:palette4.bmp
$C "$tmp/src.png" -colors 200 -compress RLE BMP3:rle8.bmp
$C "$tmp/src.png" -define bmp:subtype=RGB565 BMP:rgb565.bmp
$C "$tmp/src.png" -alpha set -define bmp:subtype=ARGB8888 BMP:argb32.bmp
$C "$tmp/src.png" BMP2:core24.bmp

/usr/bin/python3 - "$tmp/src.png" <<'PY'
import sys
from PIL import Image
src = Image.open(sys.argv[1]).convert('RGB')
# Pillow: 1-bit, 8-bit grey (grey palette), 8-bit palette, 24-bit, 32-bit BGRA without masks.
src.convert('1').save('bilevel1.bmp')
src.convert('L').save('grey8.bmp')
src.quantize(colors=100).save('palette8.bmp')
src.save('rgb24.bmp')
src.convert('RGBA').save('rgba32.bmp')

# rgb24 stored top-down: rows reversed and the height negated, as some scanners write it.
data = bytearray(open('rgb24.bmp', 'rb').read())
offset = int.from_bytes(data[10:14], 'little')
width, height = int.from_bytes(data[18:22], 'little'), int.from_bytes(data[22:26], 'little')
stride = (width * 3 + 3) // 4 * 4
rows = [data[offset + r * stride:offset + (r + 1) * stride] for r in range(height)]
data[22:26] = (-height).to_bytes(4, 'little', signed=True)
data[offset:] = b''.join(reversed(rows))
open('topdown24.bmp', 'wb').write(bytes(data))

# Run-length coded 4-bit, assembled by hand (no encoder at hand writes it): a 16-colour
# palette and, per line, a run, a literal run of odd length, a move, an end of line; after the
# last line the end-of-picture code.
w, h = 29, 17
palette = b''.join(bytes((i * 16, 255 - i * 16, (i * 85) % 256, 0)) for i in range(16))
runs = bytearray()
for y in range(h):
    runs += bytes((7, (y % 16) << 4 | (y + 3) % 16))     # 7 pixels alternating two colours
    runs += bytes((0, 5, 0x12, 0x34, 0x50, 0))           # 5 literal pixels 1 2 3 4 5, padded
    if y % 4 == 0:
        runs += bytes((0, 2, 3, 0))                      # move 3 to the right
    runs += bytes((9, 0xAB))
    runs += b'\x00\x00\x00\x01' if y == h - 1 else b'\x00\x00'
info = (40).to_bytes(4, 'little') + w.to_bytes(4, 'little') + h.to_bytes(4, 'little') + \
    (1).to_bytes(2, 'little') + (4).to_bytes(2, 'little') + (2).to_bytes(4, 'little') + \
    len(runs).to_bytes(4, 'little') + bytes(8) + (16).to_bytes(4, 'little') + bytes(4)
start = 14 + len(info) + len(palette)
header = b'BM' + (start + len(runs)).to_bytes(4, 'little') + bytes(4) + start.to_bytes(4, 'little')
open('rle4.bmp', 'wb').write(header + info + palette + bytes(runs))
PY

for f in *.bmp; do
  $C "$f" -depth 8 rgb:- > "${f%.bmp}.raw"
done
