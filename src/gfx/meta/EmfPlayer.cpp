// Plays EMF records: 32-bit parameters after an 8-byte record header, objects in the slots records name.
#include <cmath>

#include "gfx/meta/MetaDib.h"
#include "gfx/meta/MetaPlay.h"

namespace {

QColor ColorRef(quint32 value) {
    if ((value >> 24) == 1) // a palette index: there is no palette here to look in
        return Qt::black;
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

class TEmfPlayer {
public:
    TEmfPlayer(TMetaDC& dc) : FDC(dc), FState(dc.State()) {}
    void Record(quint32 type, TByteView r);

private:
    qint32 I(qint64 at) const { return FR.I32(at); }
    quint32 U(qint64 at) const { return FR.U32(at); }
    bool Need(qint64 bytes) const { return FR.Has(0, bytes); }
    QPointF Point(qint64 at) const { return QPointF(I(at), I(at + 4)); }
    QRectF Box(qint64 at) const { return QRectF(Point(at), Point(at + 8)); }
    QList<QPointF> Points(qint64 at, qint64 count, bool small) const;
    bool Mode(quint32 type);
    bool Mapping(quint32 type);
    void Shape(quint32 type);
    void Poly(quint32 type);
    void PolyPoly(quint32 type);
    void PolyDraw(bool small);
    void CreatePen(bool extended);
    void CreateBrush();
    void CreatePatternBrush();
    void CreateFont();
    void Text(bool wide);
    void Blit(quint32 type);
    void StretchDibits(quint32 type);
    bool RegionRects(qint64 at, qint64 size, QList<QRectF>& rects) const;
    void ClipRegion();
    void FillRegion(quint32 type);
    QTransform Xform(qint64 at) const {
        return QTransform(FR.F32(at), FR.F32(at + 4), FR.F32(at + 8), FR.F32(at + 12), FR.F32(at + 16),
                          FR.F32(at + 20));
    }

    TMetaDC& FDC;
    TMetaState& FState;
    TByteView FR;
};

QList<QPointF> TEmfPlayer::Points(qint64 at, qint64 count, bool small) const {
    QList<QPointF> points;
    points.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        points.append(small ? QPointF(FR.I16(at + 4 * i), FR.I16(at + 4 * i + 2)) : Point(at + 8 * i));
    return points;
}

bool TEmfPlayer::Mode(quint32 type) {
    const quint32 value = U(8);
    switch (type) {
    case 17:
        FState.MapMode = int(value);
        break;
    case 18:
        FState.BkMode = int(value);
        break;
    case 19:
        FState.PolyFillMode = int(value);
        break;
    case 20:
        FState.Rop2 = int(value);
        break;
    case 21:
        FState.StretchMode = int(value);
        break;
    case 22:
        FState.TextAlign = int(value);
        break;
    case 24:
        FState.TextColor = ColorRef(value);
        break;
    case 25:
        FState.BkColor = ColorRef(value);
        break;
    case 57:
        FState.ArcClockwise = value == 2;
        break;
    case 58: // documented as a count, written as a float by some programs
        FState.MiterLimit = value < 0x10000 ? double(value) : double(FR.F32(8));
        if (!std::isfinite(FState.MiterLimit) || FState.MiterLimit < 1)
            FState.MiterLimit = 10;
        break;
    default:
        return false;
    }
    return true;
}

bool TEmfPlayer::Mapping(quint32 type) {
    auto scaled = [&](QSizeF extent) {
        if (I(12) == 0 || I(20) == 0)
            return extent;
        return QSizeF(extent.width() * I(8) / I(12), extent.height() * I(16) / I(20));
    };
    switch (type) {
    case 9:
        FDC.SetWindowExt(QSizeF(I(8), I(12)));
        break;
    case 10:
        FDC.SetWindowOrg(Point(8));
        break;
    case 11:
        FDC.SetViewportExt(QSizeF(I(8), I(12)));
        break;
    case 12:
        FDC.SetViewportOrg(Point(8));
        break;
    case 31:
        FDC.SetViewportExt(scaled(FState.VpExt));
        break;
    case 32:
        FDC.SetWindowExt(scaled(FState.WinExt));
        break;
    case 35:
        FDC.SetWorldTransform(Xform(8));
        break;
    case 36:
        FDC.ModifyWorldTransform(Xform(8), int(U(32)));
        break;
    default:
        return false;
    }
    return true;
}

void TEmfPlayer::Shape(quint32 type) {
    using K = TMetaDC::TArcKind;
    QPainterPath path;
    switch (type) {
    case 42:
        path.addEllipse(Box(8));
        break;
    case 43:
        path.addRect(Box(8));
        break;
    case 44:
        path.addRoundedRect(Box(8).normalized(), std::fabs(double(I(24))) / 2, std::fabs(double(I(28))) / 2);
        break;
    case 55:
        FDC.ArcTo(Box(8), Point(24), Point(32));
        return;
    default: {
        const K kind = type == 45 ? K::Arc : type == 47 ? K::Pie : K::Chord;
        FDC.DrawFigure(FDC.ArcFigure(Box(8), Point(24), Point(32), kind), kind != K::Arc, true);
        return;
    }
    }
    FDC.DrawFigure(path, true, true);
}

// POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO and their 16-bit forms.
void TEmfPlayer::Poly(quint32 type) {
    const bool small = type >= 85;
    const quint32 kind = small ? type - 83 : type;
    const qint64 count = U(24);
    if (!FR.Has(28, count * (small ? 4 : 8)) || count == 0)
        return;
    const QList<QPointF> points = Points(28, count, small);
    if (kind == 5) {
        FDC.PolyBezierTo(points);
        return;
    }
    if (kind == 6) {
        FDC.PolylineTo(points);
        return;
    }
    QPainterPath path(points[0]);
    if (kind == 2) {
        for (qint64 i = 1; i + 2 < count; i += 3)
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
    } else {
        for (qint64 i = 1; i < count; ++i)
            path.lineTo(points[i]);
    }
    if (kind == 3)
        path.closeSubpath();
    FDC.DrawFigure(path, kind == 3, true);
}

// POLYPOLYLINE, POLYPOLYGON and their 16-bit forms.
void TEmfPlayer::PolyPoly(quint32 type) {
    const bool small = type >= 90;
    const bool polygon = type == 8 || type == 91;
    const qint64 polys = U(24), total = U(28);
    const qint64 at = 32 + 4 * polys;
    if (!FR.Has(32, polys * 4) || !FR.Has(at, total * (small ? 4 : 8)))
        return;
    qint64 sum = 0;
    for (qint64 i = 0; i < polys; ++i)
        sum += U(32 + 4 * i);
    if (sum > total)
        return;
    const QList<QPointF> points = Points(at, total, small);
    QPainterPath path;
    qint64 next = 0;
    for (qint64 i = 0; i < polys; ++i) {
        const qint64 count = U(32 + 4 * i);
        for (qint64 j = 0; j < count; ++j)
            j == 0 ? path.moveTo(points[next + j]) : path.lineTo(points[next + j]);
        if (polygon && count > 0)
            path.closeSubpath();
        next += count;
    }
    FDC.DrawFigure(path, polygon, true);
}

// POLYDRAW: points with a type byte each (move, line, bezier, close figure).
void TEmfPlayer::PolyDraw(bool small) {
    const qint64 count = U(24);
    const qint64 types = 28 + count * (small ? 4 : 8);
    if (!FR.Has(28, count * (small ? 4 : 8)) || !FR.Has(types, count))
        return;
    const QList<QPointF> points = Points(28, count, small);
    for (qint64 i = 0; i < count; ++i) {
        const int t = FR.U8(types + i);
        if ((t & 6) == 6)
            FDC.MoveTo(points[i]);
        else if ((t & 6) == 4 && i + 2 < count) {
            FDC.PolyBezierTo({points[i], points[i + 1], points[i + 2]});
            i += 2;
        } else
            FDC.LineTo(points[i]);
        if (t & 1)
            FDC.CloseFigure();
    }
}

void TEmfPlayer::CreatePen(bool extended) {
    TMetaObject object;
    object.Kind = TObjectKind::Pen;
    TMetaPen& pen = object.Pen;
    if (!extended) {
        pen.Style = int(U(12));
        pen.Width = std::abs(double(I(16)));
        pen.Color = ColorRef(U(24));
    } else {
        pen.Extended = true;
        pen.Style = int(U(28));
        pen.Width = U(32);
        pen.Color = FR.U32(36) == gdi::kBsNull ? QColor() : ColorRef(U(40));
        if (U(36) == gdi::kBsNull)
            pen.Style = (pen.Style & ~0x0F) | gdi::kPsNull;
        const qint64 entries = U(48);
        if ((pen.Style & 0x0F) == gdi::kPsUserStyle && FR.Has(52, entries * 4) && entries <= 16)
            for (qint64 i = 0; i < entries; ++i)
                pen.Dashes.append(U(52 + 4 * i));
    }
    if (!Need(extended ? 52 : 28))
        object = TMetaObject();
    FDC.SetObject(U(8), object);
}

void TEmfPlayer::CreateBrush() {
    TMetaObject object;
    if (Need(24)) {
        object.Kind = TObjectKind::Brush;
        object.Brush.Style = int(U(12));
        object.Brush.Color = ColorRef(U(16));
        object.Brush.Hatch = int(U(20));
        if (object.Brush.Style > gdi::kBsHatched)
            object.Brush.Style = gdi::kBsSolid;
    }
    FDC.SetObject(U(8), object);
}

// CREATEMONOBRUSH and CREATEDIBPATTERNBRUSHPT.
void TEmfPlayer::CreatePatternBrush() {
    TMetaObject object;
    object.Kind = TObjectKind::Brush;
    object.Brush.Style = gdi::kBsDibPattern;
    object.Brush.Color = Qt::gray;
    FDC.ChargeBitmap(DibPixels(FR.Sub(U(16), U(20))), true);
    object.Brush.Pattern = DecodeDib(FR.Sub(U(16), U(20)), FR.Sub(U(24), U(28)), U(12)).Image;
    FDC.SetObject(U(8), object);
}

void TEmfPlayer::CreateFont() {
    TMetaObject object;
    if (Need(104)) {
        object.Kind = TObjectKind::Font;
        TMetaFont& f = object.Font;
        f.Height = I(12);
        f.Width = I(16);
        f.Escapement = I(20);
        f.Weight = I(28);
        f.Italic = FR.U8(32);
        f.Underline = FR.U8(33);
        f.StrikeOut = FR.U8(34);
        f.CharSet = FR.U8(35);
        f.PitchAndFamily = FR.U8(39);
        f.Face = FR.Utf16(40, 32);
        f.Face.truncate(f.Face.indexOf(QChar(0)) < 0 ? f.Face.size() : f.Face.indexOf(QChar(0)));
    }
    FDC.SetObject(U(8), object);
}

// EXTTEXTOUTA and EXTTEXTOUTW: the text and its advances lie at offsets from the record's start.
void TEmfPlayer::Text(bool wide) {
    if (!Need(76))
        return;
    TMetaText text;
    text.Reference = Point(36);
    const qint64 chars = U(44), offString = U(48);
    text.Options = int(U(52));
    text.Rect = Box(56);
    const qint64 offDx = U(72);
    if (!FR.Has(offString, chars * (wide ? 2 : 1)))
        return;
    text.Text = wide ? FR.Utf16(offString, chars)
                     : DecodeAnsiText(QByteArray(FR.Data() + offString, int(chars)), FState.Font.CharSet);
    const int step = (text.Options & gdi::kEtoPdy) ? 2 : 1;
    if (offDx != 0 && FR.Has(offDx, chars * 4 * step))
        for (qint64 i = 0; i < chars; ++i)
            text.Dx.append(I(offDx + 4 * step * i));
    FDC.DrawText(text);
}

// BITBLT and STRETCHBLT: the source is a device context, so its rectangle counts from the top.
void TEmfPlayer::Blit(quint32 type) {
    if (!Need(type == 77 ? 108 : 100))
        return;
    const QRectF dest(Point(24), QSizeF(I(32), I(36)));
    const quint32 rop = U(40);
    if (U(88) == 0) { // no source bitmap: a pattern fill
        FDC.PatBlt(dest, rop);
        return;
    }
    FDC.ChargeBitmap(DibPixels(FR.Sub(U(84), U(88))));
    const TDib dib = DecodeDib(FR.Sub(U(84), U(88)), FR.Sub(U(92), U(96)), U(80));
    const QSizeF size = type == 77 ? QSizeF(I(100), I(104)) : dest.size();
    FDC.DrawImage(dest, dib.Image, QRectF(Point(44), size), rop);
}

// STRETCHDIBITS and SETDIBITSTODEVICE: a bottom-up DIB's source rectangle counts from its bottom row.
void TEmfPlayer::StretchDibits(quint32 type) {
    const bool stretch = type == 81;
    if (!Need(stretch ? 80 : 76))
        return;
    const qint64 info = 48;
    FDC.ChargeBitmap(DibPixels(FR.Sub(U(info), U(info + 4))));
    const TDib dib = DecodeDib(FR.Sub(U(info), U(info + 4)), FR.Sub(U(info + 8), U(info + 12)), U(info + 16));
    const QSizeF sourceSize(I(40), I(44));
    const QRectF dest(Point(24), stretch ? QSizeF(I(72), I(76)) : sourceSize);
    QRectF source(Point(32), sourceSize);
    // In 64 bits: any of the three may be near the ends of the 32-bit range.
    if (dib.BottomUp)
        source.moveTop(double(qint64(dib.Image.height()) - I(36) - I(44)));
    FDC.DrawImage(dest, dib.Image, source, stretch ? U(68) : 0xCC0020);
}

// RGNDATA: a header of 32 bytes (the rectangle count at 8), then the rectangles.
bool TEmfPlayer::RegionRects(qint64 at, qint64 size, QList<QRectF>& rects) const {
    const qint64 count = U(at + 8);
    // Merging regions costs more than linear time: a sane region has far fewer rectangles than this.
    if (size < 32 || count > 65536 || count * 16 > size - 32 || !FR.Has(at + 32, count * 16))
        return false;
    for (qint64 i = 0; i < count; ++i)
        rects.append(Box(at + 32 + 16 * i));
    return true;
}

// EXTSELECTCLIPRGN: the region is in reference-device pixels; none with RGN_COPY lifts the clip.
void TEmfPlayer::ClipRegion() {
    QList<QRectF> rects;
    if (U(8) == 0 && U(12) == gdi::kRgnCopy)
        FDC.ResetClip();
    else if (RegionRects(16, U(8), rects)) {
        QRegion region;
        FDC.ChargeRegion(rects.size());
        for (const QRectF& rect : rects)
            region += FDC.DeviceToPicture().mapRect(rect).toAlignedRect();
        FDC.SelectClipRegion(region, int(U(12)));
    }
}

// FILLRGN (with the brush it names) and PAINTRGN (with the selected one); the region is logical.
void TEmfPlayer::FillRegion(quint32 type) {
    const bool fill = type == 71;
    QList<QRectF> rects;
    if (!RegionRects(fill ? 32 : 28, U(24), rects))
        return;
    QPainterPath path;
    for (const QRectF& rect : rects)
        path.addRect(rect);
    const TMetaBrush saved = FState.Brush;
    if (fill)
        FDC.SelectObject(U(28));
    FDC.DrawFigure(path, true, false);
    FState.Brush = saved;
}

void TEmfPlayer::Record(quint32 type, TByteView r) {
    FR = r;
    if (Mode(type) || Mapping(type))
        return;
    switch (type) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 85:
    case 86:
    case 87:
    case 88:
    case 89:
        Poly(type);
        break;
    case 7:
    case 8:
    case 90:
    case 91:
        PolyPoly(type);
        break;
    case 56:
    case 92:
        PolyDraw(type == 92);
        break;
    case 15:
        FDC.SetPixel(Point(8), ColorRef(U(16)));
        break;
    case 26:
        FDC.OffsetClip(Point(8));
        break;
    case 27:
        FDC.MoveTo(Point(8));
        break;
    case 54:
        FDC.LineTo(Point(8));
        break;
    case 29:
        FDC.ExcludeClipRect(Box(8));
        break;
    case 30:
        FDC.IntersectClipRect(Box(8));
        break;
    case 33:
        FDC.SaveDC();
        break;
    case 34:
        FDC.RestoreDC(I(8));
        break;
    case 37:
        FDC.SelectObject(U(8));
        break;
    case 40:
        FDC.DeleteObject(U(8));
        break;
    case 38:
        CreatePen(false);
        break;
    case 95:
        CreatePen(true);
        break;
    case 39:
        CreateBrush();
        break;
    case 93:
    case 94:
        CreatePatternBrush();
        break;
    case 82:
        CreateFont();
        break;
    case 49:
        FDC.SetObject(U(8), TMetaObject());
        break; // palettes are not used
    case 41:
        FDC.AngleArc(Point(8), U(16), FR.F32(20), FR.F32(24));
        break;
    case 42:
    case 43:
    case 44:
    case 45:
    case 46:
    case 47:
    case 55:
        Shape(type);
        break;
    case 59:
        FDC.BeginPath();
        break;
    case 60:
        FDC.EndPath();
        break;
    case 61:
        FDC.CloseFigure();
        break;
    case 62:
        FDC.DrawPath(true, false);
        break;
    case 63:
        FDC.DrawPath(true, true);
        break;
    case 64:
        FDC.DrawPath(false, true);
        break;
    case 67:
        FDC.SelectClipPath(int(U(8)));
        break;
    case 68:
        FDC.AbortPath();
        break;
    case 71:
    case 74:
        FillRegion(type);
        break;
    case 75:
        ClipRegion();
        break;
    case 76:
    case 77:
        Blit(type);
        break;
    case 80:
    case 81:
        StretchDibits(type);
        break;
    case 83:
    case 84:
        Text(type == 84);
        break;
    default:
        break; // comments, palettes and the rest are skipped
    }
}

} // namespace

void PlayEmf(TByteView bytes, const TMetaHeader& header, TMetaDC& dc) {
    TEmfPlayer player(dc);
    qint64 offset = header.RecordsOffset;
    for (int count = 0; bytes.Has(offset, 8); ++count) {
        if (count >= kMaxMetaRecords)
            throw TMetaError(QString("more than %1 records").arg(kMaxMetaRecords));
        const quint32 type = bytes.U32(offset);
        const qint64 size = bytes.U32(offset + 4);
        if (size < 8)
            throw TMetaError(
                QString("the record at byte %1 has the invalid size of %2 bytes").arg(offset).arg(size));
        if (!bytes.Has(offset, size)) // a last record cut short is left out
            break;
        if (type == 14) // EMR_EOF
            break;
        player.Record(type, bytes.Sub(offset, size));
        offset += size;
    }
}
