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
#include "gfx/GfxSampling.h"

namespace {

QImage NewBitmap(const QString& fileName, int w, int h) {
    QImage image(w, h, QImage::Format_BGR888);
    if (image.isNull())
        throw EGfxException(
            LoadError(fileName, QStringLiteral("not enough memory for a %1 x %2 picture").arg(w).arg(h)));
    return image;
}

} // namespace

TJpegSource::TJpegSource(const QString& fileName) : FFileName(fileName) {
    QFile in(fileName);
    if (!in.open(QIODevice::ReadOnly))
        throw EGfxException(LoadError(fileName, in.errorString()));
    FData = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw EGfxException(LoadError(fileName, in.errorString()));
    TJpegReader reader(fileName, FData);
    reader.ReadHeader();
    FOrientation = reader.Orientation();
    const QSize size = UprightSize(FOrientation, reader.Width(), reader.Height());
    FWidth = size.width();
    FHeight = size.height();
}

QImage TJpegSource::Decode() const {
    TJpegReader reader(FFileName, FData);
    reader.ReadHeader();
    QImage image = NewBitmap(FFileName, reader.Width(), reader.Height());
    reader.ReadPixels(image);
    if (FOrientation == 1)
        return image;
    QImage upright = Upright(image, FOrientation);
    if (upright.isNull())
        return NewBitmap(FFileName, FWidth, FHeight); // throws: no memory
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
    if (FOrientation == 1)
        reader.ReadStretched(image);
    else
        StretchUpright(reader, image);
    return image;
}

// The stored rows the upright stretch samples are decoded into a strip, in their order in the file; the
// stretch then picks its pixels from there. Without a swap of sides a stored row depends on the dest row
// only, with one on the dest column only.
void TJpegSource::StretchUpright(TJpegReader& reader, QImage& dest) const {
    const int w = dest.width();
    const int h = dest.height();
    const int storedW = reader.Width();
    const int storedH = reader.Height();
    const bool swap = SwapsSides(FOrientation);
    std::vector<QPoint> byX(static_cast<size_t>(w)); // the stored pixel for (x, dest row 0's source)
    std::vector<QPoint> byY(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x)
        byX[size_t(x)] = StoredPixel(FOrientation, NearestSourceIndex(x, w, FWidth), 0, storedW, storedH);
    for (int y = 0; y < h; ++y)
        byY[size_t(y)] = StoredPixel(FOrientation, 0, NearestSourceIndex(y, h, FHeight), storedW, storedH);
    // (x, y) shows stored column Col(x, y) of stored row Row(x, y).
    std::vector<int> rows;
    for (const QPoint& p : swap ? byX : byY)
        rows.push_back(p.y());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<int> columns(static_cast<size_t>(storedW));
    std::iota(columns.begin(), columns.end(), 0);
    QImage strip = NewBitmap(FFileName, storedW, static_cast<int>(rows.size()));
    reader.ReadSampled(strip, rows, columns);
    const auto stripRow = [&rows](int storedRow) {
        return static_cast<int>(std::lower_bound(rows.begin(), rows.end(), storedRow) - rows.begin());
    };
    for (int y = 0; y < h; ++y) {
        uchar* d = dest.scanLine(y);
        for (int x = 0; x < w; ++x, d += 3) {
            const int row = swap ? byX[size_t(x)].y() : byY[size_t(y)].y();
            const int column = swap ? byY[size_t(y)].x() : byX[size_t(x)].x();
            std::memcpy(d, strip.constScanLine(stripRow(row)) + 3 * column, 3);
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
