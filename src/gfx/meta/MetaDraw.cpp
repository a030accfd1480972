// Drawing on the device context: pens and brushes, figures, lines from the current position, the path
// bracket and bitmap transfers.
#include "gfx/meta/MetaDC.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

QPainter::CompositionMode Rop2Mode(int rop2) {
    using M = QPainter::CompositionMode;
    switch (rop2) {
    case 1:
        return M::RasterOp_ClearDestination;
    case 2:
        return M::RasterOp_NotSourceAndNotDestination;
    case 3:
        return M::RasterOp_NotSourceAndDestination;
    case 4:
        return M::RasterOp_NotSource;
    case 5:
        return M::RasterOp_SourceAndNotDestination;
    case 6:
        return M::RasterOp_NotDestination;
    case 7:
        return M::RasterOp_SourceXorDestination;
    case 8:
        return M::RasterOp_NotSourceOrNotDestination;
    case 9:
        return M::RasterOp_SourceAndDestination;
    case 10:
        return M::RasterOp_NotSourceXorDestination;
    case 12:
        return M::RasterOp_NotSourceOrDestination;
    case 14:
        return M::RasterOp_SourceOrNotDestination;
    case 15:
        return M::RasterOp_SourceOrDestination;
    case 16:
        return M::RasterOp_SetDestination;
    default:
        return M::CompositionMode_SourceOver;
    }
}

// The source part of a ternary raster operation (its index byte) as a painter mode. An operation on source
// and destination alone has the same truth table in both nibbles, and that table is the binary operation's
// code less one; the others draw the source as it is.
QPainter::CompositionMode SourceRopMode(int index) {
    if ((index >> 4) != (index & 0x0F))
        return QPainter::CompositionMode_SourceOver;
    return Rop2Mode((index & 0x0F) + 1);
}

Qt::BrushStyle HatchStyle(int hatch) {
    switch (hatch) {
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::FDiagPattern; // HS_FDIAGONAL runs down from left to right
    case 3:
        return Qt::BDiagPattern;
    case 4:
        return Qt::CrossPattern;
    default:
        return Qt::DiagCrossPattern;
    }
}

// Angle of a point's radial on the ellipse of box, as the painter's arc functions count it.
double EllipseAngle(const QRectF& box, QPointF point) {
    const QPointF c = box.center();
    const double rx = box.width() / 2, ry = box.height() / 2;
    const double dx = (point.x() - c.x()) / (rx != 0 ? rx : 1);
    const double dy = (c.y() - point.y()) / (ry != 0 ? ry : 1);
    if (dx == 0 && dy == 0)
        return 0;
    return std::atan2(dy, dx) * 180 / std::numbers::pi;
}

} // namespace

QPen TMetaDC::MakePen() const {
    const TMetaPen& p = FState.Pen;
    const int style = p.Style & 0x0F;
    if (style == gdi::kPsNull)
        return QPen(Qt::NoPen);
    const bool geometric = !p.Extended || (p.Style & gdi::kPsGeometric);
    const double scale = std::sqrt(std::fabs(Transform().determinant()));
    const double limit = 4.0 * (FImage.width() + FImage.height()) + 16;
    const double width = geometric ? std::min(p.Width * scale, limit) : 1;
    QPen pen(p.Color);
    pen.setWidthF(width < 1.5 ? 0 : width);
    if (p.Extended && (p.Style & gdi::kPsGeometric)) {
        const int cap = p.Style & 0x0F00, join = p.Style & 0xF000;
        pen.setCapStyle(cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap);
        pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);
        pen.setMiterLimit(std::max(1.0, FState.MiterLimit / 2));
    } else {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    // Old-style pens wider than a pixel draw their dashes solid.
    if (!p.Extended && width >= 1.5)
        return pen;
    switch (style) {
    case gdi::kPsDash:
        pen.setStyle(Qt::DashLine);
        break;
    case gdi::kPsDot:
    case gdi::kPsAlternate:
        pen.setStyle(Qt::DotLine);
        break;
    case gdi::kPsDashDot:
        pen.setStyle(Qt::DashDotLine);
        break;
    case gdi::kPsDashDotDot:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    case gdi::kPsUserStyle: {
        QList<qreal> pattern;
        for (qreal d : p.Dashes)
            pattern.append(std::clamp(d * scale / std::max(width, 1.0), 0.1, 1000.0));
        if (pattern.size() % 2)
            pattern.append(pattern);
        if (!pattern.isEmpty())
            pen.setDashPattern(pattern);
        break;
    }
    default:
        break;
    }
    return pen;
}

