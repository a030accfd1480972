// The device context a metafile plays into: objects, modes, mapping, clip, path bracket and the painter.
#pragma once

#include <functional>
#include <queue>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>

#include "gfx/meta/MetaHeader.h"

// GDI values the records carry.
namespace gdi {
enum : int { kTransparent = 1, kOpaque = 2 };
enum : int { kAlternate = 1, kWinding = 2 };
enum : int { kR2Black = 1, kR2Nop = 11, kR2CopyPen = 13, kR2White = 16 };
enum : int {
    kMmText = 1,
    kMmLoMetric,
    kMmHiMetric,
    kMmLoEnglish,
    kMmHiEnglish,
    kMmTwips,
    kMmIsotropic,
    kMmAnisotropic
};
enum : int {
    kPsSolid = 0,
    kPsDash,
    kPsDot,
    kPsDashDot,
    kPsDashDotDot,
    kPsNull,
    kPsInsideFrame,
    kPsUserStyle,
    kPsAlternate
};
enum : int { kPsGeometric = 0x00010000 };
enum : int { kBsSolid = 0, kBsNull, kBsHatched, kBsPattern, kBsIndexed, kBsDibPattern, kBsDibPatternPt };
enum : int { kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24 };
enum : int { kEtoOpaque = 2, kEtoClipped = 4, kEtoGlyphIndex = 0x10, kEtoPdy = 0x2000 };
enum : int { kRgnAnd = 1, kRgnOr, kRgnXor, kRgnDiff, kRgnCopy };
enum : int { kHalftone = 4 };
} // namespace gdi

struct TMetaPen {
    int Style = gdi::kPsSolid; // PS_* with the end cap, join and geometric bits
    double Width = 0;          // logical units; below one pixel draws one pixel
    bool Extended = false;     // an extended pen: a cosmetic one is always one pixel wide
    QColor Color = Qt::black;
    QList<qreal> Dashes; // user style, logical units
};

struct TMetaBrush {
    int Style = gdi::kBsSolid;
    QColor Color = Qt::white;
    int Hatch = 0;
    QImage Pattern; // BS_PATTERN / BS_DIBPATTERN
};

struct TMetaFont {
    int Height = 0; // < 0: character height; > 0: cell height; 0: a default size
    int Width = 0;
    int Escapement = 0; // tenths of a degree, counter-clockwise
    int Weight = 400;
    bool Italic = false, Underline = false, StrikeOut = false;
    int CharSet = 0;
    int PitchAndFamily = 0;
    QString Face;
};

// One slot of the object table. A create record that could not be read still fills a slot (as Other),
// so the indexes of the objects after it stay right.
enum class TObjectKind { Empty, Pen, Brush, Font, Other };

struct TMetaObject {
    TObjectKind Kind = TObjectKind::Empty;
    TMetaPen Pen;
    TMetaBrush Brush;
    TMetaFont Font;
};

// What SAVEDC saves and RESTOREDC brings back, selected objects included.
struct TMetaState {
    TMetaPen Pen;
    TMetaBrush Brush;
    TMetaFont Font;
    QColor TextColor = Qt::black;
    QColor BkColor = Qt::white;
    int BkMode = gdi::kOpaque;
    int PolyFillMode = gdi::kAlternate;
    int Rop2 = gdi::kR2CopyPen;
    int StretchMode = 1;
    int TextAlign = 0;
    bool ArcClockwise = false;
    double MiterLimit = 10;
    int MapMode = gdi::kMmText;
    QPointF WinOrg, VpOrg;
    QSizeF WinExt{1, 1}, VpExt{1, 1};
    QTransform World;
    QPointF Current; // logical
    bool Clipped = false;
    QRegion Clip; // picture pixels
};

// 8-bit text of a record in the code page its font's character set names.
QString DecodeAnsiText(const QByteArray& bytes, int charSet);

// A text output record, in logical units.
struct TMetaText {
    QPointF Reference;
    QString Text;
    QList<qreal> Dx; // advance of each character, or empty
    int Options = 0; // ETO_*
    QRectF Rect;
};

class TMetaDC {
public:
    // Paints onto image, which already has the picture's size and its white ground.
    TMetaDC(QImage& image, const TMetaHeader& header);
    ~TMetaDC();
    TMetaDC(const TMetaDC&) = delete;
    TMetaDC& operator=(const TMetaDC&) = delete;

