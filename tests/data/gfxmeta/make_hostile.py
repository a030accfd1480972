#!/usr/bin/env python3
"""Writes the hostile metafiles of hostile/: each asks for unbounded work, memory or undefined arithmetic.

Deterministic, Python standard library only. Run from this folder: python3 make_hostile.py
"""
import struct

INT_MIN, INT_MAX = -0x80000000, 0x7FFFFFFF


def emf_record(rtype, payload):
    return struct.pack('<II', rtype, 8 + len(payload)) + payload


def ints(*values):
    return struct.pack('<%di' % len(values), *values)


def emf(width, height, records):
    body = b''.join(records)
    eof = bytes.fromhex('0e00000014000000000000001000000014000000')
    header = struct.pack('<II', 1, 88) + ints(0, 0, width - 1, height - 1)
    header += ints(0, 0, width * 2540 // 96, height * 2540 // 96)
    header += struct.pack('<IIIIHH', 0x464D4520, 0x10000, 88 + len(body) + len(eof), len(records) + 2, 16, 0)
    header += ints(0, 0, 0, 1920, 1440, 508, 381)
    return header + body + eof


def wmf(width, height, records):
    body = b''.join(records)
    eof = bytes.fromhex('030000000000')
    head = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, width, height, 96, 0)
    checksum = 0
    for i in range(0, 20, 2):
        checksum ^= struct.unpack_from('<H', head, i)[0]
    head += struct.pack('<H', checksum)
    size = (18 + len(body) + len(eof)) // 2
    return head + struct.pack('<HHHIHIH', 1, 9, 0x0300, size, 16, 3, 0) + body + eof


def wmf_record(function, words):
    return struct.pack('<IH', 3 + len(words), function) + struct.pack('<%dh' % len(words), *words)


# A 2 x 2, 24-bit bottom-up DIB: header, then the bits.
DIB_INFO = struct.pack('<IiiHHIIiiII', 40, 2, 2, 1, 24, 0, 16, 0, 0, 0, 0)
DIB_BITS = bytes.fromhex('0000ff00ff000000ff0000ff0000ffff')


def stretchdibits(src):
    """STRETCHDIBITS drawing the 2 x 2 DIB from the source rectangle src = (x, y, cx, cy)."""
    fixed = ints(0, 0, 10, 10) + ints(5, 5) + ints(*src)
    off_bmi = 80
    off_bits = off_bmi + len(DIB_INFO)
    fixed += struct.pack('<IIIIII', off_bmi, len(DIB_INFO), off_bits, len(DIB_BITS), 0, 0xCC0020)
    fixed += ints(100, 100)
    return emf_record(81, fixed + DIB_INFO + DIB_BITS)


def extreme_coords():
    """Every drawing record with INT_MIN or INT_MAX in every field, and the bitmap records' sources."""
    drawing = [2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 26, 27, 29, 30, 31, 32, 41, 42, 43, 44, 45, 46, 47,
               54, 55, 56, 71, 74, 75, 76, 77, 80, 81, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92]
    records = [emf_record(t, ints(*([v] * 30))) for v in (INT_MIN, INT_MAX) for t in drawing]
    records.append(emf_record(44, ints(10, 10, 100, 100, INT_MIN, INT_MIN)))  # round rectangle's corner
    for v in (INT_MIN, INT_MAX):
        for field in range(4):
            src = [0, 0, 2, 2]
            src[field] = v
            records.append(stretchdibits(src))
        records.append(stretchdibits([v] * 4))
    return emf(320, 240, records)


def clip_paths(count):
    """An ellipse, a rectangle or a self-crossing polygon of 400 corners selected as the clip, again and again,
    with every combining mode and both fill modes."""
    zigzag = []
    for i in range(400):
        zigzag += [(i * 317) % 320, (i * 151) % 240]
    records = []
    for i in range(count):
        box = ints(10 + i % 50, 10, 300, 200)
        shape = [emf_record(42, box), emf_record(43, box), emf_record(3, box + ints(400, *zigzag))][i % 3]
        records += [emf_record(19, ints(1 + i % 2)), emf_record(59, b''), shape, emf_record(60, b''),
                    emf_record(67, ints(1 + i % 5))]
    return emf(320, 240, records)


def pattern_brushes(count):
    """CREATEDIBPATTERNBRUSHPT records of an RLE8 10000 x 10000 bitmap whose data end at once."""
    info = struct.pack('<IiiHHIIiiII', 40, 10000, 10000, 1, 8, 1, 2, 0, 0, 1, 0) + b'\0\0\0\0'
    bits = b'\0\1\0\0'
    records = []
    for i in range(count):
        fixed = struct.pack('<IIIIII', i + 1, 0, 32, len(info), 32 + len(info), len(bits))
        records.append(emf_record(94, fixed + info + bits))
    return emf(100, 100, records)


def full_fills(count):
    """Rectangles over the whole of a 10000 x 10000 picture."""
    records = [emf_record(37, struct.pack('<I', 0x80000004))]  # BLACK_BRUSH
    records += [emf_record(43, ints(0, 0, 10000, 10000)) for _ in range(count)]
    return emf(10000, 10000, records)


def clip_regions(count):
    """EXTSELECTCLIPRGN records XOR-ing small squares of a checkerboard into the clip."""
    records = []
    for i in range(count):
        x, y = (i * 7) % 300, (i * 13) % 220
        rgn = struct.pack('<IIII', 32, 1, 1, 16) + ints(0, 0, 320, 240) + ints(x, y, x + 3, y + 3)
        records.append(emf_record(75, struct.pack('<II', len(rgn), 3) + rgn))
    return emf(320, 240, records)


def many_objects(count):
    """WMF CREATEPALETTE records that fill the object table and then keep asking for a slot."""
    return wmf(100, 100, [wmf_record(0x00F7, []) for _ in range(count)])


FILES = {
    'emf_extreme_coords.emf': extreme_coords(),
    'emf_clip_paths.emf': clip_paths(90),
    'emf_pattern_brushes.emf': pattern_brushes(1000),
    'emf_full_fills.emf': full_fills(500),
    'emf_clip_regions.emf': clip_regions(6000),
    'wmf_many_objects.wmf': many_objects(150000),
}

if __name__ == '__main__':
    for name, data in FILES.items():
        with open('hostile/' + name, 'wb') as out:
            out.write(data)
