// The TIFF structure walker, and the location blanked in it: its GPS directories and the thumbnails it holds.
#include "gfx/GfxTiff.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

constexpr quint16 kGpsIfdTag = 0x8825;
constexpr quint16 kThumbnailTag = 0x0201;       // JPEGInterchangeFormat: where the thumbnail starts
constexpr quint16 kThumbnailLengthTag = 0x0202; // JPEGInterchangeFormatLength
// More directories than any picture has: a chain longer than this is taken as damaged.
constexpr int kMaxIfds = 64;
// A thumbnail inside a thumbnail's EXIF is followed this deep; deeper ones are taken as damage.
constexpr int kMaxThumbnailDepth = 4;

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

// The bytes of an entry's values.
qint64 ValueBytes(const TTiffReader& tiff, qint64 entry) {
    return TypeSize(tiff.U16(entry + 2)) * qint64(tiff.U32(entry + 4));
}

// Zeros a GPS directory: the values its entries point to, then the entries; its count becomes 0.
bool BlankIfd(const TTiffReader& tiff, qint64 at) {
    const TMetaBlock block = tiff.Block();
    const int count = tiff.Entries(at);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = TiffEntry(at, i);
        const qint64 length = ValueBytes(tiff, entry);
        // A value that points outside the block cannot be read by anyone: there is nothing to blank.
        if (const qint64 value = tiff.U32(entry + 8); length > 4 && tiff.Fits(value, length))
            std::memset(block.Data + value, 0, size_t(length));
    }
    std::memset(block.Data + at, 0, size_t(2 + 12 * qint64(count) + 4));
    return count > 0;
}

bool BlankTiffGps(const TTiffReader& tiff) {
    bool changed = false;
    std::set<qint64> blanked;
    for (const qint64 at : tiff.Directories()) {
        const int count = tiff.Entries(at);
        for (int i = 0; i < count; ++i) {
            const qint64 entry = TiffEntry(at, i);
            if (tiff.U16(entry) != kGpsIfdTag)
                continue;
            // A GPS pointer that leads nowhere readable is damage that might hide a position elsewhere.
            if (const qint64 gps = tiff.U32(entry + 8); blanked.insert(gps).second)
                changed = BlankIfd(tiff, gps) || changed;
        }
    }
    return changed;
}

