#!/usr/bin/env bash
# Installs the Debian packages that the tests (or, with an argument, fuzzing and benchmarks)
# need when they are missing, so that a fresh machine passes `make test`.
set -euo pipefail

# rsvg-convert renders the SVG we write (ImageMagick then turns its PNG into NetPBM); Inkscape
# and Chromium render the editor SVG too; python3-ezdxf reads the DXF back; Python's zlib
# inflates the streams of our deflate encoder.
packages=(cmake g++ googletest libgtest-dev pngcheck imagemagick libjpeg-turbo-progs librsvg2-bin
          python3 python3-ezdxf inkscape chromium)
case "${1:-test}" in
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
  bench) packages+=(zlib1g-dev imagemagick python3) ;;
  # tools/rectify-samples.sh: the samples' scorer and the corner recovery.
  samples) packages+=(python3-numpy python3-scipy python3-opencv) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" > /dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
