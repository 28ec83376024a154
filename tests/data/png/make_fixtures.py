#!/usr/bin/python3
# Makes the PNG fixtures and their reference decodes. Run from this folder with Debian's
# python3 (python3-pil, python3-numpy) and ImageMagick (/usr/bin/convert, /usr/bin/stream):
#   /usr/bin/python3 make_fixtures.py
# Every NAME.png that decodes has NAME.raw beside it: ImageMagick's exact decode of the PNG,
#   /usr/bin/stream -map MAP -storage-type char|short NAME.png NAME.raw
# with MAP I, IA, RGB or RGBA as the file's colour type has it (palette images: RGB), rows
# top-down; 16-bit samples are swapped from stream's little-endian output to the file's
# most-significant-byte-first order. Where Pillow decodes a file exactly (8-bit modes and
# 16-bit grey) its decode is checked to agree.
import subprocess
import zlib

import numpy as np
from PIL import Image, PngImagePlugin

rng = np.random.default_rng(20230422)
W, H = 45, 31
CONVERT = '/usr/bin/convert'


def run(*args):
    subprocess.run(list(args), check=True)


def picture(channels, bits):
    """Smooth gradients with noise and a few flat areas: every row filter has work to do."""
    y, x = np.mgrid[0:H, 0:W]
    top = (1 << bits) - 1
    planes = []
    for c in range(channels):
        base = (x * (c + 3) * 97 + y * (c + 1) * 181 + (x * y) % (17 + c) * 13) % (top + 1)
        noise = rng.integers(0, top // 16 + 2, size=(H, W))
        plane = (base + noise) % (top + 1)
        plane[5:12, 8:20] = top // (c + 2)
        planes.append(plane)
    dtype = np.uint16 if bits == 16 else np.uint8
    return np.stack(planes, axis=-1).astype(dtype)


def write_pam(path, pixels, tupltype):
    h, w, depth = pixels.shape
    maxval = 65535 if pixels.dtype == np.uint16 else 255
    with open(path, 'wb') as f:
        f.write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %d\nTUPLTYPE %s\nENDHDR\n'
                % (w, h, depth, maxval, tupltype))
        f.write(pixels.astype('>u2').tobytes() if maxval == 65535 else pixels.tobytes())


def reference(name):
    ihdr = open(name + '.png', 'rb').read()[16:29]
    depth, ctype = ihdr[8], ihdr[9]
    channels = {0: 'I', 2: 'RGB', 3: 'RGB', 4: 'IA', 6: 'RGBA'}[ctype]
    storage = 'short' if depth == 16 else 'char'
    data = subprocess.run(['/usr/bin/stream', '-map', channels, '-storage-type', storage,
                           name + '.png', '-'], check=True, capture_output=True).stdout
    if depth == 16:
        data = np.frombuffer(data, '<u2').astype('>u2').tobytes()
    with open(name + '.raw', 'wb') as f:
        f.write(data)
    im = Image.open(name + '.png')
    if im.mode in ('L', 'LA', 'RGB', 'RGBA', 'P'):
        if depth == 8:
            assert (im.convert('RGB') if im.mode == 'P' else im).tobytes() == data, name
    elif im.mode in ('I', 'I;16', 'I;16B'):
        assert im.tobytes('raw', 'I;16B') == data, name


# Pillow: 8-bit grey, grey with alpha, RGB, RGBA, 16-bit grey, palette.
Image.fromarray(picture(1, 8)[:, :, 0], 'L').save('grey8.png')
Image.fromarray(picture(2, 8), 'LA').save('greyalpha8.png')
Image.fromarray(picture(3, 8), 'RGB').save('rgb8.png')
Image.fromarray(picture(4, 8), 'RGBA').save('rgba8.png')
Image.fromarray(picture(1, 16)[:, :, 0], 'I;16').save('grey16.png')
rgb = Image.fromarray(picture(3, 8), 'RGB')
rgb.quantize(colors=180, method=Image.Quantize.MEDIANCUT).save('palette8.png')
for name in ('grey8', 'greyalpha8', 'rgb8', 'rgba8', 'palette8'):
    reference(name)
reference('grey16')

