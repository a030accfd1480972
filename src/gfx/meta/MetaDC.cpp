// Device context state: saved states, the object table, the window/viewport mapping and the clip region.
#include "gfx/meta/MetaDC.h"

#include <algorithm>
#include <cmath>

namespace {

// Coordinates beyond this many pixels are clamped: the rasteriser works in fixed point, and a hostile file
// may place a point anywhere in 32 bits times any scale.
constexpr double kCoordLimit = 1 << 22;

double Clamp(double value) {
    if (std::isnan(value))
        return 0;
    return std::clamp(value, -kCoordLimit, kCoordLimit);
}

bool Finite(double value) {
    return std::isfinite(value) && std::fabs(value) < 1e12;
}

bool FiniteTransform(const QTransform& t) {
    return Finite(t.m11()) && Finite(t.m12()) && Finite(t.m21()) && Finite(t.m22()) && Finite(t.dx()) &&
           Finite(t.dy()) && t.isAffine();
}

TMetaObject StockObject(quint32 stock) {
    TMetaObject object;
    auto brush = [&](int grey) {
        object.Kind = TObjectKind::Brush;
        object.Brush.Color = QColor(grey, grey, grey);
    };
    auto pen = [&](const QColor& color, int style) {
        object.Kind = TObjectKind::Pen;
        object.Pen.Color = color;
        object.Pen.Style = style;
    };
    switch (stock) {
    case 0:
        brush(255);
        break; // WHITE_BRUSH
    case 1:
        brush(192);
        break;
    case 2:
        brush(128);
        break;
    case 3:
        brush(64);
        break;
    case 4:
        brush(0);
        break;
    case 5:
        brush(0);
        object.Brush.Style = gdi::kBsNull;
        break;
    case 6:
        pen(Qt::white, gdi::kPsSolid);
        break;
    case 7:
        pen(Qt::black, gdi::kPsSolid);
        break;
    case 8:
        pen(Qt::black, gdi::kPsNull);
        break;
    case 18:
        brush(255);
        break; // DC_BRUSH
    case 19:
        pen(Qt::black, gdi::kPsSolid);
        break; // DC_PEN
    default:
        if (stock >= 10 && stock <= 17)
            object.Kind = TObjectKind::Font; // the default font
        break;
    }
    return object;
}

// Makes a copy of object the state's current pen, brush or font; other kinds change nothing.
void Select(TMetaState& state, const TMetaObject& object) {
    switch (object.Kind) {
    case TObjectKind::Pen:
        state.Pen = object.Pen;
        break;
    case TObjectKind::Brush:
        state.Brush = object.Brush;
        break;
    case TObjectKind::Font:
        state.Font = object.Font;
        break;
    default:
        break;
    }
}

} // namespace

TMetaDC::TMetaDC(QImage& image, const TMetaHeader& header)
    : FImage(image), FPainter(&image), FHeader(header) {
    FPainter.setRenderHint(QPainter::Antialiasing, false);
    if (header.Kind == TMetaKind::Emf) {
        const double sx = image.width() / header.Frame.width();
        const double sy = image.height() / header.Frame.height();
        FDeviceToPicture =
            QTransform(header.DevicePixelMm100.width() * sx, 0, 0, header.DevicePixelMm100.height() * sy,
                       -header.Frame.left() * sx, -header.Frame.top() * sy);
    } else {
        FState.WinOrg = header.Window.topLeft();
        FState.WinExt = header.Window.size();
    }
}

TMetaDC::~TMetaDC() {
    FPainter.end();
}

void TMetaDC::SaveDC() {
    if (FSaved.size() < kMaxSavedStates)
        FSaved.push_back(FState);
}

void TMetaDC::RestoreDC(int which) {
    // Negative: that many levels back; positive: the state with that number, counted from 1.
    const qint64 index = which < 0 ? static_cast<qint64>(FSaved.size()) + which : qint64(which) - 1;
    if (which == 0 || index < 0 || index >= static_cast<qint64>(FSaved.size()))
        return;
    FState = FSaved[index];
    FSaved.resize(index);
}

namespace {

[[noreturn]] void TooComplex(const QString& what, qint64 limit) {
    throw TMetaError(QString("it is too complex to draw (%1 above %2)").arg(what).arg(limit));
}

} // namespace

void TMetaDC::ChargeBitmap(qint64 pixels, bool kept) {
    if (kept && FObjectBytes + 4 * pixels > kMaxMetaObjectBytes)
        TooComplex("bytes of objects", kMaxMetaObjectBytes);
    FBitmapPixels += pixels;
    if (FBitmapPixels > kMaxMetaBitmapPixels)
        TooComplex("bitmap pixels", kMaxMetaBitmapPixels);
}

