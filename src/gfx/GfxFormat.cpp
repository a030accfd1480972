// Finding a picture kind by extension or by content, and the size rule every kind shares.
#include "gfx/GfxFormat.h"

#include "gfx/GfxError.h"

const TPictureFormat* FormatForExtension(const QString& ext) {
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return &JpegFormat();
    if (ext == QLatin1String("bmp"))
        return &BmpFormat();
    if (ext == QLatin1String("ico"))
        return &IcoFormat();
    if (ext == QLatin1String("wmf") || ext == QLatin1String("emf"))
        return &MetafileFormat();
    if (ext == QLatin1String("png"))
        return &PngFormat();
    if (ext == QLatin1String("gif"))
        return &GifFormat();
    if (ext == QLatin1String("webp"))
        return &WebpFormat();
    if (ext == QLatin1String("tif") || ext == QLatin1String("tiff"))
        return &TiffFormat();
    if (ext == QLatin1String("heic") || ext == QLatin1String("heif"))
        return &HeifFormat();
    return nullptr;
}

const TPictureFormat* FormatForContent(const QByteArray& head) {
    // In the order a file's first bytes are tried.
    const TPictureFormat* const formats[] = {&JpegFormat(),     &BmpFormat(),  &IcoFormat(),
                                             &MetafileFormat(), &PngFormat(),  &GifFormat(),
                                             &WebpFormat(),     &TiffFormat(), &HeifFormat()};
    for (const TPictureFormat* format : formats)
        if (format->Recognises(head))
            return format;
    return nullptr;
}

std::optional<QSize> Decodable(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0 || !WithinPixelLimit(width, height))
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}
