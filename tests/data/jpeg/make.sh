#!/usr/bin/env bash
# Makes the JPEG fixtures with libjpeg-turbo's cjpeg/jpegtran (Debian libjpeg-turbo-progs 2.1.5)
# and ImageMagick 6 (/usr/bin/convert), and their reference decodes with `djpeg -dct float`.
# Needs the sample photograph sheet-on-desk.jpg (SAMPLES, default /work/shared/samples).
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert
SAMPLES="${SAMPLES:-/work/shared/samples}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Sources: ImageMagick's built-in rose photograph (70 x 46), resized copies for odd sizes, and a
# 192 x 144 crop of a real photograph of a sketch on a sheet of paper.
$C rose: "$tmp/rose.ppm"
$C rose: -resize '1x1!' "$tmp/1x1.ppm"
$C rose: -resize '7x13!' "$tmp/7x13.ppm"
$C rose: -resize '33x65!' "$tmp/33x65.ppm"
$C "$SAMPLES/sheet-on-desk.jpg" -crop 192x144+1060+180 +repage "$tmp/photo.ppm"

cjpeg -quality 90 -sample 1x1 -outfile rose_444.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -sample 2x1 -outfile rose_422.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -sample 2x2 -outfile rose_420.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -sample 4x1 -outfile rose_411.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -grayscale -outfile rose_grey.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -outfile size_1x1.jpg "$tmp/1x1.ppm"
cjpeg -quality 90 -outfile size_7x13.jpg "$tmp/7x13.ppm"
cjpeg -quality 90 -grayscale -outfile size_7x13_grey.jpg "$tmp/7x13.ppm"
cjpeg -quality 90 -sample 2x1 -outfile size_33x65_422.jpg "$tmp/33x65.ppm"
cjpeg -quality 90 -outfile size_33x65_420.jpg "$tmp/33x65.ppm"
cjpeg -quality 90 -restart 1 -outfile restart_row.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -restart 3B -outfile restart_3blocks.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -optimize -outfile optimized.jpg "$tmp/rose.ppm"
# -baseline keeps quality 5's quantisation entries within 8 bits (cjpeg would otherwise write
# 16-bit tables in an extended-sequential file).
cjpeg -quality 5 -baseline -outfile quality_5.jpg "$tmp/rose.ppm"
# The same quality without -baseline: 16-bit tables, a file that we refuse.
cjpeg -quality 5 -outfile quality_5_extended.jpg "$tmp/rose.ppm"
cjpeg -quality 100 -sample 1x1 -outfile quality_100_444.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -outfile photo_420.jpg "$tmp/photo.ppm"
cjpeg -quality 90 -sample 1x1 -outfile photo_444.jpg "$tmp/photo.ppm"
cjpeg -quality 90 -progressive -sample 1x1 -outfile rose_progressive_444.jpg "$tmp/rose.ppm"
cjpeg -quality 90 -progressive -grayscale -outfile photo_progressive_grey.jpg "$tmp/photo.ppm"
cjpeg -quality 90 -progressive -outfile size_33x65_progressive.jpg "$tmp/33x65.ppm"
# Spectral selection and successive approximation in a script of our own: DC in three
# approximation steps, luminance AC split into two bands refined later, chroma AC in one scan.
cat > "$tmp/scans.txt" <<'SCANS'
0,1,2: 0-0, 0, 2;
0: 1-9, 0, 1;
2: 1-63, 0, 0;
0: 10-63, 0, 1;
1: 1-63, 0, 0;
0,1,2: 0-0, 2, 1;
0: 1-5, 1, 0;
0,1,2: 0-0, 1, 0;
0: 6-63, 1, 0;
SCANS
cjpeg -quality 90 -scans "$tmp/scans.txt" -outfile photo_scans.jpg "$tmp/photo.ppm"

# References: djpeg's float inverse DCT (PGM for grey files, PPM otherwise).
for f in *.jpg; do
  djpeg -dct float -pnm -outfile "$tmp/ref" "$f"
  if [ "$(head -c 2 "$tmp/ref")" = "P5" ]; then mv "$tmp/ref" "${f%.jpg}.pgm"; else mv "$tmp/ref" "${f%.jpg}.ppm"; fi
done

# The progressive twin of a baseline file (same coefficients; no reference: it must decode to
# exactly the pixels of its baseline original).
jpegtran -progressive -outfile photo_420_twin.jpg photo_420.jpg

# Files that we refuse, made by real tools (after the references: djpeg decodes them all).
mkdir -p refused
mv quality_5_extended.jpg quality_5_extended.ppm refused/
rm refused/quality_5_extended.ppm
$C rose: -quality 90 -colorspace CMYK refused/cmyk.jpg
jpegtran -arithmetic -outfile refused/arithmetic.jpg rose_420.jpg
cjpeg -quality 90 -progressive -restart 1 -outfile refused/progressive_restart.jpg "$tmp/rose.ppm"
printf '0;\n1;\n2;\n' > "$tmp/separate.txt"
cjpeg -quality 90 -scans "$tmp/separate.txt" -outfile refused/separate_scans.jpg "$tmp/rose.ppm"
