#!/bin/sh
# Draws the sensor list's image strip: three 72 x 32 pictures side by side on
# white, which the list keys out as transparent.
#   0  a finger-clip pulse sensor heard recently: blue clip, red glow, live pulse
#   1  the same sensor gone silent: greyed out, flat trace
#   2  a neutral variant (green clip, amber glow), kept for future use
# Silhouette edges are left hard (alpha thresholded) so no near-white fringe
# survives the white key; pure white is never used inside a picture.
# Needs ImageMagick 6 or later. Usage: sensor_strip.sh [output.png]
set -eu
out=${1:-$(dirname "$0")/sensor_strip.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

pulse='M 37,22 L 39,22 C 41,22 41.5,9 44,9 C 46.5,9 47,17 49,16 C 51,15 51.5,20 53,21 L 54,22
       C 56,22 56.5,9 59,9 C 61.5,9 62,17 64,16 C 66,15 66.5,20 68,21 L 70,22'
flat='M 37,22 L 70,22'

# tile OUT JAW EDGE SHEEN SKIN SKIN_EDGE LED GLOW TRACE TRACE_PATH
tile() {
    convert -size 72x32 xc:none \
        -stroke "$3" -strokewidth 1 -fill "$2" \
        -draw "roundrectangle 26.5,8.5 32.5,24.5 2,2" \
        -draw "roundrectangle 7.5,4.5 31.5,13.5 5,4" \
        -draw "roundrectangle 7.5,19.5 31.5,28.5 5,4" \
        -stroke none -fill "$4" -draw "roundrectangle 10,6 29,8.5 2,1" \
        -stroke "$6" -fill "$5" -draw "roundrectangle 0.5,13.5 25.5,19.5 3,3" \
        -stroke none -fill "$8" -draw "ellipse 17,16.5 7,4.5 0,360" \
        -fill "$8" -draw "ellipse 17,16.5 4,2 0,360" \
        -fill "$7" -draw "roundrectangle 14,12 20,14 1,1" \
        -fill none -stroke "$9" -strokewidth 2 \
        -draw "stroke-linejoin round stroke-linecap round path '${10}'" \
        -channel A -threshold 45% +channel \
        -background white -flatten -alpha off "$1"
}

tile "$tmp/0.png" "#3a78b8" "#1d3d5e" "#7fb0dd" "#f2c9a0" "#b98a60" \
    "#ff2020" "rgba(255,30,30,0.5)" "#e01e2e" "$pulse"
tile "$tmp/1.png" "#b4bcc4" "#858e97" "#d6dbe0" "#dcd6d0" "#a9a29b" \
    "#8c9196" "rgba(0,0,0,0)" "#a5abb1" "$flat"
tile "$tmp/2.png" "#6f8a7c" "#3f5348" "#a3bdb0" "#e8cfb4" "#a98f74" \
    "#f0a020" "rgba(240,160,32,0.45)" "#6f8f7f" "$pulse"

convert "$tmp/0.png" "$tmp/1.png" "$tmp/2.png" +append -depth 8 -strip "PNG24:$out"
