#!/bin/sh
# Draws the program's pictures with ImageMagick. Run from anywhere; the PNGs land next to this script.
#   icon_128.png  window icon (also the About box icon and the desktop icon): a blue tile with a
#                 white pulse trace and the sensor's infrared LED sending out two arcs
#   sphyra.ico    the same icon for the Windows program file
#   logo_132.png  picture at the bottom left of the main window: the icon and the product name
set -e
out=$(dirname "$0")

# arc CX CY R FROM TO: the points of a circular arc as a polyline (angles clockwise from 3 o'clock).
arc() {
  awk -v cx="$1" -v cy="$2" -v r="$3" -v a0="$4" -v a1="$5" 'BEGIN {
    for (a = a0; a <= a1; a += 7.75) printf "%s%.1f,%.1f", (a > a0 ? " " : ""), cx + r * cos(a * 3.14159265 / 180), cy + r * sin(a * 3.14159265 / 180)
  }'
}

convert -size 256x256 gradient:'#3a8ae0'-'#0a2f66' \
  \( -size 256x256 xc:black -fill white -draw "roundrectangle 8,8 247,247 46,46" \) \
  -alpha off -compose copy_opacity -composite -compose over \
  -fill none -stroke white -strokewidth 16 \
  -draw "stroke-linejoin round stroke-linecap round polyline 30,160 78,160 98,124 122,208 148,84 172,160 226,160" \
  -stroke none -fill '#ff5040' -draw "circle 184,84 184,70" \
  -fill none -stroke '#ffb0a4' -strokewidth 10 \
  -draw "stroke-linejoin round stroke-linecap round polyline $(arc 184 84 30 284 346)" \
  -draw "stroke-linejoin round stroke-linecap round polyline $(arc 184 84 52 284 346)" \
  -depth 8 -strip "$out/icon_128.png"
convert "$out/icon_128.png" -define icon:auto-resize=256,48,32,16 "$out/sphyra.ico"

convert -size 604x100 xc:none \
  \( "$out/icon_128.png" -resize 92x92 \) -geometry +4+4 -composite \
  -font DejaVu-Sans-Bold -pointsize 58 -fill '#0f3f80' -annotate +112+62 'Sphyra' \
  -font DejaVu-Sans -pointsize 21 -fill '#5a6678' -annotate +116+90 'Wireless pulse sensor monitor' \
  -fill none -stroke '#d23a2e' -strokewidth 5 \
  -draw "stroke-linejoin round stroke-linecap round polyline 372,44 420,44 434,22 450,66 466,10 480,44 596,44" \
  -depth 8 -strip "$out/logo_132.png"
