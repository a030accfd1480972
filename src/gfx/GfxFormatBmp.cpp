// The BMP kind: file header (14 bytes), then an info header, read by the one BMP header reader.
#include <QFile>

#include <algorithm>

#include "gfx/GfxDecode.h"
#include "gfx/GfxDibCheck.h"
#include "gfx/GfxError.h"
#include "gfx/GfxFormat.h"

namespace {

// The headers as the decoder reads them; false when the file is too short to hold them.
bool ReadHeaders(THeaderReader& reader, TDibHeader& header, QString& refusal) {
    QByteArray head;
    if (!reader.Read(0, std::min(reader.Size(), kBmpHeadBytes), head))
        return false;
    refusal = ReadBmpHeader(head, header);
    return true;
}

class TBmpFormat : public TPictureFormat {
public:
    TBmpFormat() : TPictureFormat({"bmp"}) {}

    bool Recognises(const QByteArray& head) const override { return head.startsWith("BM"); }

    std::optional<QSize> Measure(THeaderReader& reader) const override {
        TDibHeader h;
        QString refusal;
        QByteArray fileHeader;
        if (!ReadHeaders(reader, h, refusal) || !refusal.isEmpty() || !reader.Read(0, 14, fileHeader))
            return std::nullopt;
        // The pixels must start after the headers and inside the file; run-length pictures stored top-down
        // are refused by the loader.
        const quint32 pixelOffset = Le32(fileHeader, 10);
        if (pixelOffset < 14 + h.Size || pixelOffset >= reader.Size() || (h.Rle() && h.TopDown))
            return std::nullopt;
        return Decodable(h.Width, h.Height);
    }

    TPictureFile Read(const QString& fileName) const override {
        CheckDeclaredSize(fileName);
        return ReadDibWithQt(fileName, "bmp");
    }

private:
    // Refuses a BMP whose header declares a picture above the limit. Qt refuses those too, but only says
    // "Unable to read image data"; the user is better told the size.
    static void CheckDeclaredSize(const QString& fileName) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return; // the reader reports it
        THeaderReader reader(file);
        TDibHeader h;
        QString refusal;
        if (ReadHeaders(reader, h, refusal) && h.Width > 0)
            CheckPictureSize(fileName, h.Width, h.Height);
    }
};

} // namespace

const TPictureFormat& BmpFormat() {
    static const TBmpFormat format;
    return format;
}
