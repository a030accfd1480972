// The kinds Qt's image readers decode whole: PNG, GIF (first frame), WebP and TIFF (first page). Their
// sizes come from the same readers, which read the header only.
#include <QImageReader>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxFormat.h"

namespace {

bool IsPng(const QByteArray& head) {
    return head.startsWith("\x89PNG\r\n\x1a\n");
}
bool IsGif(const QByteArray& head) {
    return head.startsWith("GIF87a") || head.startsWith("GIF89a");
}
bool IsWebp(const QByteArray& head) {
    return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
}
bool IsTiff(const QByteArray& head) {
    return head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4));
}

class TQtFormat : public TPictureFormat {
public:
    TQtFormat(const char* format, bool (*signature)(const QByteArray&))
        : FFormat(format), FSignature(signature) {}

    bool Recognises(const QByteArray& head) const override { return FSignature(head); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        if (!reader.Device().seek(0))
            return std::nullopt;
        QImageReader qt(&reader.Device(), FFormat);
        qt.setAutoDetectImageFormat(false);
        const QSize size = qt.size();
        return size.isValid() ? Decodable(size.width(), size.height()) : std::nullopt;
    }

    TPictureFile Read(const QString& fileName) const override { return ReadWithQt(fileName, FFormat); }

private:
    QByteArray FFormat;
    bool (*FSignature)(const QByteArray&);
};

} // namespace

const TPictureFormat& PngFormat() {
    static const TQtFormat format("png", IsPng);
    return format;
}

const TPictureFormat& GifFormat() {
    static const TQtFormat format("gif", IsGif);
    return format;
}

const TPictureFormat& WebpFormat() {
    static const TQtFormat format("webp", IsWebp);
    return format;
}

const TPictureFormat& TiffFormat() {
    static const TQtFormat format("tiff", IsTiff);
    return format;
}
