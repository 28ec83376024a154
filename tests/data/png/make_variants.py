#!/usr/bin/python3
# Makes the PNG variants that phones and scanners write beside the files of make_fixtures.py:
# grey below 8 bits, palettes below 8 bits, Adam7 interlacing, transparency chunks, and one
# header that claims far more pixels than we decode. Run from this folder, after
# make_fixtures.py, with Debian's python3 (python3-pil) and ImageMagick 6:
#   /usr/bin/python3 make_variants.py
# The reference decode NAME.raw is ImageMagick's, as in make_fixtures.py (grey below 8 bits
# comes out stretched to 8 bits, palettes as RGB).
import subprocess
import zlib

from PIL import Image

CONVERT = '/usr/bin/convert'


def run(*args):
    subprocess.run(list(args), check=True)


def reference(name):
    ihdr = open(name + '.png', 'rb').read()[16:29]
    depth, ctype = ihdr[8], ihdr[9]
    channels = {0: 'I', 2: 'RGB', 3: 'RGB', 4: 'IA', 6: 'RGBA'}[ctype]
    storage = 'short' if depth == 16 else 'char'
    # stream delivers grey below 8 bits unscaled (0 or 1 for 1-bit) and RGB with a colour key
    # with an extra alpha; convert's gray: and rgb: writers give 8-bit grey and RGB.
    command = ['/usr/bin/stream', '-map', channels, '-storage-type', storage, name + '.png', '-']
    if depth <= 8 and ctype in (0, 2, 3):
        command = [CONVERT, name + '.png', '-depth', '8', 'gray:-' if ctype == 0 else 'rgb:-']
    data = subprocess.run(command, check=True, capture_output=True).stdout
    if depth == 16:
        data = b''.join(data[i + 1:i + 2] + data[i:i + 1] for i in range(0, len(data), 2))
    with open(name + '.raw', 'wb') as f:
        f.write(data)
    return depth, ctype, ihdr[12]


def grey(depth, source, name, *extra):
    run(CONVERT, source, *extra, '-depth', str(depth), '-type', 'Grayscale', name + '.png')


rgb = Image.open('rgb8.png')
grey(2, 'grey8.png', 'grey2')
grey(4, 'grey8.png', 'grey4')
rgb.quantize(colors=2).save('palette1.png', bits=1)
rgb.quantize(colors=4).save('palette2.png', bits=2)
# Adam7: 16-bit RGB, 1-bit grey and a 2-bit palette (pixels narrower than a byte in every pass),
# and a 3 x 2 picture whose passes 2, 4 and 6 hold no pixels at all.
run(CONVERT, 'rgb16.png', '-interlace', 'PNG', 'rgb16-adam7.png')
grey(1, 'grey1.png', 'grey1-adam7', '-interlace', 'PNG')
run(CONVERT, 'palette2.png', '-interlace', 'PNG', 'palette4-adam7.png')
run(CONVERT, 'grey8.png', '-crop', '3x2+0+0', '+repage', '-interlace', 'PNG', 'tiny-adam7.png')
# Transparency chunks, which we ignore: an RGB colour key and palette alpha values.
rgb.save('trns-rgb.png', transparency=tuple(rgb.getpixel((0, 0))))
Image.open('palette8.png').save('trns-palette.png', transparency=bytes(range(0, 180)))

for name in ('grey1', 'grey2', 'grey4', 'palette1', 'palette2', 'palette4', 'interlaced',
             'rgb16-adam7', 'grey1-adam7', 'palette4-adam7', 'tiny-adam7', 'trns-rgb',
             'trns-palette'):
    depth, ctype, interlace = reference(name)
    print(name, 'depth', depth, 'colour type', ctype, 'interlace', interlace)

# 60000 x 60000 16-bit RGBA (3.6 gigapixels) with a few bytes of image data.
def chunk(kind, body):
    return len(body).to_bytes(4, 'big') + kind + body + zlib.crc32(kind + body).to_bytes(4, 'big')


header = (60000).to_bytes(4, 'big') * 2 + bytes([16, 6, 0, 0, 0])
with open('huge-header.png', 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(bytes(1000))) + chunk(b'IEND', b''))
