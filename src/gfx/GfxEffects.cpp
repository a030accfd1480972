// The renderer's pixel effects: bevel bands, hard and feathered masks, the drop shadow and the composition.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx/GfxPic.h"

namespace {

void Adjust(uchar* pixel, int change) {
    pixel[0] = ClampByte(pixel[0] + change);
    pixel[1] = ClampByte(pixel[1] + change);
    pixel[2] = ClampByte(pixel[2] + change);
}

// Adjusts columns from..to of a row (both inclusive, limited to the row) by change, except column skip.
void AdjustRange(uchar* row, int width, int from, int to, int change, int skip = -1) {
    from = std::max(from, 0);
    to = std::min(to, width - 1);
    for (int x = from; x <= to; ++x)
        if (x != skip)
            Adjust(row + 3 * x, change);
}

// The corner columns, where the band depends on the diagonal: dark when isDark(x), else light.
template <typename TIsDark>
void AdjustCorner(uchar* row, int width, int from, int to, int light, int dark, TIsDark isDark) {
    from = std::max(from, 0);
    to = std::min(to, width - 1);
    for (int x = from; x <= to; ++x)
        Adjust(row + 3 * x, isDark(x) ? dark : light);
}

// Fills with white, without outline, the box from (1, 1) to (w - 1, h - 1) exclusive with corners cut by
// quarter ellipses of radii rx and ry. A pixel is filled when its centre lies inside, which keeps the
// shape symmetric (Qt's aliased ellipse loses its top row).
void FillRoundedBox(QImage& mask, double rx, double ry) {
    const int w = mask.width();
    const int h = mask.height();
    const double left = 1;
    const double right = w - 1;
    const double top = 1;
    const double bottom = h - 1;
    for (int y = 1; y <= h - 2; ++y) {
        const double py = y + 0.5;
        double d = 0; // how far into the corner zone, as a part of ry
        if (ry > 0 && py < top + ry)
            d = (top + ry - py) / ry;
        else if (ry > 0 && py > bottom - ry)
            d = (py - (bottom - ry)) / ry;
        if (d > 1)
            continue;
        const double inset = rx > 0 ? rx * (1 - std::sqrt(1 - d * d)) : 0;
        const int from = std::max(1, static_cast<int>(std::ceil(left + inset - 0.5)));
        const int to = std::min(w - 2, static_cast<int>(std::floor(right - inset - 0.5)));
        if (from <= to)
            std::memset(mask.scanLine(y) + 3 * from, 255, static_cast<size_t>(to - from + 1) * 3);
    }
}

} // namespace

// Light bands at the top and left, S pixels wide; dark bands at the bottom and right, S - 1 wide. The
// corner squares split on their diagonals, whose corner pixels keep their colour.
void TGfxThumbnail::ApplyBevel(TGfxBaseIm& image, TGfxBevelStyle style, std::uint8_t intensity, int size) {
    // A style outside the enumeration (from a damaged profile, say) bevels nothing.
    if ((style != gbRaised && style != gbLowered) || size <= 0 || intensity == 0 || !image.HasImage())
        return;
    const int light = style == gbRaised ? intensity : -intensity;
    const int dark = -light;
    const int w = image.Width();
    const int h = image.Height();
    const int s = size;
    QImage& bitmap = image.Bitmap();
    for (int y = 0; y < h; ++y) {
        uchar* row = bitmap.scanLine(y);
        if (y <= s - 1) {
            AdjustRange(row, w, s, w - s, light);
            AdjustRange(row, w, 0, s - 1, light, y);
            AdjustCorner(row, w, w - s + 1, w - 1, light, dark, [&](int x) { return x + y > w; });
        } else if (y >= h - s + 1) {
            AdjustRange(row, w, s, w - s, dark);
            AdjustRange(row, w, w - s + 1, w - 1, dark, y + w - h);
            AdjustCorner(row, w, 0, s - 1, light, dark, [&](int x) { return x + y >= h; });
        } else {
            AdjustRange(row, w, 0, s - 1, light);
            AdjustRange(row, w, w - s + 1, w - 1, dark);
        }
    }
}

// The shape fills the box from (1, 1) to (w - 1, h - 1) exclusive, so a black frame of at least one pixel
// always stays around it.
void TGfxThumbnail::MakeMask(TGfxBaseIm& dest, TGfxMaskStyle style, int w, int h) {
    if (style != gmRectangle && style != gmRoundRect && style != gmEllipse) { // gmNone, or out of range
        dest.Clear();
        return;
    }
    dest.SetSize(w, h);
    if (!dest.HasImage())
        return;
    QImage& mask = dest.Bitmap();
    mask.fill(0);
    if (w < 3 || h < 3)
        return;
    if (style == gmRectangle) {
        for (int y = 1; y <= h - 2; ++y)
            std::memset(mask.scanLine(y) + 3, 255, static_cast<size_t>(w - 2) * 3);
        return;
    }
    // A rounded rectangle's corner is a quarter ellipse (w - 1) div 3 wide and (h - 1) div 3 high; an
    // ellipse is a rounded rectangle whose corners meet.
    if (style == gmEllipse)
        FillRoundedBox(mask, (w - 2) / 2.0, (h - 2) / 2.0);
    else
        FillRoundedBox(mask, ((w - 1) / 3) / 2.0, ((h - 1) / 3) / 2.0);
}

