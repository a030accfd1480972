// A JPEG's EXIF orientation, and turning pictures upright by it (internal to the picture unit).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QSize>

// The orientation tag (1..8) of an APP1 segment's payload (starting "Exif\0\0"); 1 when it has none, or an
// unknown value.
int ExifOrientation(const uchar* payload, qsizetype size);

// The date the picture was taken, as an APP1 segment's payload (starting "Exif\0\0") stores it in the EXIF
// directory's DateTimeOriginal tag: "YYYY:MM:DD HH:MM:SS". Empty when it has none.
QByteArray ExifDateTimeOriginal(const uchar* payload, qsizetype size);

// True for the orientations that swap width and height (5 to 8).
inline bool SwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The size of the upright picture of a stored w x h one.
inline QSize UprightSize(int orientation, int w, int h) {
    return SwapsSides(orientation) ? QSize(h, w) : QSize(w, h);
}

// The stored pixel that the upright picture shows at (u, v); w x h is the stored size.
inline QPoint StoredPixel(int orientation, int u, int v, int w, int h) {
    switch (orientation) {
    case 2:
        return {w - 1 - u, v};
    case 3:
        return {w - 1 - u, h - 1 - v};
    case 4:
        return {u, h - 1 - v};
    case 5:
        return {v, u};
    case 6:
        return {v, h - 1 - u};
    case 7:
        return {w - 1 - v, h - 1 - u};
    case 8:
        return {w - 1 - v, u};
    default:
        return {u, v};
    }
}

// The upright picture of a stored Format_BGR888 one; the same picture for orientation 1. Null when memory
// runs out.
QImage Upright(const QImage& stored, int orientation);
