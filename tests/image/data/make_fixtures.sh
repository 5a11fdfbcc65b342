#!/usr/bin/env bash
# Regenerates the committed fixture pictures with ImageMagick from one 16-colour pattern (the
# same pattern the tests compute in code): files written by an encoder that is not ours.
# Usage: tests/image/data/make_fixtures.sh   (needs imagemagick)
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
pal = [(0,0,0),(255,255,255),(200,30,30),(30,200,30),(30,30,200),(220,220,40),(40,220,220),(220,40,220),
       (128,64,0),(0,128,64),(64,0,128),(250,128,114),(100,100,100),(180,180,180),(255,165,0),(75,0,130)]
w, h = 37, 23
rows = bytearray()
for y in range(h):
    for x in range(w):
        rows += bytes(pal[(x // 4 + (y // 3) * 3 + (5 if (x + y) % 7 == 0 else 0)) % 16])
open("pattern.ppm", "wb").write(b"P6\n%d %d\n255\n" % (w, h) + rows)
PY
convert pattern.ppm im_plain.gif
convert pattern.ppm -interlace GIF im_interlaced.gif
# This ImageMagick writes rows top-down while declaring the bottom-left origin unless the
# orientation is given; -flip with BottomLeft gives true bottom-up files.
convert pattern.ppm -flip -orient BottomLeft -type TrueColor -compress RLE im_rle24.tga
convert pattern.ppm -orient TopLeft -type TrueColor -compress None im_raw24.tga
convert pattern.ppm -flip -orient BottomLeft -type Palette -compress RLE im_rle8map.tga
convert pattern.ppm -type TrueColor im_24.pcx
convert pattern.ppm -type Palette im_8.pcx
convert pattern.ppm -type Palette -compress RLE bmp3:im_rle8.bmp
convert pattern.ppm -type TrueColor bmp3:im_24.bmp
convert pattern.ppm -type Palette bmp3:im_8.bmp
rm pattern.ppm