// The JPEG thumbnails the directories hold (JPEGInterchangeFormat and its length), each cut to the block;
// one that starts outside the block is read by no one and not given.
std::vector<TMetaBlock> TiffThumbnails(const TTiffReader& tiff) {
    const TMetaBlock block = tiff.Block();
    std::vector<TMetaBlock> found;
    for (const qint64 at : tiff.Directories()) {
        qint64 start = -1, length = -1;
        const int count = tiff.Entries(at);
        for (int i = 0; i < count; ++i) {
            const qint64 entry = TiffEntry(at, i);
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

} // namespace

TTiffReader::TTiffReader(TMetaBlock tiff) : FTiff(tiff) {
    if (tiff.Size < 8)
        throw EMetaStructure("the EXIF data is cut short");
    if (std::memcmp(tiff.Data, "II*\0", 4) == 0)
        FBig = false;
    else if (std::memcmp(tiff.Data, "MM\0*", 4) == 0)
        FBig = true;
    else
        throw EMetaStructure("the EXIF data has no TIFF header");
}

void TTiffReader::Check(qint64 at, qint64 length) const {
    if (!Fits(at, length))
        throw EMetaStructure("the EXIF data points past its end");
}

quint16 TTiffReader::U16(qint64 at) const {
    Check(at, 2);
    const auto* p = reinterpret_cast<const uchar*>(FTiff.Data + at);
    return FBig ? quint16(p[0] << 8 | p[1]) : quint16(p[1] << 8 | p[0]);
}

quint32 TTiffReader::U32(qint64 at) const {
    Check(at, 4);
    const auto* p = reinterpret_cast<const uchar*>(FTiff.Data + at);
    return FBig ? quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]
                : quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}

int TTiffReader::Entries(qint64 at) const {
    const int count = U16(at);
    Check(at, 2 + 12 * qint64(count) + 4);
    return count;
}

std::vector<qint64> TTiffReader::Directories() const {
    std::vector<qint64> found;
    std::set<qint64> seen;
    const auto add = [&](qint64 at) {
        // A directory that starts outside the block is read by no one (and has no GPS pointer to follow).
        if (at == 0 || at > FTiff.Size - 2)
            return false;
        if (!seen.insert(at).second)
            throw EMetaStructure("the EXIF directories loop");
        if (int(seen.size()) > kMaxIfds)
            throw EMetaStructure("the EXIF data has too many directories");
        found.push_back(at);
        return true;
    };
    for (qint64 at = U32(4); add(at);) {
        const int count = Entries(at);
        for (int i = 0; i < count; ++i)
            if (const qint64 entry = TiffEntry(at, i); U16(entry) == kTiffExifIfdTag)
                add(U32(entry + 8));
        at = U32(TiffEntry(at, count));
    }
    return found;
}

// The GPS directories, then the JPEG thumbnails the directories hold: a thumbnail made from the photo may
// carry its EXIF (with the position) and XMP. One without metadata of its own, as most are, is not read.
bool BlankExifLocation(TMetaBlock block, int depth) {
    const TTiffReader tiff(block);
    bool changed = BlankTiffGps(tiff);
    for (const TMetaBlock thumbnail : TiffThumbnails(tiff)) {
        const QByteArrayView view(thumbnail.Data, thumbnail.Size);
        if (!view.startsWith("\xFF\xD8\xFF") ||
            (view.indexOf(QByteArrayView("Exif\0\0", 6)) < 0 && view.indexOf("http://ns.adobe.com/") < 0 &&
             view.indexOf(QByteArrayView("Photoshop 3.0\0", 14)) < 0))
            continue;
        if (depth >= kMaxThumbnailDepth)
            throw EMetaStructure("its EXIF thumbnails nest too deep");
        QByteArray jpeg(thumbnail.Data, thumbnail.Size);
        if (BlankJpegLocation(jpeg, depth + 1)) {
            std::memcpy(thumbnail.Data, jpeg.constData(), size_t(jpeg.size()));
            changed = true;
        }
    }
    return changed;
}

bool KeepTiffOrientationOnly(TMetaBlock block) {
    const TTiffReader tiff(block);
    QByteArray orientation;
    const qint64 first = tiff.U32(4);
    if (first != 0) {
        const int count = tiff.Entries(first);
        for (int i = 0; i < count && orientation.isEmpty(); ++i)
            if (const qint64 entry = TiffEntry(first, i); tiff.U16(entry) == kTiffOrientationTag)
                orientation = QByteArray(block.Data + entry, 12);
    }
    if (block.Size < 8 + 2 + 12 + 4)
        throw EMetaStructure("the EXIF data is too short to hold its orientation");
    QByteArray fresh(block.Data, 4); // the header's byte order and mark
    const bool big = tiff.BigEndian();
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

TMetaBlock TiffTagValue(TMetaBlock block, quint16 tag) {
    const TTiffReader tiff(block);
    const qint64 first = tiff.U32(4);
    const int count = first == 0 ? 0 : tiff.Entries(first);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = TiffEntry(first, i);
        if (tiff.U16(entry) != tag)
            continue;
        const qint64 length = ValueBytes(tiff, entry);
        const qint64 value = length <= 4 ? entry + 8 : tiff.U32(entry + 8);
        if (value >= block.Size || length > block.Size - value)
            return {nullptr, 0};
        return {block.Data + value, length};
    }
    return {nullptr, 0};
}

// A TIFF file: its EXIF directories, and the XMP (700) and IPTC (33723) its first directory holds.
bool BlankTiffLocation(QByteArray& b) {
    const TMetaBlock file{b.data(), b.size()};
    bool changed = BlankExifLocation(file);
    if (const TMetaBlock xmp = TiffTagValue(file, 700); xmp.Data)
        changed = BlankXmpLocation(xmp) || changed;
    if (const TMetaBlock iptc = TiffTagValue(file, 33723); iptc.Data)
        changed = BlankIptcLocation(iptc) || changed;
    return changed;
}
