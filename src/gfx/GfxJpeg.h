// JPEG decoding and encoding through libjpeg (internal to the picture unit).
#pragma once

#include <memory>

#include <QByteArray>
#include <QImage>
#include <QString>

// A JPEG file read into memory with its header checked: what a holder keeps of a JPEG until its pixels are
// needed. Every decoding works from these bytes, never from the file again, so a file changed on disk
// meanwhile cannot mix into the picture.
struct TJpegFile {
    QString FileName; // for messages
    QByteArray Data;
    int Width = 0;
    int Height = 0;
};

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

    // Decodes every row into dest, which must be Width() x Height(), Format_BGR888. Call once, after
    // ReadHeader. A truncated or corrupt scan is an error, not a grey-filled picture.
    void ReadPixels(QImage& dest);

    // The nearest-pixel stretch (as ResizePicture) of the whole picture onto dest, which has its size and
    // Format_BGR888 already. Only the sampled rows are decoded into pixels; the others are skipped, but
    // their data is still read through to the end, so a damaged file fails exactly as with ReadPixels.
    // Call once, after ReadHeader.
    void ReadStretched(QImage& dest);

private:
    struct TState;
    [[noreturn]] void Fail() const;

    QString FFileName;
    std::unique_ptr<TState> FState;
};

// Reads a JPEG file and its header. Throws EGfxException naming the file.
std::shared_ptr<const TJpegFile> ReadJpegFile(const QString& fileName);

// Every pixel of the picture, in a new bitmap.
QImage DecodeJpeg(const TJpegFile& file);

// The w x h nearest-pixel stretch of the picture, decoding only the rows it samples: the same pixels as
// DecodeJpeg followed by ResizePicture, and the same errors.
QImage DecodeJpegStretched(const TJpegFile& file, int w, int h);

// Header, then a fresh bitmap of the picture's size, then the pixels.
QImage LoadJpegFile(const QString& fileName);

// The JPEG file's bytes for a Format_BGR888 picture: baseline, colour, the given quality (clamped to 1..100).
// Throws EGfxException naming fileName, which is used only for messages.
QByteArray EncodeJpeg(const QImage& picture, int quality, const QString& fileName);