# ImageMagick (libpng): 16-bit grey with alpha, RGB and RGBA from 16-bit PAM sources, and an
# 8-bit palette image. libpng splits image data into IDAT chunks of 8 KiB, and ImageMagick
# adds ancillary chunks (gAMA, cHRM, bKGD, tIME, tEXt).
write_pam('src.pam', picture(2, 16), b'GRAYSCALE_ALPHA')
run(CONVERT, 'src.pam', '-depth', '16', '-define', 'png:color-type=4', 'greyalpha16.png')
write_pam('src.pam', picture(3, 16), b'RGB')
run(CONVERT, 'src.pam', '-depth', '16', 'rgb16.png')
write_pam('src.pam', picture(4, 16), b'RGB_ALPHA')
run(CONVERT, 'src.pam', '-depth', '16', 'rgba16.png')
write_pam('src.pam', picture(3, 8), b'RGB')
run(CONVERT, 'src.pam', '-colors', '200', 'PNG8:palette8-im.png')
# An 8-bit RGB image with adaptive filtering (libpng picks a filter per row among all five),
# with rows that favour each: flat rows (None), rows repeating the one above (Up), gradients
# and noise (Sub, Average, Paeth).
rows = picture(3, 8)
rows[3:6] = 0
rows[20:24] = rows[19]
rows[26:29] = np.linspace(0, 255, W * 3).reshape(W, 3).astype(np.uint8)
write_pam('src.pam', rows, b'RGB')
run(CONVERT, 'src.pam', '-define', 'png:compression-filter=5', 'filters.png')
for name in ('greyalpha16', 'rgb16', 'rgba16'):
    reference(name)
reference('palette8-im')
reference('filters')

# Pillow with text chunks of all three kinds and image data split into small IDAT chunks.
info = PngImagePlugin.PngInfo()
info.add_text('Title', 'ancillary chunks')
info.add_text('Comment', 'compressed text ' * 20, zip=True)
info.add_itxt('Description', 'international text', lang='en', tkey='Description')
PngImagePlugin.ImageFile.MAXBLOCK = 256
Image.fromarray(picture(3, 8), 'RGB').save('ancillary.png', pnginfo=info)
reference('ancillary')

# Sub-byte and interlaced files (refused once; their references come from make_variants.py).
Image.fromarray(picture(1, 8)[:, :, 0] > 128).save('grey1.png')                     # 1-bit grey
rgb.quantize(colors=16).save('palette4.png', bits=4)                             # 4-bit palette
run(CONVERT, 'grey8.png', '-interlace', 'PNG', 'interlaced.png')                  # Adam7
run('rm', '-f', 'src.pam')


def chunks(data):
    pos, out = 8, []
    while pos < len(data):
        n = int.from_bytes(data[pos:pos + 4], 'big')
        out.append((data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]))
        pos += 12 + n
    return out


def assemble(parts):
    out = bytearray(b'\x89PNG\r\n\x1a\n')
    for kind, body in parts:
        out += len(body).to_bytes(4, 'big') + kind + body
        out += zlib.crc32(kind + body).to_bytes(4, 'big')
    return bytes(out)


def filter_types(name):
    parts = chunks(open(name + '.png', 'rb').read())
    ihdr = parts[0][1]
    w, h, depth, ctype = (int.from_bytes(ihdr[0:4], 'big'), int.from_bytes(ihdr[4:8], 'big'),
                          ihdr[8], ihdr[9])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    raw = zlib.decompress(b''.join(body for kind, body in parts if kind == b'IDAT'))
    row = w * channels * depth // 8 + 1
    return sorted(set(raw[r * row] for r in range(h)))


# Damaged copies of real files, with the checksums of the changed chunks recomputed.
grey8 = open('grey8.png', 'rb').read()
parts = chunks(grey8)
with open('signature-only.png', 'wb') as f:
    f.write(grey8[:8])
bad = bytearray(grey8)
bad[8 + 25 + 8 + len(parts[1][1]) + 1] ^= 0x40         # a byte of the IDAT chunk's CRC
with open('badcrc.png', 'wb') as f:
    f.write(bytes(bad))
with open('critical.png', 'wb') as f:
    f.write(assemble(parts[:1] + [(b'CUST', b'critical')] + parts[1:]))
idat = bytearray(parts[1][1])
idat[1] ^= 0x01                                          # (CMF * 256 + FLG) no longer % 31
with open('badzlib.png', 'wb') as f:
    f.write(assemble(parts[:1] + [(b'IDAT', bytes(idat))] + parts[2:]))
# A fixed-code block: literal 0 (filter byte), then a match of length 3 at distance 2, which
# reaches one byte before the start.
bits = []
def put(v, n, msb_first=False):
    seq = [(v >> i) & 1 for i in range(n)]
    bits.extend(reversed(seq) if msb_first else seq)
put(1, 1); put(1, 2)
put(0x30 + 0, 8, True)          # literal 0
put(1, 7, True)                 # symbol 257: length 3
put(1, 5, True)                 # distance code 1: distance 2
put(0, 7, True)                 # end of block
stream = bytearray((len(bits) + 7) // 8)
for i, b in enumerate(bits):
    stream[i // 8] |= b << (i % 8)
ihdr = bytearray(parts[0][1])
ihdr[0:8] = (2).to_bytes(4, 'big') + (1).to_bytes(4, 'big')   # 2 x 1 grey
with open('backref.png', 'wb') as f:
    f.write(assemble([(b'IHDR', bytes(ihdr)), (b'IDAT', b'\x78\x01' + bytes(stream) + b'\0\0\0\0'),
                      (b'IEND', b'')]))
assert filter_types('filters') == [0, 1, 2, 3, 4]
