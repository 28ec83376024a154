#!/usr/bin/env bash
# Makes the TIFF fixtures from 29 x 17 crops of png/grey8.png and png/rgb8.png (and a 16-bit
# RGB picture): ImageMagick 6 (/usr/bin/convert) writes uncompressed sources, tiffcp (Debian
# libtiff-tools) recompresses them in strips or tiles. NAME.raw is ImageMagick's decode,
# `convert NAME.tif -depth 8 gray:-` (1 channel) or `rgb:-`; for 16-bit files
# `-depth 16 -endian MSB rgb:-`, whose high bytes our 8-bit decode must equal.
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
crop=(-crop 29x17+7+5 +repage)
$C ../png/grey8.png "${crop[@]}" "$tmp/grey.png"
$C ../png/rgb8.png "${crop[@]}" "$tmp/rgb.png"
$C ../png/rgb16.png "${crop[@]}" "$tmp/rgb16.png"

# Bilevel of both photometric senses, 8-bit grey, a 40-colour palette, 8- and 16-bit RGB.
$C "$tmp/grey.png" -threshold 50% -type bilevel -depth 1 -compress none \
  -define quantum:polarity=min-is-white TIFF:"$tmp/white1.tif"
$C "$tmp/grey.png" -threshold 50% -type bilevel -depth 1 -compress none \
  -define quantum:polarity=min-is-black TIFF:"$tmp/black1.tif"
$C "$tmp/grey.png" -depth 8 -compress none TIFF:"$tmp/grey8.tif"
$C "$tmp/rgb.png" -colors 40 -type palette -compress none TIFF:"$tmp/palette8.tif"
$C "$tmp/rgb.png" -depth 8 -compress none TIFF:"$tmp/rgb8.tif"
$C "$tmp/rgb.png" -depth 8 -compress none -endian MSB TIFF:"$tmp/rgb8-msb.tif"
$C "$tmp/rgb16.png" -depth 16 -compress none TIFF:"$tmp/rgb16.tif"
$C "$tmp/rgb16.png" -depth 16 -compress none -endian MSB TIFF:"$tmp/rgb16-msb.tif"

# tiffcp: -c none|packbits|lzw:2|zip:2 (":2" is the horizontal predictor), -r rows per strip,
# -t -w -l tiles of 16 x 16 (the picture's edge cuts the last ones), -B big-endian (Motorola).
tiffcp -c none -r 17 "$tmp/white1.tif" white1-none.tif
tiffcp -c packbits -r 4 "$tmp/black1.tif" black1-packbits.tif
tiffcp -c lzw -r 5 "$tmp/grey8.tif" grey8-lzw.tif
tiffcp -c lzw:2 -t -w 16 -l 16 "$tmp/grey8.tif" grey8-lzw-predictor-tiles.tif
tiffcp -c zip:2 -r 3 "$tmp/grey8.tif" grey8-zip-predictor.tif
tiffcp -c packbits "$tmp/palette8.tif" palette8-packbits.tif
tiffcp -c lzw -t -w 16 -l 16 "$tmp/palette8.tif" palette8-lzw-tiles.tif
tiffcp -c none -r 6 "$tmp/rgb8.tif" rgb8-none.tif
tiffcp -B -c lzw:2 "$tmp/rgb8-msb.tif" rgb8-lzw-predictor-msb.tif
tiffcp -c zip -t -w 16 -l 16 "$tmp/rgb8.tif" rgb8-zip-tiles.tif
tiffcp -c zip:2 "$tmp/rgb16.tif" rgb16-zip-predictor.tif
tiffcp -B -c lzw:2 -t -w 16 -l 16 "$tmp/rgb16-msb.tif" rgb16-lzw-predictor-tiles-msb.tif

for f in *.tif; do
  if tiffinfo "$f" 2>/dev/null | grep -q 'Bits/Sample: 16'; then
    $C "$f" -depth 16 -endian MSB rgb:- > "${f%.tif}.raw"
  elif tiffinfo "$f" 2>/dev/null | grep -q 'Samples/Pixel: 3'; then
    $C "$f" -depth 8 rgb:- > "${f%.tif}.raw"
  elif tiffinfo "$f" 2>/dev/null | grep -q 'palette'; then
    $C "$f" -depth 8 rgb:- > "${f%.tif}.raw"
  else
    $C "$f" -depth 8 gray:- > "${f%.tif}.raw"
  fi
done
