// Pixel arithmetic shared by the holder, the decoders and the effects: nearest-pixel sampling and rounding.
#pragma once

#include <QImage>

// The source column (or row) that destination index d of a nearest-pixel stretch from srcSize to destSize
// shows. Centre sampling: the first and last source lines always survive a shrink.
inline int NearestSourceIndex(int d, int destSize, int srcSize) {
    return static_cast<int>((static_cast<long long>(2 * d + 1) * srcSize) / (2LL * destSize));
}

// Round half to even (97.5 gives 98, 42.5 gives 42), clamped to int.
int RoundHalfEven(double v);

// The nearest-pixel stretch of the whole of source onto target; both Format_BGR888, neither null.
void StretchBitmap(const QImage& source, QImage& target);
