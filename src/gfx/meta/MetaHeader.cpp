// Reads WMF and EMF headers and derives the picture's natural size at 96 dpi.
#include "gfx/meta/MetaHeader.h"

#include <cmath>

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr int kPlaceableSize = 22;
constexpr int kWmfHeaderSize = 18;
constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
constexpr int kEmfMinHeaderSize = 88;
constexpr quint16 kWmfSetWindowOrg = 0x020B;
constexpr quint16 kWmfSetWindowExt = 0x020C;

// Rounds to the nearest pixel, halves away from zero: a producer declaring 399.92 pixels means 400.
qint64 PixelsAt96(double units, double unitsPerInch) {
    return std::llround(std::fabs(units) * 96.0 / unitsPerInch);
}

QSize CheckedSize(qint64 width, qint64 height, qint64 maxPixels) {
    if (width <= 0 || height <= 0)
        throw TMetaError(QString("the picture is empty (%1 x %2 pixels)").arg(width).arg(height));
    if (!WithinPixelLimit(width, height, maxPixels))
        throw TMetaError(PixelLimitReason(width, height, maxPixels));
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

bool IsWmfHeaderAt(TByteView bytes, qint64 at) {
    const quint16 type = bytes.U16(at);
    const quint16 version = bytes.U16(at + 4);
    return bytes.Has(at, kWmfHeaderSize) && (type == 1 || type == 2) && bytes.U16(at + 2) == 9 &&
           (version == 0x0100 || version == 0x0300);
}

// A WMF without the placeable header has no physical size; the window extent its records set is read
// as twips (1440 per inch), which gives the size the placeable form of the same picture declares.
QRectF ScanWindow(TByteView bytes, qint64 offset) {
    QPointF origin;
    QSizeF extent;
    bool haveOrigin = false;
    for (int count = 0; count < kMaxMetaRecords && bytes.Has(offset, 6); ++count) {
        const qint64 words = bytes.U32(offset);
        const quint16 function = bytes.U16(offset + 4);
        if (words < 3 || !bytes.Has(offset, words * 2) || function == 0)
            break;
        if (function == kWmfSetWindowOrg && !haveOrigin && words >= 5) {
            origin = QPointF(bytes.I16(offset + 8), bytes.I16(offset + 6));
            haveOrigin = true;
        } else if (function == kWmfSetWindowExt && words >= 5) {
            extent = QSizeF(bytes.I16(offset + 8), bytes.I16(offset + 6));
            if (extent.width() != 0 && extent.height() != 0)
                return QRectF(origin, extent);
        }
        offset += words * 2;
    }
    throw TMetaError("the WMF has neither a placeable header nor a window extent, so it has no size");
}

TMetaHeader ReadWmf(TByteView bytes, qint64 maxPixels) {
    TMetaHeader header;
    header.Kind = TMetaKind::Wmf;
    if (bytes.U32(0) == kPlaceableKey) {
        if (!IsWmfHeaderAt(bytes, kPlaceableSize))
            throw TMetaError("the WMF header after the placeable header is missing or broken");
        const QRectF box =
            QRectF(QPointF(bytes.I16(6), bytes.I16(8)), QPointF(bytes.I16(10), bytes.I16(12))).normalized();
        const int inch = bytes.U16(14);
        if (inch == 0)
            throw TMetaError("the placeable header gives 0 units per inch");
        // Placeable: the bounding box at its units per inch, scaled to 96 dpi.
        header.Size = CheckedSize(PixelsAt96(box.width(), inch), PixelsAt96(box.height(), inch), maxPixels);
        header.Window = box;
        // The header size in words is not trusted for the end: some producers count the placeable header
        // in it, and the records end at META_EOF or at the end of the file anyway.
        header.RecordsOffset = kPlaceableSize + bytes.U16(kPlaceableSize + 2) * 2;
        return header;
    }
    header.RecordsOffset = bytes.U16(2) * 2;
    header.Window = ScanWindow(bytes, header.RecordsOffset);
    header.Size = CheckedSize(PixelsAt96(header.Window.width(), 1440),
                              PixelsAt96(header.Window.height(), 1440), maxPixels);
    return header;
}

QRectF RectAt(TByteView bytes, qint64 at) {
    return QRectF(QPointF(bytes.I32(at), bytes.I32(at + 4)), QPointF(bytes.I32(at + 8), bytes.I32(at + 12)));
}

// Size of one reference-device pixel in 0.01 mm; micrometres are the finer figure where given.
QSizeF DevicePixelSize(TByteView bytes, qint64 headerSize) {
    const double devX = bytes.I32(72), devY = bytes.I32(76);
    if (devX <= 0 || devY <= 0)
        return QSizeF(2540.0 / 96, 2540.0 / 96);
    if (headerSize >= 108 && bytes.I32(100) > 0 && bytes.I32(104) > 0)
        return QSizeF(bytes.I32(100) / 10.0 / devX, bytes.I32(104) / 10.0 / devY);
    if (bytes.I32(80) > 0 && bytes.I32(84) > 0)
        return QSizeF(bytes.I32(80) * 100.0 / devX, bytes.I32(84) * 100.0 / devY);
    return QSizeF(2540.0 / 96, 2540.0 / 96);
}

TMetaHeader ReadEmf(TByteView bytes, qint64 maxPixels) {
    TMetaHeader header;
    header.Kind = TMetaKind::Emf;
    const qint64 headerSize = bytes.U32(4);
    if (headerSize < kEmfMinHeaderSize || !bytes.Has(0, headerSize))
        throw TMetaError(QString("the EMF header size %1 is invalid").arg(headerSize));
    header.RecordsOffset = headerSize;
    header.DevicePixelMm100 = DevicePixelSize(bytes, headerSize);
    // EMF: the frame (0.01 mm, inclusive) at 96 dpi. The bounds are reference-device pixels that include
    // pen overhang, so they only stand in for an empty frame.
    QRectF frame = RectAt(bytes, 24).normalized();
    if (frame.width() == 0 || frame.height() == 0) {
        const qint64 left = bytes.I32(8), top = bytes.I32(12), right = bytes.I32(16), bottom = bytes.I32(20);
        const QSizeF pixel = header.DevicePixelMm100;
        if (right > left && bottom > top) // bounds of one pixel or none say nothing was drawn
            frame = QRectF(QPointF(left * pixel.width(), top * pixel.height()),
                           QPointF((right + 1) * pixel.width(), (bottom + 1) * pixel.height()));
    }
    header.Frame = frame;
    header.Size = CheckedSize(PixelsAt96(frame.width(), 2540), PixelsAt96(frame.height(), 2540), maxPixels);
    return header;
}

} // namespace

namespace {

bool IsEmfHeader(TByteView bytes) {
    return bytes.Size() >= kEmfMinHeaderSize && bytes.U32(0) == 1 && bytes.U32(40) == kEmfSignature;
}

bool IsWmfHeader(TByteView bytes) {
    return bytes.U32(0) == kPlaceableKey || IsWmfHeaderAt(bytes, 0);
}

} // namespace

bool IsMetaHeader(TByteView bytes) {
    return IsEmfHeader(bytes) || IsWmfHeader(bytes);
}

TMetaHeader ReadMetaHeader(TByteView bytes, qint64 maxPixels) {
    if (IsEmfHeader(bytes))
        return ReadEmf(bytes, maxPixels);
    if (IsWmfHeader(bytes))
        return ReadWmf(bytes, maxPixels);
    if (bytes.Size() == 0)
        throw TMetaError("the file is empty");
    throw TMetaError("not a WMF or EMF metafile");
}
