// A JPEG whose pixels are decoded on demand, all of them or only the rows a stretch samples.
#include "gfx/GfxJpegSource.h"

#include <QFile>

#include "gfx/GfxError.h"
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
    FWidth = reader.Width();
    FHeight = reader.Height();
}

QImage TJpegSource::Decode() const {
    TJpegReader reader(FFileName, FData);
    reader.ReadHeader();
    QImage image = NewBitmap(FFileName, reader.Width(), reader.Height());
    reader.ReadPixels(image);
    return image;
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
    reader.ReadStretched(image);
    return image;
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
