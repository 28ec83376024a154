#!/usr/bin/env bash
# Makes one picture stored in all eight Exif orientations: upright.jpg (cjpeg, 4:4:4, 32 x 24,
# both sides whole blocks) is turned or mirrored without loss by jpegtran -perfect into the
# stored form that a camera would write for orientation N, and exiftool (Debian
# libimage-exiftool-perl) adds the tag: orient-N.jpg, Intel byte order for odd N, Motorola for
# even N. Every file shows the same upright picture in an Exif-aware viewer.
# Tools: ImageMagick 6 (/usr/bin/convert), libjpeg-turbo-progs (cjpeg, jpegtran), exiftool.
set -euo pipefail
cd "$(dirname "$0")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# A picture with no symmetry: a dark block at the top left, a red disc at the bottom right.
/usr/bin/convert -size 32x24 xc:white -fill '#202020' -draw 'rectangle 2,2 13,9' \
  -fill '#c02020' -draw 'circle 24,17 28,19' -fill '#2040c0' -draw 'line 0,23 31,12' \
  "$tmp/upright.ppm"
cjpeg -quality 90 -sample 1x1 -outfile "$tmp/upright.jpg" "$tmp/upright.ppm"

# The stored pixels are the upright picture put through the inverse of what the viewer does.
transforms=("" "-flip horizontal" "-rotate 180" "-flip vertical" "-transpose" "-rotate 270"
            "-transverse" "-rotate 90")
for n in 1 2 3 4 5 6 7 8; do
  # shellcheck disable=SC2086
  jpegtran -perfect -copy none ${transforms[$((n - 1))]} -outfile "orient-$n.jpg" \
    "$tmp/upright.jpg"
  order=$([ $((n % 2)) -eq 1 ] && echo II || echo MM)
  exiftool -q -overwrite_original -n -ExifByteOrder="$order" -Orientation="$n" "orient-$n.jpg"
done
