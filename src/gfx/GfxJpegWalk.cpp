// The marker walk: segments read one by one, entropy-coded data searched for the marker that ends them, the
// file read in blocks so that neither trailing data nor metadata are held in memory. And the segments of a
// JPEG in memory, walked to blank its location where it stands.
#include "gfx/GfxJpegWalk.h"

#include <cstring>

#include "gfx/GfxError.h"
#include "gfx/GfxExif.h"
#include "gfx/GfxFormat.h"
#include "gfx/GfxLocation.h"

namespace {

// What a walk reserves for the kept bytes at most; a larger file grows the buffer as it is read.
constexpr qint64 kMaxReservedJpegBytes = qint64(64) << 20;

QByteArray MarkerBytes(int marker) {
    const char bytes[2] = {char(0xFF), char(marker)};
    return QByteArray(bytes, 2);
}

// A device read forward in blocks.
class TByteStream {
public:
    explicit TByteStream(QIODevice& device) : FDevice(device) {}

    // The next byte, or -1 at the end.
    int Get() {
        if (FAt == FBuffer.size() && !Fill())
            return -1;
        return quint8(FBuffer[FAt++]);
    }

    // The next count bytes appended to out (when not null); false when the data end before.
    bool Read(qsizetype count, QByteArray* out) {
        while (count > 0) {
            if (FAt == FBuffer.size() && !Fill())
                return false;
            const qsizetype take = std::min(count, FBuffer.size() - FAt);
            if (out != nullptr)
                out->append(FBuffer.constData() + FAt, take);
            FAt += take;
            count -= take;
        }
        return true;
    }

    // Entropy-coded data up to the marker that ends them, appended to out (when not null), stuffed bytes and
    // restart markers included. Returns that marker, or -1 at the end or once out holds more than limit.
    int ScanData(QByteArray* out, qint64 limit) {
        for (;;) {
            if ((FAt == FBuffer.size() && !Fill()) || (out != nullptr && out->size() > limit))
                return -1;
            const char* begin = FBuffer.constData() + FAt;
            const char* end = FBuffer.constData() + FBuffer.size();
            // Stuffed bytes and restart markers are the data's own: they are passed over here and copied
            // with the data around them, so that a photo's scan is copied in a few pieces, not thousands.
            const char* ff = static_cast<const char*>(std::memchr(begin, 0xFF, size_t(end - begin)));
            while (ff != nullptr && ff + 1 < end && IsDataPair(quint8(ff[1])))
                ff = static_cast<const char*>(std::memchr(ff + 2, 0xFF, size_t(end - ff - 2)));
            const qsizetype plain = ff != nullptr ? ff - begin : end - begin;
            if (out != nullptr)
                out->append(begin, plain);
            FAt += plain;
            if (ff == nullptr)
                continue;
            ++FAt;
            int c = Get();
            while (c == 0xFF) // fill bytes
                c = Get();
            if (c < 0)
                return -1;
            if (!IsDataPair(c))
                return c;
            if (out != nullptr)
                out->append(MarkerBytes(c));
        }
    }

    // The next marker after anything that is none (which the decoder skips with a warning), or -1.
    int NextMarker() {
        for (;;) {
            int c = Get();
            while (c >= 0 && c != 0xFF)
                c = Get();
            while (c == 0xFF)
                c = Get();
            if (c != 0)
                return c;
        }
    }

private:
    // After 0xFF within the data: a stuffed zero or a restart marker.
    static bool IsDataPair(int c) { return c == 0 || (c >= 0xD0 && c <= 0xD7); }

    // Into the same buffer each time: a new megabyte per read would be new pages to fault in.
    bool Fill() {
        FBuffer.resize(1 << 20);
        const qint64 read = FDevice.read(FBuffer.data(), FBuffer.size());
        FBuffer.resize(std::max<qint64>(read, 0));
        FAt = 0;
        return !FBuffer.isEmpty();
    }

