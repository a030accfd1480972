// ISO base media boxes: a size, a four-letter type, then the body; "meta" holds "pitm" (the primary item),
// "iref" (references between items, a grid's to its tiles among them), "iinf" (the items' types) and "iloc"
// (where each item's data lie). Metadata items are overwritten where they stand, so no box, offset or length
// of the file changes.
#include "gfx/GfxHeifBoxes.h"

#include <map>

#include "gfx/GfxLocation.h"

namespace {

// More boxes than a picture's meta box holds: beyond this the file is taken as damaged.
constexpr int kMaxBoxes = 4096;

struct TBox {
    qint64 Body; // where the body starts
    qint64 End;
    QByteArray Type;
};

// The box at `at`, which must end by `limit`.
std::optional<TBox> BoxAt(THeaderReader& reader, qint64 at, qint64 limit) {
    QByteArray head;
    if (!reader.Read(at, 8, head))
        return std::nullopt;
    qint64 body = at + 8;
    quint64 size = Be32(head, 0);
    if (size == 1) { // a 64-bit size follows the type
        QByteArray large;
        if (!reader.Read(body, 8, large))
            return std::nullopt;
        size = (quint64(Be32(large, 0)) << 32) | Be32(large, 4);
        body += 8;
    } else if (size == 0) { // to the end
        size = quint64(limit - at);
    }
    if (size < quint64(body - at) || size > quint64(limit - at))
        return std::nullopt;
    return TBox{body, at + qint64(size), head.mid(4, 4)};
}

std::optional<TBox> FindBox(THeaderReader& reader, qint64 from, qint64 to, const char* type) {
    for (std::optional<TBox> box = BoxAt(reader, from, to); box; box = BoxAt(reader, box->End, to))
        if (box->Type == type)
            return box;
    return std::nullopt;
}

// A full box's version and the item ID at `at` (16 bits in version 0, 32 bits after).
std::optional<quint32> ItemId(THeaderReader& reader, qint64 at, bool wide) {
    QByteArray id;
    if (!reader.Read(at, wide ? 4 : 2, id))
        return std::nullopt;
    return wide ? Be32(id, 0) : Be16(id, 0);
}

// ---- The metadata items, for blanking: every doubt raises EMetaStructure ----

// A big-endian number of 0 to 8 bytes.
quint64 Uint(THeaderReader& reader, qint64 at, int bytes) {
    QByteArray b;
    if (!reader.Read(at, bytes, b))
        throw EMetaStructure("its HEIF boxes run past the end of the file");
    quint64 v = 0;
    for (const char c : b)
        v = v << 8 | uchar(c);
    return v;
}

// The boxes from begin to end, each checked to lie inside them.
std::vector<TBox> Boxes(THeaderReader& reader, qint64 begin, qint64 end) {
    std::vector<TBox> boxes;
    for (qint64 at = begin; at < end; at = boxes.back().End) {
        if (int(boxes.size()) >= kMaxBoxes)
            throw EMetaStructure("its HEIF file has too many boxes");
        const std::optional<TBox> box = BoxAt(reader, at, end);
        if (!box)
            throw EMetaStructure("a HEIF box has a wrong size");
        boxes.push_back(*box);
    }
    return boxes;
}

struct TItem {
    QByteArray Type;
    QByteArray ContentType;
    QByteArray Encoding;
};

// The zero-ended string at `at`, before end; at moves past it. Empty when it does not end there.
QByteArray ZeroEnded(THeaderReader& reader, qint64& at, qint64 end) {
    QByteArray rest;
    if (at >= end || !reader.Read(at, end - at, rest))
        return {};
    const qsizetype zero = rest.indexOf('\0');
    if (zero < 0)
        return {};
    at += zero + 1;
    return rest.left(zero);
}

// iinf: the items' types; a MIME item's content type tells XMP.
std::map<quint32, TItem> ItemTypes(THeaderReader& reader, const TBox& iinf) {
    const int version = int(Uint(reader, iinf.Body, 1));
    const qint64 entries = iinf.Body + 4 + (version == 0 ? 2 : 4);
    std::map<quint32, TItem> items;
    for (const TBox& infe : Boxes(reader, entries, iinf.End)) {
        if (infe.Type != "infe")
            continue;
        const int v = int(Uint(reader, infe.Body, 1));
        if (v < 2)
            continue; // no item type before version 2
        qint64 at = infe.Body + 4;
        const quint32 id = quint32(Uint(reader, at, v == 2 ? 2 : 4));
        at += (v == 2 ? 2 : 4) + 2;
        TItem item;
        if (!reader.Read(at, 4, item.Type))
            throw EMetaStructure("its HEIF boxes run past the end of the file");
        at += 4;
        ZeroEnded(reader, at, infe.End); // item name
        if (item.Type == "mime") {
            item.ContentType = ZeroEnded(reader, at, infe.End);
            item.Encoding = ZeroEnded(reader, at, infe.End);
        }
        items[id] = item;
    }
    return items;
}

struct TExtent {
    int Method = 0;
    qint64 Offset = 0;
    qint64 Length = 0;
    int Count = 0;
};

// An offset or length of the item table: none can be larger than the file (so sums of two cannot overflow).
qint64 Within(const THeaderReader& reader, quint64 value) {
    if (value > quint64(reader.Size()))
        throw EMetaStructure("its HEIF item locations point past the end of the file");
    return qint64(value);
}

// iloc: where each item's data is; only items with one extent are located here.
std::map<quint32, TExtent> ItemPlaces(THeaderReader& r, const TBox& iloc) {
    const int version = int(Uint(r, iloc.Body, 1));
    if (version > 2)
        throw EMetaStructure("its HEIF item locations are of an unknown version");
    qint64 at = iloc.Body + 4;
    const int offsetSize = int(Uint(r, at, 1) >> 4), lengthSize = int(Uint(r, at, 1) & 15);
    const int baseSize = int(Uint(r, at + 1, 1) >> 4),
              indexSize = version > 0 ? int(Uint(r, at + 1, 1) & 15) : 0;
    for (const int size : {offsetSize, lengthSize, baseSize, indexSize})
        if (size != 0 && size != 4 && size != 8)
            throw EMetaStructure("its HEIF item locations have a wrong field size");
    at += 2;
    const int idSize = version < 2 ? 2 : 4;
    const quint64 count = Uint(r, at, idSize);
    at += idSize;
    std::map<quint32, TExtent> places;
    for (quint64 i = 0; i < count; ++i) {
        if (at >= iloc.End)
            throw EMetaStructure("its HEIF item locations are cut short");
        TExtent place;
        const quint32 id = quint32(Uint(r, at, idSize));
        at += idSize;
        if (version > 0) {
            place.Method = int(Uint(r, at, 2) & 15);
            at += 2;
        }
        at += 2; // data reference index
        const qint64 base = Within(r, Uint(r, at, baseSize));
        at += baseSize;
        place.Count = int(Uint(r, at, 2));
        at += 2;
        for (int e = 0; e < place.Count; ++e) {
            at += indexSize;
            place.Offset = base + Within(r, Uint(r, at, offsetSize));
            place.Length = Within(r, Uint(r, at + offsetSize, lengthSize));
            at += offsetSize + lengthSize;
        }
        places[id] = place;
    }
    return places;
}

// An EXIF item starts with the offset of its TIFF header from after that number: the TIFF structure's start,
// or -1 when it points past the item.
qint64 ItemTiff(THeaderReader& reader, qint64 at, qint64 length) {
    const qint64 tiff = at + 4 + qint64(Uint(reader, at, 4));
    return tiff < at + 4 || tiff > at + length ? -1 : tiff;
}

// Calls found with each EXIF and XMP item of the file: its item, where its data starts and its length.
template <typename Found> void ForEachMetaItem(const QByteArray& b, Found found) {
    TBytesReader r(b);
    for (const TBox& meta : Boxes(r, 0, b.size())) {
        if (meta.Type != "meta")
            continue;
        std::map<quint32, TItem> items;
        std::map<quint32, TExtent> places;
        qint64 idat = -1, idatEnd = -1;
        for (const TBox& box : Boxes(r, meta.Body + 4, meta.End)) {
            if (box.Type == "iinf")
                items = ItemTypes(r, box);
            else if (box.Type == "iloc")
                places = ItemPlaces(r, box);
            else if (box.Type == "idat")
                idat = box.Body, idatEnd = box.End;
        }
        for (const auto& [id, item] : items) {
            const bool xmp = item.Type == "mime" && item.ContentType == "application/rdf+xml";
            if (item.Type != "Exif" && !xmp)
                continue;
            const auto place = places.find(id);
            if (place == places.end())
                throw EMetaStructure("its metadata item has no location");
            const TExtent& e = place->second;
            if (e.Count != 1 || e.Method > 1 || (e.Method == 1 && idat < 0))
                throw EMetaStructure("its metadata item is stored in a way this cannot clean in place");
            const qint64 origin = e.Method == 1 ? idat : 0;
            const qint64 end = e.Method == 1 ? idatEnd : b.size();
            const qint64 length = e.Length == 0 ? end - origin - e.Offset : e.Length;
            if (e.Offset < 0 || length < 0 || e.Offset > end - origin || length > end - origin - e.Offset)
                throw EMetaStructure("its metadata item lies outside the file");
            found(item, origin + e.Offset, length);
        }
    }
}

} // namespace

