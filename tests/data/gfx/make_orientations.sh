#!/usr/bin/env bash
# Makes valid/orient_422_N.jpg and valid/orient_420_N.jpg (N = 1..8): the odd-sized valid/jpeg_422_odd_size.jpg
# (257 x 161, 4:2:2) as it is, and re-encoded 4:2:0 by cjpeg, each with EXIF orientation N set by exiftool.
# Needs libjpeg-turbo-progs and libimage-exiftool-perl. Run in this folder.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
djpeg -ppm valid/jpeg_422_odd_size.jpg >"$tmp/src.ppm"
cjpeg -quality 85 -sample 2x2 "$tmp/src.ppm" >"$tmp/420.jpg"
for n in 1 2 3 4 5 6 7 8; do
    exiftool -q -o "valid/orient_422_$n.jpg" "-Orientation#=$n" valid/jpeg_422_odd_size.jpg
    exiftool -q -o "valid/orient_420_$n.jpg" "-Orientation#=$n" "$tmp/420.jpg"
done
