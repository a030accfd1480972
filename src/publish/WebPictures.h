// Pictures published for the web: one larger than the gallery's limit on its long side goes out as a JPEG of
// that size, shrunk by area averaging and turned upright, instead of the original a visitor would load.
#pragma once

#include <QSize>
#include <QString>

#include "publish/PublishMeta.h"

// Quality of the web-sized JPEGs: a photograph shows no artefacts at it, at about a quarter of the bytes
// of quality 100.
inline constexpr int kWebJpegQuality = 85;

// The size a picture of width x height is published at with at most maxSide pixels on its long side: its
// own when it is not larger (never enlarged), else shrunk keeping its proportions.
QSize WebPictureSize(int width, int height, int maxSide);

// The picture file's size as its page measures it (upright, from its header where it can be read there).
// Throws the measuring error, naming the file.
QSize MeasuredPictureSize(const QString& fileName);

// Writes the web-sized JPEG of source into dest (through a temporary file, so no part of it is ever left
// under dest), with the source's metadata under rule. Throws the loader's error for a picture that cannot be
// read, and EGalleryException naming the file for metadata that cannot be cleaned or a dest that cannot be
// written.
void SaveWebPicture(const QString& source, int maxSide, TPublishMeta rule, const QString& dest);
