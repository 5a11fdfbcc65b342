#!/usr/bin/env bash
# Regenerates the committed WebP and AVIF fixtures with the Debian encoders (cwebp from webp,
# avifenc from libavif-bin) from one block pattern the tests also compute: 16x12, red top-left,
# blue top-right, green bottom-left, white bottom-right; the alpha variants make the right half
# fully transparent; the animation shows the pattern, then black. Blocks of one colour keep lossy encoders close to the exact colours.
# Usage: tests/image/data/make_webp_avif.sh
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
import struct, zlib
def png(name, alpha, second=False):
    w, h = 16, 12
    raw = bytearray()
    for y in range(h):
        raw.append(0)
        for x in range(w):
            top, left = y < h // 2, x < w // 2
            rgb = (255, 0, 0) if top and left else (0, 0, 255) if top else (0, 255, 0) if left else (255, 255, 255)
            if second: rgb = (0, 0, 0)
            raw += bytes(rgb) + bytes([255 if (left or not alpha) else 0])
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b"")
    open(name, "wb").write(data)
png("blocks.png", False)
png("blocks_alpha.png", True)
png("blocks_second.png", False, second=True)
PY
cwebp -quiet -q 90 blocks.png -o im_lossy.webp
cwebp -quiet -lossless blocks.png -o im_lossless.webp
cwebp -quiet -q 90 -exact blocks_alpha.png -o im_alpha.webp
img2webp -lossless blocks.png blocks_second.png -o im_animated.webp >/dev/null
avifenc -j 1 --min 10 --max 10 blocks.png im_lossy.avif >/dev/null
avifenc -j 1 --lossless blocks.png im_lossless.avif >/dev/null
avifenc -j 1 --min 10 --max 10 blocks_alpha.png im_alpha.avif >/dev/null
rm blocks.png blocks_alpha.png blocks_second.png
