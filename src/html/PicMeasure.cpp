// Picture sizes from file headers, so that measuring a gallery does not decode every picture.
#include "html/PicMeasure.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <limits>

#include "gfx/GfxError.h"
#include "gfx/GfxPic.h"
#include "gfx/meta/GfxMeta.h"
#include "html/HtmlTags.h"

namespace {

// Enough of a file's start to tell a metafile: the EMF signature lies at byte 40.
constexpr qint64 kMetaHeadBytes = 128;

// Random access to the first bytes of a picture, refusing any read past its end.
class THeaderReader {
public:
    explicit THeaderReader(QIODevice& device) : FDevice(device), FSize(device.size()) {}

    qint64 Size() const { return FSize; }

    bool Read(qint64 offset, qint64 count, QByteArray& bytes) {
        if (offset < 0 || count < 0 || offset > FSize || count > FSize - offset || !FDevice.seek(offset))
            return false;
        bytes = FDevice.read(count);
        return bytes.size() == count;
    }

private:
    QIODevice& FDevice;
    qint64 FSize;
};

quint16 Le16(const QByteArray& b, int at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 Le32(const QByteArray& b, int at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
qint32 LeS32(const QByteArray& b, int at) {
    return qFromLittleEndian<qint32>(b.constData() + at);
}
quint16 Be16(const QByteArray& b, int at) {
    return qFromBigEndian<quint16>(b.constData() + at);
}
quint32 Be32(const QByteArray& b, int at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}

// A size the loader would accept: not empty and within the program's pixel limit.
std::optional<QSize> Decodable(qint64 width, qint64 height) {
    if (width <= 0 || height <= 0 || width * height > kMaxPicturePixels)
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// ---- JPEG: SOI, then marker segments up to the first frame header (SOF).

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

std::optional<QSize> MeasureJpeg(THeaderReader& reader) {
    QByteArray bytes;
    qint64 at = 2;
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
        if (IsFrameMarker(marker))
            return MeasureJpegFrame(reader, at, length, marker);
        at += length;
    }
    return std::nullopt;
}

// ---- BMP: file header (14 bytes), then an OS/2 core header (12) or a Windows info header (40 and up).

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

std::optional<QSize> MeasureBmp(THeaderReader& reader) {
    QByteArray header;
    if (!reader.Read(0, 18, header))
        return std::nullopt;
    const quint32 pixelOffset = Le32(header, 10);
    const quint32 infoSize = Le32(header, 14);
    const bool core = infoSize == 12;
    const bool info =
        infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    // The pixels must start after the headers and inside the file.
    if ((!core && !info) || !reader.Read(14, infoSize, header) || pixelOffset < 14 + infoSize ||
        pixelOffset >= reader.Size())
        return std::nullopt;
    if (core)
        return BmpEncodingKnown(Le16(header, 10), 0, false) ? Decodable(Le16(header, 4), Le16(header, 6))
                                                            : std::nullopt;
    const qint32 width = LeS32(header, 4);
    const qint32 height = LeS32(header, 8);
    if (height == std::numeric_limits<qint32>::min() ||
        !BmpEncodingKnown(Le16(header, 14), Le32(header, 16), height < 0))
        return std::nullopt;
    return Decodable(width, height < 0 ? -qint64(height) : qint64(height));
}

// ---- ICO: 6-byte directory header, 16 bytes per entry, each entry a PNG or a DIB without file header.

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

// The size the loader gives an entry: a PNG's own header size, a DIB's directory size (0 meaning 256).
std::optional<QSize> MeasureIconEntry(THeaderReader& reader, const QByteArray& entry, qint64 directoryEnd) {
    const quint32 size = Le32(entry, 8);
    const quint32 offset = Le32(entry, 12);
    QByteArray image;
    if (offset < directoryEnd || offset + qint64(size) > reader.Size() || size < 24 ||
        !reader.Read(offset, 24, image))
        return std::nullopt;
    if (image.startsWith(kPngSignature))
        return image.mid(12, 4) == "IHDR" ? Decodable(Be32(image, 16), Be32(image, 20)) : std::nullopt;
    const quint16 bitCount = Le16(image, 14);
    if (Le32(image, 0) != 40 ||
        (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32))
        return std::nullopt;
    const int width = quint8(entry[0]) == 0 ? 256 : quint8(entry[0]);
    const int height = quint8(entry[1]) == 0 ? 256 : quint8(entry[1]);
    return QSize(width, height);
}

// The largest entry by area, the first of equal ones; every entry must be sound.
std::optional<QSize> MeasureIco(THeaderReader& reader) {
    QByteArray header;
    if (!reader.Read(0, 6, header) || Le16(header, 0) != 0 || Le16(header, 2) != 1 || Le16(header, 4) == 0)
        return std::nullopt;
    const int count = Le16(header, 4);
    QByteArray directory;
    if (!reader.Read(6, 16 * qint64(count), directory))
        return std::nullopt;
    std::optional<QSize> largest;
    for (int i = 0; i < count; ++i) {
        const std::optional<QSize> size = MeasureIconEntry(reader, directory.mid(16 * i, 16), 6 + 16 * count);
        if (!size)
            return std::nullopt;
        if (!largest || qint64(size->width()) * size->height() > qint64(largest->width()) * largest->height())
            largest = size;
    }
    return largest;
}

// Size of a picture whose header was not measured: a metafile by its own header, anything else (doubtful
// headers too) by loading the picture, so a file the loader refuses gives the loader's error.
QSize LoadedPictureSize(const QString& fileName) {
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly) && IsMetafileContent(file.read(kMetaHeadBytes)))
        return ReadMetafileSize(fileName);
    TGfxBaseIm picture;
    picture.LoadPicture(fileName);
    return {picture.Width(), picture.Height()};
}

} // namespace

std::optional<QSize> MeasurePictureHeader(QIODevice& device) {
    THeaderReader reader(device);
    QByteArray magic;
    if (!reader.Read(0, 4, magic))
        return std::nullopt;
    if (magic.startsWith("\xFF\xD8\xFF"))
        return MeasureJpeg(reader);
    if (magic.startsWith("BM"))
        return MeasureBmp(reader);
    if (magic == QByteArray("\0\0\1\0", 4))
        return MeasureIco(reader);
    return std::nullopt;
}

bool MeasurePictureFile(const QString& fileName, int& width, int& height, int& fileSize) {
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists())
        return false;
    if (info.size() > std::numeric_limits<int>::max())
        throw EGfxHtmlException(QStringLiteral("File: %1 is too large for a picture").arg(fileName));
    // Directories, pipes and devices are no pictures; opening a pipe would wait for a writer forever.
    if (!info.isFile())
        throw EGfxHtmlException(
            QStringLiteral("Cannot read the picture size of %1: not a file").arg(fileName));
    fileSize = static_cast<int>(info.size());
    std::optional<QSize> size;
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly))
        size = MeasurePictureHeader(file);
    if (!size)
        size = LoadedPictureSize(fileName);
    width = size->width();
    height = size->height();
    return true;
}
