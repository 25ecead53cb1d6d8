#!/bin/sh
# Renders the icons' PNGs from their SVGs: the program's (varnel) and its two file types'. The
# PNGs are committed, so a build needs no SVG renderer; run this after changing a drawing (needs
# rsvg-convert, Debian's librsvg2-bin).
set -e
cd "$(dirname "$0")"
for name in varnel application-x-varnel-project application-x-varnel-meter; do
    for size in 16 32 48 64 128 256; do
        rsvg-convert -w "$size" -h "$size" "$name.svg" -o "$name-$size.png"
    done
done
