// A PNG's chunks walked as the caption reader walks them, and the location blanked in them: an eXIf chunk
// or an uncompressed XMP text is blanked and its check sum made again; text chunks with metadata that cannot
// be blanked where it stands are left out.
#include "gfx/GfxQtInput.h"
#include "gfx/GfxTiff.h"

namespace {

// The PNG check sum (CRC-32) of a chunk's type and data.
quint32 PngCrc(const QByteArray& b, qsizetype typeAt, qsizetype length) {
    quint32 crc = 0xFFFFFFFF;
    for (qsizetype i = typeAt; i < typeAt + 4 + length; ++i) {
        crc ^= uchar(b[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

void SetBe32(QByteArray& b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}

// Text chunks whose metadata cannot be cleaned where it stands (compressed, or EXIF written as hexadecimal
// text by older tools): they are left out of the copy.
bool IsPngMetaText(const QByteArray& b, qsizetype data, qsizetype length, const QByteArray& type) {
    const QByteArrayView text(b.constData() + data, length);
    if (type == "iTXt" && text.startsWith(QByteArrayView("XML:com.adobe.xmp\0", 18)))
        return length > 18 && b[data + 18] != 0; // compressed
    if (type == "tEXt" || type == "zTXt" || type == "iTXt")
        return text.startsWith("Raw profile type exif") || text.startsWith("Raw profile type APP1") ||
               text.startsWith("Raw profile type xmp") || text.startsWith("Raw profile type iptc") ||
               text.startsWith("Raw profile type 8bim");
    return false;
}

// A chunk of type with data, its length and check sum around it.
QByteArray PngChunk(const QByteArray& type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    SetBe32(chunk, 0, quint32(data.size()));
    chunk += type + data + QByteArray(4, '\0');
    SetBe32(chunk, chunk.size() - 4, PngCrc(chunk, 4, data.size()));
    return chunk;
}

// Each chunk after the signature up to IEND, in order, checked to lie within the bytes.
template <typename F> void ForEachPngChunk(const QByteArray& b, F&& visit) {
    TBytesReader reader(b);
    for (qint64 at = 8; at < b.size();) {
        const std::optional<TPngChunk> chunk = PngChunkAt(reader, at);
        if (!chunk || chunk->Next() > b.size())
            throw EMetaStructure("a PNG chunk runs past the end of the file");
        visit(*chunk);
        at = chunk->Next();
        if (chunk->Type == "IEND")
            break;
    }
}

} // namespace

bool BlankPngLocation(QByteArray& b) {
    bool changed = false;
    QByteArray out = b.left(8);
    ForEachPngChunk(b, [&](const TPngChunk& c) {
        bool blanked = false;
        if (c.Type == "eXIf") {
            blanked = BlankExifLocation(ExifBlock(b, c.Data, c.Length));
        } else if (c.Type == "iTXt" && QByteArrayView(b.constData() + c.Data, c.Length)
                                           .startsWith(QByteArrayView("XML:com.adobe.xmp\0\0", 19))) {
            // Keyword, compression flag and method, then a language and a translated keyword, each ended by
            // 0.
            qsizetype text = c.Data + 20;
            for (int field = 0; field < 2; ++field) {
                const qsizetype end = b.indexOf('\0', text);
                if (end < 0 || end >= c.Data + c.Length)
                    throw EMetaStructure("the PNG's XMP chunk is broken");
                text = end + 1;
            }
            blanked = BlankXmpLocation({b.data() + text, c.Data + c.Length - text});
        } else if (IsPngMetaText(b, c.Data, c.Length, c.Type)) {
            changed = true;
            return;
        }
        if (blanked)
            SetBe32(b, c.Data + c.Length, PngCrc(b, c.At + 4, c.Length));
        changed = changed || blanked;
        out.append(b.constData() + c.At, c.Next() - c.At);
    });
    if (changed)
        b = out;
    return changed;
}

bool PngOrientationOnly(QByteArray& b) {
    QByteArray out = b.left(8);
    ForEachPngChunk(b, [&](const TPngChunk& c) {
        if (c.Type == "eXIf") {
            QByteArray exif = b.mid(c.Data, c.Length);
            const TMetaBlock tiff = ExifBlock(exif, 0, exif.size());
            KeepTiffOrientationOnly(tiff);
            // Header, a count, one entry and the next directory's place: all a lone orientation needs.
            out += PngChunk(c.Type, exif.left(tiff.Data - exif.data() + 8 + 2 + 12 + 4));
        } else if (c.Type != "tEXt" && c.Type != "zTXt" && c.Type != "iTXt") {
            out.append(b.constData() + c.At, c.Next() - c.At);
        }
    });
    const bool changed = out != b;
    b = out;
    return changed;
}

QByteArray PngWithoutPlainCompressedTexts(const QByteArray& b) {
    QByteArray out = b.left(8);
    ForEachPngChunk(b, [&](const TPngChunk& c) {
        // iTXt: the keyword, 0, then the compression flag.
        const qsizetype keywordEnd = c.Type == "iTXt" ? b.indexOf('\0', c.Data) : -1;
        const bool compressed = c.Type == "zTXt" || (keywordEnd >= 0 && keywordEnd + 1 < c.Data + c.Length &&
                                                     b[keywordEnd + 1] != 0);
        if (!compressed || IsPngMetaText(b, c.Data, c.Length, c.Type))
            out.append(b.constData() + c.At, c.Next() - c.At);
    });
    return out;
}

std::optional<TPngChunk> PngChunkAt(THeaderReader& reader, qint64 at) {
    QByteArray head;
    if (!reader.Read(at, 8, head))
        return std::nullopt;
    return TPngChunk{at, head.mid(4, 4), at + 8, qint64(Be32(head, 0))};
}