void TMetaDC::ChargeRegion(qint64 rects) {
    FRegionRects += rects;
    if (FRegionRects > kMaxMetaRegionRects)
        TooComplex("clip region rectangles", kMaxMetaRegionRects);
}

// A fill costs its area in the picture; a stroke about its outline times the pen's width.
void TMetaDC::ChargeDrawn(const QRectF& picturePixels, double strokeWidth) {
    const QRectF area = picturePixels.normalized() & QRectF(FImage.rect());
    if (area.isEmpty() && strokeWidth < 0)
        return;
    const double w = std::max(area.width(), 1.0), h = std::max(area.height(), 1.0);
    const double cost = strokeWidth < 0 ? w * h : std::min(w * h, 2 * (w + h) * (strokeWidth + 1));
    FDrawnPixels += static_cast<qint64>(cost);
    if (FDrawnPixels > kMaxMetaDrawnPixels)
        TooComplex("pixels drawn", kMaxMetaDrawnPixels);
}

// Keeps the bytes of the bitmaps the table holds within their budget.
void TMetaDC::StoreObject(TMetaObject& slot, const TMetaObject& object) {
    const qint64 bytes = object.Brush.Pattern.sizeInBytes();
    FObjectBytes += bytes - slot.Brush.Pattern.sizeInBytes();
    slot = object;
    if (FObjectBytes > kMaxMetaObjectBytes)
        TooComplex("bytes of objects", kMaxMetaObjectBytes);
}

void TMetaDC::AddObject(const TMetaObject& object) {
    TMetaObject stored = object;
    if (stored.Kind == TObjectKind::Empty) // a record that could not be read still takes its slot
        stored.Kind = TObjectKind::Other;
    // The lowest free slot, without searching the table.
    while (!FFree.empty() && FObjects[FFree.top()].Kind != TObjectKind::Empty)
        FFree.pop();
    if (!FFree.empty()) {
        const quint32 index = FFree.top();
        FFree.pop();
        StoreObject(FObjects[index], stored);
    } else if (FObjects.size() < kMaxMetaObjects) {
        FObjects.emplace_back();
        StoreObject(FObjects.back(), stored);
    }
}

void TMetaDC::SetObject(quint32 index, const TMetaObject& object) {
    if (index == 0 || index >= kMaxMetaObjects)
        return;
    if (index >= FObjects.size())
        FObjects.resize(index + 1);
    StoreObject(FObjects[index], object);
}

void TMetaDC::SelectObject(quint32 index) {
    if (index & 0x80000000u) {
        SelectStockObject(index & 0x7FFFFFFFu);
        return;
    }
    if (index < FObjects.size())
        Select(FState, FObjects[index]);
}

void TMetaDC::SelectStockObject(quint32 stock) {
    Select(FState, StockObject(stock));
}

void TMetaDC::DeleteObject(quint32 index) {
    // Selected objects are copies, so deleting one leaves what is selected (and saved) as it is.
    if (index < FObjects.size() && FObjects[index].Kind != TObjectKind::Empty) {
        StoreObject(FObjects[index], TMetaObject());
        FFree.push(index);
    }
}

void TMetaDC::SetWindowOrg(QPointF origin) {
    FState.WinOrg = origin;
}

void TMetaDC::SetWindowExt(QSizeF extent) {
    if (extent.width() != 0 && extent.height() != 0)
        FState.WinExt = extent;
}

void TMetaDC::SetViewportOrg(QPointF origin) {
    FState.VpOrg = origin;
}

void TMetaDC::SetViewportExt(QSizeF extent) {
    if (extent.width() != 0 && extent.height() != 0)
        FState.VpExt = extent;
}

void TMetaDC::SetWorldTransform(const QTransform& transform) {
    if (FiniteTransform(transform))
        FState.World = transform;
}

void TMetaDC::ModifyWorldTransform(const QTransform& transform, int mode) {
    // MWT_IDENTITY, MWT_LEFTMULTIPLY (the new one applies first), MWT_RIGHTMULTIPLY, MWT_SET.
    switch (mode) {
    case 1:
        FState.World = QTransform();
        break;
    case 2:
        SetWorldTransform(transform * FState.World);
        break;
    case 3:
        SetWorldTransform(FState.World * transform);
        break;
    case 4:
        SetWorldTransform(transform);
        break;
    default:
        break;
    }
}

