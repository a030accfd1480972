// The BMP kind: file header (14 bytes), then an OS/2 core header (12) or a Windows info header (40 and up).
#include <QFile>

#include <limits>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxFormat.h"

namespace {

// What the headers declare: the info header's size and the picture's size, the height as stored (a
// negative one means rows stored top-down).
struct TBmpDeclared {
    quint32 InfoSize = 0;
    quint32 PixelOffset = 0;
    qint64 Width = 0;
    qint64 Height = 0;
};

std::optional<TBmpDeclared> ReadDeclared(THeaderReader& reader) {
    QByteArray head;
    if (!reader.Read(0, 26, head) || !head.startsWith("BM"))
        return std::nullopt;
    TBmpDeclared d;
    d.PixelOffset = Le32(head, 10);
    d.InfoSize = Le32(head, 14);
    if (d.InfoSize == 12) { // OS/2 core header: unsigned 16-bit sizes
        d.Width = Le16(head, 18);
        d.Height = Le16(head, 20);
    } else if (d.InfoSize >= 40) {
        d.Width = LeS32(head, 18);
        d.Height = LeS32(head, 22);
    } else {
        return std::nullopt;
    }
    return d;
}

bool BmpEncodingKnown(quint16 bitCount, quint32 compression, bool topDown) {
    const bool bitsKnown =
        bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
    switch (compression) {
    case 0: // uncompressed
        return bitsKnown;
    case 1: // RLE8; run-length pictures are stored bottom-up only
        return bitCount == 8 && !topDown;
    case 2: // RLE4
        return bitCount == 4 && !topDown;
    case 3: // bit fields
        return bitCount == 16 || bitCount == 32;
    default:
        return false;
    }
}

class TBmpFormat : public TPictureFormat {
public:
    TBmpFormat() : TPictureFormat({"bmp"}) {}

    bool Recognises(const QByteArray& head) const override { return head.startsWith("BM"); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        const std::optional<TBmpDeclared> d = ReadDeclared(reader);
        if (!d)
            return std::nullopt;
        const bool core = d->InfoSize == 12;
        const quint32 size = d->InfoSize;
        const bool info = size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
        QByteArray header;
        // The pixels must start after the headers and inside the file.
        if ((!core && !info) || !reader.Read(14, size, header) || d->PixelOffset < 14 + size ||
            d->PixelOffset >= reader.Size())
            return std::nullopt;
        if (core)
            return BmpEncodingKnown(Le16(header, 10), 0, false) ? Decodable(d->Width, d->Height)
                                                                : std::nullopt;
        if (d->Height == std::numeric_limits<qint32>::min() ||
            !BmpEncodingKnown(Le16(header, 14), Le32(header, 16), d->Height < 0))
            return std::nullopt;
        return Decodable(d->Width, d->Height < 0 ? -d->Height : d->Height);
    }

    TPictureFile Read(const QString& fileName) const override {
        CheckDeclaredSize(fileName);
        return ReadWithQt(fileName, "bmp");
    }

private:
    // Refuses a BMP whose header declares a picture above the limit. Qt refuses those too, but only says
    // "Unable to read image data"; the user is better told the size.
    static void CheckDeclaredSize(const QString& fileName) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return; // the reader reports it
        THeaderReader reader(file);
        const std::optional<TBmpDeclared> d = ReadDeclared(reader);
        if (d && d->Width > 0)
            CheckPictureSize(fileName, d->Width, d->Height < 0 ? -d->Height : d->Height);
    }
};

} // namespace

const TPictureFormat& BmpFormat() {
    static const TBmpFormat format;
    return format;
}
