// Reading the orientation tag from EXIF's first directory, and applying it to pixels.
#include "gfx/GfxExif.h"

#include <optional>

#include <cstring>

#include "gfx/GfxTiff.h"

namespace {

constexpr quint16 kShortType = 3;
constexpr quint16 kLongType = 4;
constexpr quint16 kAsciiType = 2;
constexpr quint16 kDateTimeOriginalTag = 0x9003;

// The TIFF structure after an APP1 payload's "Exif\0\0", or nothing. It is only read.
std::optional<TTiffReader> PayloadTiff(const uchar* payload, qsizetype size) {
    if (size < 14 || std::memcmp(payload, "Exif\0\0", 6) != 0)
        return std::nullopt;
    try {
        return TTiffReader({reinterpret_cast<char*>(const_cast<uchar*>(payload)) + 6, size - 6});
    } catch (const EMetaStructure&) {
        return std::nullopt;
    }
}

// The offset of the entry of tag in the directory at ifd; -1 when there is none. Raises EMetaStructure when
// the directory runs past the data before it.
qint64 Entry(const TTiffReader& tiff, qint64 ifd, quint16 tag) {
    const int count = tiff.U16(ifd);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = TiffEntry(ifd, i);
        tiff.Check(entry, 12);
        if (tiff.U16(entry) == tag)
            return entry;
    }
    return -1;
}

} // namespace

int ExifOrientation(const uchar* payload, qsizetype size) {
    const std::optional<TTiffReader> tiff = PayloadTiff(payload, size);
    try {
        const qint64 ifd = tiff ? tiff->U32(4) : 0;
        if (ifd < 8)
            return 1;
        // The first orientation entry that holds a SHORT.
        for (int i = 0, count = tiff->U16(ifd); i < count; ++i) {
            const qint64 entry = TiffEntry(ifd, i);
            tiff->Check(entry, 12);
            if (tiff->U16(entry) == kTiffOrientationTag && tiff->U16(entry + 2) == kShortType &&
                tiff->U32(entry + 4) >= 1) {
                const int value = tiff->U16(entry + 8);
                return value >= 1 && value <= 8 ? value : 1;
            }
        }
    } catch (const EMetaStructure&) {
    }
    return 1;
}

QByteArray ExifDateTimeOriginal(const uchar* payload, qsizetype size) {
    const std::optional<TTiffReader> tiff = PayloadTiff(payload, size);
    try {
        const qint64 pointer = tiff ? Entry(*tiff, tiff->U32(4), kTiffExifIfdTag) : -1;
        if (pointer < 0 || tiff->U16(pointer + 2) != kLongType)
            return {};
        const qint64 date = Entry(*tiff, tiff->U32(pointer + 8), kDateTimeOriginalTag);
        // 19 characters and a closing zero: too long to sit in the entry itself, so the entry holds its
        // offset.
        if (date < 0 || tiff->U16(date + 2) != kAsciiType || tiff->U32(date + 4) < 19)
            return {};
        const qint64 at = tiff->U32(date + 8);
        tiff->Check(at, 19);
        return QByteArray(tiff->Block().Data + at, 19);
    } catch (const EMetaStructure&) {
        return {};
    }
}

QImage Upright(const QImage& stored, int orientation) {
    if (orientation < 2 || orientation > 8)
        return stored;
    const int w = stored.width();
    const int h = stored.height();
    const QSize size = UprightSize(orientation, w, h);
    QImage result(size, QImage::Format_BGR888);
    if (result.isNull())
        return result;
    for (int v = 0; v < size.height(); ++v) {
        uchar* dest = result.scanLine(v);
        for (int u = 0; u < size.width(); ++u, dest += 3) {
            const QPoint p = StoredPixel(orientation, u, v, w, h);
            std::memcpy(dest, stored.constScanLine(p.y()) + 3 * p.x(), 3);
        }
    }
    return result;
}
