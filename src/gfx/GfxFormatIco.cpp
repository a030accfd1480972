// The ICO kind: a 6-byte directory header, 16 bytes per entry, each entry a PNG or a DIB without file
// header. The entry shown and its size follow one rule, for reading and measuring alike.
#include <QFile>

#include "gfx/GfxDecode.h"
#include "gfx/GfxDibCheck.h"
#include "gfx/GfxFormat.h"
#include "gfx/GfxQtInput.h"

namespace {

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

// The icon reader refuses bitmap entries above this size.
constexpr int kMaxIconSide = 256;

// The size the reader gives an entry: a PNG its own header's size; a DIB the directory's width and
// height, where one is 0 (the directory's way of writing 256 or more) the DIB's own (its height counts
// the mask too, so half of it). Nothing for a doubtful entry.
std::optional<QSize> IconEntrySize(THeaderReader& reader, const QByteArray& entry, qint64 directoryEnd) {
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
    const qint64 width = quint8(entry[0]) != 0 ? quint8(entry[0]) : LeS32(image, 4);
    const qint64 height = quint8(entry[1]) != 0 ? quint8(entry[1]) : LeS32(image, 8) / 2;
    if (width > kMaxIconSide || height > kMaxIconSide)
        return std::nullopt;
    return Decodable(width, height);
}

// The entry an icon shows: the largest by area, the first of equal ones. Doubtful entries are passed
// over; AllSound tells whether there were any.
struct TIconChoice {
    int Index = 0;
    std::optional<QSize> Size;
    bool AllSound = true;
};

std::optional<TIconChoice> ChooseIconEntry(THeaderReader& reader) {
    QByteArray header;
    if (!reader.Read(0, 6, header) || Le16(header, 0) != 0 || Le16(header, 2) != 1 || Le16(header, 4) == 0)
        return std::nullopt;
    const int count = Le16(header, 4);
    QByteArray directory;
    if (!reader.Read(6, 16 * qint64(count), directory))
        return std::nullopt;
    TIconChoice choice;
    for (int i = 0; i < count; ++i) {
        const std::optional<QSize> size = IconEntrySize(reader, directory.mid(16 * i, 16), 6 + 16 * count);
        if (!size) {
            choice.AllSound = false;
            continue;
        }
        const auto area = [](QSize s) { return qint64(s.width()) * s.height(); };
        if (!choice.Size || area(*size) > area(*choice.Size)) {
            choice.Index = i;
            choice.Size = size;
        }
    }
    return choice;
}

class TIcoFormat : public TPictureFormat {
public:
    TIcoFormat() : TPictureFormat({"ico"}) {}

    bool Recognises(const QByteArray& head) const override {
        return head.startsWith(QByteArray("\0\0\1\0", 4));
    }

    // Every entry must be sound for the measure to answer.
    std::optional<QSize> Measure(THeaderReader& reader) const override {
        const std::optional<TIconChoice> choice = ChooseIconEntry(reader);
        if (!choice || !choice->AllSound)
            return std::nullopt;
        return choice->Size;
    }

    // A directory that gives no sound entry is left to the reader, which the measure then follows too. A
    // sound PNG entry is read as the icon reader reads it, by the PNG reader, but without its metadata.
    TPictureFile Read(const QString& fileName) const override {
        int entry = -1;
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly)) {
            THeaderReader reader(file);
            const std::optional<TIconChoice> choice = ChooseIconEntry(reader);
            QByteArray directory, start;
            if (choice && choice->Size) {
                entry = choice->Index;
                if (reader.Read(6 + 16 * qint64(entry), 16, directory) &&
                    reader.Read(Le32(directory, 12), 8, start) && start == kPngSignature) {
                    const std::unique_ptr<QIODevice> png =
                        PngPixelStream(file, Le32(directory, 12), Le32(directory, 8));
                    return ReadWithQt(fileName, "png", png.get());
                }
            }
        }
        return ReadDibWithQt(fileName, "ico", entry);
    }
};

} // namespace

const TPictureFormat& IcoFormat() {
    static const TIcoFormat format;
    return format;
}
