// Picks the decoder for a picture file by its extension and brings the result to 24-bit blue-green-red.
#include "gfx/GfxDecode.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include "gfx/GfxError.h"
#include "gfx/GfxJpeg.h"

namespace {

QString LoadError(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot load %1: %2").arg(fileName, reason);
}

// Qt decodes BMP and ICO to 4 bytes per pixel; its allocation limit (in MiB) is set to let exactly our
// largest picture through, so that it never allocates for one our own check would refuse.
constexpr int kQtAllocationLimitMiB = static_cast<int>((kMaxPicturePixels * 4 + (1 << 20) - 1) >> 20);

// An icon holds several entries: the largest is the picture. Entries that do not even report a size are
// passed over; the reader refuses the file later if none is readable.
int LargestIconEntry(QImageReader& reader) {
    const int count = reader.imageCount();
    int best = 0;
    long long bestArea = -1;
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QSize size = reader.size();
        const long long area = size.isValid() ? static_cast<long long>(size.width()) * size.height() : -1;
        if (area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    return best;
}

// Refuses a BMP whose header declares a picture above the limit. Qt refuses those too, but only says
// "Unable to read image data"; the user is better told the size.
void CheckBmpHeaderSize(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return; // the reader reports it
    const QByteArray head = file.read(26);
    if (head.size() < 26 || !head.startsWith("BM"))
        return;
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    const quint32 infoSize = qFromLittleEndian<quint32>(bytes + 14);
    long long w = 0;
    long long h = 0;
    if (infoSize == 12) { // OS/2 core header: unsigned 16-bit sizes
        w = qFromLittleEndian<quint16>(bytes + 18);
        h = qFromLittleEndian<quint16>(bytes + 20);
    } else if (infoSize >= 40) { // a negative height means rows stored top-down
        w = qFromLittleEndian<qint32>(bytes + 18);
        h = qFromLittleEndian<qint32>(bytes + 22);
        h = h < 0 ? -h : h;
    }
    if (w > 0)
        CheckPictureSize(fileName, w, h);
}

QImage LoadWithQt(const QString& fileName, const QByteArray& format) {
    if (format == "bmp")
        CheckBmpHeaderSize(fileName);
    QImageReader::setAllocationLimit(kQtAllocationLimitMiB);
    // The format named, and no guessing from the content: a file whose extension lies is refused.
    QImageReader reader(fileName, format);
    reader.setAutoDetectImageFormat(false);
    if (format == "ico" && reader.imageCount() > 1)
        reader.jumpToImage(LargestIconEntry(reader));
    const QSize size = reader.size();
    if (size.isValid())
        CheckPictureSize(fileName, size.width(), size.height());
    QImage image;
    if (!reader.read(&image))
        throw EGfxException(
            LoadError(fileName, QStringLiteral("not a readable %1 picture (%2)")
                                    .arg(QString::fromLatin1(format.toUpper()), reader.errorString())));
    CheckPictureSize(fileName, image.width(), image.height());
    QImage result = ToBgr888(image);
    if (result.isNull())
        throw EGfxException(LoadError(fileName, QStringLiteral("not enough memory for a %1 x %2 picture")
                                                    .arg(image.width())
                                                    .arg(image.height())));
    return result;
}

} // namespace

void CheckPictureSize(const QString& fileName, long long w, long long h) {
    if (w * h > kMaxPicturePixels)
        throw EGfxException(
            LoadError(fileName, QStringLiteral("the picture is %1 x %2 pixels, more than the %3 "
                                               "megapixels allowed")
                                    .arg(w)
                                    .arg(h)
                                    .arg(kMaxPicturePixels / 1'000'000)));
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

bool IsJpegExtension(const QString& ext) {
    return ext == QLatin1String("jpg") || ext == QLatin1String("jpeg");
}

// The lower-case extension of a file that exists, is a regular file and is not empty.
QString CheckedExtension(const QString& fileName) {
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
    return info.suffix().toLower();
}

QImage LoadOtherPicture(const QString& fileName, const QString& ext) {
    if (ext == QLatin1String("bmp") || ext == QLatin1String("ico"))
        return LoadWithQt(fileName, ext.toLatin1());
    if (ext == QLatin1String("wmf") || ext == QLatin1String("emf")) {
        const QImage picture = LoadMetafilePicture(fileName);
        CheckPictureSize(fileName, picture.width(), picture.height());
        return ToBgr888(picture);
    }
    throw EGfxException(LoadError(
        fileName, QStringLiteral("unknown picture file extension \"%1\"").arg(QFileInfo(fileName).suffix())));
}

} // namespace

QImage LoadPictureFile(const QString& fileName) {
    const QString ext = CheckedExtension(fileName);
    if (IsJpegExtension(ext))
        return LoadJpegFile(fileName);
    return LoadOtherPicture(fileName, ext);
}

TPictureFile OpenPictureFile(const QString& fileName) {
    const QString ext = CheckedExtension(fileName);
    if (IsJpegExtension(ext))
        return {QImage(), ReadJpegFile(fileName)};
    return {LoadOtherPicture(fileName, ext), nullptr};
}
