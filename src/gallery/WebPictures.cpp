// Web-sized pictures: decoded upright, shrunk by area averaging, saved as JPEG.
#include "gallery/WebPictures.h"

#include <algorithm>

#include <QFileInfo>

#include "common/VlxSaveFile.h"
#include "gallery/Gallery.h"
#include "gfx/GfxJpeg.h"
#include "gfx/GfxMeasure.h"
#include "gfx/GfxPic.h"
#include "gfx/GfxShrink.h"

namespace {

// The source's metadata under the gallery's metadata rule (no location unless the user keeps it) belongs in
// the web-sized JPEG, and is to be copied in here by the function that does so for every published picture.
// Until then the JPEG carries none. Its pixels are already upright: a copied orientation tag must say 1.
void AddPublishedMetadata(const QString& source, QByteArray& jpeg) {
    Q_UNUSED(source);
    Q_UNUSED(jpeg);
}

// A web-sized JPEG an earlier run wrote, still what this run would write.
bool WebPictureCurrent(const QString& source, const QString& dest, const QSize& size) {
    const QFileInfo made(dest);
    if (!made.isFile() || made.isSymLink() || made.lastModified() < QFileInfo(source).lastModified())
        return false;
    int width = 0, height = 0, bytes = 0;
    try {
        return MeasurePictureFile(dest, width, height, bytes).isEmpty() && QSize(width, height) == size;
    } catch (const std::exception&) {
        return false; // a damaged one is made again
    }
}

} // namespace

QSize WebPictureSize(int width, int height, int maxSide) {
    if (std::max(width, height) <= maxSide)
        return QSize(width, height);
    return FitSize(width, height, maxSide, maxSide);
}

QSize MeasuredPictureSize(const QString& fileName) {
    int width = 0, height = 0, bytes = 0;
    if (const QString refusal = MeasurePictureFile(fileName, width, height, bytes); !refusal.isEmpty())
        throw EGalleryException(refusal);
    return QSize(width, height);
}

bool SaveWebPicture(const QString& source, int maxSide, const QString& dest) {
    const QSize measured = MeasuredPictureSize(source);
    if (WebPictureCurrent(source, dest, WebPictureSize(measured.width(), measured.height(), maxSide)))
        return false;
    TGfxBaseIm picture;
    picture.LoadPicture(source);
    // The pixels loaded are upright (a JPEG's EXIF orientation, a HEIC's turning), at the measured size.
    const QSize size = WebPictureSize(picture.Width(), picture.Height(), maxSide);
    const QImage& bitmap = picture.Bitmap();
    QByteArray jpeg =
        EncodeJpeg(size == bitmap.size() ? bitmap : AreaShrunk(bitmap, size.width(), size.height()),
                   kWebJpegQuality, dest);
    AddPublishedMetadata(source, jpeg);
    TSaveFile file(dest);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit())
        throw EGalleryException(QStringLiteral("Cannot save %1: %2").arg(dest, file.errorString()));
    return true;
}
