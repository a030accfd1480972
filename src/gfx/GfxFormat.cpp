// Finding a picture kind by extension or by content, and the size rule every kind shares.
#include "gfx/GfxFormat.h"

#include "gfx/GfxError.h"
#include "gfx/GfxKind.h"
#include "gfx/GfxPic.h"

#include <limits>

#include <fcntl.h>
#include <unistd.h>

#include <QFileInfo>

#include "common/VlxRegularFile.h"

const std::vector<const TPictureFormat*>& PictureFormats() {
    // Signatures never overlap, so the order only decides how the dialog lists them.
    static const std::vector<const TPictureFormat*> formats{&BmpFormat(),      &JpegFormat(), &IcoFormat(),
                                                            &MetafileFormat(), &PngFormat(),  &GifFormat(),
                                                            &WebpFormat(),     &TiffFormat(), &HeifFormat()};
    return formats;
}

const TPictureFormat* FormatForExtension(const QString& ext) {
    for (const TPictureFormat* format : PictureFormats())
        if (format->Extensions().contains(ext))
            return format;
    return nullptr;
}

const TPictureFormat* FormatForContent(const QByteArray& head) {
    for (const TPictureFormat* format : PictureFormats())
        if (format->Recognises(head))
            return format;
    return nullptr;
}

QStringList PictureExtensions() {
    QStringList extensions;
    for (const TPictureFormat* format : PictureFormats())
        extensions << format->Extensions();
    return extensions;
}

std::optional<QSize> Decodable(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0 || !WithinPixelLimit(width, height))
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

QString PictureKindOfExtension(const QString& extension) {
    const TPictureFormat* format = FormatForExtension(extension.toLower());
    return format != nullptr ? format->Extensions().constFirst() : QString();
}

QString PictureKindProblem(const QString& fileName) {
    const QString extension = QFileInfo(fileName).suffix();
    const TPictureFormat* named = FormatForExtension(extension.toLower());
    if (named == nullptr)
        return LoadError(fileName,
                         extension.isEmpty()
                             ? QStringLiteral("it has no picture file extension")
                             : QStringLiteral("\"%1\" is no picture file extension").arg(extension));
    if (!QFileInfo::exists(fileName))
        return LoadError(fileName, QStringLiteral("the file does not exist"));
    const TOpenedFile opened = OpenRegularFile(fileName, O_RDONLY, std::numeric_limits<qint64>::max());
    if (opened.Fd < 0)
        return LoadError(fileName, opened.Problem);
    QByteArray head(kFormatHeadBytes, Qt::Uninitialized);
    const ssize_t got = ::read(opened.Fd, head.data(), head.size());
    ::close(opened.Fd);
    if (got <= 0)
        return LoadError(fileName, got == 0 ? QStringLiteral("the file is empty")
                                            : QStringLiteral("it cannot be read"));
    head.truncate(got);
    const TPictureFormat* shown = FormatForContent(head);
    if (shown == named)
        return {};
    if (shown != nullptr)
        return LoadError(
            fileName,
            QStringLiteral("it holds a %1 picture, not the %2 picture its extension names")
                .arg(shown->Extensions().constFirst().toUpper(), named->Extensions().constFirst().toUpper()));
    try {
        TGfxBaseIm picture;
        picture.LoadPicture(fileName);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
