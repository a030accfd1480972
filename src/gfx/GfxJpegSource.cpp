// A JPEG whose pixels are decoded on demand, all of them or only the rows a stretch samples.
#include "gfx/GfxJpegSource.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "gfx/GfxError.h"
#include "gfx/GfxExif.h"
#include "gfx/GfxJpeg.h"
#include "gfx/GfxJpegWalk.h"
#include "gfx/GfxSampling.h"

namespace {

QImage NewBitmap(const QString& fileName, int w, int h) {
    QImage image(w, h, QImage::Format_BGR888);
    if (image.isNull())
        throw EGfxException(LoadError(fileName, NoMemoryReason(w, h)));
    return image;
}

} // namespace

TJpegSource::TJpegSource(const QString& fileName) : FFileName(fileName) {
    QFile in(fileName);
    if (!in.open(QIODevice::ReadOnly))
        throw EGfxException(LoadError(fileName, in.errorString()));
    TJpegWalk walk = WalkJpeg(in, true);
    if (in.error() != QFileDevice::NoError)
        throw EGfxException(LoadError(fileName, in.errorString()));
    if (!walk.Refusal.isEmpty())
        throw EGfxException(LoadError(fileName, walk.Refusal));
    FData = std::move(walk.Data);
    TJpegReader reader(fileName, FData);
    reader.ReadHeader();
    // The walk's, which measuring takes too.
    FOrientation = walk.Orientation;
    const QSize size = UprightSize(FOrientation, reader.Width(), reader.Height());
    FWidth = size.width();
    FHeight = size.height();
}

QImage TJpegSource::Decode() const {
    return DecodeAtLeast(FWidth, FHeight);
}

QImage TJpegSource::DecodeAtLeast(int w, int h) const {
    TJpegReader reader(FFileName, FData);
    reader.ReadHeader();
    if (SwapsSides(FOrientation))
        std::swap(w, h);
    // A scale that gives the full size still is no scale: its pixels would only be coarser.
    int eighths = 1;
    for (; eighths < 8; ++eighths) {
        reader.SetScale(eighths);
        const bool smaller = reader.OutputWidth() < reader.Width() || reader.OutputHeight() < reader.Height();
        if (smaller && reader.OutputWidth() >= w && reader.OutputHeight() >= h)
            break;
    }
    reader.SetScale(eighths);
    QImage image = NewBitmap(FFileName, reader.OutputWidth(), reader.OutputHeight());
    reader.ReadPixels(image);
    if (FOrientation == 1)
        return image;
    QImage upright = Upright(image, FOrientation);
    if (upright.isNull()) {
        const QSize size = UprightSize(FOrientation, image.width(), image.height());
        return NewBitmap(FFileName, size.width(), size.height()); // throws: no memory
    }
    return upright;
}

QImage TJpegSource::Stretched(int w, int h) const {
    TJpegReader reader(FFileName, FData);
    reader.ReadHeader();
    if (!reader.SkipsExactly()) {
        const QImage full = Decode();
        QImage image = NewBitmap(FFileName, w, h);
        StretchBitmap(full, image);
        return image;
    }
    QImage image = NewBitmap(FFileName, w, h);
    if (FOrientation == 1) {
        reader.ReadStretched(image);
    } else {
        std::vector<QImage> dests{std::move(image)};
        StretchSampled(reader, dests);
        image = std::move(dests[0]);
    }
    return image;
}

std::vector<QImage> TJpegSource::Stretched(const std::vector<QSize>& sizes) const {
    TJpegReader reader(FFileName, FData);
    reader.ReadHeader();
    std::vector<QImage> dests;
    for (const QSize& size : sizes)
        dests.push_back(NewBitmap(FFileName, size.width(), size.height()));
    if (reader.SkipsExactly()) {
        StretchSampled(reader, dests);
        return dests;
    }
    const QImage full = Decode();
    for (QImage& dest : dests)
        StretchBitmap(full, dest);
    return dests;
}

