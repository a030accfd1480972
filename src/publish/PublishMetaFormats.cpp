// Where each picture kind keeps its EXIF and XMP: the containers walked, every length checked against the
// bytes, and the blocks handed to the in-place blanking.
#include "publish/PublishMetaFormats.h"

#include <cstring>

#include "publish/PublishMetaBlank.h"

namespace {

const QByteArray kJpegExif("Exif\0\0", 6);
const QByteArray kJpegXmp("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray kJpegXmpExtension("http://ns.adobe.com/xmp/extension/\0", 35);
const QByteArray kPhotoshop("Photoshop 3.0\0", 14);
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
// A thumbnail inside a thumbnail's EXIF is followed this deep; deeper ones are taken as damage.
constexpr int kMaxThumbnailDepth = 4;

quint32 Be32(const QByteArray& b, qsizetype at) {
    const auto* p = reinterpret_cast<const uchar*>(b.constData() + at);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

quint32 Le32(const QByteArray& b, qsizetype at) {
    const auto* p = reinterpret_cast<const uchar*>(b.constData() + at);
    return quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}

void Need(const QByteArray& b, qint64 at, qint64 length, const char* what) {
    if (at < 0 || length < 0 || at > b.size() || length > b.size() - at)
        throw EMetaStructure(std::string(what) + " runs past the end of the file");
}

TMetaBlock Block(QByteArray& b, qsizetype at, qsizetype length) {
    return {b.data() + at, length};
}

// A TIFF block that may start with the "Exif\0\0" some writers put before it.
TMetaBlock ExifBlock(QByteArray& b, qsizetype at, qsizetype length) {
    if (length >= 6 && QByteArrayView(b.constData() + at, 6) == kJpegExif)
        return Block(b, at + 6, length - 6);
    return Block(b, at, length);
}

bool CleanJpeg(QByteArray& b, int depth);

// The GPS directories, then the JPEG thumbnails the directories hold: a thumbnail made from the photo may
// carry its EXIF (with the position) and XMP. One without metadata of its own, as most are, is not read.
bool BlankExif(TMetaBlock tiff, int depth) {
    bool changed = BlankTiffGps(tiff);
    for (const TMetaBlock thumbnail : TiffThumbnails(tiff)) {
        const QByteArrayView view(thumbnail.Data, thumbnail.Size);
        if (!view.startsWith("\xFF\xD8\xFF") ||
            (view.indexOf(kJpegExif) < 0 && view.indexOf("http://ns.adobe.com/") < 0 &&
             view.indexOf(kPhotoshop) < 0))
            continue;
        if (depth >= kMaxThumbnailDepth)
            throw EMetaStructure("its EXIF thumbnails nest too deep");
        QByteArray jpeg(thumbnail.Data, thumbnail.Size);
        if (CleanJpeg(jpeg, depth + 1)) {
            std::memcpy(thumbnail.Data, jpeg.constData(), size_t(jpeg.size()));
            changed = true;
        }
    }
    return changed;
}

// Photoshop's image resources (8BIM blocks) of a JPEG APP13 segment: the IPTC block (1028) is cleaned.
bool CleanPhotoshop(QByteArray& b, qsizetype begin, qsizetype end) {
    bool changed = false;
    for (qsizetype at = begin; at + 12 <= end && QByteArrayView(b.constData() + at, 4) == "8BIM";) {
        const int id = uchar(b[at + 4]) << 8 | uchar(b[at + 5]);
        // A name as a length byte and its text, padded to an even size.
        const qsizetype name = 1 + uchar(b[at + 6]);
        const qsizetype sizeAt = at + 6 + name + (name & 1);
        if (sizeAt + 4 > end)
            throw EMetaStructure("its Photoshop resources run past their end");
        const qsizetype size = Be32(b, sizeAt);
        if (size > end - sizeAt - 4)
            throw EMetaStructure("its Photoshop resources run past their end");
        if (id == 0x0404)
            changed = BlankIptcLocation(Block(b, sizeAt + 4, size)) || changed;
        at = sizeAt + 4 + size + (size & 1);
    }
    return changed;
}

// The EXIF and XMP segments of a JPEG's markers from at up to its first scan; where the scan begins.
qsizetype CleanJpegHeader(QByteArray& b, qsizetype at, int depth, bool& changed) {
    for (; at + 4 <= b.size();) {
        if (uchar(b[at]) != 0xFF)
            throw EMetaStructure("a JPEG marker is missing");
        const uchar marker = uchar(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return at;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const qsizetype length = (uchar(b[at + 2]) << 8 | uchar(b[at + 3])) - 2;
        Need(b, at + 4, length, "a JPEG segment");
        const qsizetype data = at + 4;
        const QByteArrayView segment(b.constData() + data, length);
        if (marker == 0xE1 && segment.startsWith(kJpegExif)) {
            changed = BlankExif(Block(b, data + 6, length - 6), depth) || changed;
        } else if (marker == 0xE1 && segment.startsWith(kJpegXmp)) {
            changed = BlankXmpLocation(Block(b, data + kJpegXmp.size(), length - kJpegXmp.size())) || changed;
        } else if (marker == 0xED && segment.startsWith(kPhotoshop)) {
            changed = CleanPhotoshop(b, data + kPhotoshop.size(), data + length) || changed;
        } else if (marker == 0xE1 && segment.startsWith(kJpegXmpExtension)) {
            // A packet in pieces: a location in it would be cut across pieces, so it is refused rather than
            // looked for piece by piece. The tokens cannot occur in the base64 data such packets carry.
            for (const char* token : {":GPS", ":Location", ":City", ":Country"})
                if (segment.indexOf(QByteArrayView(token)) >= 0)
                    throw EMetaStructure("its extended XMP holds location fields");
        }
        at = data + length;
    }
    return b.size();
}

// The main picture's header, then the EXIF, XMP and IPTC segments of the pictures a phone appends after it (a
// multi-picture file's previews and depth maps, each a JPEG with metadata of its own). Inside a scan 0xFF is
// always followed by 0, a restart or the end, so an APP1 marker after the first scan is such a segment.
bool CleanJpeg(QByteArray& b, int depth) {
    bool changed = false;
    const qsizetype scan = CleanJpegHeader(b, 2, depth, changed);
    // One pass over the 0xFF bytes (memchr: a photo's scans are megabytes long), for APP1 and APP13 alike.
    for (qsizetype at = scan; at < b.size(); ++at) {
        const void* hit = std::memchr(b.constData() + at, 0xFF, size_t(b.size() - at));
        if (hit == nullptr)
            break;
        at = static_cast<const char*>(hit) - b.constData();
        if (at + 4 > b.size())
            break;
        if (const uchar marker = uchar(b[at + 1]); marker == 0xE1 || marker == 0xED) {
            const qsizetype length = (uchar(b[at + 2]) << 8 | uchar(b[at + 3])) - 2;
            const QByteArrayView data(b.constData() + at + 4, b.size() - at - 4);
            if (data.startsWith(kJpegExif)) {
                Need(b, at + 4, length, "an appended picture's EXIF");
                changed = BlankExif(Block(b, at + 10, length - 6), depth) || changed;
            } else if (data.startsWith(kJpegXmp)) {
                Need(b, at + 4, length, "an appended picture's XMP");
                changed =
                    BlankXmpLocation(Block(b, at + 4 + kJpegXmp.size(), length - kJpegXmp.size())) || changed;
            } else if (data.startsWith(kPhotoshop)) {
                Need(b, at + 4, length, "an appended picture's IPTC");
                changed = CleanPhotoshop(b, at + 4 + kPhotoshop.size(), at + 4 + length) || changed;
            }
            ++at; // past the marker's second byte
        }
    }
    return changed;
}

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

// A PNG chunk: where it starts, its type, and where its data start and how long they are.
struct TPngChunk {
    qsizetype At;
    QByteArray Type;
    qsizetype Data;
    qsizetype Length;
    qsizetype Next() const { return Data + Length + 4; }
};

// Each chunk after the signature up to IEND, in order, checked to lie within the bytes.
template <typename F> void ForEachPngChunk(const QByteArray& b, F&& visit) {
    for (qsizetype at = 8; at < b.size();) {
        Need(b, at, 8, "a PNG chunk");
        const qsizetype length = Be32(b, at);
        Need(b, at + 8, qint64(length) + 4, "a PNG chunk");
        const TPngChunk chunk{at, b.mid(at + 4, 4), at + 8, length};
        visit(chunk);
        at = chunk.Next();
        if (chunk.Type == "IEND")
            break;
    }
}

// Chunk by chunk: an eXIf chunk or an uncompressed XMP text is blanked and its check sum made again.
bool CleanPng(QByteArray& b) {
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
            blanked = BlankXmpLocation(Block(b, text, c.Data + c.Length - text));
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

} // namespace

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

namespace {

bool CleanWebp(QByteArray& b) {
    bool changed = false;
    Need(b, 0, 12, "the WebP header");
    for (qsizetype at = 12; at + 8 <= b.size();) {
        const QByteArray type = b.mid(at, 4);
        const qsizetype length = Le32(b, at + 4);
        Need(b, at + 8, length, "a WebP chunk");
        if (type == "EXIF")
            changed = BlankExifLocation(ExifBlock(b, at + 8, length)) || changed;
        else if (type == "XMP ")
            changed = BlankXmpLocation(Block(b, at + 8, length)) || changed;
        at += 8 + length + (length & 1);
    }
    return changed;
}

bool CleanTiff(QByteArray& b) {
    bool changed = BlankExifLocation(Block(b, 0, b.size()));
    const TMetaBlock xmp = TiffTagValue(Block(b, 0, b.size()), 700);
    if (xmp.Data)
        changed = BlankXmpLocation(xmp) || changed;
    if (const TMetaBlock iptc = TiffTagValue(Block(b, 0, b.size()), 33723); iptc.Data)
        changed = BlankIptcLocation(iptc) || changed;
    return changed;
}

} // namespace

bool BlankExifLocation(TMetaBlock tiff) {
    return BlankExif(tiff, 0);
}

TPicKind PicKindOf(const QByteArray& b) {
    if (b.startsWith("\xFF\xD8\xFF"))
        return TPicKind::Jpeg;
    if (b.startsWith(kPngSignature))
        return TPicKind::Png;
    if (b.size() >= 12 && b.startsWith("RIFF") && b.mid(8, 4) == "WEBP")
        return TPicKind::Webp;
    if (b.startsWith(QByteArray("II*\0", 4)) || b.startsWith(QByteArray("MM\0*", 4)))
        return TPicKind::Tiff;
    if (b.startsWith("GIF87a") || b.startsWith("GIF89a"))
        return TPicKind::Gif;
    if (b.size() >= 12 && b.mid(4, 4) == "ftyp") {
        const QByteArray brand = b.mid(8, 4);
        for (const char* heif : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1", "avif"})
            if (brand == heif)
                return TPicKind::Heif;
    }
    return TPicKind::Other;
}

bool BlankLocation(QByteArray& bytes, TPicKind kind) {
    switch (kind) {
    case TPicKind::Jpeg:
        return CleanJpeg(bytes, 0);
    case TPicKind::Png:
        return CleanPng(bytes);
    case TPicKind::Webp:
        return CleanWebp(bytes);
    case TPicKind::Tiff:
        return CleanTiff(bytes);
    case TPicKind::Heif:
        return CleanHeif(bytes, pmRemoveLocation);
    case TPicKind::Gif:
        return CleanGif(bytes, pmRemoveLocation);
    case TPicKind::Other:
        break;
    }
    return false;
}
