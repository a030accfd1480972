// The one reading of a BMP's header, and checks of BMP and ICO bytes that the decoder cannot be trusted
// with (internal to the picture unit): it leaves the rows a short file lacks as whatever memory held, and
// names one reason for every refusal.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "gfx/GfxFormat.h"

// The header of a BMP or of an icon entry, as the decoder reads it. Width and Height are as declared
// (Height made positive, TopDown telling its sign) as soon as the bytes hold them, also for a header the
// decoder refuses.
struct TDibHeader {
    quint32 Size = 0;
    qint64 Width = 0, Height = 0;
    bool TopDown = false;
    int Bits = 0;
    quint32 Compression = 0;
    qint64 Colours = 0; // palette entries that follow the header (and the masks)
    qint64 PaletteEnd = 0;

    bool Rle() const { return Compression == 1 || Compression == 2; }
};

// Enough of a BMP's first bytes for ReadBmpHeader: file header, the largest info header, masks and palette.
inline constexpr qint64 kBmpHeadBytes = 14 + 124 + 16 + 256 * 4;

// Reads the headers of a BMP file from its first bytes (a palette that goes past them counts as cut
// short). Empty when the decoder takes them, otherwise why not ("its header size of 52 bytes is not
// supported").
QString ReadBmpHeader(const QByteArray& file, TDibHeader& header);

// "it is cut short: 15 of 30 rows present" when a BMP's or an icon entry's pixel data end before its last
// row; empty when they are whole, or when the header is not one these checks know (the decoder decides).
// Pictures that skip pixels on purpose (RLE deltas, an early end of bitmap) are whole.
QString BmpCutShort(const QByteArray& file);
QString IconCutShort(const QByteArray& file, int entry);

// Why the decoder refuses a BMP or an icon entry, read from its header (its size, bit count, compression or
// palette count, or a header or palette cut short); empty when the header does not explain it.
QString BmpRefusal(const QByteArray& file);
QString IconRefusal(const QByteArray& file, int entry);

class QImageReader;

// Reads a "bmp" or an "ico" file through Qt's reader (already at the icon entry chosen) with every pixel
// defined: a picture whose data end before its last row is refused ("it is cut short: 15 of 30 rows
// present"); RLE pictures are decoded here, where pixels skipped on purpose take the first palette colour;
// the others go into a bitmap cleared beforehand. Throws EGfxException naming the file, with the reason the
// header gives when Qt refuses it.
QImage ReadWholePicture(const QString& fileName, const QByteArray& format, QImageReader& reader);

// Decodes a BMP, or an icon's DIB entry `entry` (-1: the largest by the sizes Qt reports), with Qt's reader
// over the whole file as checked here; the picture checked against the size limit. Throws EGfxException
// naming the file.
TPictureFile ReadDibWithQt(const QString& fileName, const QByteArray& format, int entry = 0);
