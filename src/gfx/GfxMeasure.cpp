// Measuring picture files through the picture kinds' own header readers.
#include "gfx/GfxMeasure.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

#include "gfx/GfxDecode.h"
#include "gfx/GfxFormat.h"
#include "gfx/GfxJpegSource.h"

namespace {

// Size of a picture whose header was not measured: by loading it, so a file the loader refuses gives the
// loader's error.
QSize LoadedPictureSize(const QString& fileName) {
    const TPictureFile file = OpenPictureFile(fileName);
    if (file.Jpeg != nullptr)
        return {file.Jpeg->Width(), file.Jpeg->Height()};
    return file.Picture.size();
}

} // namespace

std::optional<QSize> MeasurePictureHeader(QIODevice& device) {
    THeaderReader reader(device);
    QByteArray head;
    if (!reader.Read(0, std::min(reader.Size(), kFormatHeadBytes), head) || head.size() < 4)
        return std::nullopt;
    const TPictureFormat* format = FormatForContent(head);
    return format != nullptr ? format->Measure(reader) : std::nullopt;
}

QString MeasurePictureFile(const QString& fileName, int& width, int& height, int& fileSize,
                           std::optional<QSize> loaded) {
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists())
        return QStringLiteral("File: %1 not found").arg(fileName);
    if (info.size() > std::numeric_limits<int>::max())
        return QStringLiteral("File: %1 is too large for a picture").arg(fileName);
    // Directories, pipes and devices are no pictures; opening a pipe would wait for a writer forever.
    if (!info.isFile())
        return QStringLiteral("Cannot read the picture size of %1: not a file").arg(fileName);
    fileSize = static_cast<int>(info.size());
    std::optional<QSize> size;
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly))
        size = MeasurePictureHeader(file);
    if (!size)
        size = loaded ? *loaded : LoadedPictureSize(fileName);
    width = size->width();
    height = size->height();
    return QString();
}
