// Plays WMF records: 16-bit parameters, reversed coordinate order, objects in the lowest free slot.
#include "gfx/meta/MetaDib.h"
#include "gfx/meta/MetaPlay.h"

namespace {

QColor ColorRef(quint32 value) {
    // A palette index (high byte 1) has no palette here to look in: black.
    if ((value >> 24) == 1)
        return Qt::black;
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

class TWmfPlayer {
public:
    TWmfPlayer(TMetaDC& dc) : FDC(dc), FState(dc.State()) {}
    void Record(quint16 function, TByteView p);

private:
    // Word i of the parameters, signed.
    qint16 W(int i) const { return FP.I16(2 * i); }
    bool Need(int words) const { return FP.Has(0, 2 * qint64(words)); }
    QRectF Box(int first) const {
        return QRectF(QPointF(W(first + 3), W(first + 2)), QPointF(W(first + 1), W(first)));
    }
    QList<QPointF> Points(qint64 at, qint64 count) const;
    void Shape(quint16 function);
    void Poly(quint16 function);
    void PolyPolygon();
    void CreatePen();
    void CreateBrush();
    void CreateFont();
    void CreatePatternBrush();
    void TextOut();
    void ExtTextOut();
    void Bitmap(quint16 function, bool withBitmap);
    void Mapping(quint16 function);
    bool Mode(quint16 function);

    TMetaDC& FDC;
    TMetaState& FState;
    TByteView FP;
};

QList<QPointF> TWmfPlayer::Points(qint64 at, qint64 count) const {
    QList<QPointF> points;
    points.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        points.append(QPointF(FP.I16(at + 4 * i), FP.I16(at + 4 * i + 2)));
    return points;
}

void TWmfPlayer::Shape(quint16 function) {
    using K = TMetaDC::TArcKind;
    QPainterPath path;
    switch (function) {
    case 0x041B: // RECTANGLE
        if (!Need(4))
            return;
        path.addRect(Box(0));
        break;
    case 0x0418: // ELLIPSE
        if (!Need(4))
            return;
        path.addEllipse(Box(0));
        break;
    case 0x061C: // ROUNDRECT: the corner ellipse's full height and width
        if (!Need(6))
            return;
        path.addRoundedRect(Box(2).normalized(), std::abs(W(1)) / 2.0, std::abs(W(0)) / 2.0);
        break;
    default: { // ARC, PIE, CHORD
        if (!Need(8))
            return;
        const K kind = function == 0x0817 ? K::Arc : function == 0x081A ? K::Pie : K::Chord;
        path = FDC.ArcFigure(Box(4), QPointF(W(3), W(2)), QPointF(W(1), W(0)), kind);
        FDC.DrawFigure(path, kind != K::Arc, true);
        return;
    }
    }
    FDC.DrawFigure(path, true, true);
}

void TWmfPlayer::Poly(quint16 function) {
    const qint64 count = FP.U16(0);
    if (!FP.Has(2, count * 4) || count == 0)
        return;
    const QList<QPointF> points = Points(2, count);
    QPainterPath path(points[0]);
    for (qint64 i = 1; i < count; ++i)
        path.lineTo(points[i]);
    const bool polygon = function == 0x0324;
    if (polygon)
        path.closeSubpath();
    FDC.DrawFigure(path, polygon, true);
}

void TWmfPlayer::PolyPolygon() {
    const qint64 polygons = FP.U16(0);
    qint64 total = 0;
    for (qint64 i = 0; i < polygons; ++i)
        total += FP.U16(2 + 2 * i);
    const qint64 at = 2 + 2 * polygons;
    if (!FP.Has(at, total * 4))
        return;
    const QList<QPointF> points = Points(at, total);
    QPainterPath path;
    qint64 next = 0;
    for (qint64 i = 0; i < polygons; ++i) {
        const qint64 count = FP.U16(2 + 2 * i);
        for (qint64 j = 0; j < count; ++j)
            j == 0 ? path.moveTo(points[next + j]) : path.lineTo(points[next + j]);
        if (count > 0)
            path.closeSubpath();
        next += count;
    }
    FDC.DrawFigure(path, true, true);
}

void TWmfPlayer::CreatePen() {
    TMetaObject object;
    if (Need(5)) {
        object.Kind = TObjectKind::Pen;
        object.Pen.Style = FP.U16(0);
        object.Pen.Width = std::abs(W(1));
        object.Pen.Color = ColorRef(FP.U32(6));
    }
    FDC.AddObject(object);
}

void TWmfPlayer::CreateBrush() {
    TMetaObject object;
    if (Need(4)) {
        object.Kind = TObjectKind::Brush;
        object.Brush.Style = FP.U16(0);
        object.Brush.Color = ColorRef(FP.U32(2));
        object.Brush.Hatch = FP.U16(6);
        if (object.Brush.Style > gdi::kBsHatched) // a pattern cannot travel in this record
            object.Brush.Style = gdi::kBsSolid;
    }
    FDC.AddObject(object);
}

void TWmfPlayer::CreateFont() {
    TMetaObject object;
    if (Need(9)) {
        object.Kind = TObjectKind::Font;
        TMetaFont& f = object.Font;
        f.Height = W(0);
        f.Width = W(1);
        f.Escapement = W(2);
        f.Weight = W(4);
        f.Italic = FP.U8(10);
        f.Underline = FP.U8(11);
        f.StrikeOut = FP.U8(12);
        f.CharSet = FP.U8(13);
        f.PitchAndFamily = FP.U8(17);
        QByteArray face(FP.Data() + 18, int(std::min<qint64>(32, FP.Size() - 18)));
        face.truncate(face.indexOf('\0') < 0 ? face.size() : face.indexOf('\0'));
        f.Face = DecodeAnsiText(face, 0);
    }
    FDC.AddObject(object);
}

void TWmfPlayer::CreatePatternBrush() {
    TMetaObject object;
    object.Kind = TObjectKind::Brush;
    object.Brush.Style = gdi::kBsDibPattern;
    object.Brush.Color = Qt::gray;
    if (FP.U16(0) != gdi::kBsPattern) // BS_PATTERN carries a device-dependent bitmap instead
    {
        FDC.ChargeBitmap(DibPixels(FP.From(4)), true);
        object.Brush.Pattern = DecodePackedDib(FP.From(4), FP.U16(2)).Image;
    }
    FDC.AddObject(object);
}

void TWmfPlayer::TextOut() {
    const qint64 length = FP.U16(0);
    const qint64 after = 2 + ((length + 1) & ~1);
    if (!FP.Has(0, after + 4))
        return;
    TMetaText text;
    text.Text = DecodeAnsiText(QByteArray(FP.Data() + 2, int(length)), FState.Font.CharSet);
    text.Reference = QPointF(FP.I16(after + 2), FP.I16(after));
    FDC.DrawText(text);
}

void TWmfPlayer::ExtTextOut() {
    if (!Need(4))
        return;
    TMetaText text;
    text.Reference = QPointF(W(1), W(0));
    const qint64 length = FP.U16(4);
    text.Options = FP.U16(6);
    qint64 at = 8;
    if (text.Options & (gdi::kEtoOpaque | gdi::kEtoClipped)) {
        text.Rect = QRectF(QPointF(W(4), W(5)), QPointF(W(6), W(7)));
        at = 16;
    }
    if (!FP.Has(at, length))
        return;
    text.Text = DecodeAnsiText(QByteArray(FP.Data() + at, int(length)), FState.Font.CharSet);
    const qint64 dx = at + ((length + 1) & ~1);
    if (FP.Has(dx, length * 2))
        for (qint64 i = 0; i < length; ++i)
            text.Dx.append(FP.I16(dx + 2 * i));
    FDC.DrawText(text);
}

// STRETCHDIB, DIBBITBLT, DIBSTRETCHBLT, SETDIBTODEV; the blits without a bitmap are pattern fills.
void TWmfPlayer::Bitmap(quint16 function, bool withBitmap) {
    const quint32 rop = FP.U32(0);
    if (function == 0x0940 || function == 0x0B41) {
        const bool stretch = function == 0x0B41;
        const int shift = withBitmap ? 0 : 1; // the form without a bitmap has a reserved word first
        if (!Need(2 + shift + (stretch ? 8 : 6)))
            return;
        const int d = 2 + shift + (stretch ? 4 : 2); // destination height, width, y, x
        const QRectF dest(W(d + 3), W(d + 2), W(d + 1), W(d));
        if (!withBitmap) {
            FDC.PatBlt(dest, rop);
            return;
        }
        // The source is a device context, so its rectangle counts from the top.
        FDC.ChargeBitmap(DibPixels(FP.From(2 * (d + 4))));
        const TDib dib = DecodePackedDib(FP.From(2 * (d + 4)), 0);
        const QRectF source =
            stretch ? QRectF(W(5), W(4), W(3), W(2)) : QRectF(W(3), W(2), dest.width(), dest.height());
        FDC.DrawImage(dest, dib.Image, source, rop);
        return;
    }
    if (function == 0x0F43) { // STRETCHDIB
        if (!Need(11))
            return;
        FDC.ChargeBitmap(DibPixels(FP.From(22)));
        const TDib dib = DecodePackedDib(FP.From(22), FP.U16(4));
        const QRectF dest(W(10), W(9), W(8), W(7));
        QRectF source(W(6), W(5), W(4), W(3));
        // The source rectangle of a bottom-up DIB counts from its bottom row.
        if (dib.BottomUp)
            source.moveTop(dib.Image.height() - W(5) - W(3));
        FDC.DrawImage(dest, dib.Image, source, rop);
        return;
    }
    if (!Need(9)) // SETDIBTODEV: one to one, no raster operation
        return;
    FDC.ChargeBitmap(DibPixels(FP.From(18)));
    const TDib dib = DecodePackedDib(FP.From(18), FP.U16(0));
    const QRectF dest(W(8), W(7), W(6), W(5));
    QRectF source(W(4), W(3), W(6), W(5));
    if (dib.BottomUp)
        source.moveTop(dib.Image.height() - W(3) - W(5));
    FDC.DrawImage(dest, dib.Image, source, 0xCC0020);
}

void TWmfPlayer::Mapping(quint16 function) {
    if (!Need(2))
        return;
    const QPointF xy(W(1), W(0));
    switch (function) {
    case 0x020B:
        FDC.SetWindowOrg(xy);
        break;
    case 0x020C:
        FDC.SetWindowExt(QSizeF(xy.x(), xy.y()));
        break;
    case 0x020F:
        FDC.SetWindowOrg(FState.WinOrg + xy);
        break;
    case 0x0410: // SCALEWINDOWEXT: y denominator, y numerator, x denominator, x numerator
        if (Need(4) && W(0) != 0 && W(2) != 0)
            FDC.SetWindowExt(
                QSizeF(FState.WinExt.width() * W(3) / W(2), FState.WinExt.height() * W(1) / W(0)));
        break;
    default:
        break; // the viewport records: the picture is the viewport
    }
}

// The one-value mode records; false when function is none of them.
bool TWmfPlayer::Mode(quint16 function) {
    const int value = FP.U16(0);
    switch (function) {
    case 0x0102:
        FState.BkMode = value;
        break;
    case 0x0103:
        FState.MapMode = value;
        break;
    case 0x0104:
        FState.Rop2 = value;
        break;
    case 0x0106:
        FState.PolyFillMode = value;
        break;
    case 0x0107:
        FState.StretchMode = value;
        break;
    case 0x012E:
        FState.TextAlign = value;
        break;
    case 0x0201:
        FState.BkColor = ColorRef(FP.U32(0));
        break;
    case 0x0209:
        FState.TextColor = ColorRef(FP.U32(0));
        break;
    default:
        return false;
    }
    return true;
}

void TWmfPlayer::Record(quint16 function, TByteView p) {
    FP = p;
    if (Mode(function))
        return;
    switch (function) {
    case 0x001E:
        FDC.SaveDC();
        break;
    case 0x0127:
        FDC.RestoreDC(W(0));
        break;
    case 0x020B:
    case 0x020C:
    case 0x020D:
    case 0x020E:
    case 0x020F:
    case 0x0211:
    case 0x0410:
    case 0x0412:
        Mapping(function);
        break;
    case 0x0214:
        FDC.MoveTo(QPointF(W(1), W(0)));
        break;
    case 0x0213:
        FDC.LineTo(QPointF(W(1), W(0)));
        break;
    case 0x041B:
    case 0x0418:
    case 0x061C:
    case 0x0817:
    case 0x081A:
    case 0x0830:
        Shape(function);
        break;
    case 0x0324:
    case 0x0325:
        Poly(function);
        break;
    case 0x0538:
        PolyPolygon();
        break;
    case 0x0521:
        TextOut();
        break;
    case 0x0A32:
        ExtTextOut();
        break;
    case 0x02FA:
        CreatePen();
        break;
    case 0x02FC:
        CreateBrush();
        break;
    case 0x02FB:
        CreateFont();
        break;
    case 0x0142:
        CreatePatternBrush();
        break;
    case 0x01F9:
    case 0x00F7:
    case 0x06FF:
        FDC.AddObject(TMetaObject());
        break; // kept only for their slots
    case 0x012D:
        FDC.SelectObject(FP.U16(0));
        break;
    case 0x01F0:
        FDC.DeleteObject(FP.U16(0));
        break;
    case 0x0416:
        if (Need(4))
            FDC.IntersectClipRect(Box(0));
        break;
    case 0x0415:
        if (Need(4))
            FDC.ExcludeClipRect(Box(0));
        break;
    case 0x012C:
        FDC.ResetClip();
        break; // regions are not kept: selecting one lifts the clip
    case 0x0220:
        FDC.OffsetClip(QPointF(W(1), W(0)));
        break;
    case 0x0F43:
    case 0x0D33:
        Bitmap(function, true);
        break;
    case 0x0940:
    case 0x0B41:
        Bitmap(function, FP.Size() != 2 * qint64(function >> 8));
        break;
    case 0x061D:
        if (Need(6))
            FDC.PatBlt(QRectF(W(5), W(4), W(3), W(2)), FP.U32(0));
        break;
    case 0x041F:
        if (Need(4))
            FDC.SetPixel(QPointF(W(3), W(2)), ColorRef(FP.U32(0)));
        break;
    default:
        break; // unknown and unneeded records (escapes, palettes) are skipped
    }
}

} // namespace

void PlayWmf(TByteView bytes, const TMetaHeader& header, TMetaDC& dc) {
    TWmfPlayer player(dc);
    qint64 offset = header.RecordsOffset;
    for (int count = 0; bytes.Has(offset, 6); ++count) {
        if (count >= kMaxMetaRecords)
            throw TMetaError(QString("more than %1 records").arg(kMaxMetaRecords));
        const qint64 words = bytes.U32(offset);
        const quint16 function = bytes.U16(offset + 4);
        if (function == 0) // META_EOF
            break;
        if (words < 3)
            throw TMetaError(
                QString("the record at byte %1 has the invalid size of %2 words").arg(offset).arg(words));
        if (!bytes.Has(offset, words * 2)) // a last record cut short is left out
            break;
        player.Record(function, bytes.Sub(offset + 6, words * 2 - 6));
        offset += words * 2;
    }
}
