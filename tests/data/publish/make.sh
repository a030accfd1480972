#!/usr/bin/env bash
# Makes the photos with a location in every format a gallery cleans, and the hostile variants. Not run by
# the tests: the outputs are committed. Needs libjpeg-turbo-progs, heif-enc (libheif-examples), exiftool
# (libimage-exiftool-perl), g++ with qt6-base-dev and qt6-image-formats-plugins (for WebP and TIFF).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=${SRC:-$here/../gfx/valid/jpeg_exif_orientation6.jpg}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$here"

g++ -std=c++17 -fPIC convert.cpp -o "$tmp/convert" $(pkg-config --cflags --libs Qt6Gui)
# The photo made small: a quarter of each side, no metadata.
djpeg -scale 1/4 "$src" | cjpeg -quality 80 > "$tmp/small.jpg"
for ext in png tif webp; do QT_QPA_PLATFORM=offscreen "$tmp/convert" "$tmp/small.jpg" "$tmp/small.$ext"; done
heif-enc -q 50 -o "$tmp/small.heic" "$tmp/small.png" >/dev/null

gps=(-GPSLatitude=48.858222 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E -GPSAltitude=35
     -GPSAltitudeRef=0 -XMP-exif:GPSLatitude=48.858222N -XMP-exif:GPSLongitude=2.2945E
     -XMP-photoshop:City=Paris -XMP-dc:Title=Tower -Make=TestData -Model=Phone -Orientation#=6)
for ext in jpg png tif webp heic; do
    cp "$tmp/small.$ext" "photo_gps.$ext"
    exiftool -q -overwrite_original "${gps[@]}" "photo_gps.$ext"
done
# A GIF keeps only XMP (an application extension).
python3 "$here/make_gif.py" "$tmp/small.gif"
cp "$tmp/small.gif" photo_gps.gif
exiftool -q -overwrite_original -XMP-exif:GPSLatitude=48.858222N -XMP-exif:GPSLongitude=2.2945E \
    -XMP-photoshop:City=Paris -XMP-dc:Title=Tower photo_gps.gif
cp "$tmp/small.gif" photo_nogps.gif
exiftool -q -overwrite_original -XMP-dc:Title=Tower photo_nogps.gif
# The position only in the thumbnail inside the EXIF: a small JPEG with EXIF GPS and XMP of its own.
djpeg -scale 1/8 "$src" | cjpeg -quality 80 > "$tmp/thumb.jpg"
exiftool -q -overwrite_original "${gps[@]}" "$tmp/thumb.jpg"
cp "$tmp/small.jpg" photo_gps_thumbnail.jpg
exiftool -q -overwrite_original -Make=TestData -Model=Phone -Orientation#=6 -XMP-dc:Title=Tower \
    "-ThumbnailImage<=$tmp/thumb.jpg" photo_gps_thumbnail.jpg
# IPTC places where the formats keep IPTC-IIM: a JPEG's Photoshop segment and a TIFF's IPTC tag.
for ext in jpg tif; do
    exiftool -q -overwrite_original -IPTC:City=Paris -IPTC:Country-PrimaryLocationName=France \
        -IPTC:ObjectName=Tower "photo_gps.$ext"
done
# A picture with another appended after its end, as phones append previews and depth maps (multi-picture
# files): the appended one carries the position.
cat "$tmp/small.jpg" photo_gps.jpg > photo_gps_appended.jpg
# The same photo without any location: its copy must stay byte for byte.
cp "$tmp/small.jpg" photo_nogps.jpg
exiftool -q -overwrite_original -Make=TestData -Orientation#=6 -XMP-dc:Title=Tower photo_nogps.jpg

python3 "$here/make_hostile.py" "$tmp/small.jpg"
