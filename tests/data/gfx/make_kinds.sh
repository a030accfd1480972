#!/usr/bin/env bash
# Makes the PNG, GIF, WebP, TIFF and HEIC test pictures (valid/kind_*) and their broken variants
# (malformed/kind_*) from valid/jpeg_444.jpg. Needs python3-pil, webp (cwebp), libheif-examples (heif-enc).
# Run in this folder.
set -euo pipefail
src=valid/jpeg_444.jpg
v=valid/kind_
m=malformed/kind_
/usr/bin/python3 - "$src" <<'PY'
import sys, struct, zlib
V, M = "valid/kind_", "malformed/kind_"
from PIL import Image
photo = Image.open(sys.argv[1]).convert("RGB").resize((64, 40), Image.LANCZOS)
photo.save(V + "photo.png")
# Alpha falls from 255 (opaque) at the left to 0 (clear) at the right.
rgba = photo.copy().convert("RGBA")
rgba.putalpha(Image.linear_gradient("L").rotate(90).resize((64, 40)).transpose(Image.FLIP_LEFT_RIGHT))
rgba.save(V + "alpha_gradient.png")
# Two frames, the first solid red with a transparent left half, the second blue.
f1 = Image.new("P", (40, 30), 1); f1.putpalette([0, 0, 0, 255, 0, 0, 0, 0, 255] + [0] * 759)
f1.paste(0, (0, 0, 20, 30))
f2 = Image.new("P", (40, 30), 2); f2.putpalette([0, 0, 0, 255, 0, 0, 0, 0, 255] + [0] * 759)
f1.save(V + "two_frames.gif", save_all=True, append_images=[f2], transparency=0, duration=100, loop=0)
photo.save(V + "two_pages.tif", save_all=True, append_images=[photo.resize((32, 20))], compression="tiff_deflate")
photo.save(V + "photo_heic_source.png")
data = open(V + "photo.png", "rb").read()
open(M + "truncated.png", "wb").write(data[: len(data) // 2])
# The header claims 200000 x 200000 pixels (with a right checksum).
ihdr = bytearray(data[12:29]); ihdr[4:12] = struct.pack(">II", 200000, 200000)
open(M + "lying_size.png", "wb").write(data[:12] + bytes(ihdr) + struct.pack(">I", zlib.crc32(bytes(ihdr))) + data[33:])
gif = open(V + "two_frames.gif", "rb").read()
open(M + "truncated.gif", "wb").write(gif[:40])
zero = bytearray(gif); zero[6:10] = b"\0\0\0\0"
i = gif.index(b"\x2c"); zero[i + 5:i + 9] = b"\0\0\0\0"  # the first frame's own size too
open(M + "zero_size.gif", "wb").write(bytes(zero))
tif = open(V + "two_pages.tif", "rb").read()
open(M + "truncated.tif", "wb").write(tif[: len(tif) // 3])
PY
cwebp -quiet -q 80 ${v}photo.png -o ${v}photo.webp
cwebp -quiet -lossless ${v}alpha_gradient.png -o ${v}alpha_gradient.webp
heif-enc -q 80 ${v}photo_heic_source.png -o ${v}photo.heic >/dev/null
rm ${v}photo_heic_source.png
/usr/bin/python3 heic_irot.py ${v}photo.heic ${v}turned_90.heic 90
/usr/bin/python3 - <<'PY'
V, M = "valid/kind_", "malformed/kind_"
for name in ("photo.webp", "photo.heic"):
    data = open(V + name, "rb").read()
    open(M + "truncated." + name.split(".")[1], "wb").write(data[: len(data) // 2])
webp = bytearray(open(V + "photo.webp", "rb").read())
webp[26:30] = b"\0\0\0\0"  # the VP8 frame's width and height
open(M + "zero_size.webp", "wb").write(bytes(webp))
PY
