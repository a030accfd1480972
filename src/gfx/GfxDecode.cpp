// Picks the picture kind for a file by its extension and brings any result to 24-bit blue-green-red.
#include "gfx/GfxDecode.h"

#include <QFileInfo>
#include <QImageReader>

#include "gfx/GfxDecodeCount.h"
#include "gfx/GfxError.h"
#include "gfx/GfxJpegSource.h"

namespace {

// Qt decodes BMP and ICO to 4 bytes per pixel; its allocation limit (in MiB) is set to let exactly our
// largest picture through, so that it never allocates for one our own check would refuse.
constexpr int kQtAllocationLimitMiB = static_cast<int>((kMaxPicturePixels * 4 + (1 << 20) - 1) >> 20);

// A picture Qt's reader decodes whole or refuses (PNG, GIF, WebP, TIFF). Its reader only says "Unable to read
// image data"; whether the header gave a size tells the user more.
QImage ReadWithQtReader(const QString& fileName, const QByteArray& format, QImageReader& reader) {
    const QSize size = reader.size();
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        const QString why = size.isValid() && !size.isEmpty()
                                ? QStringLiteral("its picture data are damaged or cut short")
                                : QStringLiteral("its header is damaged or gives no size");
        throw EGfxException(
            LoadError(fileName, UnreadableReason(QString::fromLatin1(format.toUpper()), why)));
    }
    return image;
}

} // namespace

void SetUpQtReader(QImageReader& reader, const QString& fileName, const QByteArray& format, QIODevice* device) {
    QImageReader::setAllocationLimit(kQtAllocationLimitMiB);
    // The format named, and no guessing from the content: a file whose extension lies is refused.
    if (device != nullptr)
        reader.setDevice(device);
    else
        reader.setFileName(fileName);
    reader.setFormat(format);
    reader.setAutoDetectImageFormat(false);
}

TPictureFile QtPicture(const QString& fileName, const QImage& image) {
    CheckPictureSize(fileName, image.width(), image.height());
    QImage result = ToBgr888(image);
    if (result.isNull())
        throw EGfxException(LoadError(fileName, NoMemoryReason(image.width(), image.height())));
    return {std::move(result), nullptr, AlphaOf(image)};
}

void CheckReaderSize(const QString& fileName, QImageReader& reader) {
    const QSize size = reader.size();
    if (size.isValid())
        CheckPictureSize(fileName, size.width(), size.height());
}

TPictureFile ReadWithQt(const QString& fileName, const QByteArray& format, QIODevice* device) {
    QImageReader reader;
    SetUpQtReader(reader, fileName, format, device);
    CheckReaderSize(fileName, reader);
    return QtPicture(fileName, ReadWithQtReader(fileName, format, reader));
}

QImage AlphaOf(const QImage& picture) {
    if (picture.isNull() || !picture.hasAlphaChannel())
        return QImage();
    QImage alpha = picture.convertToFormat(QImage::Format_Alpha8);
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar* a = alpha.constScanLine(y);
        for (int x = 0; x < alpha.width(); ++x)
            if (a[x] != 255)
                return alpha;
    }
    return QImage();
}

QImage ToBgr888(const QImage& picture) {
    if (picture.isNull() || !picture.hasAlphaChannel())
        return picture.convertToFormat(QImage::Format_BGR888);
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QImage result(picture.size(), QImage::Format_BGR888);
    if (argb.isNull() || result.isNull())
        return QImage();
    for (int y = 0; y < argb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* dest = result.scanLine(y);
        for (int x = 0; x < argb.width(); ++x, dest += 3) {
            const int a = qAlpha(src[x]);
            const int white = 255 * (255 - a);
            dest[0] = static_cast<uchar>((qBlue(src[x]) * a + white + 127) / 255);
            dest[1] = static_cast<uchar>((qGreen(src[x]) * a + white + 127) / 255);
            dest[2] = static_cast<uchar>((qRed(src[x]) * a + white + 127) / 255);
        }
    }
    return result;
}

namespace {

// The kind of a file that exists, is a regular file and is not empty, by its extension.
const TPictureFormat& CheckedFormat(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.exists())
        throw EGfxException(LoadError(fileName, QStringLiteral("the file does not exist")));
    if (info.isDir())
        throw EGfxException(LoadError(fileName, QStringLiteral("it is a folder, not a picture file")));
    // A pipe or a device would block the read or never end.
    if (!info.isFile())
        throw EGfxException(LoadError(fileName, QStringLiteral("it is not a regular file")));
    if (info.size() == 0)
        throw EGfxException(LoadError(fileName, QStringLiteral("the file is empty")));
    const TPictureFormat* format = FormatForExtension(info.suffix().toLower());
    if (format == nullptr)
        throw EGfxException(
            LoadError(fileName, QStringLiteral("unknown picture file extension \"%1\"").arg(info.suffix())));
    return *format;
}

} // namespace

TPictureFile OpenPictureFile(const QString& fileName) {
    TPictureFile file = CheckedFormat(fileName).Read(fileName);
    if (file.Jpeg == nullptr)
        CountPictureDecode(); // a JPEG's scan is counted when it is decoded
    return file;
}

QImage LoadPictureFile(const QString& fileName) {
    TPictureFile file = OpenPictureFile(fileName);
    return file.Jpeg != nullptr ? file.Jpeg->Decode() : std::move(file.Picture);
}