    QIODevice& FDevice;
    QByteArray FBuffer;
    qsizetype FAt = 0;
};

bool IsFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The frame kinds the JPEG library decodes: baseline, extended, progressive, arithmetic (sequential and
// progressive). Lossless and hierarchical frames are left to the decoder to refuse.
bool DecodableFrame(int marker) {
    return marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC9 || marker == 0xCA;
}

// SOF: precision, height, width, component count, 3 bytes per component.
void ReadFrame(TJpegWalk& walk, int marker, const QByteArray& body) {
    if (body.size() < 6)
        return;
    walk.Stored = QSize(Be16(body, 3), Be16(body, 1));
    walk.Progressive = marker == 0xC2 || marker == 0xCA;
    const int components = quint8(body[5]);
    // Within the JPEG library's own dimension limit.
    walk.FrameDecodable = DecodableFrame(marker) && quint8(body[0]) == 8 &&
                          (components == 1 || components == 3 || components == 4) &&
                          body.size() == 6 + 3 * components && walk.Stored.width() <= 65500 &&
                          walk.Stored.height() <= 65500;
}

// Segments the decoder ignores: comments and application data other than JFIF (APP0) and Adobe's colour
// transform (APP14), of which the first is kept.
bool Kept(int marker, bool& app0Seen, bool& app14Seen) {
    if (marker == 0xE0 || marker == 0xEE) {
        bool& seen = marker == 0xE0 ? app0Seen : app14Seen;
        return !std::exchange(seen, true);
    }
    return !(marker >= 0xE1 && marker <= 0xEF) && marker != 0xFE;
}

long long Pixels(const TJpegWalk& walk) {
    return static_cast<long long>(walk.Stored.width()) * walk.Stored.height();
}

// Refusal once the scans are counted: too many, or too much work for the picture's size.
QString WorkRefusal(const TJpegWalk& walk) {
    if (walk.Scans > kMaxJpegScans)
        return QStringLiteral("it has more than %1 scans, too many to decode").arg(kMaxJpegScans);
    if (walk.Progressive && walk.Scans * Pixels(walk) > kMaxJpegScanPixels)
        return QStringLiteral("its %1 scans over %2 x %3 pixels are too much work to decode")
            .arg(walk.Scans)
            .arg(walk.Stored.width())
            .arg(walk.Stored.height());
    return QString();
}

// The segments after the start marker; out is walk.Data while the bytes are kept, null once they are not.
void WalkSegments(TJpegWalk& walk, TByteStream& in, bool wholePicture) {
    QByteArray* out = wholePicture ? &walk.Data : nullptr;
    bool exifSeen = false, app0Seen = false, app14Seen = false;
    const auto overLimit = [&walk, &out] {
        if (out == nullptr || out->size() <= DataLimitBytes(walk.Stored.width(), walk.Stored.height()))
            return false;
        walk.Refusal = DataLimitReason(walk.Stored.width(), walk.Stored.height());
        return true;
    };
    int marker = in.NextMarker();
    while (marker >= 0 && walk.Scans <= kMaxJpegScans && !overLimit()) {
        const QByteArray code = MarkerBytes(marker);
        if (marker == 0xD9 || marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            if (out != nullptr)
                out->append(code);
            if (marker == 0xD9)
                return;
            marker = in.NextMarker();
            continue;
        }
        QByteArray segment = code;
        if (!in.Read(2, &segment) || !in.Read(std::max(0, Be16(segment, 2) - 2), &segment)) {
            if (out != nullptr)
                out->append(segment); // cut short: the decoder says so
            return;
        }
        const QByteArray body = segment.mid(4);
        if (walk.Scans == 0 && marker == 0xE1 && !exifSeen && body.startsWith(QByteArray("Exif\0\0", 6))) {
            walk.Orientation = ExifOrientation(reinterpret_cast<const uchar*>(body.constData()), body.size());
            exifSeen = true;
        }
        if (walk.Scans == 0 && walk.Stored.isEmpty() && IsFrameMarker(marker))
            ReadFrame(walk, marker, body);
        if (out != nullptr && Kept(marker, app0Seen, app14Seen))
            out->append(segment);
        if (marker != 0xDA) {
            marker = in.NextMarker();
            continue;
        }
        // Beyond the size limit the header is enough for the decoder to refuse the picture.
        if (++walk.Scans == 1 &&
            (!wholePicture || !WithinPixelLimit(walk.Stored.width(), walk.Stored.height())))
            return;
        if (!WorkRefusal(walk).isEmpty())
            out = nullptr; // only counted from here
        marker = in.ScanData(out, DataLimitBytes(walk.Stored.width(), walk.Stored.height()));
    }
    overLimit();
}

} // namespace

TJpegWalk WalkJpeg(QIODevice& device, bool wholePicture) {
    TJpegWalk walk;
    if (!device.seek(0))
        return walk;
    TByteStream in(device);
    // Room for the whole file at once, as most of it is kept: no copy as it grows.
    if (wholePicture && !device.isSequential())
        walk.Data.reserve(qsizetype(std::min<qint64>(device.size(), kMaxReservedJpegBytes)));
    // Anything but a start marker: the decoder says what is wrong.
    if (!in.Read(2, &walk.Data) || walk.Data != QByteArray("\xFF\xD8"))
        return walk;
    WalkSegments(walk, in, wholePicture);
    if (wholePicture && walk.Refusal.isEmpty() && WithinPixelLimit(walk.Stored.width(), walk.Stored.height()))
        walk.Refusal = WorkRefusal(walk);
    if (!walk.Refusal.isEmpty() || !wholePicture)
        walk.Data.clear();
    else if (walk.Data.capacity() - walk.Data.size() > walk.Data.size() / 8)
        walk.Data.squeeze(); // a file mostly of metadata or trailing data keeps no room for them
    return walk;
}

std::optional<QSize> UprightJpegSize(const TJpegWalk& walk) {
    if (!walk.FrameDecodable)
        return std::nullopt;
    const std::optional<QSize> stored = Decodable(walk.Stored.width(), walk.Stored.height());
    return stored ? std::optional(UprightSize(walk.Orientation, stored->width(), stored->height())) : stored;
}

std::optional<TJpegSegment> JpegSegmentAt(QByteArrayView b, qsizetype at) {
    if (at + 4 > b.size() || quint8(b[at]) != 0xFF)
        return std::nullopt;
    const int marker = quint8(b[at + 1]);
    if (marker == 0xFF) // a fill byte
        return TJpegSegment{marker, at + 1, 0};
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
        return TJpegSegment{marker, at + 2, 0};
    return TJpegSegment{marker, at + 4, (quint8(b[at + 2]) << 8 | quint8(b[at + 3])) - 2};
}

// ---- Blanking the location in memory ----

namespace {

const QByteArray kJpegExif("Exif\0\0", 6);
const QByteArray kJpegXmp("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray kJpegXmpExtension("http://ns.adobe.com/xmp/extension/\0", 35);
const QByteArray kPhotoshop("Photoshop 3.0\0", 14);

void Need(const QByteArray& b, qint64 at, qint64 length, const char* what) {
    if (at < 0 || length < 0 || at > b.size() || length > b.size() - at)
        throw EMetaStructure(std::string(what) + " runs past the end of the file");
}

TMetaBlock Block(QByteArray& b, qsizetype at, qsizetype length) {
    return {b.data() + at, length};
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

// The EXIF, XMP and IPTC segments of a JPEG's markers from at up to its first scan; where the scan begins.
qsizetype CleanJpegHeader(QByteArray& b, qsizetype at, int depth, bool& changed) {
    for (; at + 4 <= b.size();) {
        const std::optional<TJpegSegment> s = JpegSegmentAt(b, at);
        if (!s)
            throw EMetaStructure("a JPEG marker is missing");
        if (s->Marker == 0xDA || s->Marker == 0xD9)
            return at;
        if (s->Length < 0 || s->Next() > b.size())
            throw EMetaStructure("a JPEG segment runs past the end of the file");
        const qsizetype data = s->Data, length = s->Length;
        const QByteArrayView segment(b.constData() + data, length);
        if (s->Marker == 0xE1 && segment.startsWith(kJpegExif)) {
            changed = BlankExifLocation(Block(b, data + 6, length - 6), depth) || changed;
        } else if (s->Marker == 0xE1 && segment.startsWith(kJpegXmp)) {
            changed = BlankXmpLocation(Block(b, data + kJpegXmp.size(), length - kJpegXmp.size())) || changed;
        } else if (s->Marker == 0xED && segment.startsWith(kPhotoshop)) {
            changed = CleanPhotoshop(b, data + kPhotoshop.size(), data + length) || changed;
        } else if (s->Marker == 0xE1 && segment.startsWith(kJpegXmpExtension)) {
            // A packet in pieces: a location in it would be cut across pieces, so it is refused rather than
            // looked for piece by piece. The tokens cannot occur in the base64 data such packets carry.
            for (const char* token : {":GPS", ":Location", ":City", ":Country"})
                if (segment.indexOf(QByteArrayView(token)) >= 0)
                    throw EMetaStructure("its extended XMP holds location fields");
        }
        at = s->Next();
    }
    return b.size();
}

} // namespace

// The main picture's header, then the EXIF, XMP and IPTC segments of the pictures a phone appends after it (a
// multi-picture file's previews and depth maps, each a JPEG with metadata of its own). Inside a scan 0xFF is
// always followed by 0, a restart or the end, so an APP1 marker after the first scan is such a segment.
bool BlankJpegLocation(QByteArray& b, int depth) {
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
                changed = BlankExifLocation(Block(b, at + 10, length - 6), depth) || changed;
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
