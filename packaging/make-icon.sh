#!/bin/sh
# Draws icon.png (committed, so packaging needs no ImageMagick): a rounded
# purple tile in the app's palette with a play mark and the letters QZ.
# Run from anywhere: packaging/make-icon.sh
set -eu
here=$(cd "$(dirname "$0")" && pwd)
font="$here/../assets/DejaVuSans-Bold.ttf"
convert -size 128x128 xc:none \
  \( -size 128x128 gradient:'#a855f7-#4c1d95' \) \
  \( -size 128x128 xc:black -fill white -draw 'roundrectangle 0,0 127,127 24,24' \) \
  -delete 0 -alpha off -compose CopyOpacity -composite -compose Over \
  -fill white -draw 'polygon 44,30 44,78 86,54' \
  -font "$font" -pointsize 30 -fill white -gravity south -annotate +0+10 'QZ' \
  -strip -define png:exclude-chunks=date,time -depth 8 "PNG32:$here/icon.png"
