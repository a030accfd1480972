#!/usr/bin/env python3
"""Writes the files of hostile/: BMP and ICO pictures whose data stop early or skip pixels on purpose, and
JPEG files with thousands of scans or arithmetic-coded data cut short.

Deterministic, Python standard library and cjpeg (libjpeg-turbo-progs). Run from this folder:
python3 make_hostile.py
"""
import os
import struct
import subprocess
import tempfile

W, H = 40, 30


def info_header(width, height, bits, compression=0, colours=0, size_image=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, size_image, 2835, 2835, colours, 0)


def bmp(info, palette, pixels, offset=None):
    start = 14 + len(info) + len(palette)
    offset = start if offset is None else offset
    data = info + palette + pixels
    return b'BM' + struct.pack('<IHHI', 14 + len(data), 0, 0, offset) + data


def rows24(rows):
    out = b''
    for y in range(rows):
        row = b''.join(bytes([(x * 6) & 255, (y * 8) & 255, 200]) for x in range(W))
        out += row + b'\0' * ((4 - len(row) % 4) % 4)
    return out


GREYS = b''.join(bytes([i, i, i, 0]) for i in range(256))


def rows8(rows):
    return b''.join(bytes([(x + y * 3) & 255 for x in range(W)]) for y in range(rows))


def rle8(rows, end):
    out = b''
    for y in range(rows):
        out += bytes([W, (y * 7) & 255, 0, 0])
    return out + (b'\0\1' if end else b'')


def skipping_rle8():
    """Complete by the format, but deltas and an early end of bitmap leave pixels unwritten."""
    out = bytes([10, 50, 0, 2, 20, 3, 10, 90, 0, 0])  # 10 pixels, jump 20 right and 3 rows up, 10 pixels
    out += bytes([5, 120, 0, 1])  # 5 pixels, then the end of the bitmap
    return out


def icon(entry_w, entry_h, dib):
    head = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', entry_w, entry_h, 0, 0, 1, 32, len(dib), 22)
    return head + entry + dib


def icon_dib(rows_colour, rows_mask):
    info = info_header(32, 64, 24)
    colour = b''.join(bytes([(x * 8) & 255, (y * 8) & 255, 100] * 1) for y in range(rows_colour) for x in range(32))
    mask = b'\0\0\0\0' * rows_mask
    return info + colour + mask


def gradient_bmp(width, height):
    rows = b''
    for y in range(height):
        row = b''.join(bytes([(x * 3 + y) & 255, (x * 7) & 255, (y * 5 + x) & 255]) for x in range(width))
        rows += row + b'\0' * ((4 - len(row) % 4) % 4)
    return bmp(info_header(width, height, 24), b"", rows)


def cjpeg(width, height, *options, script=None):
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, 'in.bmp')
        with open(source, 'wb') as out:
            out.write(gradient_bmp(width, height))
        args = ['cjpeg', *options]
        if script is not None:
            with open(os.path.join(tmp, 'scans'), 'w') as out:
                out.write(script)
            args += ['-scans', os.path.join(tmp, 'scans')]
        return subprocess.run(args + [source], check=True, capture_output=True).stdout


def segments(data):
    """The JPEG's marker segments as (marker, bytes), a scan's entropy-coded data kept with its SOS."""
    out, at = [], 2
    while at < len(data):
        marker = data[at + 1]
        if marker == 0xD9:
            break
        end = at + 2 + int.from_bytes(data[at + 2:at + 4], 'big')
        if marker == 0xDA:
            while not (data[end] == 0xFF and data[end + 1] not in (0, *range(0xD0, 0xD8))):
                end += 1
        out.append((marker, data[at:end]))
        at = end
    return out


def many_scans():
    """A progressive JPEG with every AC coefficient of every component in a scan of its own, refined bit by
    bit: 1891 valid scans. cjpeg takes at most 100 scans a file, so each run codes a few coefficients with
    their whole progression, and the scans (with the Huffman tables before each) are put together."""
    head, body = None, []
    for c in range(3):
        for first in range(1, 64, 6):
            ks = range(first, min(first + 6, 64))
            lines = ['0,1,2: 0-0, 0, 0;'] + ['%d: %d-%d, 0, 9;' % (c, k, k) for k in ks]
            lines += ['%d: %d-%d, %d, %d;' % (c, k, k, al, al - 1) for al in range(9, 0, -1) for k in ks]
            segs = segments(cjpeg(64, 64, script='\n'.join(lines) + '\n'))
            first_scan = next(i for i, (m, _) in enumerate(segs) if m == 0xDA)
            dc_end = first_scan + 1
            if head is None:
                head = b''.join(b for _, b in segs[:dc_end])
            body += [b for _, b in segs[dc_end:]]
    return b'\xff\xd8' + head + b''.join(body) + b'\xff\xd9'


def cut(data, fraction):
    """The file up to a fraction of its entropy-coded data, without the end marker."""
    start = data.find(b'\xff\xda')
    start += 2 + int.from_bytes(data[start + 2:start + 4], 'big')
    return data[:start + int((len(data) - 2 - start) * fraction)]


FILES = {
    'bmp24_rows_missing.bmp': bmp(info_header(W, H, 24), b'', rows24(15)),
    'bmp8_offset_near_end.bmp': bmp(info_header(W, H, 8), GREYS, rows8(H), offset=14 + 40 + 1024 + W * H - 20),
    'bmp_rle8_stops_early.bmp': bmp(info_header(W, H, 8, 1), GREYS, rle8(12, False)),
    'bmp_rle8_skips.bmp': bmp(info_header(W, H, 8, 1), GREYS, skipping_rle8()),
    'ico_rows_missing.ico': icon(32, 32, icon_dib(16, 0)),
    'ico_mask_missing.ico': icon(32, 32, icon_dib(32, 5)),
    'jpeg_many_scans.jpg': many_scans(),
    # One row of blocks: data cut anywhere are cut in the last row of blocks.
    'jpeg_arith_one_row_cut.jpg': cut(cjpeg(1600, 8, '-arithmetic'), 0.6),
    'jpeg_arith_last_row_cut.jpg': cut(cjpeg(160, 96, '-arithmetic'), 0.97),
}

if __name__ == '__main__':
    for name, data in FILES.items():
        with open('hostile/' + name, 'wb') as out:
            out.write(data)
