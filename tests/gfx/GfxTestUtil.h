// Small helpers for the picture tests: solid pictures, reading a pixel, a picture's one grey level.
#pragma once

#include <array>

#include <QString>

#include "gfx/GfxPic.h"

// Bytes blue, green, red of one pixel.
using TBgr = std::array<int, 3>;

inline TBgr Px(const TGfxBaseIm& image, int x, int y) {
    const uchar* p = image.Bitmap().constScanLine(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

inline TBgr Grey(int v) {
    return {v, v, v};
}

// A w x h picture of one colour.
inline void MakeSolid(TGfxBaseIm& image, int w, int h, TBgr colour) {
    image.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        uchar* row = image.Bitmap().scanLine(y);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = static_cast<uchar>(colour[c]);
    }
}

// Where two pictures first differ, for failure messages ("" when equal).
inline QString FirstPixelDifference(const TGfxBaseIm& a, const TGfxBaseIm& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return QStringLiteral("sizes differ: %1 x %2 and %3 x %4")
            .arg(a.Width())
            .arg(a.Height())
            .arg(b.Width())
            .arg(b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (Px(a, x, y) != Px(b, x, y))
                return QStringLiteral("first difference at (%1, %2)").arg(x).arg(y);
    return {};
}