QTransform TMetaDC::Transform() const {
    const TMetaState& s = FState;
    if (FHeader.Kind == TMetaKind::Wmf) {
        // A WMF's window fills the picture, whatever mapping mode or viewport it sets: the viewport is
        // the picture, as when a program plays the metafile into a rectangle.
        const double sx = FImage.width() / s.WinExt.width(), sy = FImage.height() / s.WinExt.height();
        return QTransform(sx, 0, 0, sy, -s.WinOrg.x() * sx, -s.WinOrg.y() * sy);
    }
    double sx = 1, sy = 1;
    const QSizeF pixel = FHeader.DevicePixelMm100;
    auto metric = [&](double mm100PerUnit) {
        sx = mm100PerUnit / pixel.width();
        sy = -mm100PerUnit / pixel.height();
    };
    switch (s.MapMode) {
    case gdi::kMmLoMetric:
        metric(10);
        break;
    case gdi::kMmHiMetric:
        metric(1);
        break;
    case gdi::kMmLoEnglish:
        metric(25.4);
        break;
    case gdi::kMmHiEnglish:
        metric(2.54);
        break;
    case gdi::kMmTwips:
        metric(2540.0 / 1440);
        break;
    case gdi::kMmIsotropic:
    case gdi::kMmAnisotropic:
        sx = s.VpExt.width() / s.WinExt.width();
        sy = s.VpExt.height() / s.WinExt.height();
        if (s.MapMode == gdi::kMmIsotropic) {
            const double scale = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(scale, sx);
            sy = std::copysign(scale, sy);
        }
        break;
    default:
        break;
    }
    const QTransform page(sx, 0, 0, sy, s.VpOrg.x() - s.WinOrg.x() * sx, s.VpOrg.y() - s.WinOrg.y() * sy);
    return s.World * page * FDeviceToPicture;
}

QPointF TMetaDC::Map(QPointF logical) const {
    const QPointF p = Transform().map(logical);
    return QPointF(Clamp(p.x()), Clamp(p.y()));
}

QPainterPath TMetaDC::MapPath(const QPainterPath& logical) const {
    QPainterPath path = Transform().map(logical);
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (std::fabs(e.x) > kCoordLimit || std::fabs(e.y) > kCoordLimit || std::isnan(e.x) ||
            std::isnan(e.y))
            path.setElementPositionAt(i, Clamp(e.x), Clamp(e.y));
    }
    return path;
}

QRect TMetaDC::MapRect(const QRectF& logical) const {
    const QRectF r = QRectF(Map(logical.topLeft()), Map(logical.bottomRight())).normalized();
    return QRect(QPoint(qRound(r.left()), qRound(r.top())),
                 QPoint(qRound(r.right()) - 1, qRound(r.bottom()) - 1));
}

void TMetaDC::SetClip(const QRegion& region) {
    ChargeRegion(region.rectCount());
    FState.Clipped = true;
    FState.Clip = region & FImage.rect();
}

void TMetaDC::IntersectClipRect(const QRectF& rect) {
    const QRect r = MapRect(rect);
    SetClip(FState.Clipped ? FState.Clip & r : QRegion(r));
}

void TMetaDC::ExcludeClipRect(const QRectF& rect) {
    SetClip((FState.Clipped ? FState.Clip : QRegion(FImage.rect())) - MapRect(rect));
}

void TMetaDC::SelectClipRegion(const QRegion& region, int mode) {
    const QRegion base = FState.Clipped ? FState.Clip : QRegion(FImage.rect());
    ChargeRegion(base.rectCount() + region.rectCount());
    switch (mode) {
    case gdi::kRgnAnd:
        SetClip(base & region);
        break;
    case gdi::kRgnOr:
        SetClip(base | region);
        break;
    case gdi::kRgnXor:
        SetClip(base ^ region);
        break;
    case gdi::kRgnDiff:
        SetClip(base - region);
        break;
    case gdi::kRgnCopy:
        SetClip(region);
        break;
    default:
        break;
    }
}

void TMetaDC::ResetClip() {
    FState.Clipped = false;
    FState.Clip = QRegion();
}

void TMetaDC::OffsetClip(QPointF offset) {
    if (!FState.Clipped)
        return;
    const QPointF d = Map(offset) - Map(QPointF());
    SetClip(FState.Clip.translated(qRound(d.x()), qRound(d.y())));
}

void TMetaDC::PrepareClip(bool textOrImage) {
    if (FState.Clipped)
        FPainter.setClipRegion(FState.Clip);
    else
        FPainter.setClipping(false);
    if (textOrImage)
        FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}
