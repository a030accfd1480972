// Reading the orientation tag from EXIF's first directory, and applying it to pixels.
#include "gfx/GfxExif.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kShortType = 3;
constexpr quint16 kLongType = 4;
constexpr quint16 kAsciiType = 2;
constexpr quint16 kExifDirectoryTag = 0x8769;
constexpr quint16 kDateTimeOriginalTag = 0x9003;

// The TIFF structure after "Exif\0\0": every read is checked against its length.
class TTiffReader {
public:
    TTiffReader(const uchar* tiff, qsizetype length) : FTiff(tiff), FLength(length) {
        FLittle = length >= 8 && tiff[0] == 'I' && tiff[1] == 'I';
        FValid = length >= 8 && (FLittle || (tiff[0] == 'M' && tiff[1] == 'M')) && U16(2) == 42;
    }
    bool Valid() const { return FValid; }
    bool Fits(qsizetype at, qsizetype size) const { return at >= 0 && size >= 0 && at <= FLength - size; }
    quint16 U16(qsizetype at) const {
        return FLittle ? qFromLittleEndian<quint16>(FTiff + at) : qFromBigEndian<quint16>(FTiff + at);
    }
    quint32 U32(qsizetype at) const {
        return FLittle ? qFromLittleEndian<quint32>(FTiff + at) : qFromBigEndian<quint32>(FTiff + at);
    }
    // The offset of the 12-byte entry of tag in the directory at ifd; -1 when there is none.
    qsizetype Entry(qsizetype ifd, quint16 tag) const {
        if (!Fits(ifd, 2))
            return -1;
        const int count = U16(ifd);
        for (int i = 0; i < count; ++i) {
            const qsizetype entry = ifd + 2 + 12 * qsizetype(i);
            if (!Fits(entry, 12))
                return -1;
            if (U16(entry) == tag)
                return entry;
        }
        return -1;
    }
    const uchar* At(qsizetype at) const { return FTiff + at; }

private:
    const uchar* FTiff;
    qsizetype FLength;
    bool FLittle = false;
    bool FValid = false;
};

} // namespace

int ExifOrientation(const uchar* payload, qsizetype size) {
    // "Exif\0\0", then a TIFF header: byte order, 42, the first directory's offset.
    if (size < 14 || std::memcmp(payload, "Exif\0\0", 6) != 0)
        return 1;
    const uchar* tiff = payload + 6;
    const qsizetype length = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    const auto u16 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint16>(tiff + at) : qFromBigEndian<quint16>(tiff + at);
    };
    const auto u32 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint32>(tiff + at) : qFromBigEndian<quint32>(tiff + at);
    };
    if (u16(2) != 42)
        return 1;
    const qsizetype ifd = u32(4);
    if (ifd < 8 || ifd > length - 2)
        return 1;
    const int count = u16(ifd);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + 12 * qsizetype(i);
        if (entry > length - 12)
            return 1;
        if (u16(entry) == kOrientationTag && u16(entry + 2) == kShortType && u32(entry + 4) >= 1) {
            const int value = u16(entry + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

QByteArray ExifDateTimeOriginal(const uchar* payload, qsizetype size) {
    if (size < 14 || std::memcmp(payload, "Exif\0\0", 6) != 0)
        return {};
    const TTiffReader tiff(payload + 6, size - 6);
    if (!tiff.Valid())
        return {};
    const qsizetype pointer = tiff.Entry(tiff.U32(4), kExifDirectoryTag);
    if (pointer < 0 || tiff.U16(pointer + 2) != kLongType)
        return {};
    const qsizetype date = tiff.Entry(tiff.U32(pointer + 8), kDateTimeOriginalTag);
    // 19 characters and a closing zero: too long to sit in the entry itself, so the entry holds its offset.
    if (date < 0 || tiff.U16(date + 2) != kAsciiType || tiff.U32(date + 4) < 19)
        return {};
    const qsizetype at = tiff.U32(date + 8);
    if (!tiff.Fits(at, 19))
        return {};
    return QByteArray(reinterpret_cast<const char*>(tiff.At(at)), 19);
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
