// Text output: fonts from logical fonts, 8-bit text in its character set, alignment, background and advances.
#include "gfx/meta/MetaDC.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QStringDecoder>

namespace {

// Windows-1252 for 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const char* CodePageName(int charSet) {
    switch (charSet) {
    case 238:
        return "windows-1250";
    case 204:
        return "windows-1251";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 163:
        return "windows-1258";
    case 222:
        return "windows-874";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    default:
        return nullptr;
    }
}

QString DecodeCp1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

bool CanDrawText() {
    // Fonts need a GUI application. The program always has one; without it text is left out.
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QFont::StyleHint StyleHint(int pitchAndFamily) {
    switch (pitchAndFamily & 0xF0) {
    case 0x10:
        return QFont::Serif;
    case 0x20:
        return QFont::SansSerif;
    case 0x30:
        return QFont::Monospace;
    case 0x40:
        return QFont::Cursive;
    case 0x50:
        return QFont::Decorative;
    default:
        return (pitchAndFamily & 3) == 1 ? QFont::Monospace : QFont::AnyStyle;
    }
}

double Length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

} // namespace

QString DecodeAnsiText(const QByteArray& bytes, int charSet) {
    if (const char* name = CodePageName(charSet)) {
        QStringDecoder decoder(name);
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return DecodeCp1252(bytes);
}

QFont TMetaDC::MakeFont(const QTransform& transform) const {
    const TMetaFont& f = FState.Font;
    QFont font;
    if (!f.Face.isEmpty())
        font.setFamily(f.Face);
    font.setStyleHint(StyleHint(f.PitchAndFamily));
    const double scaleY = Length(transform.m21(), transform.m22());
    const double limit = std::clamp(2.0 * std::max(FImage.width(), FImage.height()), 8.0, 4096.0);
    double pixels = f.Height == 0 ? 12 : std::fabs(double(f.Height)) * scaleY;
    font.setPixelSize(std::max(1, int(std::lround(std::min(pixels, limit)))));
    if (f.Height > 0) { // a cell height: the character height is the cell less the internal leading
        const QFontMetricsF metrics(font);
        pixels = pixels * font.pixelSize() / std::max(1.0, metrics.ascent() + metrics.descent());
        font.setPixelSize(std::max(1, int(std::lround(std::min(pixels, limit)))));
    }
    font.setWeight(QFont::Weight(std::clamp(f.Weight == 0 ? 400 : f.Weight, 100, 900)));
    font.setItalic(f.Italic);
    font.setUnderline(f.Underline);
    font.setStrikeOut(f.StrikeOut);
    if (f.Width > 0) {
        const double wanted = f.Width * Length(transform.m11(), transform.m12());
        const double average = QFontMetricsF(font).averageCharWidth();
        if (average > 0)
            font.setStretch(std::clamp(int(std::lround(100 * wanted / average)), 1, 4000));
    }
    return font;
}

void TMetaDC::DrawText(const TMetaText& text) {
    const TMetaState& s = FState;
    if ((text.Options & gdi::kEtoOpaque) && !text.Rect.isEmpty()) {
        const QRectF opaque = QRectF(Map(text.Rect.topLeft()), Map(text.Rect.bottomRight())).normalized();
        ChargeDrawn(opaque);
        PrepareClip(true);
        FPainter.fillRect(opaque, s.BkColor);
    }
    if (!CanDrawText() || text.Text.isEmpty() || (text.Options & gdi::kEtoGlyphIndex))
        return;
    const QTransform transform = Transform();
    const QFont font = MakeFont(transform);
    const QFontMetricsF metrics(font);
    const bool updateCp = s.TextAlign & gdi::kTaUpdateCp;
    const QPointF origin = Map(updateCp ? s.Current : text.Reference);
    const double scaleX = Length(transform.m11(), transform.m12());

    QList<qreal> advances;
    double width = 0;
    if (text.Dx.size() >= text.Text.size()) {
        for (qsizetype i = 0; i < text.Text.size(); ++i)
            advances.append(std::clamp(text.Dx[i] * scaleX, -1e6, 1e6));
        for (qreal a : advances)
            width += a;
    } else {
        width = metrics.horizontalAdvance(text.Text);
    }
    const int horizontal = s.TextAlign & gdi::kTaCenter, vertical = s.TextAlign & gdi::kTaBaseline;
    const double x0 = horizontal == gdi::kTaCenter ? -width / 2 : horizontal == gdi::kTaRight ? -width : 0;
    const double y0 = vertical == gdi::kTaBaseline ? 0
                      : vertical == gdi::kTaBottom ? -metrics.descent()
                                                   : metrics.ascent();
    // Escapement counts counter-clockwise on the picture; an advanced world transform turns it further.
    const double worldAngle = std::atan2(s.World.m12(), s.World.m11()) * 180 / std::numbers::pi;
    // Glyphs cost the area they cover, like any fill: a few bytes of text records can ask for huge
    // letters across the whole picture again and again.
    QTransform placed;
    placed.translate(origin.x(), origin.y());
    placed.rotate(worldAngle - s.Font.Escapement / 10.0);
    ChargeDrawn(
        placed.mapRect(QRectF(x0, y0 - metrics.ascent(), width, metrics.ascent() + metrics.descent())));

    PrepareClip(true);
    if ((text.Options & gdi::kEtoClipped) && !text.Rect.isEmpty())
        FPainter.setClipRect(QRectF(Map(text.Rect.topLeft()), Map(text.Rect.bottomRight())).normalized(),
                             s.Clipped ? Qt::IntersectClip : Qt::ReplaceClip);
    FPainter.save();
    FPainter.setTransform(placed, true);
    if (s.BkMode == gdi::kOpaque)
        FPainter.fillRect(QRectF(x0, y0 - metrics.ascent(), width, metrics.ascent() + metrics.descent()),
                          s.BkColor);
    FPainter.setFont(font);
    FPainter.setPen(s.TextColor);
    FPainter.setBackgroundMode(Qt::TransparentMode);
    if (advances.isEmpty()) {
        FPainter.drawText(QPointF(x0, y0), text.Text);
    } else {
        // Characters with no advance of their own (ligature parts, combining marks) are drawn together
        // with the character that carries the advance.
        double x = x0;
        for (qsizetype i = 0; i < text.Text.size();) {
            qsizetype end = i + 1;
            double advance = advances[i];
            for (; end < text.Text.size() && advances[end - 1] == 0; ++end)
                advance += advances[end];
            FPainter.drawText(QPointF(x, y0), text.Text.mid(i, end - i));
            x += advance;
            i = end;
        }
    }
    FPainter.restore();
    if (updateCp && scaleX > 0)
        FState.Current.rx() += width / scaleX;
}
