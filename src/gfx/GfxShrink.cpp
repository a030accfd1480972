// Area averaging in integers: the source is measured in units of 1/w of a pixel across (1/h down), so that
// every destination pixel covers exactly srcW (srcH) units and every weight is a whole number.
#include "gfx/GfxShrink.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <vector>

namespace {

// The source pixels one destination pixel covers, with the units of each it covers (they sum to srcSize).
struct TSpan {
    int First = 0;
    std::vector<std::uint32_t> Weights;
};

std::vector<TSpan> Spans(int srcSize, int destSize) {
    std::vector<TSpan> spans(static_cast<size_t>(destSize));
    for (int d = 0; d < destSize; ++d) {
        // Destination pixel d covers units [d * srcSize, (d + 1) * srcSize); source pixel s covers
        // [s * destSize, (s + 1) * destSize).
        const long long from = static_cast<long long>(d) * srcSize;
        const long long to = from + srcSize;
        TSpan& span = spans[size_t(d)];
        span.First = static_cast<int>(from / destSize);
        for (long long s = span.First; s * destSize < to; ++s) {
            const long long lo = std::max(from, s * destSize);
            const long long hi = std::min(to, (s + 1) * destSize);
            span.Weights.push_back(static_cast<std::uint32_t>(hi - lo));
        }
    }
    return spans;
}

// One source row averaged across: each channel of each destination column as its sum of weighted values,
// srcW units a column.
void ShrinkRow(const uchar* row, const std::vector<TSpan>& columns, std::vector<std::uint32_t>& sums) {
    std::uint32_t* out = sums.data();
    for (const TSpan& span : columns) {
        std::uint32_t b = 0, g = 0, r = 0;
        const uchar* pixel = row + 3 * span.First;
        for (const std::uint32_t weight : span.Weights) {
            b += weight * pixel[0];
            g += weight * pixel[1];
            r += weight * pixel[2];
            pixel += 3;
        }
        *out++ = b;
        *out++ = g;
        *out++ = r;
    }
}

} // namespace

QImage AreaShrunk(const QImage& source, int w, int h) {
    assert(source.format() == QImage::Format_BGR888);
    assert(w >= 1 && h >= 1 && w <= source.width() && h <= source.height());
    const int srcW = source.width();
    const int srcH = source.height();
    const std::vector<TSpan> columns = Spans(srcW, w);
    const std::vector<TSpan> rows = Spans(srcH, h);
    QImage dest(w, h, QImage::Format_BGR888);
    // A row's sums reach 255 * srcW, a column's 255 * srcW * srcH: 64 bits hold any picture's.
    std::vector<std::uint32_t> rowSums(size_t(3) * w);
    std::vector<std::uint64_t> sums(size_t(3) * w);
    const std::uint64_t total = static_cast<std::uint64_t>(srcW) * srcH;
    int cachedRow = -1; // a source row shared by two destination rows is averaged across once
    std::vector<std::uint32_t> cached(size_t(3) * w);
    for (int y = 0; y < h; ++y) {
        const TSpan& span = rows[size_t(y)];
        std::fill(sums.begin(), sums.end(), 0);
        for (size_t i = 0; i < span.Weights.size(); ++i) {
            const int s = span.First + static_cast<int>(i);
            const std::vector<std::uint32_t>* row = &cached;
            if (s != cachedRow) {
                ShrinkRow(source.constScanLine(s), columns, rowSums);
                row = &rowSums;
                if (i + 1 == span.Weights.size()) {
                    cached.swap(rowSums);
                    cachedRow = s;
                    row = &cached;
                }
            }
            const std::uint64_t weight = span.Weights[i];
            for (size_t c = 0; c < sums.size(); ++c)
                sums[c] += weight * (*row)[c];
        }
        uchar* out = dest.scanLine(y);
        for (size_t c = 0; c < sums.size(); ++c)
            out[c] = static_cast<uchar>((sums[c] + total / 2) / total);
    }
    return dest;
}
