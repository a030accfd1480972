// The HEIC/HEIF kind through libheif: the primary picture, turned and mirrored upright as the file says.
#include <libheif/heif.h>

#include <QFile>

#include <memory>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxFormat.h"

namespace {

// The brands of the still-picture files libheif reads (HEVC-coded, and the general HEIF ones).
bool IsHeif(const QByteArray& head) {
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
    const QByteArray brand = head.mid(8, 4);
    for (const char* b : brands)
        if (brand == b)
            return true;
    return false;
}

struct THeifFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_image* i) const { heif_image_release(i); }
};
using THeifContext = std::unique_ptr<heif_context, THeifFree>;
using THeifHandle = std::unique_ptr<heif_image_handle, THeifFree>;
using THeifImage = std::unique_ptr<heif_image, THeifFree>;

// A file's bytes parsed (nothing decoded yet) and its primary picture; the error text when it fails.
struct THeifFile {
    THeifContext Context;
    THeifHandle Primary;
    QString Error;
};

THeifFile ParseHeif(const QByteArray& bytes) {
    THeifFile file;
    file.Context.reset(heif_context_alloc());
    if (!file.Context) {
        file.Error = QStringLiteral("not enough memory");
        return file;
    }
    heif_error err = heif_context_read_from_memory_without_copy(file.Context.get(), bytes.constData(),
                                                                bytes.size(), nullptr);
    heif_image_handle* handle = nullptr;
    if (err.code == heif_error_Ok)
        err = heif_context_get_primary_image_handle(file.Context.get(), &handle);
    file.Primary.reset(handle);
    if (err.code != heif_error_Ok)
        file.Error = QString::fromUtf8(err.message);
    return file;
}

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EGfxException(LoadError(fileName, file.errorString()));
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw EGfxException(LoadError(fileName, QStringLiteral("the file could not be read whole")));
    return bytes;
}

// The upright picture's pixels, with its alpha when it has one.
QImage DecodePrimary(const QString& fileName, heif_image_handle* handle) {
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    heif_image* decoded = nullptr;
    const heif_error err =
        heif_decode_image(handle, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    const THeifImage image(decoded);
    if (err.code != heif_error_Ok)
        throw EGfxException(LoadError(
            fileName,
            QStringLiteral("not a readable HEIF picture (%1)").arg(QString::fromUtf8(err.message))));
    const int w = heif_image_get_width(decoded, heif_channel_interleaved);
    const int h = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || w <= 0 || h <= 0)
        throw EGfxException(LoadError(fileName, QStringLiteral("not a readable HEIF picture (no pixels)")));
    CheckPictureSize(fileName, w, h);
    const QImage view(plane, w, h, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    return view.copy(); // the pixels outlive libheif's picture
}

class THeifFormat : public TPictureFormat {
public:
    bool Recognises(const QByteArray& head) const override { return IsHeif(head); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        QByteArray bytes;
        if (!reader.Read(0, reader.Size(), bytes))
            return std::nullopt;
        const THeifFile file = ParseHeif(bytes);
        if (!file.Primary)
            return std::nullopt;
        return Decodable(heif_image_handle_get_width(file.Primary.get()),
                         heif_image_handle_get_height(file.Primary.get()));
    }

    TPictureFile Read(const QString& fileName) const override {
        const QByteArray bytes = ReadAll(fileName);
        const THeifFile file = ParseHeif(bytes);
        if (!file.Primary)
            throw EGfxException(
                LoadError(fileName, QStringLiteral("not a readable HEIF picture (%1)").arg(file.Error)));
        const int w = heif_image_handle_get_width(file.Primary.get());
        const int h = heif_image_handle_get_height(file.Primary.get());
        if (w <= 0 || h <= 0)
            throw EGfxException(LoadError(fileName, QStringLiteral("the picture has no pixels")));
        CheckPictureSize(fileName, w, h);
        const QImage decoded = DecodePrimary(fileName, file.Primary.get());
        QImage picture = ToBgr888(decoded);
        if (picture.isNull())
            throw EGfxException(
                LoadError(fileName, QStringLiteral("not enough memory for a %1 x %2 picture").arg(w).arg(h)));
        return {std::move(picture), nullptr, AlphaOf(decoded)};
    }
};

} // namespace

const TPictureFormat& HeifFormat() {
    static const THeifFormat format;
    return format;
}
