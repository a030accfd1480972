// Web-sized pictures: decoded upright, shrunk by area averaging, saved as JPEG.
#include "publish/WebPictures.h"

#include <algorithm>

#include <QFileInfo>

#include "common/VlxSaveFile.h"
#include "gallery/Gallery.h"
#include "gfx/GfxJpeg.h"
#include "gfx/GfxMeasure.h"
#include "gfx/GfxPic.h"
#include "publish/PublishMeta.h"

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

void SaveWebPicture(const QString& source, int maxSide, TPublishMeta rule, const QString& dest) {
    TGfxBaseIm picture;
    picture.LoadPicture(source);
    // The pixels loaded are upright (a JPEG's EXIF orientation, a HEIC's turning), at the measured size.
    const QSize size = WebPictureSize(picture.Width(), picture.Height(), maxSide);
    QByteArray jpeg = EncodeJpeg(ShrunkPicture(picture, size.width(), size.height()), kWebJpegQuality, dest);
    // The pixels are upright already: the metadata copied says so.
    jpeg = JpegWithMetadataOf(source, jpeg, rule);
    TSaveFile file(dest);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit())
        throw EGalleryException(QStringLiteral("Cannot save %1: %2").arg(dest, file.errorString()));
}
