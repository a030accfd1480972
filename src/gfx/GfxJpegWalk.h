// One walk over a JPEG file's markers, for both measuring and loading, so that the two agree on the size and
// the orientation; loading also counts the scans and keeps only the bytes the decoder needs (internal).
#pragma once

#include <optional>

#include <QByteArray>
#include <QIODevice>
#include <QSize>
#include <QString>

// A progressive file may hold thousands of valid scans, each a pass over the whole picture. Real files have
// at most a few dozen; past this many the file is refused, as libjpeg-turbo advises for files from anywhere.
inline constexpr int kMaxJpegScans = 500;
// And the work of a progressive file, its scans times its pixels, is bounded: a 12-megapixel photo has about
// 10 scans (120 million); this allows 20 scans at the 100-megapixel limit (each scan costs about 0.02 s per
// 10 megapixels, a third of a full decoding) and 166 at 12 megapixels.
inline constexpr long long kMaxJpegScanPixels = 2'000'000'000;

struct TJpegWalk {
    // The first frame header's width and height; empty when there is none before the first scan.
    QSize Stored;
    // Whether that frame is one the decoder reads, with 8-bit samples and 1, 3 or 4 components.
    bool FrameDecodable = false;
    bool Progressive = false;
    // Of the first EXIF segment before the first scan (as the decoder reads markers up to there); 1 without.
    int Orientation = 1;
    int Scans = 0;
    // With a whole walk: the picture from its start to its end marker (or the end of the file) without the
    // segments the decoder ignores (comments, EXIF, other application data); anything after the end marker
    // is not read.
    QByteArray Data;
    // Why the picture is refused before decoding (too many scans, too much work, too much data); "" when not.
    QString Refusal;
};

// Walks from the device's start. wholePicture false stops at the first scan (a measure: Data stays empty).
TJpegWalk WalkJpeg(QIODevice& device, bool wholePicture);

// The upright size the walk's header gives, or nothing when the header is doubtful (the decoder decides).
std::optional<QSize> UprightJpegSize(const TJpegWalk& walk);

// A marker segment of a JPEG in memory: its marker, where its data (after the length) start and how long they
// are, negative when the length is wrong. A fill byte (marker 0xFF), a restart and the temporary marker have
// no length and no data.
struct TJpegSegment {
    int Marker;
    qsizetype Data;
    qsizetype Length;
    qsizetype Next() const { return Data + Length; }
};
// The segment whose marker starts at `at`; nothing when no marker stands there or fewer than 4 bytes are
// left. Its data may run past the end of the bytes.
std::optional<TJpegSegment> JpegSegmentAt(QByteArrayView bytes, qsizetype at);
