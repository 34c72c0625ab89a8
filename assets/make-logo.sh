#!/usr/bin/env bash
# Draws the logo of the main window, 374 x 53 pixels, and writes it as logo.jpg beside
# this script. Needs ImageMagick 6 (convert) and the DejaVu fonts (fonts-dejavu-core).
set -euo pipefail
cd "$(dirname "$0")"

fonts=/usr/share/fonts/truetype/dejavu

# A left-to-right blue-to-teal band; a mark of two overlapping squares, the outlined one
# being "replaced" by the filled one; the name; a short line of what the program does.
convert -size 53x374 gradient:'#17306e'-'#127a86' -rotate -90 \
  -fill none -stroke '#ffffff' -strokewidth 2 \
  -draw 'roundrectangle 9,9 33,33 4,4' \
  -stroke none -fill '#f2b134' \
  -draw 'roundrectangle 20,20 44,44 4,4' \
  -fill '#17306e' -font "$fonts/DejaVuSans-Bold.ttf" -pointsize 17 \
  -gravity NorthWest -annotate +25+21 'Q' \
  -fill '#ffffff' -font "$fonts/DejaVuSans-Bold.ttf" -pointsize 30 \
  -annotate +56+4 'Quorvel' \
  -fill '#cfe6ee' -font "$fonts/DejaVuSans.ttf" -pointsize 11 \
  -gravity SouthEast -annotate +10+16 'hromadné nahrazování textu' \
  -fill '#f2b134' -stroke none -draw 'rectangle 56,43 364,44' \
  -strip -sampling-factor 4:2:0 -quality 90 logo.jpg

identify logo.jpg
