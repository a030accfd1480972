#!/usr/bin/env python3
"""A small GIF without metadata (argument: the file to write): 20 x 12 pixels in 128 greys, each pixel's
code written as its own byte (a clear code before every 126 codes keeps the codes 8 bits wide)."""
import struct
import sys

width, height = 20, 12
palette = b"".join(bytes((2 * i, 2 * i, 2 * i)) for i in range(128))
pixels = [(x * 6 + y * 5) % 128 for y in range(height) for x in range(width)]
codes = []
for i in range(0, len(pixels), 126):
    codes += [128] + pixels[i:i + 126]
data = bytes(codes + [129])
blocks = b"".join(bytes((len(data[i:i + 255]),)) + data[i:i + 255] for i in range(0, len(data), 255))
gif = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF6, 0, 0) + palette
gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x07" + blocks + b"\x00\x3B"
open(sys.argv[1], "wb").write(gif)
