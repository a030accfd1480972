// Metafile kinds, their headers and the picture size each header declares.
#pragma once

#include <stdexcept>

#include <QRectF>
#include <QSize>
#include <QString>

#include "gfx/meta/GfxMeta.h"
#include "gfx/meta/MetaBytes.h"

// A reason why a metafile cannot be read; the caller adds the file name.
class TMetaError : public std::runtime_error {
public:
    explicit TMetaError(const QString& reason) : std::runtime_error(reason.toStdString()) {}
};

enum class TMetaKind { Wmf, Emf };

// Bounds against hostile files: the work and memory a picture may take stay proportional to sane content.
inline constexpr int kMaxMetaRecords = 1'000'000;
inline constexpr int kMaxMetaObjects = 65'535;
inline constexpr int kMaxSavedStates = 1'024;
// Budgets of one picture's drawing: a few bytes of records can ask for a huge bitmap, a fill of the
// whole picture or a costly region merge, again and again. Past a budget the drawing stops with "too
// complex to draw". Each is far above what real files need.
inline constexpr qint64 kMaxMetaBitmapPixels = 200'000'000; // bitmaps decoded, all records together
inline constexpr qint64 kMaxMetaObjectBytes = 256LL << 20;  // bitmaps held by the object table at once
inline constexpr qint64 kMaxMetaDrawnPixels = 600'000'000;  // pixels covered by all drawing together
inline constexpr qint64 kMaxMetaRegionRects = 4'000'000;    // rectangles and edge rows of clip operations

struct TMetaHeader {
    TMetaKind Kind = TMetaKind::Wmf;
    QSize Size;               // the picture at 96 dpi
    qint64 RecordsOffset = 0; // first record after the header(s)
    // WMF: the logical window that fills the whole picture until the records set their own.
    QRectF Window;
    // EMF: the part of the reference device shown, in 0.01 mm, and that device's pixel size in 0.01 mm.
    QRectF Frame;
    QSizeF DevicePixelMm100;
};

// Recognises a WMF (placeable or not) or an EMF by its content and reads its header.
// Throws TMetaError for an unknown or broken header, an empty size, or more than maxPixels pixels.
TMetaHeader ReadMetaHeader(TByteView bytes, qint64 maxPixels);
// True when the bytes start like a WMF (placeable or not) or an EMF; the header may still be unsound.
bool IsMetaHeader(TByteView bytes);
