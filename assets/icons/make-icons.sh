#!/usr/bin/env bash
# Makes the icons of the menu entry in the hicolor theme's layout from the window icon's
# artwork (../make-assets.sh): one period of a sine in the banner's colours, drawn afresh at
# every size with the same sine scaled, and the same drawing as SVG. The results are
# committed; run this again only to change the artwork.
# Usage: assets/icons/make-icons.sh   (CONVERT=/path/to/convert to choose the program)
set -euo pipefail
cd "$(dirname "$0")"
convert=${CONVERT:-convert}
blue='#1030a0'
green='#90ee90'
name=org.corvane.Corvane
png_options=(-strip -depth 8 -define png:exclude-chunks=date,time)

# The sine of the window icon's strokes, on its 64-pixel grid scaled by $1, as one line with
# round joins so that the large sizes show no seams between the strokes.
points() {
  awk -v s="$1" 'BEGIN {
    for (x = 6; x <= 58; x += 2) {
      printf "%s%.2f,%.2f", (x > 6 ? " " : ""), x * s, (32 - 18 * sin((x - 6) / 52 * 6.2832)) * s
    }
  }'
}

for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  scale=$(awk -v n="$size" 'BEGIN { print n / 64 }')
  width=$(awk -v s="$scale" 'BEGIN { print 5 * s }')
  "$convert" -size "${size}x${size}" "xc:$blue" -fill none -stroke "$green" \
    -strokewidth "$width" -draw "stroke-linejoin round polyline $(points "$scale")" \
    "${png_options[@]}" "${size}x${size}/apps/$name.png"
done

mkdir -p scalable/apps
cat >"scalable/apps/$name.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <rect width="64" height="64" fill="$blue"/>
  <polyline fill="none" stroke="$green" stroke-width="5" stroke-linejoin="round"
    points="$(points 1)"/>
</svg>
SVG
