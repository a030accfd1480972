// Blanking the GPS directory of a TIFF structure and the location properties of an XMP packet in place.
#include "publish/PublishMetaBlank.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <vector>

#include "publish/PublishMetaFormats.h"

namespace {

constexpr quint16 kGpsIfdTag = 0x8825;
constexpr quint16 kExifIfdTag = 0x8769;
constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kThumbnailTag = 0x0201;       // JPEGInterchangeFormat: where the thumbnail starts
constexpr quint16 kThumbnailLengthTag = 0x0202; // JPEGInterchangeFormatLength
// More directories than any picture has: a chain longer than this is taken as damaged.
constexpr int kMaxIfds = 64;

// Reads a TIFF structure's numbers in its byte order, every read checked against the block.
class TTiffReader {
public:
    explicit TTiffReader(TMetaBlock tiff) : FTiff(tiff) {
        if (tiff.Size < 8)
            throw EMetaStructure("the EXIF data is cut short");
        if (std::memcmp(tiff.Data, "II*\0", 4) == 0)
            FBig = false;
        else if (std::memcmp(tiff.Data, "MM\0*", 4) == 0)
            FBig = true;
        else
            throw EMetaStructure("the EXIF data has no TIFF header");
    }
    quint16 U16(qint64 at) const {
        Check(at, 2);
        const auto* p = reinterpret_cast<const uchar*>(FTiff.Data + at);
        return FBig ? quint16(p[0] << 8 | p[1]) : quint16(p[1] << 8 | p[0]);
    }
    quint32 U32(qint64 at) const {
        Check(at, 4);
        const auto* p = reinterpret_cast<const uchar*>(FTiff.Data + at);
        return FBig ? quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]
                    : quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
    }
    void Check(qint64 at, qint64 length) const {
        if (at < 0 || length < 0 || at > FTiff.Size || length > FTiff.Size - at)
            throw EMetaStructure("the EXIF data points past its end");
    }
    // The number of entries of the directory at offset, checked to lie whole inside the block.
    int Entries(qint64 at) const {
        const int count = U16(at);
        Check(at, 2 + 12 * qint64(count) + 4);
        return count;
    }
    void Zero(qint64 at, qint64 length) {
        Check(at, length);
        std::memset(FTiff.Data + at, 0, size_t(length));
    }
    TMetaBlock Block() const { return FTiff; }

private:
    TMetaBlock FTiff;
    bool FBig = false;
};

qint64 TypeSize(quint16 type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

// Zeros a GPS directory: the values its entries point to, then the entries; its count becomes 0.
bool BlankIfd(TTiffReader& tiff, qint64 at) {
    const int count = tiff.Entries(at);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = at + 2 + 12 * qint64(i);
        const qint64 length = TypeSize(tiff.U16(entry + 2)) * qint64(tiff.U32(entry + 4));
        // A value that points outside the block cannot be read by anyone: there is nothing to blank.
        if (const qint64 value = tiff.U32(entry + 8);
            length > 4 && value < tiff.Block().Size && length <= tiff.Block().Size - value)
            tiff.Zero(value, length);
    }
    tiff.Zero(at, 2 + 12 * qint64(count) + 4);
    return count > 0;
}

