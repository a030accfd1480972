// The HEIC/HEIF kind through libheif: the primary picture, turned and mirrored upright as the file says.
#include <libheif/heif.h>

#include <QFile>

#include <memory>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxFormat.h"
#include "gfx/GfxHeifBoxes.h"

namespace {

struct THeifFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_image* i) const { heif_image_release(i); }
};
using THeifContext = std::unique_ptr<heif_context, THeifFree>;
using THeifHandle = std::unique_ptr<heif_image_handle, THeifFree>;
using THeifImage = std::unique_ptr<heif_image, THeifFree>;

// libheif reads the file through Qt, seeking to the boxes it needs: data it does not need (trailing data,
// media data of other items) are never read.
int64_t DevicePosition(void* device) {
    return static_cast<QIODevice*>(device)->pos();
}
int DeviceRead(void* data, size_t size, void* device) {
    return static_cast<QIODevice*>(device)->read(static_cast<char*>(data), qint64(size)) == qint64(size) ? 0
                                                                                                         : 1;
}
int DeviceSeek(int64_t position, void* device) {
    return static_cast<QIODevice*>(device)->seek(position) ? 0 : 1;
}
heif_reader_grow_status DeviceSize(int64_t target, void* device) {
    return target <= static_cast<QIODevice*>(device)->size() ? heif_reader_grow_status_size_reached
                                                             : heif_reader_grow_status_size_beyond_eof;
}
const heif_reader kDeviceReader{1, DevicePosition, DeviceRead, DeviceSeek, DeviceSize};

// A file parsed (nothing decoded yet) and its primary picture; the error text when it fails. The device
// must outlive it.
struct THeifFile {
    THeifContext Context;
    THeifHandle Primary;
    QString Error;
};

THeifFile ParseHeif(QIODevice& device) {
    THeifFile file;
    file.Context.reset(heif_context_alloc());
    if (!file.Context || !device.seek(0)) {
        file.Error = !file.Context ? QStringLiteral("not enough memory") : device.errorString();
        return file;
    }
    heif_error err = heif_context_read_from_reader(file.Context.get(), &kDeviceReader, &device, nullptr);
    heif_image_handle* handle = nullptr;
    if (err.code == heif_error_Ok)
        err = heif_context_get_primary_image_handle(file.Context.get(), &handle);
    file.Primary.reset(handle);
    if (err.code != heif_error_Ok)
        file.Error = QString::fromUtf8(err.message);
    return file;
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
        throw EGfxException(LoadError(fileName, UnreadableReason("HEIF", QString::fromUtf8(err.message))));
    const int w = heif_image_get_width(decoded, heif_channel_interleaved);
    const int h = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || w <= 0 || h <= 0)
        throw EGfxException(LoadError(fileName, UnreadableReason("HEIF", "no pixels")));
    CheckPictureSize(fileName, w, h);
    const QImage view(plane, w, h, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    return view.copy(); // the pixels outlive libheif's picture
}

class THeifFormat : public TPictureFormat {
public:
    THeifFormat() : TPictureFormat({"heic", "heif"}) {}

    bool Recognises(const QByteArray& head) const override { return IsHeif(head); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        const THeifFile file = ParseHeif(reader.Device());
        if (!file.Primary)
            return std::nullopt;
        return Decodable(heif_image_handle_get_width(file.Primary.get()),
                         heif_image_handle_get_height(file.Primary.get()));
    }

    TPictureFile Read(const QString& fileName) const override {
        QFile device(fileName);
        if (!device.open(QIODevice::ReadOnly))
            throw EGfxException(LoadError(fileName, device.errorString()));
        const THeifFile file = ParseHeif(device);
        if (!file.Primary)
            throw EGfxException(LoadError(fileName, UnreadableReason("HEIF", file.Error)));
        const int w = heif_image_handle_get_width(file.Primary.get());
        const int h = heif_image_handle_get_height(file.Primary.get());
        if (w <= 0 || h <= 0)
            throw EGfxException(LoadError(fileName, QStringLiteral("the picture has no pixels")));
        CheckPictureSize(fileName, w, h);
        THeaderReader header(device);
        const qint64 tiles = HeifGridTiles(header);
        if (tiles > MaxGridTiles(w, h))
            throw EGfxException(LoadError(
                fileName, QStringLiteral("its grid of %1 tiles is too much work for a %2 x %3 picture")
                              .arg(tiles)
                              .arg(w)
                              .arg(h)));
        const QImage decoded = DecodePrimary(fileName, file.Primary.get());
        // Measuring gives the header's size: data of another size are refused rather than shown.
        if (decoded.size() != QSize(w, h))
            throw EGfxException(
                LoadError(fileName, QStringLiteral("its header says %1 x %2 pixels, its data hold %3 x %4")
                                        .arg(w)
                                        .arg(h)
                                        .arg(decoded.width())
                                        .arg(decoded.height())));
        QImage picture = ToBgr888(decoded);
        if (picture.isNull())
            throw EGfxException(LoadError(fileName, NoMemoryReason(w, h)));
        return {std::move(picture), nullptr, AlphaOf(decoded)};
    }
};

} // namespace

const TPictureFormat& HeifFormat() {
    static const THeifFormat format;
    return format;
}
