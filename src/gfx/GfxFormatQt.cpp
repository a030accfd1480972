// The kinds Qt's image readers decode whole: PNG, GIF (first frame), WebP and TIFF (first page). Each is
// measured by the rule its loading then holds it to: a picture whose decoded size is not the measured one is
// refused, so a page never gives a size the picture does not have.
#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxFormat.h"
#include "gfx/GfxQtInput.h"

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

// The size Qt's reader gives from the header.
std::optional<QSize> QtHeaderSize(THeaderReader& reader, const QByteArray& format) {
    if (!reader.Device().seek(0))
        return std::nullopt;
    QImageReader qt(&reader.Device(), format);
    qt.setAutoDetectImageFormat(false);
    const QSize size = qt.size();
    return size.isValid() ? Decodable(size.width(), size.height()) : std::nullopt;
}

// What a kind needs besides Qt's reader: its own header measure, a check that its data are all there, and
// the content Qt's reader is given (the file itself when null).
struct TQtKind {
    const char* Format;
    QStringList Extensions;
    bool (*Signature)(const QByteArray&);
    std::optional<QSize> (*Header)(THeaderReader&) = nullptr;
    QString (*CutShort)(THeaderReader&) = nullptr;
    std::unique_ptr<QIODevice> (*Input)(const QString&, QFile&, std::optional<QSize>) = nullptr;
};

std::unique_ptr<QIODevice> PngInput(const QString&, QFile& file, std::optional<QSize>) {
    return PngPixelStream(file);
}

std::unique_ptr<QIODevice> WebpInput(const QString& fileName, QFile& file, std::optional<QSize> size) {
    QString refusal;
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(WebpPictureChunks(
        file, size ? DataLimitBytes(size->width(), size->height()) : DataLimitBytes(0, 0), refusal));
    if (!refusal.isEmpty())
        throw EGfxException(LoadError(fileName, refusal));
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

class TQtFormat : public TPictureFormat {
public:
    explicit TQtFormat(const TQtKind& kind) : TPictureFormat(kind.Extensions), FKind(kind) {}

    bool Recognises(const QByteArray& head) const override { return FKind.Signature(head); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        return FKind.Header != nullptr ? FKind.Header(reader) : QtHeaderSize(reader, FKind.Format);
    }

    TPictureFile Read(const QString& fileName) const override {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw EGfxException(LoadError(fileName, file.errorString()));
        THeaderReader header(file);
        const std::optional<QSize> size = Measure(header);
        if (FKind.CutShort != nullptr) {
            const QString cut = FKind.CutShort(header);
            if (!cut.isEmpty())
                throw EGfxException(LoadError(fileName, cut));
        }
        file.seek(0);
        const std::unique_ptr<QIODevice> input =
            FKind.Input != nullptr ? FKind.Input(fileName, file, size) : nullptr;
        TPictureFile picture = ReadWithQt(fileName, FKind.Format, input ? input.get() : &file);
        if (size && picture.Picture.size() != *size)
            throw EGfxException(
                LoadError(fileName, QStringLiteral("its header says %1 x %2 pixels, its data hold %3 x %4")
                                        .arg(size->width())
                                        .arg(size->height())
                                        .arg(picture.Picture.width())
                                        .arg(picture.Picture.height())));
        return picture;
    }

private:
    TQtKind FKind;
};

} // namespace

const TPictureFormat& PngFormat() {
    static const TQtFormat format({"png", {"png"}, IsPng, PngHeaderSize, nullptr, PngInput});
    return format;
}

const TPictureFormat& GifFormat() {
    static const TQtFormat format({"gif", {"gif"}, IsGif, GifScreenSize, GifCutShort});
    return format;
}

const TPictureFormat& WebpFormat() {
    static const TQtFormat format({"webp", {"webp"}, IsWebp, WebpHeaderSize, nullptr, WebpInput});
    return format;
}

const TPictureFormat& TiffFormat() {
    static const TQtFormat format({"tiff", {"tif", "tiff"}, IsTiff, nullptr, TiffCutShort});
    return format;
}
