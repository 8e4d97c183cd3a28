#!/usr/bin/env bash
# Draws the program's gauge mark and writes lumarec.ico (window icon) and
# logo.ico (about box). Run once by hand when the mark changes; the .ico files
# are kept in the repository. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 256 x 256: indigo disc with a white dial ring open at the bottom, the last
# eighth of the scale red, ticks, an amber needle and hub.
convert -size 256x256 xc:'#3F51B5' \
    -fill none -stroke white -strokewidth 14 -draw 'circle 128,128 216,128' \
    -stroke none -fill '#F44336' -draw 'polygon 128,128 256,128 256,256' \
    -fill '#3F51B5' -draw 'polygon 128,128 256,256 0,256' \
    -draw 'circle 128,128 128,47' \
    -fill none -stroke '#3F51B5' -strokewidth 30 -draw 'circle 128,128 238,128' \
    -fill none -stroke white -strokewidth 6 \
    -draw 'line 30,128 50,128' -draw 'line 59,59 73,73' \
    -draw 'line 128,30 128,50' -draw 'line 197,59 183,73' \
    -stroke '#FFC107' -strokewidth 10 -draw 'line 128,128 186,82' \
    -stroke none -fill '#FFC107' -draw 'circle 128,128 128,110' \
    -fill '#3F51B5' -draw 'circle 128,128 128,120' \
    \( -size 256x256 xc:none -fill white -draw 'circle 128,128 128,6' \) \
    -compose DstIn -composite \
    -depth 8 "$tmp/mark.png"

for s in 16 24 32 48 64 128; do
    convert "$tmp/mark.png" -resize ${s}x${s} "$tmp/mark-$s.png"
done
convert "$tmp"/mark-{16,24,32,48,64,128}.png "$tmp/mark.png" lumarec.ico
convert "$tmp/mark.png" logo.ico
