// The JPEG kind: its size from the frame header, its pixels through libjpeg, decoded when first needed.
#include "gfx/GfxFormat.h"
#include "gfx/GfxJpegSource.h"
#include "gfx/GfxJpegWalk.h"

namespace {

// SOI, then marker segments up to the first scan, walked as the loader walks them.
class TJpegFormat : public TPictureFormat {
public:
    TJpegFormat() : TPictureFormat({"jpg", "jpeg"}) {}

    bool Recognises(const QByteArray& head) const override { return head.startsWith("\xFF\xD8\xFF"); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        return UprightJpegSize(WalkJpeg(reader.Device(), false));
    }

    TPictureFile Read(const QString& fileName) const override {
        return {QImage(), std::make_shared<const TJpegSource>(fileName)};
    }
};

} // namespace

const TPictureFormat& JpegFormat() {
    static const TJpegFormat format;
    return format;
}