    TMetaState& State() { return FState; }
    void SaveDC();
    void RestoreDC(int which);

    // Object table: WMF fills the lowest free slot, EMF names the slot.
    void AddObject(const TMetaObject& object);
    void SetObject(quint32 index, const TMetaObject& object);
    void SelectObject(quint32 index);
    void SelectStockObject(quint32 stock);
    void DeleteObject(quint32 index);

    // Budgets: each adds the cost of what comes and throws TMetaError "too complex to draw" past its limit.
    // A bitmap kept by an object must also fit the object table's budget.
    void ChargeBitmap(qint64 pixels, bool kept = false);
    void ChargeRegion(qint64 rects);
    void ChargeDrawn(const QRectF& picturePixels, double strokeWidth = -1);

    // Mapping. Setters ignore values that would divide by zero or are not finite.
    void SetWindowOrg(QPointF origin);
    void SetWindowExt(QSizeF extent);
    void SetViewportOrg(QPointF origin);
    void SetViewportExt(QSizeF extent);
    void SetWorldTransform(const QTransform& transform);
    void ModifyWorldTransform(const QTransform& transform, int mode);
    QTransform Transform() const; // logical units to picture pixels
    QTransform DeviceToPicture() const { return FDeviceToPicture; }

    // Clip, in logical units or (regions) in picture pixels.
    void IntersectClipRect(const QRectF& rect);
    void ExcludeClipRect(const QRectF& rect);
    void SelectClipRegion(const QRegion& region, int mode);
    void ResetClip();
    void OffsetClip(QPointF offset);

    // Drawing, in logical units; inside a path bracket the figures go into the path instead.
    void DrawFigure(const QPainterPath& path, bool fill, bool stroke);
    void MoveTo(QPointF point);
    void LineTo(QPointF point);
    void PolylineTo(const QList<QPointF>& points);
    void PolyBezierTo(const QList<QPointF>& points);
    void ArcTo(const QRectF& box, QPointF start, QPointF end);
    void AngleArc(QPointF center, double radius, double startDegrees, double sweepDegrees);
    void SetPixel(QPointF point, const QColor& color);
    void DrawText(const TMetaText& text);
    void DrawImage(const QRectF& dest, const QImage& image, const QRectF& source, quint32 rop);
    void PatBlt(const QRectF& dest, quint32 rop);
    // A figure of an arc, a pie or a chord in the box from the radial through start to the one through end.
    enum class TArcKind { Arc, Pie, Chord };
    QPainterPath ArcFigure(const QRectF& box, QPointF start, QPointF end, TArcKind kind) const;

    // Path bracket.
    void BeginPath();
    void EndPath() { FInPath = false; }
    void AbortPath();
    void CloseFigure();
    void DrawPath(bool fill, bool stroke);
    void SelectClipPath(int mode);

private:
    QPointF Map(QPointF logical) const;
    QPainterPath MapPath(const QPainterPath& logical) const;
    QRect MapRect(const QRectF& logical) const;
    double ArcSweep(double startDegrees, double endDegrees) const;
    QPen MakePen() const;
    QBrush MakeBrush() const;
    QFont MakeFont(const QTransform& transform) const;
    void Paint(QPainterPath path, bool fill, bool stroke);
    void StrokeFromCurrent(const QPainterPath& path);
    void PrepareClip(bool textOrImage);
    void SetClip(const QRegion& region);
    void StoreObject(TMetaObject& slot, const TMetaObject& object);
    QRegion PathRegion(const QPainterPath& path, Qt::FillRule rule);

    QImage& FImage;
    QPainter FPainter;
    TMetaHeader FHeader;
    QTransform FDeviceToPicture; // EMF reference-device pixels to picture pixels
    TMetaState FState;
    std::vector<TMetaState> FSaved;
    std::vector<TMetaObject> FObjects;
    // Free slots below FObjects.size(), lowest first; a slot in it may have been filled since (skipped).
    std::priority_queue<quint32, std::vector<quint32>, std::greater<>> FFree;
    qint64 FObjectBytes = 0, FBitmapPixels = 0, FDrawnPixels = 0, FRegionRects = 0;
    bool FInPath = false;
    QPainterPath FPath; // picture pixels
};
