// Entry points of the metafile decoder: read the file, recognise it, size it, draw it.
#include "gfx/meta/GfxMeta.h"

#include <QFile>

#include "gfx/meta/MetaPlay.h"

namespace {

QByteArray ReadFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EGfxException(QString("Cannot open the metafile %1: %2").arg(fileName, file.errorString()));
    if (file.size() > kMaxMetaFileBytes)
        throw EGfxException(
            QString("The metafile %1 is larger than %2 bytes").arg(fileName).arg(kMaxMetaFileBytes));
    return file.readAll();
}

[[noreturn]] void Fail(const QString& fileName, const TMetaError& error) {
    throw EGfxException(
        QString("The metafile %1 cannot be read: %2").arg(fileName, QString::fromUtf8(error.what())));
}

} // namespace

QImage DecodeMetafile(const QByteArray& bytes, qint64 maxPixels) {
    const TByteView view(bytes);
    const TMetaHeader header = ReadMetaHeader(view, maxPixels);
    // Painted in 32 bits, the painter's native layout, and handed out in the 24-bit layout.
    QImage image(header.Size, QImage::Format_RGB32);
    if (image.isNull())
        throw TMetaError(QString("no memory for a picture of %1 x %2 pixels")
                             .arg(header.Size.width())
                             .arg(header.Size.height()));
    image.fill(Qt::white);
    {
        TMetaDC dc(image, header);
        if (header.Kind == TMetaKind::Wmf)
            PlayWmf(view, header, dc);
        else
            PlayEmf(view, header, dc);
    }
    image.convertTo(QImage::Format_BGR888);
    if (image.isNull())
        throw TMetaError("no memory for the 24-bit picture");
    return image;
}

QImage LoadMetafile(const QString& fileName) {
    const QByteArray bytes = ReadFile(fileName);
    try {
        return DecodeMetafile(bytes, kMaxPicturePixels);
    } catch (const TMetaError& error) {
        Fail(fileName, error);
    }
}

bool IsMetafileContent(const QByteArray& head) {
    const TByteView view(head);
    return IsMetaHeader(view);
}

QSize ReadMetafileSize(const QString& fileName) {
    const QByteArray bytes = ReadFile(fileName);
    try {
        return ReadMetaHeader(TByteView(bytes), kMaxPicturePixels).Size;
    } catch (const TMetaError& error) {
        Fail(fileName, error);
    }
}

std::optional<QSize> MeasureMetafile(const QByteArray& bytes) {
    try {
        return ReadMetaHeader(TByteView(bytes), kMaxPicturePixels).Size;
    } catch (const TMetaError&) {
        return std::nullopt;
    }
}
