// Headers, chunk filters and completeness checks for the kinds Qt's readers decode; a WebP's location blanked
// in its chunks as they are walked for its picture.
#include "gfx/GfxQtInput.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gfx/GfxError.h"
#include "gfx/GfxTiff.h"

namespace {

// ---- PNG ----

// The PNG library's own limit on either side.
constexpr quint32 kPngMaxSide = 1'000'000;

bool KeptPngChunk(const QByteArray& type, QList<QByteArray>& colourSeen) {
    if (type == "tRNS" || (type[0] >= 'A' && type[0] <= 'Z')) // critical chunks, known or not
        return true;
    if (type != "gAMA" && type != "cHRM" && type != "sRGB" && type != "iCCP")
        return false;
    if (colourSeen.contains(type))
        return false;
    colourSeen.append(type);
    return true;
}

class TPngPixelStream : public QIODevice {
public:
    TPngPixelStream(QIODevice& file, qint64 start, qint64 length)
        : FFile(file), FEndAt(length < 0 ? file.size() : std::min(file.size(), start + length)) {
        FFile.seek(start);
        FPending = FFile.read(std::clamp<qint64>(FEndAt - start, 0, 8)); // the signature
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override {
        qint64 done = 0;
        while (done < max) {
            if (!FPending.isEmpty()) {
                const qint64 take = std::min<qint64>(max - done, FPending.size());
                std::memcpy(data + done, FPending.constData(), size_t(take));
                FPending.remove(0, take);
                done += take;
                continue;
            }
            if (FLeft == 0) {
                if (!NextChunk())
                    break;
                continue; // its header first
            }
            const qint64 read = FFile.read(data + done, std::min({max - done, FLeft, Left()}));
            if (read <= 0) {
                FEnd = true;
                FLeft = 0;
                break;
            }
            done += read;
            FLeft -= read;
        }
        return done > 0 || !FEnd ? done : -1;
    }

    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 Left() const { return std::max<qint64>(0, FEndAt - FFile.pos()); }

    // Moves to the next kept chunk, its header into FPending and its data and checksum left to pass.
    bool NextChunk() {
        while (!FEnd) {
            const QByteArray head = FFile.read(std::min<qint64>(8, Left()));
            const quint32 length = head.size() == 8 ? Be32(head, 0) : 0;
            if (head.size() < 8 || length > 0x7FFFFFFFu) { // cut short or damaged: the decoder says so
                FPending = head;
                FEnd = true;
                return !FPending.isEmpty();
            }
            const QByteArray type = head.mid(4, 4);
            if (KeptPngChunk(type, FColourSeen)) {
                FPending = head;
                FLeft = qint64(length) + 4;
                FEnd = type == "IEND";
                return true;
            }
            if (!FFile.seek(FFile.pos() + qint64(length) + 4))
                FEnd = true;
        }
        return false;
    }

    QIODevice& FFile;
    qint64 FEndAt;
    QByteArray FPending;
    qint64 FLeft = 0;
    bool FEnd = false;
    QList<QByteArray> FColourSeen;
};

// ---- TIFF ----

// The TIFF walk of GfxTiff.h needs the structure in memory; the first page of a file is checked here where
// it lies, without reading the picture.
struct TTiffFile {
    THeaderReader& Reader;
    bool Little;

    quint32 U16(const QByteArray& b, int at) const { return Little ? Le16(b, at) : Be16(b, at); }
    quint32 U32(const QByteArray& b, int at) const { return Little ? Le32(b, at) : Be32(b, at); }

