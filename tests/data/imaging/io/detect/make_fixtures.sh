#!/bin/bash
# Writes the content-detection fixtures with independent tools (ImageMagick, OpenJPEG, icoutils,
# libtiff, netpbm, Ghostscript). Run from
# anywhere; the files land next to this script. Each is a small picture so the tree stays light.
set -euo pipefail
cd "$(dirname "$0")"
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT

convert -size 12x8 gradient:red-blue "$src/base.png"
convert -size 16x16 gradient:white-black "$src/square.png"

convert "$src/base.png" -type TrueColor BMP3:bmp24.bmp
convert "$src/base.png" -colors 16 -compress RLE BMP3:bmp_rle8.bmp
convert "$src/square.png" icon.ico
# ImageMagick writes a ".cur" with the icon type word; icoutils writes a true cursor.
convert "$src/square.png" icon_as_cur.cur
convert "$src/square.png" -depth 8 -colors 16 PNG8:"$src/square8.png"
icotool -c --cursor --hotspot-x=3 --hotspot-y=4 -o cursor.cur "$src/square8.png"
convert "$src/base.png" -compress none pbm_plain.pbm
convert "$src/base.png" pbm_raw.pbm
convert "$src/base.png" -colorspace Gray -compress none pgm_plain.pgm
convert "$src/base.png" -colorspace Gray pgm_raw.pgm
convert "$src/base.png" -compress none ppm_plain.ppm
convert "$src/base.png" ppm_raw.ppm
# A comment line before the size, as netpbm allows.
{ printf 'P6\n# made for the detection tests\n12 8\n255\n'; tail -c 288 ppm_raw.ppm; } > ppm_comment.ppm
convert "$src/base.png" wbmp.wbmp
convert "$src/base.png" pcx.pcx
convert "$src/base.png" -compress None tga_raw.tga
convert "$src/base.png" -compress RLE tga_rle.tga
convert "$src/base.png" gif89a.gif
convert "$src/base.png" -depth 8 -compress None tiff_le.tif
tiffcp -B -c none tiff_le.tif tiff_be.tif
convert "$src/base.png" -quality 80 jpeg.jpg
convert "$src/base.png" png.png
# ImageMagick's policy refuses PostScript and PDF here: netpbm writes the PostScript, Ghostscript
# the PDF (its own PostScript output carries a 160 KB prolog).
pnmtops -nosetpage ppm_raw.ppm > ps.ps 2>/dev/null
printf '%%!PS\n0 0 1 setrgbcolor 10 10 100 50 rectfill showpage\n' > "$src/page.ps"
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=pdf.pdf "$src/page.ps"
convert "$src/base.png" -type TrueColor "$src/base.ppm"
opj_compress -n 2 -i "$src/base.ppm" -o jp2.jp2 >/dev/null
opj_compress -n 2 -i "$src/base.ppm" -o j2k.j2k >/dev/null