// The offsets of the directories of the main chain and the EXIF directories they point to.
std::vector<qint64> Directories(const TTiffReader& tiff) {
    std::vector<qint64> found;
    std::set<qint64> seen;
    const auto add = [&](qint64 at) {
        // A directory that starts outside the block is read by no one (and has no GPS pointer to follow).
        if (at == 0 || at > tiff.Block().Size - 2)
            return false;
        if (!seen.insert(at).second)
            throw EMetaStructure("the EXIF directories loop");
        if (int(seen.size()) > kMaxIfds)
            throw EMetaStructure("the EXIF data has too many directories");
        found.push_back(at);
        return true;
    };
    for (qint64 at = tiff.U32(4); add(at);) {
        const int count = tiff.Entries(at);
        for (int i = 0; i < count; ++i)
            if (const qint64 entry = at + 2 + 12 * qint64(i); tiff.U16(entry) == kExifIfdTag)
                add(tiff.U32(entry + 8));
        at = tiff.U32(at + 2 + 12 * qint64(count));
    }
    return found;
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A linear pass over an XMP packet's tags (no backtracking, so a hostile packet costs its length).
class TXmpBlanker {
public:
    explicit TXmpBlanker(TMetaBlock xmp) : FData(xmp.Data), FSize(xmp.Size) {}

    bool Run() {
        qsizetype at = 0;
        while ((at = Find("<", at)) >= 0)
            at = Tag(at);
        return FChanged;
    }

private:
    qsizetype Find(const char* what, qsizetype from) const {
        const QByteArrayView view(FData, FSize);
        return from >= FSize ? -1 : view.indexOf(QByteArrayView(what), from);
    }
    void Blank(qsizetype from, qsizetype to) {
        std::memset(FData + from, ' ', size_t(to - from));
        FChanged = true;
    }
    qsizetype Name(qsizetype at) const {
        while (at < FSize && IsNameChar(FData[at]))
            ++at;
        return at;
    }
    qsizetype SkipSpace(qsizetype at) const {
        while (at < FSize && IsSpace(FData[at]))
            ++at;
        return at;
    }
    // A tag starting at '<': returns where the scan goes on.
    qsizetype Tag(qsizetype start) {
        if (start + 1 < FSize &&
            (FData[start + 1] == '?' || FData[start + 1] == '!' || FData[start + 1] == '/'))
            return start + 1;
        const qsizetype nameEnd = Name(start + 1);
        const QByteArray name(FData + start + 1, nameEnd - start - 1);
        qsizetype at = nameEnd;
        for (;;) {
            at = SkipSpace(at);
            if (at >= FSize)
                throw EMetaStructure("the XMP data ends inside a tag");
            if (FData[at] == '>' || (FData[at] == '/' && at + 1 < FSize && FData[at + 1] == '>'))
                break;
            at = Attribute(at);
        }
        const bool empty = FData[at] == '/';
        const qsizetype end = at + (empty ? 2 : 1);
        if (!IsXmpLocationName(name))
            return end;
        if (empty) {
            Blank(start, end);
            return end;
        }
        const QByteArray closing = "</" + name;
        const qsizetype close = Find(closing.constData(), end);
        const qsizetype closeEnd = close < 0 ? -1 : Find(">", close);
        if (closeEnd < 0)
            throw EMetaStructure("the XMP element " + name.toStdString() + " is not closed");
        Blank(start, closeEnd + 1);
        return closeEnd + 1;
    }
    // One name="value" in a tag; a location attribute is blanked.
    qsizetype Attribute(qsizetype at) {
        const qsizetype nameEnd = Name(at);
        if (nameEnd == at)
            throw EMetaStructure("the XMP data has a broken tag");
        qsizetype eq = SkipSpace(nameEnd);
        if (eq >= FSize || FData[eq] != '=')
            throw EMetaStructure("the XMP data has a broken attribute");
        const qsizetype quote = SkipSpace(eq + 1);
        if (quote >= FSize || (FData[quote] != '"' && FData[quote] != '\''))
            throw EMetaStructure("the XMP data has a broken attribute");
        const char mark[2] = {FData[quote], 0};
        const qsizetype close = Find(mark, quote + 1);
        if (close < 0)
            throw EMetaStructure("the XMP data ends inside an attribute");
        if (IsXmpLocationName(QByteArray(FData + at, nameEnd - at)))
            Blank(at, close + 1);
        return close + 1;
    }

    char* FData;
    qsizetype FSize;
    bool FChanged = false;
};

} // namespace

bool BlankTiffGps(TMetaBlock block) {
    TTiffReader tiff(block);
    bool changed = false;
    std::set<qint64> blanked;
    for (const qint64 at : Directories(tiff)) {
        const int count = tiff.Entries(at);
        for (int i = 0; i < count; ++i) {
            const qint64 entry = at + 2 + 12 * qint64(i);
            if (tiff.U16(entry) != kGpsIfdTag)
                continue;
            // A GPS pointer that leads nowhere readable is damage that might hide a position elsewhere.
            if (const qint64 gps = tiff.U32(entry + 8); blanked.insert(gps).second)
                changed = BlankIfd(tiff, gps) || changed;
        }
    }
    return changed;
}

std::vector<TMetaBlock> TiffThumbnails(TMetaBlock block) {
    TTiffReader tiff(block);
    std::vector<TMetaBlock> found;
    for (const qint64 at : Directories(tiff)) {
        qint64 start = -1, length = -1;
        const int count = tiff.Entries(at);
        for (int i = 0; i < count; ++i) {
            const qint64 entry = at + 2 + 12 * qint64(i);
            const quint16 tag = tiff.U16(entry);
            // A LONG as written, or a SHORT (which sits in the value's first two bytes).
            const qint64 value = tiff.U16(entry + 2) == 3 ? tiff.U16(entry + 8) : tiff.U32(entry + 8);
            if (tag == kThumbnailTag)
                start = value;
            else if (tag == kThumbnailLengthTag)
                length = value;
        }
        if (start >= 0 && length > 0 && start < block.Size)
            found.push_back({block.Data + start, std::min(length, block.Size - start)});
    }
    return found;
}

