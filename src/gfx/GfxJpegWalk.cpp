// The marker walk: segments read one by one, entropy-coded data searched for the marker that ends them, the
// file read in blocks so that neither trailing data nor metadata are held in memory.
#include "gfx/GfxJpegWalk.h"

#include <cstring>

#include "gfx/GfxError.h"
#include "gfx/GfxExif.h"
#include "gfx/GfxFormat.h"

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
