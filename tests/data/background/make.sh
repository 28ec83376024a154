#!/bin/sh
# Regenerates the background detection fixtures from the shared sample photos with
# ImageMagick 6 (Debian's /usr/bin/convert). Run from this folder:
#   sh make.sh /path/to/shared/samples
set -eu
S=${1:-../../../../shared/samples}
C=/usr/bin/convert
# The photographed sheet at the methods' own working width (128) and at 400 pixels.
$C "$S/sheet-on-desk.jpg" -resize 128x96! sheet-128.ppm
$C "$S/sheet-on-desk.jpg" -resize 400x300! sheet-400.ppm
$C "$S/large-sheet-on-desk.jpg" -resize 128x96! large-sheet-128.ppm
# Pictures without a sheet: the bare desk left of the large sheet (columns 0..479 lie left of
# the sheet's leftmost corner at x = 511), and a smooth gradient with no edges at all.
$C "$S/large-sheet-on-desk.jpg" -crop 480x360+0+300 +repage -resize 128x96! no-sheet-desk.ppm
$C -size 128x96 gradient:gray20-gray70 -type TrueColor -depth 8 no-sheet-gradient.ppm
# The same sheets made smaller, turned 12 degrees counter-clockwise and moved toward the
# bottom-left (ImageMagick's -distort SRT "X,Y SCALE ANGLE NEWX,NEWY", continuous coordinates,
# y down), so that both side edges lean left and the lines method sees all four edges.
$C "$S/sheet-on-desk.jpg" -virtual-pixel edge -distort SRT "826,598 0.7 -12 560,500" -resize 128x96! sheet-turned-128.ppm
$C "$S/sheet-on-desk.jpg" -virtual-pixel edge -distort SRT "826,598 0.7 -12 560,500" -resize 400x300! sheet-turned-400.ppm
$C "$S/large-sheet-on-desk.jpg" -virtual-pixel edge -distort SRT "2145,1574 0.7 -12 1350,1250" -resize 128x96! large-sheet-turned-128.ppm
# For the automatic method: photos with a sheet (a sticky note on a desk, a framed whiteboard,
# a sheet seen from in front) and two without (a page with a shadow, dense hatching), at 400
# pixels wide, stored as PNG.
$C "$S/sticky-on-desk.jpg" -resize 400x300! sticky-400.png
$C "$S/whiteboard-framed.jpg" -resize 400x300! whiteboard-framed-400.png
$C "$S/desk-front.jpg" -resize 400x300! desk-front-400.png
$C "$S/scan-shadow.jpg" -resize 400x300! no-sheet-scan-400.png
$C "$S/thin-pen-hatching.png" -resize 400x300! no-sheet-hatching-400.png
