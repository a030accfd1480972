// The metafile kinds (WMF, EMF): the natural size from their header, the pixels drawn by the metafile
// decoder.
#include "gfx/GfxDecode.h"
#include "gfx/GfxFormat.h"
#include "gfx/meta/GfxMeta.h"

namespace {

class TMetafileFormat : public TPictureFormat {
public:
    TMetafileFormat() : TPictureFormat({"wmf", "emf"}) {}

    bool Recognises(const QByteArray& head) const override { return IsMetafileContent(head); }

    // The header of a metafile may lie anywhere in its first records: the whole file is read.
    std::optional<QSize> Measure(THeaderReader& reader) const override {
        QByteArray bytes;
        if (reader.Size() > kMaxMetaFileBytes || !reader.Read(0, reader.Size(), bytes))
            return std::nullopt;
        return MeasureMetafile(bytes);
    }

    TPictureFile Read(const QString& fileName) const override {
        const QImage picture = LoadMetafile(fileName);
        CheckPictureSize(fileName, picture.width(), picture.height());
        return {ToBgr888(picture), nullptr};
    }
};

} // namespace

const TPictureFormat& MetafileFormat() {
    static const TMetafileFormat format;
    return format;
}