    // The SHORT or LONG values of a directory entry; empty when they cannot be read.
    std::vector<quint32> Values(const QByteArray& entry) const {
        const quint32 type = U16(entry, 2);
        const quint32 count = U32(entry, 4);
        const int size = type == 3 ? 2 : type == 4 ? 4 : 0;
        QByteArray bytes;
        if (size == 0 || count == 0 || count > (1u << 20))
            return {};
        if (qint64(count) * size <= 4)
            bytes = entry.mid(8);
        else if (!Reader.Read(U32(entry, 8), qint64(count) * size, bytes))
            return {};
        std::vector<quint32> values(count);
        for (quint32 i = 0; i < count; ++i)
            values[i] = size == 2 ? U16(bytes, int(2 * i)) : U32(bytes, int(4 * i));
        return values;
    }
};

// ---- WebP ----

// A WebP's RIFF chunk: its type, and where its data start and how long they are, padded to an even size.
struct TRiffChunk {
    QByteArray Type;
    qint64 Data;
    qint64 Length;
    qint64 Next() const { return Data + Length + (Length & 1); }
};

// The chunk at `at` (the first after the 12-byte header) as its header says; nothing when that cannot be
// read. Its data may run past the end of the file.
std::optional<TRiffChunk> RiffChunkAt(THeaderReader& reader, qint64 at) {
    QByteArray head;
    if (!reader.Read(at, 8, head))
        return std::nullopt;
    return TRiffChunk{head.left(4), at + 8, Le32(head, 4)};
}

} // namespace

std::optional<QSize> PngHeaderSize(THeaderReader& reader) {
    QByteArray head;
    if (!reader.Read(0, 24, head) || head.mid(12, 4) != "IHDR")
        return std::nullopt;
    const quint32 width = Be32(head, 16);
    const quint32 height = Be32(head, 20);
    if (width > kPngMaxSide || height > kPngMaxSide)
        return std::nullopt;
    return Decodable(width, height);
}

std::unique_ptr<QIODevice> PngPixelStream(QIODevice& file, qint64 start, qint64 length) {
    return std::make_unique<TPngPixelStream>(file, start, length);
}

std::optional<QSize> GifScreenSize(THeaderReader& reader) {
    QByteArray head;
    if (!reader.Read(0, 10, head))
        return std::nullopt;
    return Decodable(Le16(head, 6), Le16(head, 8));
}

QString TiffCutShort(THeaderReader& reader) {
    QByteArray bytes;
    if (!reader.Read(0, 8, bytes) || !(bytes.startsWith("II") || bytes.startsWith("MM")))
        return QString();
    const TTiffFile tiff{reader, bytes.startsWith("II")};
    const quint32 directory = tiff.U32(bytes, 4);
    if (tiff.U16(bytes, 2) != 42 || !reader.Read(directory, 2, bytes))
        return QString();
    const quint32 entries = tiff.U16(bytes, 0);
    std::vector<quint32> offsets, counts;
    bool tiles = false;
    for (quint32 i = 0; i < entries && reader.Read(directory + 2 + 12 * qint64(i), 12, bytes); ++i) {
        const quint32 tag = tiff.U16(bytes, 0);
        if (tag == 273 || tag == 324)
            offsets = tiff.Values(bytes);
        else if (tag == 279 || tag == 325)
            counts = tiff.Values(bytes);
        tiles = tiles || tag == 324;
    }
    if (offsets.empty() || offsets.size() != counts.size())
        return QString(); // the decoder works the counts out itself
    size_t present = 0;
    for (size_t i = 0; i < offsets.size(); ++i)
        present += qint64(offsets[i]) + counts[i] <= reader.Size() ? 1 : 0;
    if (present == offsets.size())
        return QString();
    return QStringLiteral("it is cut short: %1 of %2 %3 present")
        .arg(present)
        .arg(offsets.size())
        .arg(tiles ? QStringLiteral("tiles") : QStringLiteral("strips"));
}

std::optional<QSize> WebpHeaderSize(THeaderReader& reader) {
    QByteArray b;
    if (!reader.Read(0, 30, b) || !b.startsWith("RIFF") || b.mid(8, 4) != "WEBP")
        return std::nullopt;
    const QByteArray chunk = b.mid(12, 4);
    if (chunk == "VP8X") // 24-bit width - 1 and height - 1
        return Decodable(1 + (Le32(b, 24) & 0xFFFFFF), 1 + (Le32(b, 27) & 0xFFFFFF));
    if (chunk == "VP8 " && b.mid(23, 3) == "\x9d\x01\x2a") // after the frame tag and start code, 14 bits each
        return Decodable(Le16(b, 26) & 0x3FFF, Le16(b, 28) & 0x3FFF);
    if (chunk == "VP8L" && b[20] == '\x2f') { // after the signature, 14 bits each of width - 1, height - 1
        const quint32 bits = Le32(b, 21);
        return Decodable(1 + (bits & 0x3FFF), 1 + ((bits >> 14) & 0x3FFF));
    }
    return std::nullopt;
}

QByteArray WebpPictureChunks(QIODevice& file, qint64 limit, QString& refusal) {
    static const QList<QByteArray> kept = {"VP8X", "VP8 ", "VP8L", "ALPH", "ANIM", "ANMF"};
    file.seek(0);
    QByteArray out = file.read(12);
    if (out.size() < 12 || !out.startsWith("RIFF") || out.mid(8, 4) != "WEBP")
        return out; // the decoder says what is wrong
    THeaderReader reader(file);
    const qint64 end = std::min(file.size(), 8 + qint64(Le32(out, 4)));
    for (qint64 at = 12; at + 8 <= end;) {
        const std::optional<TRiffChunk> chunk = RiffChunkAt(reader, at);
        if (!chunk)
            break;
        const qint64 padded = chunk->Next() - chunk->Data;
        if (kept.contains(chunk->Type)) {
            if (out.size() + 8 + padded > limit) {
                refusal =
                    QStringLiteral("its data are more than the %1 MiB its picture may take").arg(limit >> 20);
                return QByteArray();
            }
            QByteArray bytes;
            reader.Read(at, 8 + std::min(padded, end - at - 8), bytes);
            out += bytes;
        }
        at = chunk->Next();
    }
    // Without the metadata its extended header announces: ICC profile, EXIF, XMP.
    if (out.mid(12, 4) == "VP8X" && out.size() > 20)
        out[20] = char(quint8(out[20]) & ~0x2C);
    qToLittleEndian(quint32(out.size() - 8), out.data() + 4);
    return out;
}

// A WebP's EXIF and XMP chunks, blanked where they stand.
bool BlankWebpLocation(QByteArray& b) {
    if (b.size() < 12)
        throw EMetaStructure("the WebP header runs past the end of the file");
    TBytesReader reader(b);
    bool changed = false;
    for (qint64 at = 12; at + 8 <= b.size();) {
        const std::optional<TRiffChunk> chunk = RiffChunkAt(reader, at);
        if (chunk->Length > b.size() - chunk->Data)
            throw EMetaStructure("a WebP chunk runs past the end of the file");
        if (chunk->Type == "EXIF")
            changed = BlankExifLocation(ExifBlock(b, chunk->Data, chunk->Length)) || changed;
        else if (chunk->Type == "XMP ")
            changed = BlankXmpLocation({b.data() + chunk->Data, chunk->Length}) || changed;
        at = chunk->Next();
    }
    return changed;
}
