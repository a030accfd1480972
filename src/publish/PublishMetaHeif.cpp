// A HEIF picture's EXIF and XMP items, cleaned where they stand. Exiv2 reads HEIF but does not write it; the
// items are found through the meta box's item information (iinf) and locations (iloc) and overwritten in
// place, so no box, offset or length of the file changes.
#include "publish/PublishMetaFormats.h"

#include <map>

namespace {

// More boxes than a picture's meta box holds: beyond this the file is taken as damaged.
constexpr int kMaxBoxes = 4096;

struct TBox {
    QByteArray Type;
    qint64 Body = 0; // where the box's content starts
    qint64 End = 0;
};

class THeifReader {
public:
    explicit THeifReader(const QByteArray& b) : FB(b) {}

    quint64 Uint(qint64 at, int bytes) const {
        Need(at, bytes);
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | uchar(FB[at + i]);
        return v;
    }
    void Need(qint64 at, qint64 length) const {
        if (at < 0 || length < 0 || at > FB.size() || length > FB.size() - at)
            throw EMetaStructure("its HEIF boxes run past the end of the file");
    }
    // The boxes from begin to end, each checked to lie inside them.
    std::vector<TBox> Boxes(qint64 begin, qint64 end) const {
        std::vector<TBox> boxes;
        for (qint64 at = begin; at < end;) {
            if (int(boxes.size()) >= kMaxBoxes)
                throw EMetaStructure("its HEIF file has too many boxes");
            quint64 size = Uint(at, 4);
            qint64 header = 8;
            if (size == 1) {
                size = Uint(at + 8, 8);
                header = 16;
            } else if (size == 0) {
                size = quint64(end - at);
            }
            if (size < quint64(header) || size > quint64(end - at))
                throw EMetaStructure("a HEIF box has a wrong size");
            boxes.push_back({FB.mid(at + 4, 4), at + header, at + qint64(size)});
            at += qint64(size);
        }
        return boxes;
    }
    const QByteArray& Bytes() const { return FB; }

private:
    const QByteArray& FB;
};

struct TItem {
    QByteArray Type;
    QByteArray ContentType;
    QByteArray Encoding;
};

// iinf: the items' types; a MIME item's content type tells XMP.
std::map<quint32, TItem> ItemTypes(const THeifReader& r, const TBox& iinf) {
    const int version = int(r.Uint(iinf.Body, 1));
    const qint64 entries = iinf.Body + 4 + (version == 0 ? 2 : 4);
    std::map<quint32, TItem> items;
    for (const TBox& infe : r.Boxes(entries, iinf.End)) {
        if (infe.Type != "infe")
            continue;
        const int v = int(r.Uint(infe.Body, 1));
        if (v < 2)
            continue; // no item type before version 2
        qint64 at = infe.Body + 4;
        const quint32 id = quint32(r.Uint(at, v == 2 ? 2 : 4));
        at += (v == 2 ? 2 : 4) + 2;
        TItem item{r.Bytes().mid(at, 4), {}, {}};
        r.Need(at, 4);
        at += 4;
        const auto string = [&]() {
            const qsizetype end = r.Bytes().indexOf('\0', at);
            if (end < 0 || end >= infe.End)
                return QByteArray();
            QByteArray s = r.Bytes().mid(at, end - at);
            at = end + 1;
            return s;
        };
        string(); // item name
        if (item.Type == "mime") {
            item.ContentType = string();
            item.Encoding = string();
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
qint64 Within(const THeifReader& r, quint64 value) {
    if (value > quint64(r.Bytes().size()))
        throw EMetaStructure("its HEIF item locations point past the end of the file");
    return qint64(value);
}

// iloc: where each item's data is; only items with one extent are located here.
std::map<quint32, TExtent> ItemPlaces(const THeifReader& r, const TBox& iloc) {
    const int version = int(r.Uint(iloc.Body, 1));
    if (version > 2)
        throw EMetaStructure("its HEIF item locations are of an unknown version");
    qint64 at = iloc.Body + 4;
    const int offsetSize = int(r.Uint(at, 1) >> 4), lengthSize = int(r.Uint(at, 1) & 15);
    const int baseSize = int(r.Uint(at + 1, 1) >> 4),
              indexSize = version > 0 ? int(r.Uint(at + 1, 1) & 15) : 0;
    for (const int size : {offsetSize, lengthSize, baseSize, indexSize})
        if (size != 0 && size != 4 && size != 8)
            throw EMetaStructure("its HEIF item locations have a wrong field size");
    at += 2;
    const int idSize = version < 2 ? 2 : 4;
    const quint64 count = r.Uint(at, idSize);
    at += idSize;
    std::map<quint32, TExtent> places;
    for (quint64 i = 0; i < count; ++i) {
        if (at >= iloc.End)
            throw EMetaStructure("its HEIF item locations are cut short");
        TExtent place;
        const quint32 id = quint32(r.Uint(at, idSize));
        at += idSize;
        if (version > 0) {
            place.Method = int(r.Uint(at, 2) & 15);
            at += 2;
        }
        at += 2; // data reference index
        const qint64 base = Within(r, r.Uint(at, baseSize));
        at += baseSize;
        place.Count = int(r.Uint(at, 2));
        at += 2;
        for (int e = 0; e < place.Count; ++e) {
            at += indexSize;
            place.Offset = base + Within(r, r.Uint(at, offsetSize));
            place.Length = Within(r, r.Uint(at + offsetSize, lengthSize));
            at += offsetSize + lengthSize;
        }
        places[id] = place;
    }
    return places;
}

// Cleans one EXIF or XMP item lying at [at, at + length) of the file.
bool CleanItem(QByteArray& b, const TItem& item, qint64 at, qint64 length, TPublishMeta rule) {
    if (item.Type == "Exif") {
        // The item starts with the offset of the TIFF header from after that number.
        const THeifReader r(b);
        const qint64 tiff = at + 4 + qint64(r.Uint(at, 4));
        if (tiff < at + 4 || tiff > at + length)
            throw EMetaStructure("its EXIF item points past its end");
        const TMetaBlock block{b.data() + tiff, at + length - tiff};
        return rule == pmOrientationOnly ? KeepTiffOrientationOnly(block) : BlankExifLocation(block);
    }
    if (!item.Encoding.isEmpty())
        throw EMetaStructure("its XMP item is compressed");
    const TMetaBlock block{b.data() + at, length};
    return rule == pmOrientationOnly ? EmptyXmp(block) : BlankXmpLocation(block);
}

// Calls found with each EXIF and XMP item of the file: its item, where its data starts and its length.
template <typename Found> void ForEachMetaItem(const QByteArray& b, Found found) {
    const THeifReader r(b);
    for (const TBox& meta : r.Boxes(0, b.size())) {
        if (meta.Type != "meta")
            continue;
        std::map<quint32, TItem> items;
        std::map<quint32, TExtent> places;
        qint64 idat = -1, idatEnd = -1;
        for (const TBox& box : r.Boxes(meta.Body + 4, meta.End)) {
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

bool CleanHeif(QByteArray& b, TPublishMeta rule) {
    bool changed = false;
    ForEachMetaItem(b, [&](const TItem& item, qint64 at, qint64 length) {
        changed = CleanItem(b, item, at, length, rule) || changed;
    });
    return changed;
}

THeifMeta HeifMetadata(const QByteArray& b) {
    THeifMeta meta;
    ForEachMetaItem(b, [&](const TItem& item, qint64 at, qint64 length) {
        if (item.Type == "Exif" && meta.Tiff.isEmpty()) {
            const qint64 tiff = at + 4 + qint64(THeifReader(b).Uint(at, 4));
            if (tiff >= at + 4 && tiff <= at + length)
                meta.Tiff = b.mid(tiff, at + length - tiff);
        } else if (item.Type != "Exif" && item.Encoding.isEmpty() && meta.Xmp.isEmpty()) {
            meta.Xmp = b.mid(at, length);
        }
    });
    return meta;
}
