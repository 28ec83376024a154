#!/usr/bin/env bash
# Makes the demo pictures the README shows: for each demo below, the photo penvex renders
# (docs/demo-NAME.png) and the SVG it vectorizes from it, rendered to PNG by rsvg-convert
# (Debian's librsvg2-bin) as docs/demo-NAME-vector.png.
# Usage: docs/make-demo-gallery.sh PATH_TO_PENVEX
set -euo pipefail
penvex="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
docs="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
demos=(
  "square,background,backgroundborder,perspective,quality=acceptable"
  "spiral,quality=acceptable"
  "asterisk,coloring=postit,clutter=0.5,background"
)
for demo in "${demos[@]}"; do
  name="${demo%%,*}"
  "$penvex" "demo:$demo" -q -os "$name-vector.svg"
  cp "$name.png" "$docs/demo-$name.png"
  /usr/bin/rsvg-convert -w 256 -h 256 -b white "$name-vector.svg" -o "$docs/demo-$name-vector.png"
  echo "demo:$demo -> docs/demo-$name.png, docs/demo-$name-vector.png"
done
