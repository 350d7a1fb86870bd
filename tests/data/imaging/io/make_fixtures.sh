#!/usr/bin/env bash
# Regenerates the codec fixtures with ImageMagick and libtiff's tools: each compressed TIFF has an
# uncompressed twin, each GIF a raw RGB dump of what ImageMagick decodes.
set -euo pipefail
cd "$(dirname "$0")"

# Bilevel page with text-like structure, long runs and a row starting black.
convert -size 203x61 xc:white -fill black \
  -draw "rectangle 0,0 40,3" -draw "circle 100,30 120,45" -draw "line 0,60 202,0" \
  -draw "rectangle 150,10 202,20" -draw "point 5,40" -draw "point 6,40" \
  -monochrome -type bilevel -depth 1 bilevel_src.tif
# Wide rows to need the make-up codes above 1728.
convert -size 3001x5 xc:white -fill black -draw "rectangle 2990,0 3000,4" -draw "point 0,2" \
  -monochrome -type bilevel -depth 1 wide_src.tif
# 8-bit grey gradient with noise: LZW tables fill and clear.
convert -size 300x200 gradient:black-white -attenuate 0.6 +noise Uniform -colorspace gray \
  -depth 8 -type grayscale grey_src.tif

for img in bilevel wide; do
  tiffcp -c none -r 16 "${img}_src.tif" "${img}_none.tif"
  tiffcp -c g3 -r 16 "${img}_src.tif" "${img}_g3.tif"
  tiffcp -c g3:2d -r 16 "${img}_src.tif" "${img}_g3_2d.tif"
  tiffcp -c g3:2d:fill -r 16 "${img}_src.tif" "${img}_g3_2d_fill.tif"
  tiffcp -c g4 -r 16 "${img}_src.tif" "${img}_g4.tif"
  tiffcp -c g4 -f lsb2msb -r 16 "${img}_src.tif" "${img}_g4_lsb.tif"
  tiffcp -c lzw -r 16 "${img}_src.tif" "${img}_lzw.tif"
done
tiffcp -c none -r 64 grey_src.tif grey_none.tif
tiffcp -c lzw -r 64 grey_src.tif grey_lzw.tif
rm -f bilevel_src.tif wide_src.tif grey_src.tif

# GIFs: 256 colours with noise (table fills, code size 8), 2 colours (code size 2), interlaced.
convert -size 160x120 plasma:fractal -seed 7 +noise Impulse -colors 256 +dither noise256.gif
convert -size 37x23 pattern:checkerboard -colors 2 checker2.gif
convert -size 61x45 plasma:fractal -seed 3 -colors 16 -interlace GIF interlaced16.gif
convert -size 9x2 plasma:fractal -seed 5 -colors 4 -interlace GIF interlaced_h2.gif
for g in noise256 checker2 interlaced16 interlaced_h2; do
  convert "$g.gif" -depth 8 "rgb:$g.rgb"
done
