// Finding a picture kind by extension or by content, and the size rule every kind shares.
#include "gfx/GfxFormat.h"

#include "gfx/GfxError.h"
#include "gfx/GfxPic.h"

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
