#!/usr/bin/env bash
# Draws the program's icon, the mark of the logo (assets/make-logo.sh) on its own: two
# overlapping squares, the outlined one being "replaced" by the filled one, on the
# logo's blue-to-teal ground. Writes quorvel.svg and the PNGs of the hicolor sizes
# beside this script. Needs ImageMagick 6 (convert) and the DejaVu fonts.
set -euo pipefail
cd "$(dirname "$0")"

fonts=/usr/share/fonts/truetype/dejavu

# The drawing on a 256 x 256 grid, once as SVG and once as ImageMagick commands.
cat >quorvel.svg <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="ground" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#17306e"/>
      <stop offset="1" stop-color="#127a86"/>
    </linearGradient>
  </defs>
  <rect x="8" y="8" width="240" height="240" rx="40" fill="url(#ground)"/>
  <rect x="44" y="44" width="112" height="112" rx="16" fill="none" stroke="#ffffff" stroke-width="10"/>
  <rect x="100" y="100" width="112" height="112" rx="16" fill="#f2b134"/>
  <text x="156" y="185" text-anchor="middle" font-family="DejaVu Sans, sans-serif"
        font-weight="bold" font-size="80" fill="#17306e">Q</text>
</svg>
SVG

convert -size 256x256 xc:none \
  \( -size 240x240 gradient:'#17306e'-'#127a86' -rotate -90 \
     \( -size 240x240 xc:none -fill white -draw 'roundrectangle 0,0 239,239 40,40' \) \
     -alpha set -compose DstIn -composite \) -geometry +8+8 -compose Over -composite \
  -fill none -stroke '#ffffff' -strokewidth 10 -draw 'roundrectangle 44,44 156,156 16,16' \
  -stroke none -fill '#f2b134' -draw 'roundrectangle 100,100 212,212 16,16' \
  -fill '#17306e' -font "$fonts/DejaVuSans-Bold.ttf" -pointsize 80 \
  -gravity NorthWest -annotate +128+97 'Q' \
  -strip big.png

for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  convert big.png -resize "${size}x${size}" -strip \
    -define png:exclude-chunks=date,time "hicolor/${size}x${size}/apps/quorvel.png"
done
rm big.png
mkdir -p hicolor/scalable/apps
mv quorvel.svg hicolor/scalable/apps/quorvel.svg
find hicolor -type f | sort