// Paints ever smaller copies of the mask, each 2 pixels narrower and lower and centred, in ever lighter
// grey: the shape's border moves one pixel inwards per step, from Round(255 / size) at the edge to 255.
// The shrunk copies are sampled in place rather than stretched into a temporary picture.
void TGfxThumbnail::FeatherMask(const TGfxBaseIm& mask, TGfxBaseIm& dest, int size) {
    if (!mask.HasImage()) {
        dest.Clear();
        return;
    }
    const QImage source = mask.Bitmap(); // shared copy: mask may be dest
    dest.AssignPicture(mask);
    if (size < 2)
        return;
    const int w = source.width();
    const int h = source.height();
    const double step = 255.0 / size;
    QImage& target = dest.Bitmap();
    std::vector<int> columns(static_cast<size_t>(w));
    int wk = w;
    int hk = h;
    for (int k = 1; k <= size && wk > 0 && hk > 0; ++k, wk -= 2, hk -= 2) {
        const auto v = static_cast<uchar>(RoundHalfEven(k * step));
        const int x0 = (w - wk) / 2;
        const int y0 = (h - hk) / 2;
        for (int x = 0; x < wk; ++x)
            columns[static_cast<size_t>(x)] = 3 * NearestSourceIndex(x, wk, w);
        for (int y = 0; y < hk; ++y) {
            const uchar* s = source.constScanLine(NearestSourceIndex(y, hk, h));
            uchar* d = target.scanLine(y0 + y) + 3 * x0;
            for (int x = 0; x < wk; ++x, d += 3)
                if (s[columns[static_cast<size_t>(x)]] > 0)
                    d[0] = d[1] = d[2] = v;
        }
    }
}

// The shadow is the hard mask (or the picture's rectangle) feathered with its own size, placed where the
// picture lies and moved distance pixels right and down. intensity is a percentage of darkness.
void TGfxThumbnail::CastShadow(const TGfxBaseIm& bkg, const TGfxBaseIm& mask, std::uint8_t intensity,
                               int distance, int size, int picW, int picH, TGfxBaseIm& dest) {
    TGfxBaseIm rectangle;
    TGfxBaseIm shape;
    if (distance > 0 && intensity != 0) {
        if (!mask.HasImage())
            MakeMask(rectangle, gmRectangle, picW, picH);
        FeatherMask(mask.HasImage() ? mask : rectangle, shape, size);
    }
    dest.AssignPicture(bkg);
    if (!shape.HasImage() || !dest.HasImage())
        return;
    const QImage& f = shape.Bitmap();
    distance = std::min(distance, std::max(bkg.Width(), bkg.Height())); // farther is off the picture anyway
    const int x0 = std::max(0, (bkg.Width() - f.width()) / 2) + distance;
    const int y0 = std::max(0, (bkg.Height() - f.height()) / 2) + distance;
    QImage& target = dest.Bitmap();
    const int xEnd = std::min(target.width(), x0 + f.width());
    const int yEnd = std::min(target.height(), y0 + f.height());
    for (int y = y0; y < yEnd; ++y) {
        const uchar* m = f.constScanLine(y - y0);
        uchar* d = target.scanLine(y);
        for (int x = x0; x < xEnd; ++x) {
            const int darken = RoundHalfEven(m[3 * (x - x0)] * intensity / 100.0);
            Adjust(d + 3 * x, -darken);
        }
    }
}

// The picture centred on the background (at the top-left corner when larger), blended through the
// feathered mask, or opaque without one.
void TGfxThumbnail::ComposeThumbnail(const TGfxBaseIm& pic, const TGfxBaseIm& bkg, const TGfxBaseIm& mask,
                                     TGfxBaseIm& dest) {
    // Shared copies: any argument may be dest.
    const QImage p = pic.Bitmap();
    const QImage g = bkg.Bitmap();
    const QImage m = mask.Bitmap();
    dest.SetSize(g.width(), g.height());
    if (!dest.HasImage())
        return;
    QImage& target = dest.Bitmap();
    const size_t rowBytes = static_cast<size_t>(g.width()) * 3;
    for (int y = 0; y < g.height(); ++y)
        std::memcpy(target.scanLine(y), g.constScanLine(y), rowBytes);
    if (p.isNull())
        return;
    const int x0 = std::max(0, (g.width() - p.width()) / 2);
    const int y0 = std::max(0, (g.height() - p.height()) / 2);
    const int xEnd = std::min(g.width(), x0 + p.width());
    const int yEnd = std::min(g.height(), y0 + p.height());
    for (int y = y0; y < yEnd; ++y) {
        const uchar* s = p.constScanLine(y - y0);
        uchar* d = target.scanLine(y) + 3 * x0;
        if (m.isNull()) {
            std::memcpy(d, s, static_cast<size_t>(xEnd - x0) * 3);
            continue;
        }
        // The mask has the picture's size; anything outside it counts as background.
        const uchar* a = y - y0 < m.height() ? m.constScanLine(y - y0) : nullptr;
        for (int x = 0; x < xEnd - x0; ++x, d += 3, s += 3) {
            const int alpha = (a != nullptr && x < m.width()) ? a[3 * x + 2] : 0;
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uchar>((s[c] * alpha + d[c] * (255 - alpha)) / 255);
        }
    }
}