bool CleanHeif(QByteArray& b, bool orientationOnly) {
    bool changed = false;
    TBytesReader reader(b);
    ForEachMetaItem(b, [&](const TItem& item, qint64 at, qint64 length) {
        if (item.Type == "Exif") {
            const qint64 tiff = ItemTiff(reader, at, length);
            if (tiff < 0)
                throw EMetaStructure("its EXIF item points past its end");
            const TMetaBlock block{b.data() + tiff, at + length - tiff};
            changed =
                (orientationOnly ? KeepTiffOrientationOnly(block) : BlankExifLocation(block)) || changed;
            return;
        }
        if (!item.Encoding.isEmpty())
            throw EMetaStructure("its XMP item is compressed");
        const TMetaBlock block{b.data() + at, length};
        changed = (orientationOnly ? EmptyXmp(block) : BlankXmpLocation(block)) || changed;
    });
    return changed;
}

bool IsHeif(const QByteArray& head) {
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc",
                                         "hevx", "mif1", "msf1", "avif"};
    const QByteArray brand = head.mid(8, 4);
    return std::any_of(std::begin(brands), std::end(brands), [&brand](const char* b) { return brand == b; });
}

qint64 HeifGridTiles(THeaderReader& reader) {
    const std::optional<TBox> meta = FindBox(reader, 0, reader.Size(), "meta");
    if (!meta)
        return 0;
    const qint64 children = meta->Body + 4; // after its version and flags
    const std::optional<TBox> pitm = FindBox(reader, children, meta->End, "pitm");
    const std::optional<TBox> iref = FindBox(reader, children, meta->End, "iref");
    QByteArray version;
    if (!pitm || !iref || !reader.Read(pitm->Body, 1, version))
        return 0;
    const std::optional<quint32> primary = ItemId(reader, pitm->Body + 4, version[0] != '\0');
    if (!primary || !reader.Read(iref->Body, 1, version))
        return 0;
    const bool wide = version[0] != '\0';
    qint64 tiles = 0;
    for (std::optional<TBox> ref = BoxAt(reader, iref->Body + 4, iref->End); ref;
         ref = BoxAt(reader, ref->End, iref->End)) {
        QByteArray count;
        const std::optional<quint32> from = ItemId(reader, ref->Body, wide);
        if (ref->Type == "dimg" && from == primary && reader.Read(ref->Body + (wide ? 4 : 2), 2, count))
            tiles += Be16(count, 0);
    }
    return tiles;
}

THeifMeta HeifMetadata(const QByteArray& b) {
    THeifMeta meta;
    TBytesReader reader(b);
    ForEachMetaItem(b, [&](const TItem& item, qint64 at, qint64 length) {
        if (item.Type == "Exif" && meta.Tiff.isEmpty()) {
            if (const qint64 tiff = ItemTiff(reader, at, length); tiff >= 0)
                meta.Tiff = b.mid(tiff, at + length - tiff);
        } else if (item.Type != "Exif" && item.Encoding.isEmpty() && meta.Xmp.isEmpty()) {
            meta.Xmp = b.mid(at, length);
        }
    });
    return meta;
}
