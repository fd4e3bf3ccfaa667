#!/usr/bin/env bash
# Makes the About box banner, its stored form and the window icons with ImageMagick.
# The results are committed; run this again only to change the artwork.
# Usage: assets/make-assets.sh   (CONVERT=/path/to/convert to choose the program)
set -euo pipefail
cd "$(dirname "$0")"
convert=${CONVERT:-convert}
blue='#1030a0'
green='#90ee90'
png_options=(-strip -depth 8 -define png:exclude-chunks=date,time)

# A 400 x 60 baseline JFIF picture.
"$convert" -size 400x60 "xc:$blue" -fill "$green" -font DejaVu-Sans-Bold -pointsize 40 \
  -gravity center -annotate 0 Corvane -strip -interlace none -quality 90 banner.jpg

# The banner as a form stores a picture: the class name as a short string (length byte, then
# the name), the stream's length as 32-bit little-endian, then the stream.
byte() { printf "\\$(printf '%03o' "$1")"; }
name=TJPEGImage
length=$(stat -c %s banner.jpg)
{
  byte "${#name}"
  printf '%s' "$name"
  for shift in 0 8 16 24; do byte $(((length >> shift) & 255)); done
  cat banner.jpg
} >About.Image1.picture

# The program's icon: one period of a sine in the banner's colours.
lines=$(awk 'BEGIN {
  for (x = 6; x < 58; x += 2) {
    printf "line %d,%.1f %d,%.1f ", x, 32 - 18 * sin((x - 6) / 52 * 6.2832),
      x + 2, 32 - 18 * sin((x - 4) / 52 * 6.2832)
  }
}')
"$convert" -size 64x64 "xc:$blue" -stroke "$green" -strokewidth 5 -draw "$lines" \
  "${png_options[@]}" corvane.png

# The About box's own icon: a light green "i" on blue.
"$convert" -size 64x64 "xc:$blue" -fill "$green" -font DejaVu-Sans-Bold -pointsize 52 \
  -gravity center -annotate 0 i "${png_options[@]}" about.png
