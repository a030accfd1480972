// Reading the orientation tag from EXIF's first directory, and applying it to pixels.
#include "gfx/GfxExif.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kShortType = 3;

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
