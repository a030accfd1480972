// Area averaging in integers: the source is measured in units of 1/w of a pixel across (1/h down), so that
// every destination pixel covers exactly srcW (srcH) units and every weight is a whole number. The loops are
// of one length a picture (each span padded with zero weights), which the compiler unrolls and vectorises.
#include "gfx/GfxShrink.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <iterator>
#include <vector>

namespace {

// The source pixels each destination pixel covers: a window of Count pixels from First[d], with the units of
// each it covers (Weights[d * Count + k], zero for those it does not; they sum to srcSize).
struct TSpans {
    int Count = 0;
    std::vector<int> First;
    std::vector<std::uint32_t> Weights;
};

TSpans Spans(int srcSize, int destSize) {
    // Destination pixel d covers units [d * srcSize, (d + 1) * srcSize); source pixel s covers
    // [s * destSize, (s + 1) * destSize).
    const auto firstOf = [&](long long d) { return static_cast<int>(d * srcSize / destSize); };
    const auto endOf = [&](long long d) {
        return static_cast<int>(((d + 1) * srcSize + destSize - 1) / destSize);
    };
    TSpans spans;
    for (int d = 0; d < destSize; ++d)
        spans.Count = std::max(spans.Count, endOf(d) - firstOf(d));
    spans.First.resize(size_t(destSize));
    spans.Weights.assign(size_t(destSize) * spans.Count, 0);
    for (int d = 0; d < destSize; ++d) {
        const long long from = static_cast<long long>(d) * srcSize;
        const long long to = from + srcSize;
        // The window ends inside the source, so that it never reads past the last pixel.
        const int first = std::min(firstOf(d), srcSize - spans.Count);
        spans.First[size_t(d)] = first;
        std::uint32_t* weights = &spans.Weights[size_t(d) * spans.Count];
        for (int s = firstOf(d); s < endOf(d); ++s) {
            const long long lo = std::max(from, static_cast<long long>(s) * destSize);
            const long long hi = std::min(to, static_cast<long long>(s + 1) * destSize);
            weights[s - first] = static_cast<std::uint32_t>(hi - lo);
        }
    }
    return spans;
}

// One source row averaged across: each channel of each destination column as its sum of weighted values,
// srcW units a column. K is the window's length when it is small enough to unroll, else 0.
template <int K> void ShrinkRow(const uchar* row, const TSpans& columns, std::uint32_t* sums) {
    const int count = K > 0 ? K : columns.Count;
    const std::uint32_t* weights = columns.Weights.data();
    for (const int first : columns.First) {
        std::uint32_t b = 0, g = 0, r = 0;
        const uchar* pixel = row + 3 * first;
        for (int k = 0; k < count; ++k) {
            b += weights[k] * pixel[3 * k];
            g += weights[k] * pixel[3 * k + 1];
            r += weights[k] * pixel[3 * k + 2];
        }
        weights += count;
        *sums++ = b;
        *sums++ = g;
        *sums++ = r;
    }
}

// Division by a fixed divisor as a multiplication and a shift, exact for every dividend below 256 times it:
// with 2^(l-1) < divisor <= 2^l, the shift 8 + 2l and the factor 2^shift / divisor rounded up, the error of
// the factor times any such dividend stays below one unit of the quotient's last place.
struct TDivision {
    explicit TDivision(std::uint64_t divisor) {
        int l = 0;
        while ((std::uint64_t(1) << l) < divisor)
            ++l;
        Shift = 8 + 2 * l;
        const unsigned __int128 power = static_cast<unsigned __int128>(1) << Shift;
        Factor = static_cast<std::uint64_t>((power + divisor - 1) / divisor);
    }
    std::uint64_t Of(std::uint64_t dividend) const {
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(dividend) * Factor) >> Shift);
    }
    std::uint64_t Factor = 0;
    int Shift = 0;
};

// One destination row from the rows averaged across that it covers (rows[k], weighed by weights[k]): each
// sample the rounded mean, total units a pixel. K as for ShrinkRow.
template <int K>
void ShrinkDown(const std::uint32_t* const* rows, const std::uint32_t* weights, int count, size_t samples,
                std::uint64_t total, uchar* out) {
    if (K > 0)
        count = K;
    const TDivision division(total);
    for (size_t c = 0; c < samples; ++c) {
        std::uint64_t n = total / 2;
        for (int k = 0; k < count; ++k)
            n += std::uint64_t(weights[k]) * rows[k][c];
        out[c] = static_cast<uchar>(division.Of(n));
    }
}

// The two passes for windows of count pixels across and down.
struct TShrinkers {
    void (*Across)(const uchar*, const TSpans&, std::uint32_t*);
    void (*Down)(const std::uint32_t* const*, const std::uint32_t*, int, size_t, std::uint64_t, uchar*);
};

template <int K> constexpr TShrinkers kShrinkers{ShrinkRow<K>, ShrinkDown<K>};

TShrinkers Shrinkers(int count) {
    static constexpr TShrinkers kUnrolled[] = {kShrinkers<0>, kShrinkers<1>, kShrinkers<2>, kShrinkers<3>,
                                               kShrinkers<4>, kShrinkers<5>, kShrinkers<6>};
    return count < int(std::size(kUnrolled)) ? kUnrolled[count] : kShrinkers<0>;
}

} // namespace

QImage AreaShrunk(const QImage& source, int w, int h) {
    assert(source.format() == QImage::Format_BGR888);
    assert(w >= 1 && h >= 1 && w <= source.width() && h <= source.height());
    const int srcW = source.width();
    const int srcH = source.height();
    const TSpans columns = Spans(srcW, w);
    const TSpans rows = Spans(srcH, h);
    const auto across = Shrinkers(columns.Count).Across;
    const auto down = Shrinkers(rows.Count).Down;
    QImage dest(w, h, QImage::Format_BGR888);
    const size_t samples = size_t(3) * w;
    // A row's sums reach 255 * srcW, a column's 255 * srcW * srcH: 64 bits hold any picture's.
    const std::uint64_t total = static_cast<std::uint64_t>(srcW) * srcH;
    // The source rows averaged across, kept while the destination rows still need them: a ring of
    // rows.Count rows, each averaged once.
    std::vector<std::uint32_t> ring(samples * rows.Count);
    std::vector<const std::uint32_t*> window(size_t(rows.Count));
    int done = 0; // the source rows averaged so far
    for (int y = 0; y < h; ++y) {
        const int first = rows.First[size_t(y)];
        for (int s = std::max(first, done); s < first + rows.Count; ++s)
            across(source.constScanLine(s), columns, &ring[samples * size_t(s % rows.Count)]);
        done = first + rows.Count;
        for (int k = 0; k < rows.Count; ++k)
            window[size_t(k)] = &ring[samples * size_t((first + k) % rows.Count)];
        down(window.data(), &rows.Weights[size_t(y) * rows.Count], rows.Count, samples, total,
             dest.scanLine(y));
    }
    return dest;
}
