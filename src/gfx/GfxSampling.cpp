// Nearest-pixel sampling and rounding shared by the picture unit.
#include "gfx/GfxSampling.h"

#include <cmath>
#include <cstring>
#include <vector>

int RoundHalfEven(double v) {
    const double r = std::nearbyint(v); // the default rounding mode is to nearest, ties to even
    if (!(r < 2147483647.0))
        return 2147483647;
    return r > -2147483648.0 ? static_cast<int>(r) : -2147483647 - 1;
}

void StretchBitmap(const QImage& source, QImage& target) {
    const int w = target.width();
    const int h = target.height();
    std::vector<int> columns(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x)
        columns[static_cast<size_t>(x)] = 3 * NearestSourceIndex(x, w, source.width());
    int lastRow = -1;
    for (int y = 0; y < h; ++y) {
        const int sy = NearestSourceIndex(y, h, source.height());
        uchar* d = target.scanLine(y);
        if (sy == lastRow) { // an enlarged row repeats the one above
            std::memcpy(d, target.constScanLine(y - 1), static_cast<size_t>(w) * 3);
            continue;
        }
        const uchar* s = source.constScanLine(sy);
        for (int x = 0; x < w; ++x, d += 3)
            std::memcpy(d, s + columns[static_cast<size_t>(x)], 3);
        lastRow = sy;
    }
}
