#!/usr/bin/env bash
# Makes the pictures on the README's first screen from docs/sketch.jpg: the preview (-op,
# compressed by ImageMagick's convert) and the SVG laid out for editors (-se), both with -auto.
# Usage: docs/make-preview.sh PATH_TO_PENVEX
set -euo pipefail
penvex="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
docs="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$penvex" "$docs/sketch.jpg" -auto -q -op "$work/preview.ppm" -se "$docs/sketch-editor.svg"
/usr/bin/convert "$work/preview.ppm" -quality 95 "$docs/sketch-preview.png"
ls -l "$docs/sketch-preview.png" "$docs/sketch-editor.svg"
