// Opening a picture file by its extension, and bringing any decoded picture to 24 bits (internal).
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

#include "gfx/GfxFormat.h"

class QImageReader;

// As LoadPictureFile, but a JPEG's scan is left for later.
TPictureFile OpenPictureFile(const QString& fileName);

// Decodes a file of one of the picture kinds' extensions (compared ignoring case) into a Format_BGR888
// picture. Throws EGfxException naming the file for a missing or empty file, an unknown extension, a picture
// above the size limit and anything the decoder refuses.
QImage LoadPictureFile(const QString& fileName);

// Any picture as Format_BGR888; transparent pixels are laid over white. Null stays null.
QImage ToBgr888(const QImage& picture);
// The opacity of a picture with transparent pixels (Format_Alpha8); null when every pixel is opaque.
QImage AlphaOf(const QImage& picture);

// Decodes a file in a format Qt reads whole or refuses ("png", "gif", "webp", "tiff"), checked against the
// size limit. Read from device when given (the file's content as the reader is to see it), otherwise from the
// file. Throws EGfxException naming the file.
TPictureFile ReadWithQt(const QString& fileName, const QByteArray& format, QIODevice* device = nullptr);

// The steps of ReadWithQt, for the kinds that read in their own way: Qt's reader set to the format named
// (never guessed) and to device or the file; the size its header gives checked against the limit; a
// picture read checked again and brought to 24-bit blue-green-red with its opacity.
void SetUpQtReader(QImageReader& reader, const QString& fileName, const QByteArray& format, QIODevice* device);
void CheckReaderSize(const QString& fileName, QImageReader& reader);
TPictureFile QtPicture(const QString& fileName, const QImage& image);
