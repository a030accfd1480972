#!/usr/bin/env bash
# Makes caption/*: small pictures carrying a title or description in each kind of metadata a caption is
# taken from, written into copies of seeds/seed.jpg, valid/kind_photo.png, valid/kind_photo.webp and
# valid/kind_two_pages.tif. Every file's caption is "Harbour at dusk" unless its name says otherwise.
# Needs libimage-exiftool-perl and exiv2. Run in this folder.
set -euo pipefail
c=caption
t="Harbour at dusk"
rm -f $c/*
x() { exiftool -q -m -o "$c/$1" "${@:3}" "$2"; }
x exif_description.jpg seeds/seed.jpg "-EXIF:ImageDescription=$t"
# A title wins over a description.
x xmp_title_and_exif_description.jpg seeds/seed.jpg "-XMP-dc:Title=$t" "-EXIF:ImageDescription=Boats"
x xmp_description.jpg seeds/seed.jpg "-XMP-dc:Description=$t"
# What cameras write when the user wrote nothing: no caption.
x camera_placeholder.jpg seeds/seed.jpg "-EXIF:ImageDescription=OLYMPUS DIGITAL CAMERA         "
x png_title.png valid/kind_photo.png "-PNG:Title=$t"
x png_description.png valid/kind_photo.png "-PNG:Description=$t"
# Not Latin-1, so exiftool writes an iTXt chunk; the characters a page must escape, and a line break.
x png_title_utf8_markup.png valid/kind_photo.png "-PNG:Title=Kai <&> \"Ōtautahi\"
at dusk"
# This exiftool does not write WebP: exiv2 does.
cp valid/kind_photo.webp $c/xmp_title.webp
exiv2 -q -M"set Xmp.dc.title lang=x-default $t" $c/xmp_title.webp
x exif_description.tif valid/kind_two_pages.tif "-EXIF:ImageDescription=$t"
