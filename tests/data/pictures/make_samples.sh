#!/bin/sh
# Remakes the committed picture samples. Raster pictures come from ImageMagick,
# metafiles from make_metafiles.c (libuemf's record writers). Tests make their
# damaged and truncated variants from these at run time.
set -eu
cd "$(dirname "$0")"

# A photo-like picture: a seeded plasma fractal, softened.
convert -size 256x192 -seed 1234 plasma:fractal -blur 0x1.5 -depth 8 PNG24:photo.png
convert photo.png -quality 90 photo_q90.jpg
convert photo.png -quality 75 photo_q75.jpg
convert photo.png -quality 50 photo_q50.jpg
convert photo.png -type TrueColor BMP3:photo.bmp
convert photo.png -resize '128x96!' PNG24:photo_half.png
convert photo.png -negate PNG24:photo_negative.png
# JPEG bytes under a ".png" name: the type comes from the content.
convert photo.png -quality 90 JPG:photo_jpeg_named.png
convert photo.png -interlace JPEG -quality 90 photo_progressive.jpg
convert photo.png -colorspace Gray -quality 90 photo_gray.jpg
convert photo.png -colorspace CMYK -quality 95 photo_cmyk.jpg
convert photo.png -colors 64 PNG8:photo_palette.png
convert photo.png -depth 16 PNG48:photo_16bit.png
convert photo.png -interlace PNG PNG24:photo_interlaced.png
convert photo.png -colors 256 photo.gif
convert photo.png -colors 256 -interlace GIF photo_interlaced.gif
# A 40 x 30 red frame at (10, 20) on a 100 x 80 logical screen.
convert -size 40x30 xc:red -set page 100x80+10+20 frame_offset.gif
# A GIF whose transparent colour (the red half) shows white.
convert -size 4x2 xc:red -fill blue -draw 'rectangle 2,0 3,1' -transparent red transparent.gif
# A half-transparent PNG: transparent parts show white.
convert -size 64x48 xc:none -fill blue -draw 'rectangle 0,0 31,47' PNG32:half_transparent.png
convert photo.png -resize '48x48!' -type TrueColor BMP3:icon48.bmp
convert icon48.bmp icon.ico
rm icon48.bmp

cc make_metafiles.c -luemf -o /tmp/corvane_make_metafiles
/tmp/corvane_make_metafiles
rm -f /tmp/corvane_make_metafiles