namespace {

// Where a dest's pixels come from: (x, y) shows stored column Column(x, y) of stored row Row(x, y). Without a
// swap of sides a stored row depends on the dest row only, with one on the dest column only.
struct TSampling {
    std::vector<QPoint> ByX; // the stored pixel for (x, dest row 0's source)
    std::vector<QPoint> ByY;
    bool Swap = false;

    int Row(int x, int y) const { return Swap ? ByX[size_t(x)].y() : ByY[size_t(y)].y(); }
    int Column(int x, int y) const { return Swap ? ByY[size_t(y)].x() : ByX[size_t(x)].x(); }
};

TSampling SamplingOf(const QImage& dest, int orientation, int uprightW, int uprightH, int storedW,
                     int storedH) {
    const int w = dest.width();
    const int h = dest.height();
    TSampling s;
    s.Swap = SwapsSides(orientation);
    s.ByX.resize(static_cast<size_t>(w));
    s.ByY.resize(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x)
        s.ByX[size_t(x)] = StoredPixel(orientation, NearestSourceIndex(x, w, uprightW), 0, storedW, storedH);
    for (int y = 0; y < h; ++y)
        s.ByY[size_t(y)] = StoredPixel(orientation, 0, NearestSourceIndex(y, h, uprightH), storedW, storedH);
    return s;
}

} // namespace

// The stored rows the upright stretches sample are decoded into a strip, in their order in the file; each
// stretch then picks its pixels from there.
void TJpegSource::StretchSampled(TJpegReader& reader, std::vector<QImage>& dests) const {
    const int storedW = reader.Width();
    const int storedH = reader.Height();
    std::vector<TSampling> samplings;
    std::vector<int> rows;
    for (const QImage& dest : dests) {
        samplings.push_back(SamplingOf(dest, FOrientation, FWidth, FHeight, storedW, storedH));
        for (const QPoint& p : samplings.back().Swap ? samplings.back().ByX : samplings.back().ByY)
            rows.push_back(p.y());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<int> columns(static_cast<size_t>(storedW));
    std::iota(columns.begin(), columns.end(), 0);
    QImage strip = NewBitmap(FFileName, storedW, static_cast<int>(rows.size()));
    reader.ReadSampled(strip, rows, columns);
    const auto stripRow = [&rows](int storedRow) {
        return static_cast<int>(std::lower_bound(rows.begin(), rows.end(), storedRow) - rows.begin());
    };
    for (size_t i = 0; i < dests.size(); ++i) {
        QImage& dest = dests[i];
        const TSampling& s = samplings[i];
        for (int y = 0; y < dest.height(); ++y) {
            uchar* d = dest.scanLine(y);
            for (int x = 0; x < dest.width(); ++x, d += 3)
                std::memcpy(d, strip.constScanLine(stripRow(s.Row(x, y))) + 3 * s.Column(x, y), 3);
        }
    }
}

void TJpegSource::Verify() const {
    TJpegReader reader(FFileName, FData);
    reader.ReadHeader();
    QImage pixel = NewBitmap(FFileName, 1, 1);
    reader.ReadStretched(pixel); // one sampled row: the rest is read through without pixels
}

void TWaitingJpeg::Load(std::shared_ptr<const TJpegSource> source, const QString& replacedName) {
    FBefore = std::move(FSource);
    FNameBefore = replacedName;
    FSource = std::move(source);
    FProved = false;
}

void TWaitingJpeg::Proved() {
    FProved = true;
    FBefore.reset();
    FNameBefore.clear();
}

QString TWaitingJpeg::Failed() {
    FSource = std::move(FBefore);
    FProved = FSource != nullptr; // only a proved source is kept to go back to
    FBefore.reset();
    return std::exchange(FNameBefore, QString());
}

void TWaitingJpeg::Clear() {
    FSource.reset();
    FBefore.reset();
    FNameBefore.clear();
    FProved = false;
}
