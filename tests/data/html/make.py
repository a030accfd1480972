#!/usr/bin/env python3
"""Writes the generated pictures of this folder (deterministic; needs cjpeg from libjpeg-turbo-progs)."""
import struct, subprocess, sys, os

os.chdir(os.path.dirname(os.path.abspath(__file__)))


def ppm(width, height):
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            rows += bytes(((x * 255) // width, (y * 255) // height, ((x ^ y) * 7) & 0xFF))
    return b"P6 %d %d 255\n" % (width, height) + bytes(rows)


def jpeg(width, height):
    return subprocess.run(["cjpeg", "-quality", "75"], input=ppm(width, height),
                          capture_output=True, check=True).stdout


def pad_jpeg(data, total):
    """Inserts COM segments after SOI so that the file is exactly `total` bytes."""
    missing = total - len(data)
    assert missing >= 4, "picture already larger than wanted"
    segments = b""
    while missing > 0:
        body = min(missing - 4, 65533)
        if missing - (body + 4) in (1, 2, 3):  # leave room for one more full segment
            body -= 4
        segments += b"\xFF\xFE" + struct.pack(">H", body + 2) + b"." * body
        missing -= body + 4
    return data[:2] + segments + data[2:]


def bmp_1x1(total):
    """A 1 x 1 24-bit BMP with an OS/2 core header, the pixels placed at the end to fill `total` bytes."""
    offset = total - 4
    return (b"BM" + struct.pack("<IHHI", total, 0, 0, offset) + struct.pack("<IHHHH", 12, 1, 1, 1, 24)
            + b"\0" * (offset - 26) + b"\x00\x00\xFF\x00")


def ico_dib_entry(width, height):
    """A 32-bit DIB icon image (no AND mask rows needed for 32 bits, but included)."""
    mask_row = ((width + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"\x80\x40\x20\xFF" * (width * height) + b"\0" * (mask_row * height)


def ico(sizes, directory=None):
    """An icon of 32-bit DIB entries; `directory` gives other sizes to write in the directory."""
    images = [ico_dib_entry(w, h) for w, h in sizes]
    offset = 6 + 16 * len(sizes)
    out = struct.pack("<HHH", 0, 1, len(sizes))
    for (w, h), image in zip(directory or sizes, images):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


files = {
    "photo_640x480_57651_bytes.jpg": pad_jpeg(jpeg(640, 480), 57651),
    "thumb_150x120.jpg": jpeg(150, 120),
    "bmp_1x1_51_bytes.bmp": bmp_1x1(51),
    "bmp_1x1_256_bytes.bmp": bmp_1x1(256),
    "ico_tie_32x16_before_16x32.ico": ico([(8, 8), (32, 16), (16, 32)]),
    "ico_dir256_dib48.ico": ico([(48, 48)], [(0, 0)]),
    "ico_dir256_dib48_and_64.ico": ico([(48, 48), (64, 64)], [(0, 0), (64, 64)]),
}
for name, data in files.items():
    with open(name, "wb") as f:
        f.write(data)
    print(name, len(data))
