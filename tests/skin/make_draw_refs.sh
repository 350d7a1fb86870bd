#!/usr/bin/env bash
# Makes the pictures the drawing-helper tests start from and the results they must give, with
# ImageMagick as the independent judge: crops, quarter turns, pixel-repeating scales, tiling and
# colour replacement of the same 24-bit BMP files.
#   make_draw_refs.sh CONVERT FOLDER
set -euo pipefail
IM=$1
OUT=$2
mkdir -p "$OUT"
cd "$OUT"
# bmp ARGS... OUTPUT: 24-bit uncompressed BMP files with 40-byte headers.
bmp() {
  local out=${*: -1}
  "$IM" "${@:1:$#-1}" -type TrueColor "$out"
}

# 23x11: every pixel its own colour, so a pixel out of place shows.
bmp -seed 7 -size 23x11 plasma:red-blue -fx 'u + (i*11+j)/4096' BMP3:pattern.bmp
# The same with a magenta block, for masking and colour replacement.
bmp pattern.bmp -fill '#FF00FF' -draw 'rectangle 3,2 18,6' -draw 'point 0,0' BMP3:keyed.bmp

# Pieces of 23 / 3 = 7 pixels: from 0 and 7, the last from the right edge at 16.
for p in 1:0 2:7 3:16; do
  bmp pattern.bmp -crop "7x11+${p#*:}+0" +repage "BMP3:piece${p%%:*}.bmp"
done
bmp pattern.bmp -rotate 90 BMP3:right.bmp
bmp pattern.bmp -rotate -90 BMP3:left.bmp

# Three parts over 35 pixels: ends as they are, the middle repeated to 21.
bmp piece1.bmp \( piece2.bmp -scale 300%x100% \) piece3.bmp +append BMP3:three.bmp
bmp pattern.bmp -crop 5x11+0+0 +repage BMP3:three_narrow.bmp
# Masked with magenta over a grey canvas.
for p in 1:0 2:7 3:16; do
  bmp keyed.bmp -crop "7x11+${p#*:}+0" +repage "BMP3:kpiece${p%%:*}.bmp"
done
bmp kpiece1.bmp \( kpiece2.bmp -scale 300%x100% \) kpiece3.bmp +append \
    -fill '#808080' -opaque '#FF00FF' BMP3:three_masked.bmp
# Filled: the corner pixel (magenta) is the mask; ends over the grey canvas, the middle over
# blue and stretched over twice the height.
bmp -background '#808080' \( kpiece1.bmp -fill '#808080' -opaque '#FF00FF' \) \
    \( kpiece2.bmp -fill '#0000FF' -opaque '#FF00FF' -scale 300%x200% \) \
    \( kpiece3.bmp -fill '#808080' -opaque '#FF00FF' \) +append BMP3:three_filled.bmp

bmp keyed.bmp -fill '#0080FF' -opaque '#FF00FF' BMP3:replaced.bmp
bmp -size 50x30 tile:pattern.bmp BMP3:tiled.bmp
bmp pattern.bmp -scale 200% BMP3:doubled.bmp

# Nine parts of an 18x12 source (left 9, right 8, top 6, bottom 5, the centre one pixel each
# way) over 40x25: corners as they are, edges and centre repeated.
bmp -seed 11 -size 18x12 plasma:green-yellow -fx 'u + (i*12+j)/4096' BMP3:nine_src.bmp
row() {  # row Y H OUT
  bmp -background black \
      \( nine_src.bmp -crop "9x$2+0+$1" +repage \) \
      \( nine_src.bmp -crop "1x$2+9+$1" +repage -scale "23x$3!" \) \
      \( nine_src.bmp -crop "8x$2+10+$1" +repage \) +append "$4"
}
row 0 6 6 BMP3:nine_top.bmp
bmp -background black \
    \( nine_src.bmp -crop 9x1+0+6 +repage -scale '9x14!' \) \
    \( nine_src.bmp -crop 1x1+9+6 +repage -scale '23x14!' \) \
    \( nine_src.bmp -crop 8x1+10+6 +repage -scale '8x14!' \) +append BMP3:nine_mid.bmp
row 7 5 5 BMP3:nine_bottom.bmp
bmp nine_top.bmp nine_mid.bmp nine_bottom.bmp -append BMP3:nine.bmp