bool KeepTiffOrientationOnly(TMetaBlock block) {
    TTiffReader tiff(block);
    QByteArray orientation;
    const qint64 first = tiff.U32(4);
    if (first != 0) {
        const int count = tiff.Entries(first);
        for (int i = 0; i < count && orientation.isEmpty(); ++i)
            if (const qint64 entry = first + 2 + 12 * qint64(i); tiff.U16(entry) == kOrientationTag)
                orientation = QByteArray(block.Data + entry, 12);
    }
    if (block.Size < 8 + 2 + 12 + 4)
        throw EMetaStructure("the EXIF data is too short to hold its orientation");
    QByteArray fresh(block.Data, 4); // the header's byte order and mark
    const bool big = block.Data[0] == 'M';
    fresh += big ? QByteArray("\0\0\0\x08", 4) : QByteArray("\x08\0\0\0", 4);
    const char count = orientation.isEmpty() ? 0 : 1;
    fresh += big ? QByteArray(1, '\0') + count : QByteArray(1, count) + '\0';
    fresh += orientation + QByteArray(4, '\0');
    fresh.append(block.Size - fresh.size(), '\0');
    if (std::memcmp(block.Data, fresh.constData(), size_t(block.Size)) == 0)
        return false;
    std::memcpy(block.Data, fresh.constData(), size_t(block.Size));
    return true;
}

bool IsXmpLocationName(const QByteArray& qualifiedName) {
    const qsizetype colon = qualifiedName.indexOf(':');
    if (colon < 0)
        return false;
    const QByteArray prefix = qualifiedName.left(colon);
    const QByteArray local = qualifiedName.mid(colon + 1);
    if (local.startsWith("GPS"))
        return true;
    for (const char* name : {"Location", "LocationCreated", "LocationShown", "CountryCode"})
        if (local == name)
            return true;
    return prefix == "photoshop" && (local == "City" || local == "State" || local == "Country");
}

bool BlankXmpLocation(TMetaBlock xmp) {
    return TXmpBlanker(xmp).Run();
}

bool EmptyXmp(TMetaBlock xmp) {
    static const QByteArray empty = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
                                    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    static const QByteArray end = "<?xpacket end=\"w\"?>";
    QByteArray fresh = xmp.Size >= empty.size() + end.size() ? empty : QByteArray();
    fresh.append(xmp.Size - fresh.size() - (fresh.isEmpty() ? 0 : end.size()), ' ');
    if (!fresh.trimmed().isEmpty())
        fresh += end;
    if (std::memcmp(xmp.Data, fresh.constData(), size_t(xmp.Size)) == 0)
        return false;
    std::memcpy(xmp.Data, fresh.constData(), size_t(xmp.Size));
    return true;
}

TMetaBlock TiffTagValue(TMetaBlock block, quint16 tag) {
    const TTiffReader tiff(block);
    const qint64 first = tiff.U32(4);
    const int count = first == 0 ? 0 : tiff.Entries(first);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = first + 2 + 12 * qint64(i);
        if (tiff.U16(entry) != tag)
            continue;
        const qint64 length = TypeSize(tiff.U16(entry + 2)) * qint64(tiff.U32(entry + 4));
        const qint64 value = length <= 4 ? entry + 8 : tiff.U32(entry + 8);
        if (value >= block.Size || length > block.Size - value)
            return {nullptr, 0};
        return {block.Data + value, length};
    }
    return {nullptr, 0};
}

bool BlankIptcLocation(TMetaBlock iim) {
    const auto* d = reinterpret_cast<const uchar*>(iim.Data);
    bool changed = false;
    // Each dataset: 0x1C, record, dataset, a 2-byte length (with the top bit set: the number of bytes of a
    // longer length that follows), the data. Anything else ends the datasets (padding).
    for (qsizetype at = 0; at + 5 <= iim.Size && d[at] == 0x1C;) {
        const int record = d[at + 1], dataset = d[at + 2];
        quint64 length = quint64(d[at + 3]) << 8 | d[at + 4];
        at += 5;
        if (length & 0x8000) {
            const qsizetype bytes = qsizetype(length & 0x7FFF);
            if (bytes > 4 || bytes > iim.Size - at)
                throw EMetaStructure("an IPTC dataset has a broken length");
            length = 0;
            for (qsizetype i = 0; i < bytes; ++i)
                length = length << 8 | d[at + i];
            at += bytes;
        }
        if (length > quint64(iim.Size - at))
            throw EMetaStructure("an IPTC dataset runs past its end");
        if (IsIptcLocation(record, dataset) && length > 0 &&
            std::any_of(iim.Data + at, iim.Data + at + length, [](char c) { return c; })) {
            std::memset(iim.Data + at, 0, size_t(length));
            changed = true;
        }
        at += qsizetype(length);
    }
    return changed;
}

bool IsIptcLocation(int record, int dataset) {
    return record == 2 && (dataset == 26 || dataset == 27 || dataset == 90 || dataset == 92 ||
                           dataset == 95 || dataset == 100 || dataset == 101);
}
