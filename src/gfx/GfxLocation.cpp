// Which picture kind the bytes hold, and the location fields of the payloads every kind carries alike: XMP
// packets and IPTC-IIM blocks.
#include "gfx/GfxLocation.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "gfx/GfxFormat.h"

namespace {

// Whether a name is one BlankXmpLocation removes: local name GPS*, Location, LocationCreated, LocationShown,
// CountryCode; City, State or Country of photoshop.
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

TPicKind PicKindOf(const QByteArray& bytes) {
    const TPictureFormat* format = FormatForContent(bytes);
    const std::pair<const TPictureFormat*, TPicKind> kinds[] = {
        {&JpegFormat(), TPicKind::Jpeg}, {&PngFormat(), TPicKind::Png},   {&WebpFormat(), TPicKind::Webp},
        {&TiffFormat(), TPicKind::Tiff}, {&HeifFormat(), TPicKind::Heif}, {&GifFormat(), TPicKind::Gif}};
    for (const auto& [known, kind] : kinds)
        if (format == known)
            return kind;
    return TPicKind::Other;
}

bool BlankLocation(QByteArray& bytes, TPicKind kind) {
    switch (kind) {
    case TPicKind::Jpeg:
        return BlankJpegLocation(bytes);
    case TPicKind::Png:
        return BlankPngLocation(bytes);
    case TPicKind::Webp:
        return BlankWebpLocation(bytes);
    case TPicKind::Tiff:
        return BlankTiffLocation(bytes);
    case TPicKind::Heif:
        return CleanHeif(bytes, false);
    case TPicKind::Gif:
        return CleanGif(bytes, false);
    case TPicKind::Other:
        break;
    }
    return false;
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
