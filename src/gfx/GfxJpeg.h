// JPEG decoding and encoding through libjpeg (internal to the picture unit).
#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes one JPEG held in memory: first its header (size, checked against the picture size limit), then
// its pixels, all of them or only the rows a nearest-pixel stretch samples. Every JPEG kind libjpeg decodes
// (baseline, progressive, arithmetic, grey, CMYK, YCCK) ends as 24-bit blue-green-red. Errors are
// EGfxException naming the file; libjpeg never exits and nothing leaks.
class TJpegReader {
public:
    // data is shared, not copied, and must not change while the reader lives.
    TJpegReader(const QString& fileName, const QByteArray& data);
    ~TJpegReader();
    TJpegReader(const TJpegReader&) = delete;
    TJpegReader& operator=(const TJpegReader&) = delete;

    // Parses the markers up to the first scan. Throws for a broken header or a picture above the limit.
    void ReadHeader();
    int Width() const;
    int Height() const;

    // True when skipping rows gives exactly the pixels of a full decode, so that ReadStretched equals
    // ReadPixels followed by the stretch. libjpeg skips exactly where every colour channel is upsampled
    // vertically by 1, or by 2 together with 1 or 2 horizontally (its smoothing upsamplers); its plain
    // replicating upsampler loses the rows in between when skipping.
    bool SkipsExactly() const;

    // Decodes at eighths / 8 of the size (1 to 8) through libjpeg's scaled inverse DCT, which makes the
    // smaller picture from the coefficients, far cheaper than decoding it whole. Call after ReadHeader and
    // before ReadPixels; the stretches take no scale.
    void SetScale(int eighths);
    // The size ReadPixels makes: Width() x Height() scaled.
    int OutputWidth() const;
    int OutputHeight() const;

    // Decodes every row into dest, which must be OutputWidth() x OutputHeight(), Format_BGR888. Call once,
    // after ReadHeader. A truncated or corrupt scan is an error, not a grey-filled picture.
    void ReadPixels(QImage& dest);

    // The nearest-pixel stretch (as StretchBitmap) of the whole picture onto dest, which has its size and
    // Format_BGR888 already. Only the sampled rows are decoded into pixels; the others are skipped, but
    // their data is still read through to the end, so a damaged file fails exactly as with ReadPixels.
    // Call once, after ReadHeader.
    void ReadStretched(QImage& dest);
    // As ReadStretched, with dest's row y taken from source row rows[y] (never decreasing) and its column x
    // from source column columns[x].
    void ReadSampled(QImage& dest, const std::vector<int>& rows, const std::vector<int>& columns);

private:
    struct TState;
    [[noreturn]] void Fail() const;

    QString FFileName;
    std::unique_ptr<TState> FState;
};

// The JPEG file's bytes for a Format_BGR888 picture: baseline, colour, the given quality (clamped to 1..100).
// Throws EGfxException naming fileName, which is used only for messages.
QByteArray EncodeJpeg(const QImage& picture, int quality, const QString& fileName);