QBrush TMetaDC::MakeBrush() const {
    const TMetaBrush& b = FState.Brush;
    switch (b.Style) {
    case gdi::kBsNull:
        return QBrush(Qt::NoBrush);
    case gdi::kBsHatched:
        return QBrush(b.Color, HatchStyle(b.Hatch));
    case gdi::kBsPattern:
    case gdi::kBsDibPattern:
    case gdi::kBsDibPatternPt:
        return b.Pattern.isNull() ? QBrush(b.Color) : QBrush(b.Pattern);
    default:
        return QBrush(b.Color);
    }
}

void TMetaDC::Paint(QPainterPath path, bool fill, bool stroke) {
    if (FState.Rop2 == gdi::kR2Nop)
        return;
    const QBrush brush = fill ? MakeBrush() : QBrush(Qt::NoBrush);
    const QPen pen = stroke ? MakePen() : QPen(Qt::NoPen);
    if (brush.style() == Qt::NoBrush && pen.style() == Qt::NoPen)
        return;
    ChargeDrawn(path.controlPointRect(), brush.style() == Qt::NoBrush ? pen.widthF() : -1);
    PrepareClip(false);
    FPainter.setCompositionMode(Rop2Mode(FState.Rop2));
    // Hatches and pen dashes get the background colour in between when the background mode is opaque.
    FPainter.setBackgroundMode(FState.BkMode == gdi::kOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    FPainter.setBackground(FState.BkColor);
    path.setFillRule(FState.PolyFillMode == gdi::kWinding ? Qt::WindingFill : Qt::OddEvenFill);
    FPainter.setPen(pen);
    FPainter.setBrush(brush);
    FPainter.drawPath(path);
}

void TMetaDC::DrawFigure(const QPainterPath& path, bool fill, bool stroke) {
    if (FInPath)
        FPath.addPath(MapPath(path));
    else
        Paint(MapPath(path), fill, stroke);
}

void TMetaDC::MoveTo(QPointF point) {
    FState.Current = point;
    if (FInPath)
        FPath.moveTo(Map(point));
}

// Lines and curves from the current position: joined to the path's figure inside a bracket, else stroked
// with the pen.
void TMetaDC::StrokeFromCurrent(const QPainterPath& path) {
    if (!FInPath)
        Paint(MapPath(path), false, true);
    else if (FPath.elementCount() == 0)
        FPath.addPath(MapPath(path));
    else
        FPath.connectPath(MapPath(path));
}

void TMetaDC::LineTo(QPointF point) {
    QPainterPath path(FState.Current);
    path.lineTo(point);
    FState.Current = point;
    StrokeFromCurrent(path);
}

void TMetaDC::PolylineTo(const QList<QPointF>& points) {
    for (const QPointF& p : points)
        LineTo(p);
}

void TMetaDC::PolyBezierTo(const QList<QPointF>& points) {
    QPainterPath path(FState.Current);
    for (qsizetype i = 0; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    FState.Current = path.currentPosition();
    StrokeFromCurrent(path);
}

double TMetaDC::ArcSweep(double startDegrees, double endDegrees) const {
    // Counter-clockwise as seen in the picture unless the direction says otherwise; a mapping that flips
    // one axis turns the logical direction round.
    const bool clockwise = FState.ArcClockwise != (Transform().determinant() < 0);
    double sweep = std::fmod(endDegrees - startDegrees, 360.0);
    if (!clockwise && sweep <= 0)
        sweep += 360;
    if (clockwise && sweep >= 0)
        sweep -= 360;
    return sweep;
}

QPainterPath TMetaDC::ArcFigure(const QRectF& box, QPointF start, QPointF end, TArcKind kind) const {
    const QRectF r = box.normalized();
    const double a0 = EllipseAngle(r, start);
    const double sweep = ArcSweep(a0, EllipseAngle(r, end));
    QPainterPath path;
    if (kind == TArcKind::Pie)
        path.moveTo(r.center());
    else
        path.arcMoveTo(r, a0);
    path.arcTo(r, a0, sweep);
    if (kind != TArcKind::Arc)
        path.closeSubpath();
    return path;
}

void TMetaDC::ArcTo(const QRectF& box, QPointF start, QPointF end) {
    QPainterPath path(FState.Current);
    path.connectPath(ArcFigure(box, start, end, TArcKind::Arc));
    FState.Current = path.currentPosition();
    StrokeFromCurrent(path);
}

void TMetaDC::AngleArc(QPointF center, double radius, double startDegrees, double sweepDegrees) {
    if (!std::isfinite(startDegrees) || !std::isfinite(sweepDegrees))
        return;
    QPainterPath path(FState.Current);
    path.arcTo(QRectF(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius), startDegrees,
               std::clamp(sweepDegrees, -360.0, 360.0));
    FState.Current = path.currentPosition();
    StrokeFromCurrent(path);
}

void TMetaDC::SetPixel(QPointF point, const QColor& color) {
    const QPointF p = Map(point);
    PrepareClip(true);
    FPainter.fillRect(QRectF(std::floor(p.x()), std::floor(p.y()), 1, 1), color);
}

void TMetaDC::PatBlt(const QRectF& dest, quint32 rop) {
    const int index = (rop >> 16) & 0xFF;
    if (index == 0xAA) // the destination unchanged
        return;
    const QRectF target = QRectF(Map(dest.topLeft()), Map(dest.bottomRight())).normalized();
    ChargeDrawn(target);
    PrepareClip(true);
    FPainter.setPen(Qt::NoPen);
    switch (index) {
    case 0x00:
        FPainter.fillRect(target, Qt::black);
        return;
    case 0xFF:
        FPainter.fillRect(target, Qt::white);
        return;
    case 0x55:
        FPainter.setCompositionMode(QPainter::RasterOp_NotDestination);
        break;
    case 0x5A:
        FPainter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    case 0x0F:
        FPainter.setCompositionMode(QPainter::RasterOp_NotSource);
        break;
    default:
        break;
    }
    const QBrush brush = MakeBrush();
    FPainter.fillRect(target, brush.style() == Qt::NoBrush ? QBrush(Qt::black) : brush);
}

void TMetaDC::DrawImage(const QRectF& dest, const QImage& image, const QRectF& source, quint32 rop) {
    const int index = (rop >> 16) & 0xFF;
    if ((((index >> 2) ^ index) & 0x33) == 0) { // the operation does not read the source
        PatBlt(dest, rop);
        return;
    }
    const QRect part = source.normalized().toAlignedRect() & image.rect();
    const QPointF p1 = Map(dest.topLeft()), p2 = Map(dest.bottomRight());
    const QRectF target = QRectF(p1, p2).normalized();
    if (image.isNull() || part.isEmpty() || target.isEmpty())
        return;
    // A negative extent on either side mirrors the picture.
    const bool mirrorX = (p2.x() < p1.x()) != (source.width() < 0);
    const bool mirrorY = (p2.y() < p1.y()) != (source.height() < 0);
    ChargeDrawn(target);
    PrepareClip(true);
    FPainter.setCompositionMode(SourceRopMode(index));
    FPainter.setRenderHint(QPainter::SmoothPixmapTransform, FState.StretchMode == gdi::kHalftone);
    if (mirrorX || mirrorY)
        FPainter.drawImage(target, image.copy(part).mirrored(mirrorX, mirrorY));
    else
        FPainter.drawImage(target, image, QRectF(part));
}

void TMetaDC::BeginPath() {
    FInPath = true;
    FPath = QPainterPath();
}

void TMetaDC::AbortPath() {
    FInPath = false;
    FPath = QPainterPath();
}

void TMetaDC::CloseFigure() {
    if (FInPath)
        FPath.closeSubpath();
}

void TMetaDC::DrawPath(bool fill, bool stroke) {
    FInPath = false;
    Paint(FPath, fill, stroke);
    FPath = QPainterPath();
}

// The pixels a path covers, as a region. Qt's polygon-to-region conversion takes time and memory with the
// rows and columns the polygon spans, however far outside the picture; filling the path into a mask of
// the picture's part it covers keeps the work within the picture's pixels.
QRegion TMetaDC::PathRegion(const QPainterPath& path, Qt::FillRule rule) {
    const QRect box = path.controlPointRect().toAlignedRect() & FImage.rect();
    if (box.isEmpty())
        return {};
    ChargeDrawn(QRectF(box));
    QImage mask(box.size(), QImage::Format_Alpha8);
    if (mask.isNull())
        throw TMetaError("no memory for a clip path");
    mask.fill(0);
    {
        QPainter painter(&mask);
        QPainterPath filled = path.translated(-box.topLeft());
        filled.setFillRule(rule);
        painter.fillPath(filled, Qt::black);
    }
    QList<QRect> rects;
    for (int y = 0; y < mask.height(); ++y) {
        const qsizetype before = rects.size();
        const uchar* row = mask.constScanLine(y);
        for (int x = 0; x < mask.width();) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int from = x;
            while (x < mask.width() && row[x])
                ++x;
            rects.append(QRect(box.left() + from, box.top() + y, x - from, 1));
        }
        ChargeRegion(rects.size() - before);
    }
    QRegion region;
    region.setRects(rects.constData(), int(rects.size()));
    return region;
}

void TMetaDC::SelectClipPath(int mode) {
    FInPath = false;
    const Qt::FillRule rule = FState.PolyFillMode == gdi::kWinding ? Qt::WindingFill : Qt::OddEvenFill;
    SelectClipRegion(PathRegion(FPath, rule), mode);
    FPath = QPainterPath();
}
