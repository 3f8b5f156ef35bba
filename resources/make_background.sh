#!/usr/bin/env bash
# Draws the default background picture (577 x 432 JPEG) with ImageMagick: a soft gradient
# with a faint cartridge motif and the program's name, light enough for the controls'
# texts to stay easy to read on it.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 577x432 gradient:'#f7f8ff'-'#e4e9fb' \
    \( -size 577x432 xc:none -fill '#eceffc' -stroke '#dbe1f7' -strokewidth 4 \
       -draw "path 'M 330,40 L 520,40 L 556,76 L 556,410 L 330,410 Z'" \
       -fill '#e6eafb' -draw "roundrectangle 362,72 524,196 10,10" \
       -stroke none -fill '#dde3f8' \
       -draw "rectangle 350,372 360,404" -draw "rectangle 374,372 384,404" \
       -draw "rectangle 398,372 408,404" -draw "rectangle 422,372 432,404" \
       -draw "rectangle 446,372 456,404" -draw "rectangle 470,372 480,404" \
       -draw "rectangle 494,372 504,404" -draw "rectangle 518,372 528,404" \) -composite \
    \( -size 577x432 xc:none -fill '#d3daf5' -font DejaVu-Sans-Bold -pointsize 26 \
       -annotate +372+146 'Ostravex' \) -composite \
    -attenuate 0.04 +noise Gaussian \
    -quality 97 background.jpg
identify background.jpg
