#!/usr/bin/env bash
# Draws the installer's images with ImageMagick. The images are kept in the source tree,
# so the build needs nothing of this; run it again only to change them.
#   banner.bmp      240 x 57, the width and height of the progress window's banner at
#                   the window's font (160 x 35 dialog units)
#   setup.ico       the program's icon: a printer on a network line, 32 and 16 pixels
#   stepmarker.ico  the arrow beside the current step, 32 and 16 pixels
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A printer: paper above a body with a slot, on a network line with two nodes.
printer() {  # size output
  local s=$1 out=$2
  convert -size 32x32 xc:none \
    -stroke '#1a3d6b' -strokewidth 2 -draw 'line 2,28 30,28' \
    -fill '#1a3d6b' -draw 'circle 4,28 6,28' -draw 'circle 28,28 30,28' \
    -stroke '#5a5a5a' -strokewidth 1 -fill white -draw 'rectangle 9,3 23,12' \
    -fill '#c8ccd2' -draw 'roundrectangle 4,11 28,22 2,2' \
    -fill '#3a3f46' -draw 'rectangle 9,17 23,19' \
    -fill '#2ecc40' -stroke none -draw 'rectangle 24,13 26,14' \
    -stroke '#1a3d6b' -strokewidth 2 -draw 'line 16,22 16,28' \
    -resize "${s}x${s}" "$out"
}
printer 32 "$work/setup32.png"
printer 16 "$work/setup16.png"
convert "$work/setup16.png" "$work/setup32.png" setup.ico

arrow() {  # size output
  local s=$1 out=$2
  convert -size 32x32 xc:none -fill '#1f8a3a' -stroke '#0f5220' -strokewidth 1 \
    -draw 'polygon 6,11 17,11 17,5 28,16 17,27 17,21 6,21' \
    -resize "${s}x${s}" "$out"
}
arrow 32 "$work/arrow32.png"
arrow 16 "$work/arrow16.png"
convert "$work/arrow16.png" "$work/arrow32.png" stepmarker.ico

convert -size 57x240 gradient:'#0b2a55'-'#1b7f8c' -rotate 90 \
  \( "$work/setup32.png" -resize 44x44 \) -geometry +188+7 -composite \
  -fill white -font DejaVu-Sans-Bold -pointsize 20 -annotate +10+27 'Zephrin' \
  -fill '#d8ecf0' -font DejaVu-Sans -pointsize 11 -annotate +11+45 'TCP/IP Port Monitor Setup' \
  -alpha off -type TrueColor BMP3:banner.bmp
