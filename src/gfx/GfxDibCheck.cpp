// Walks the structure of BMP files and icon entries far enough to tell whether every row is present.
#include "gfx/GfxDibCheck.h"

#include <algorithm>

#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/meta/MetaDib.h"

namespace {

constexpr quint32 kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

// Whose header is read: the BMP reader's rule is narrower than the icon reader's, which reads the palette
// right after 40 bytes whatever size the header gives.
enum class TDibOf { BmpFile, IconEntry };

struct TBytes {
    const QByteArray& Data;
    bool Has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && at + n <= Data.size(); }
    quint8 U8(qint64 at) const { return Has(at, 1) ? quint8(Data[at]) : 0; }
    quint16 U16(qint64 at) const {
        return Has(at, 2) ? qFromLittleEndian<quint16>(Data.constData() + at) : 0;
    }
    quint32 U32(qint64 at) const {
        return Has(at, 4) ? qFromLittleEndian<quint32>(Data.constData() + at) : 0;
    }
};

QString CutShort(qint64 present, qint64 rows, const char* what = "rows") {
    return QString("it is cut short: %1 of %2 %3 present").arg(present).arg(rows).arg(what);
}

bool HeaderSizeKnown(quint32 size, TDibOf of) {
    // The BMP reader takes the OS/2 core (12) and 2.x (64) headers and the Windows ones (40, 108, 124).
    return size == 12 || size == 40 || size == 64 || size == 108 || size == 124 ||
           (of == TDibOf::IconEntry && (size == 52 || size == 56));
}

// Reads the header at "at"; a reason when the decoder would refuse it.
QString ReadDibHeader(const TBytes& b, qint64 at, TDibHeader& h, TDibOf of) {
    if (!b.Has(at, 16))
        return "its header is cut short";
    h.Size = b.U32(at);
    int entry = 4;
    if (h.Size == 12) {
        h.Width = b.U16(at + 4);
        h.Height = b.U16(at + 6);
        h.Bits = b.U16(at + 10);
        entry = 3;
    } else if (h.Size >= 40 && b.Has(at, 40)) {
        h.Width = qint32(b.U32(at + 4));
        const qint64 height = qint32(b.U32(at + 8));
        h.TopDown = height < 0;
        h.Height = height < 0 ? -height : height;
        h.Bits = b.U16(at + 14);
        h.Compression = b.U32(at + 16);
        h.Colours = b.U32(at + 32);
    }
    if (!HeaderSizeKnown(h.Size, of))
        return QString("its header size of %1 bytes is not supported").arg(h.Size);
    if (!b.Has(at, h.Size == 12 ? 12 : 40))
        return "its header is cut short";
    if (h.Bits != 1 && h.Bits != 4 && h.Bits != 8 && h.Bits != 16 && h.Bits != 24 && h.Bits != 32)
        return QString("%1 bits per pixel are not supported").arg(h.Bits);
    const bool rle = (h.Compression == kRle8 && h.Bits == 8) || (h.Compression == kRle4 && h.Bits == 4);
    const bool fields =
        (h.Compression == kBitfields || (of == TDibOf::IconEntry && h.Compression == kAlphaBitfields)) &&
        (h.Bits == 16 || h.Bits == 32);
    if (h.Compression != kRgb && !rle && !fields)
        return QString("compression %1 is not supported with %2 bits per pixel")
            .arg(h.Compression)
            .arg(h.Bits);
    if (h.Bits <= 8 && h.Colours == 0)
        h.Colours = qint64(1) << h.Bits;
    else if (h.Bits > 8)
        h.Colours = 0;
    if (h.Colours > 256)
        return QString("its palette count of %1 is more than 256").arg(h.Colours);
    if (h.Width <= 0 || h.Height == 0)
        return QString("its size of %1 x %2 pixels is not valid").arg(h.Width).arg(h.Height);
    qint64 masks = 0;
    if (h.Size == 40 && fields)
        masks = h.Compression == kAlphaBitfields ? 16 : 12;
    h.PaletteEnd = at + h.Size + masks + h.Colours * entry;
    if (h.PaletteEnd > b.Data.size())
        return "it is cut short in its palette";
    return {};
}

// Rows of an RLE picture reached before its data end; all of them when it ends with its end of bitmap.
qint64 RleRows(const TBytes& b, qint64 at, qint64 rows, int bits) {
    qint64 y = 0;
    while (y < rows) {
        if (!b.Has(at, 2))
            return y;
        const quint8 count = b.U8(at), value = b.U8(at + 1);
        at += 2;
        if (count != 0)
            continue; // a run
        if (value == 0) {
            ++y; // end of line
        } else if (value == 1) {
            return rows; // end of bitmap: the rest is skipped on purpose
        } else if (value == 2) {
            if (!b.Has(at, 2))
                return y;
            y += b.U8(at + 1);
            at += 2;
        } else {
            // An absolute run: as many pixels, padded to a word.
            const qint64 bytes = bits == 8 ? value : (value + 1) / 2;
            if (!b.Has(at, bytes))
                return y;
            at += (bytes + 1) & ~qint64(1);
        }
    }
    return rows;
}

