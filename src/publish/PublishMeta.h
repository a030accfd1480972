// What of a picture's metadata goes out with the gallery: the published copies without the place a photo was
// taken (EXIF GPS, XMP and IPTC location fields), or without anything but what shows the picture upright.
#pragma once

#include <QByteArray>
#include <QString>

#include "gallery/PublishMetaChoice.h"

// The bytes to publish for a picture file's bytes under rule. Location fields are blanked where they stand,
// so every other byte stays and a picture without a location comes back unchanged; pmOrientationOnly writes
// the picture's metadata anew. JPEG, PNG, WebP, TIFF, HEIC and GIF (told by their content) are cleaned,
// down to the thumbnail inside a JPEG's EXIF and a GIF's XMP; other kinds carry no location and come back as
// they are. Every result other than pmKeepAll's is read back by
// Exiv2 and must show no position. Raises EGalleryException naming file (only used in the message) when the
// picture cannot be cleaned that surely: damaged metadata, a structure this does not follow.
QByteArray PublishedBytes(const QString& file, const QByteArray& bytes, TPublishMeta rule);

// The run's copy step: source published as dest under rule. pmKeepAll, and a picture without location, are
// CopyFileOnce (the copy is byte for byte the source); otherwise dest is written with PublishedBytes when it
// does not hold them yet. Never writes the source itself (a dest that is the source or a link to it is
// refused when the source has a location). Raises EGalleryException naming the file.
void PublishPicture(const QString& source, const QString& dest, TPublishMeta rule,
                    bool evenWhenNewer = false);

// For a JPEG made anew from a picture (a web-sized copy): the JPEG's bytes with source's metadata under rule.
// The orientation is written as upright (1), since the new pixels are turned already, and the source's
// embedded thumbnail is left out (it shows the old size and turn). pmKeepAll keeps EXIF and XMP (of a HEIC
// too), pmRemoveLocation the same without location, pmOrientationOnly only the orientation. The colour
// profile is not copied: the new JPEG's pixels are in its own colours. Raises EGalleryException naming source
// when its metadata cannot be read, or the result would still show a position.
QByteArray JpegWithMetadataOf(const QString& source, const QByteArray& jpeg, TPublishMeta rule);

// The message of a picture that cannot be published without its location.
QString CannotCleanMessage(const QString& file, const QString& why);
