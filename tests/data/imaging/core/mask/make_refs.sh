#!/bin/sh
# Regenerates the polygon references with ImageMagick's rasteriser (no antialiasing, even-odd rule).
set -e
cd "$(dirname "$0")"
draw() { /usr/bin/convert -size 64x48 xc:black +antialias -fill white -draw "fill-rule evenodd $2" -depth 8 "pgm:$1.pgm"; }
draw triangle "polygon 5,5 50,10 20,40"
draw concave "polygon 4,4 60,4 60,44 32,20 4,44"
draw star "polygon 32,2 40,44 4,16 60,16 24,44"
draw rectangle "rectangle 10,8 49,29"
draw two "polygon 2,2 20,2 11,20 polygon 30,10 60,10 60,40 30,40"
draw clipped "polygon -20,-10 80,5 30,70"