qint64 RowBytes(qint64 width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// Where a BMP's header lies, or an icon entry's; -1 when there is none to check.
qint64 BmpHeaderAt(const TBytes& b) {
    return b.Has(0, 18) && b.U16(0) == 0x4D42 ? 14 : -1;
}

qint64 IconHeaderAt(const TBytes& b, int entry) {
    const qint64 dir = 6 + 16 * qint64(entry);
    if (b.U16(0) != 0 || b.U16(2) != 1 || entry < 0 || entry >= b.U16(4) || !b.Has(dir, 16))
        return -1;
    const qint64 offset = b.U32(dir + 12);
    if (b.Has(offset, 8) && b.Data.mid(offset, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8))
        return -1; // a PNG entry: its own decoder checks its data
    return offset;
}

} // namespace

QString ReadBmpHeader(const QByteArray& file, TDibHeader& header) {
    const TBytes b{file};
    if (!b.Has(0, 18))
        return QStringLiteral("its header is cut short");
    if (BmpHeaderAt(b) < 0)
        return QStringLiteral("it does not start as a BMP does");
    return ReadDibHeader(b, 14, header, TDibOf::BmpFile);
}

QString BmpCutShort(const QByteArray& file) {
    const TBytes b{file};
    TDibHeader h;
    if (!ReadBmpHeader(file, h).isEmpty())
        return {};
    // The pixel data start at the offset the file header gives, unless that points back into the headers.
    const qint64 start = std::max<qint64>(b.U32(10), h.PaletteEnd);
    if (h.Rle()) {
        const qint64 rows = RleRows(b, start, h.Height, h.Bits);
        return rows < h.Height ? CutShort(rows, h.Height) : QString();
    }
    const qint64 available = std::max<qint64>(0, file.size() - start);
    const qint64 rows = std::min(h.Height, available / RowBytes(h.Width, h.Bits));
    return rows < h.Height ? CutShort(rows, h.Height) : QString();
}

QString IconCutShort(const QByteArray& file, int entry) {
    const TBytes b{file};
    const qint64 offset = IconHeaderAt(b, entry);
    TDibHeader h;
    if (offset < 0 || !ReadDibHeader(b, offset, h, TDibOf::IconEntry).isEmpty() || h.Compression != kRgb)
        return {};
    // The directory's size wins; 0 there means 256, taken from the header (whose height counts the mask).
    const qint64 dir = 6 + 16 * qint64(entry);
    const qint64 w = b.U8(dir) ? b.U8(dir) : h.Width;
    const qint64 rows = b.U8(dir + 1) ? b.U8(dir + 1) : h.Height / 2;
    const qint64 start = offset + 40 + h.Colours * 4; // the decoder reads the palette right after 40 bytes
    const qint64 available = std::max<qint64>(0, file.size() - start);
    const qint64 colourRows = std::min(rows, available / RowBytes(w, h.Bits));
    if (colourRows < rows)
        return CutShort(colourRows, rows);
    const qint64 maskRows = std::min(rows, (available - rows * RowBytes(w, h.Bits)) / RowBytes(w, 1));
    return maskRows < rows ? CutShort(maskRows, rows, "rows of its transparency mask") : QString();
}

QString BmpRefusal(const QByteArray& file) {
    const TBytes b{file};
    TDibHeader h;
    if (file.size() < 18)
        return QStringLiteral("its header is cut short");
    return BmpHeaderAt(b) < 0 ? QString() : ReadBmpHeader(file, h);
}

QString IconRefusal(const QByteArray& file, int entry) {
    const TBytes b{file};
    const qint64 offset = IconHeaderAt(b, entry);
    TDibHeader h;
    return offset < 0 ? QString() : ReadDibHeader(b, offset, h, TDibOf::IconEntry);
}

