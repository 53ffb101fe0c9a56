#!/usr/bin/env bash
# Draws the window icon (an archive box under a magnifying glass) and writes
# the PNG set the window carries. Run again after changing the drawing;
# needs ImageMagick.
set -euo pipefail
out=${1:-src/ui/icons}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Drawn once at 256 pixels; the smaller sizes are scaled from it.
/usr/bin/convert -size 256x256 xc:none \
  -stroke '#5a3d0c' -strokewidth 10 -fill '#e9b44c' \
  -draw 'roundrectangle 20,52 176,226 14,14' \
  -fill '#f6d58a' -draw 'polygon 20,52 52,22 208,22 176,52' \
  -fill '#c98f2a' -draw 'polygon 176,52 208,22 208,196 176,226' \
  -stroke none -fill '#fffdf5' -draw 'rectangle 62,8 134,46' \
  -stroke '#8a8a8a' -strokewidth 5 -draw 'line 74,20 122,20' -draw 'line 74,32 114,32' \
  -stroke '#5a3d0c' -strokewidth 10 -fill none -draw 'line 98,52 98,226' \
  -stroke '#5a3d0c' -strokewidth 6 \
  -draw 'line 86,80 110,80' -draw 'line 86,108 110,108' -draw 'line 86,136 110,136' \
  -draw 'line 86,164 110,164' -draw 'line 86,192 110,192' \
  -stroke '#1d3f8f' -strokewidth 24 -draw 'line 205,190 240,236' \
  -stroke '#1d3f8f' -strokewidth 14 -fill '#cfe6ffd0' -draw 'circle 168,150 168,96' \
  -stroke '#ffffff' -strokewidth 8 -fill none -draw 'arc 132,114 204,186 200,260' \
  "$tmp/icon256.png"

for size in 16 24 32 48 64 256; do
  /usr/bin/convert "$tmp/icon256.png" -filter Lanczos -resize "${size}x${size}" \
    -strip "PNG32:$out/mervok_${size}.png"
done
