#!/bin/sh
# Renders the program icon's PNGs from varnel.svg. The PNGs are committed, so a build needs no
# SVG renderer; run this after changing the drawing (needs rsvg-convert, Debian's librsvg2-bin).
set -e
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" varnel.svg -o "varnel-$size.png"
done
