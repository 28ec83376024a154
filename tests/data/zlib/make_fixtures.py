#!/usr/bin/python3
# Makes the inflate fixtures with Python's zlib (Debian's python3, linked against zlib):
# two source files and their raw DEFLATE streams at every level and with the special
# strategies. Run from this folder: /usr/bin/python3 make_fixtures.py
import random
import zlib

rng = random.Random(20230422)

# Text-like data: words from a small vocabulary, so that matches of all lengths and distances
# up to the full 32 KiB window occur.
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(1, 9)))
         for _ in range(600)]
text = []
size = 0
while size < 40000:
    w = rng.choice(words)
    w += '\n' if rng.random() < 0.08 else ' '
    text.append(w)
    size += len(w)
text = ''.join(text).encode('ascii')[:40000]

# Binary data: incompressible noise, long runs (distance 1), short periodic patterns
# (distances 2 to 7) and far copies of earlier material.
mixed = bytearray()
mixed += bytes(rng.getrandbits(8) for _ in range(4000))
mixed += bytes([7]) * 3000
for period in range(2, 8):
    pattern = bytes(rng.getrandbits(8) for _ in range(period))
    mixed += pattern * (900 // period)
mixed += mixed[1000:5000]
mixed += bytes(rng.getrandbits(8) & 0x0F for _ in range(3000))
mixed += mixed[:2500]
mixed = bytes(mixed)

sources = {'text': text, 'mixed': mixed, 'one': b'a', 'empty': b''}
for name, data in sources.items():
    with open(name + '.bin', 'wb') as f:
        f.write(data)


def raw(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    out = c.compress(data) + c.flush()
    assert zlib.decompress(out, -15) == data
    return out


for name in ('text', 'mixed'):
    for level in range(10):
        with open('%s.level%d.deflate' % (name, level), 'wb') as f:
            f.write(raw(sources[name], level))
    for label, strategy in (('fixed', zlib.Z_FIXED), ('huffman', zlib.Z_HUFFMAN_ONLY),
                            ('rle', zlib.Z_RLE)):
        with open('%s.%s.deflate' % (name, label), 'wb') as f:
            f.write(raw(sources[name], 6, strategy))
for name in ('one', 'empty'):
    with open('%s.level6.deflate' % name, 'wb') as f:
        f.write(raw(sources[name], 6))
