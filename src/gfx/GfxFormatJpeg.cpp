// The JPEG kind: its size from the frame header, its pixels through libjpeg, decoded when first needed.
#include "gfx/GfxExif.h"
#include "gfx/GfxFormat.h"
#include "gfx/GfxJpegSource.h"

namespace {

// The frame kinds the JPEG library decodes: baseline, extended, progressive, arithmetic (sequential and
// progressive). Lossless and hierarchical frames are left to the loader to refuse.
bool DecodableFrame(quint8 marker) {
    return marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC9 || marker == 0xCA;
}
bool IsFrameMarker(quint8 marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// SOF: length, precision, height, width, component count, 3 bytes per component.
std::optional<QSize> MeasureJpegFrame(THeaderReader& reader, qint64 at, quint16 length, quint8 marker) {
    QByteArray sof;
    if (!DecodableFrame(marker) || length < 8 || !reader.Read(at + 2, length - 2, sof))
        return std::nullopt;
    const quint8 precision = quint8(sof[0]);
    const quint8 components = quint8(sof[5]);
    if (precision != 8 || (components != 1 && components != 3 && components != 4) ||
        length != 8 + 3 * components)
        return std::nullopt;
    const int height = Be16(sof, 1);
    const int width = Be16(sof, 3);
    // The JPEG library's own dimension limit.
    if (width > 65500 || height > 65500)
        return std::nullopt;
    return Decodable(width, height);
}

// SOI, then marker segments up to the first frame header (SOF).
class TJpegFormat : public TPictureFormat {
public:
    bool Recognises(const QByteArray& head) const override { return head.startsWith("\xFF\xD8\xFF"); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        QByteArray bytes;
        qint64 at = 2;
        int orientation = 1; // the first EXIF segment's, as the decoder takes it
        bool exifSeen = false;
        // Every step moves forward by at least one byte, and reading stops at the end of the file.
        while (reader.Read(at, 2, bytes) && quint8(bytes[0]) == 0xFF) {
            quint8 marker = quint8(bytes[1]);
            at += 2;
            while (marker == 0xFF) { // fill bytes before a marker
                if (!reader.Read(at, 1, bytes))
                    return std::nullopt;
                marker = quint8(bytes[0]);
                ++at;
            }
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
                continue; // markers without a segment
            // No frame before the scan, end of image or a second start: not a picture this measure trusts.
            if (marker == 0x00 || marker == 0xD8 || marker == 0xD9 || marker == 0xDA ||
                !reader.Read(at, 2, bytes))
                return std::nullopt;
            const quint16 length = Be16(bytes, 0);
            if (length < 2)
                return std::nullopt;
            if (marker == 0xE1 && !exifSeen && reader.Read(at + 2, length - 2, bytes) &&
                bytes.startsWith(QByteArray("Exif\0\0", 6))) {
                orientation =
                    ExifOrientation(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
                exifSeen = true;
            }
            if (IsFrameMarker(marker)) {
                const std::optional<QSize> size = MeasureJpegFrame(reader, at, length, marker);
                return size ? std::optional(UprightSize(orientation, size->width(), size->height())) : size;
            }
            at += length;
        }
        return std::nullopt;
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
