// Hostile pictures made on the spot from valid ones or from nothing, so that no large file is committed:
// metadata that inflate to gigabytes, trailing data, work without end, data cut short, headers that lie.
#pragma once

#include <QByteArray>
#include <QString>

// A 40 x 30 PNG followed by `chunks` compressed text chunks that each inflate to almost 8 MB.
QByteArray PngWithTextBombs(int chunks);
// An icon of one entry, the PNG picture png of width x height.
QByteArray IconOfPng(const QByteArray& png, int width, int height);
// The valid lossy WebP picture as the one frame of an animation.
QByteArray AnimatedWebp();
// A grey progressive JPEG of width x height pixels whose coefficients are all zero: a DC scan, then `acScans`
// valid AC scans (at most 882), each a few dozen bytes.
QByteArray ManyScanJpeg(int width, int height, int acScans);
// A JPEG (the valid 4:4:4 test picture) whose EXIF orientation 6 follows the frame header.
QByteArray JpegWithExifAfterFrame();
// A GIF whose logical screen is width x height with one 1 x 1 frame at its top-left corner.
QByteArray GifWithScreen(int width, int height);
// The valid two-frame GIF cut inside its first frame's data.
QByteArray CutGif();
// An uncompressed 40 x 30 palette TIFF of 4 bits a pixel whose pixel data hold `rows` rows.
QByteArray PaletteTiff(int rows);
// The valid HEIC picture (a grid of one 64 x 64 tile shown as 64 x 40), its grid made of rows x columns
// references to that tile with an output of outW x outH; its grid's ispe says ispeW x ispeH.
QByteArray HeicGrid(int rows, int columns, int outW, int outH, int ispeW, int ispeH);

// The bytes of a committed test picture, and those bytes followed by `zeros` zero bytes written as a hole
// (a sparse file: no disk space), at path.
QByteArray ValidPicture(const char* name);
void WriteWithTrailingZeros(const QString& path, const QByteArray& bytes, qint64 zeros);