namespace {

// Qt writes the pixels a file gives into the bitmap it is handed when that has the size and layout it
// needs, and leaves the others as they are; otherwise it makes its own, holding whatever memory held.
bool ReadInto(const QString& fileName, QImage& image, QString& error) {
    QImageReader reader(fileName, "bmp");
    reader.setAutoDetectImageFormat(false);
    if (!reader.read(&image)) {
        error = reader.errorString();
        return false;
    }
    return true;
}

QImage Cleared(QSize size, QImage::Format format) {
    QImage image(size, format);
    if (!image.isNull())
        image.fill(0);
    return image;
}

// Qt's bitmap for a BMP, cleared before Qt writes the pixels the file gives into it.
bool ReadBmpCleared(const QString& fileName, const TBytes& b, QImage& image, QString& error) {
    TDibHeader h;
    QImage::Format guess = QImage::Format_RGB32;
    if (ReadBmpHeader(b.Data, h).isEmpty() && h.Bits <= 8)
        guess = h.Bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
    // Read as a BMP whatever the content says, and never cleared past the pixel limit: a file of another
    // kind named .bmp must not size the bitmap.
    QImageReader sizer(fileName, "bmp");
    sizer.setAutoDetectImageFormat(false);
    const QSize size = sizer.size();
    image = size.isValid() && WithinPixelLimit(size.width(), size.height()) ? Cleared(size, guess) : QImage();
    const uchar* cleared = image.isNull() ? nullptr : image.constBits();
    if (!ReadInto(fileName, image, error))
        return false;
    if (cleared != nullptr && image.constBits() == cleared)
        return true;
    // Qt chose another layout: again, into a cleared bitmap of that one.
    image = Cleared(image.size(), image.format());
    cleared = image.constBits();
    if (!ReadInto(fileName, image, error))
        return false;
    if (image.constBits() != cleared) {
        error = QStringLiteral("the decoder did not use the bitmap it was given");
        return false;
    }
    return true;
}

// A BMP whose header is sound and whose pixels are run-length coded.
bool IsRleBmp(const TBytes& b) {
    TDibHeader h;
    return ReadBmpHeader(b.Data, h).isEmpty() && h.Rle();
}

// An RLE BMP through the metafile unit's DIB decoder, which leaves what the data never reach at colour
// index 0; null when it does not take the file.
QImage DecodeRleBmp(const TBytes& b) {
    if (!IsRleBmp(b))
        return {};
    const TByteView view(b.Data);
    return DecodeDib(view.From(14), view.From(b.U32(10)), 0).Image;
}

} // namespace

QImage ReadWholePicture(const QString& fileName, const QByteArray& format, QImageReader& reader) {
    QFile file(fileName);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) {
        // Mapped rather than read: a picture may be hundreds of megabytes.
        const uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
        bytes = mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), file.size())
                       : file.readAll();
    }
    const TBytes b{bytes};
    const bool bmp = format == "bmp";
    const int entry = bmp ? 0 : std::max(0, reader.currentImageNumber());
    const QString cut = bmp ? BmpCutShort(bytes) : IconCutShort(bytes, entry);
    if (!cut.isEmpty())
        throw EGfxException(LoadError(fileName, cut));
    QImage image = bmp ? DecodeRleBmp(b) : QImage();
    // The DIB decoder takes every run-length BMP the format allows; one it refuses (stored top-down, say) is
    // refused here too, not handed to a reader that may leave the pixels it skips undefined.
    if (bmp && image.isNull() && IsRleBmp(b))
        throw EGfxException(LoadError(
            fileName, QStringLiteral("its run-length data cannot be decoded (stored top-down, or damaged)")));
    QString error;
    bool read = !image.isNull();
    if (!read)
        read = bmp ? ReadBmpCleared(fileName, b, image, error) : reader.read(&image);
    if (!read) {
        const QString why = bmp ? BmpRefusal(bytes) : IconRefusal(bytes, entry);
        throw EGfxException(LoadError(
            fileName, UnreadableReason(QString::fromLatin1(format.toUpper()),
                                       why.isEmpty() ? (bmp ? error : reader.errorString()) : why)));
    }
    return image;
}

namespace {

// The largest entry by the sizes Qt's reader reports, for an icon whose directory our own reading found
// doubtful. Entries that do not even report a size are passed over; the reader refuses the file later if
// none is readable.
int LargestEntryByReader(QImageReader& reader) {
    const int count = reader.imageCount();
    int best = 0;
    long long bestArea = -1;
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QSize size = reader.size();
        const long long area = size.isValid() ? static_cast<long long>(size.width()) * size.height() : -1;
        if (area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    return best;
}

} // namespace

TPictureFile ReadDibWithQt(const QString& fileName, const QByteArray& format, int entry) {
    QImageReader reader;
    SetUpQtReader(reader, fileName, format, nullptr);
    if (format == "ico" && reader.imageCount() > 1)
        reader.jumpToImage(entry >= 0 ? entry : LargestEntryByReader(reader));
    CheckReaderSize(fileName, reader);
    return QtPicture(fileName, ReadWholePicture(fileName, format, reader));
}
