#!/usr/bin/env python3
"""Hostile metadata around a small photo (argument: a JPEG without metadata). Each file carries a GPS
position behind a structure that must not be followed blindly; a gallery must refuse it, not crash, and not
publish the position."""
import struct
import sys

body = open(sys.argv[1], "rb").read()[2:]  # after SOI


def entry(tag, typ, count, value):
    return struct.pack("<HHII", tag, typ, count, value)


def tiff(next_ifd0=0, gps_count=None, exif_ptr=None, cut=None):
    """II TIFF: IFD0 (orientation, GPS pointer[, EXIF pointer]) at 8, then the GPS directory and its value."""
    ifd0_entries = [entry(0x0112, 3, 1, 6)]
    n0 = 2 + (1 if exif_ptr is not None else 0)
    gps_at = 8 + 2 + 12 * n0 + 4
    ifd0_entries.append(entry(0x8825, 4, 1, gps_at))
    if exif_ptr is not None:
        ifd0_entries.append(entry(0x8769, 4, 1, exif_ptr))
    ifd0 = struct.pack("<H", n0) + b"".join(ifd0_entries) + struct.pack("<I", next_ifd0)
    value_at = gps_at + 2 + 12 * 2 + 4
    gps = struct.pack("<H", 2 if gps_count is None else gps_count)
    gps += entry(1, 2, 2, 0x4E) + entry(2, 5, 3, value_at) + struct.pack("<I", 0)
    values = struct.pack("<6I", 48, 1, 51, 1, 30, 1)
    data = b"II*\x00" + struct.pack("<I", 8) + ifd0 + gps + values
    return data[:cut] if cut else data


def app1(payload, length=None):
    return b"\xff\xe1" + struct.pack(">H", length or len(payload) + 2) + payload


def write(name, segment, tail=body):
    open(name, "wb").write(b"\xff\xd8" + segment + tail)


write("hostile_ifd_loop.jpg", app1(b"Exif\0\0" + tiff(next_ifd0=8)))
write("hostile_exif_ifd_loop.jpg", app1(b"Exif\0\0" + tiff(exif_ptr=8)))
write("hostile_exif_truncated.jpg", app1(b"Exif\0\0" + tiff(cut=40)))
write("hostile_gps_count_huge.jpg", app1(b"Exif\0\0" + tiff(gps_count=0xFFFF)))
write("hostile_segment_past_end.jpg", app1(b"Exif\0\0" + tiff(), length=0xFFF0), tail=b"")
xmp = (b'http://ns.adobe.com/xap/1.0/\0<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF '
       b'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description '
       b'xmlns:exif="http://ns.adobe.com/exif/1.0/"><exif:GPSLatitude>48,51.5N</rdf:Description>'
       b'</rdf:RDF></x:xmpmeta>')
write("hostile_xmp_unclosed.jpg", app1(xmp))
