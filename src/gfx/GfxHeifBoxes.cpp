// ISO base media boxes: a size, a four-letter type, then the body; "meta" holds "pitm" (the primary item)
// and "iref" (references between items, a grid's to its tiles among them).
#include "gfx/GfxHeifBoxes.h"

namespace {

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

} // namespace

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
