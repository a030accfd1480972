// JPEG decoding and encoding through libjpeg (internal to the picture unit).
#pragma once

#include <memory>

#include <QByteArray>
#include <QImage>
#include <QString>

// Reads one JPEG file: first its header (size, checked against the picture size limit), then its pixels.
// Every JPEG kind libjpeg decodes (baseline, progressive, arithmetic, grey, CMYK, YCCK) ends as 24-bit
// blue-green-red. Errors are EGfxException naming the file; libjpeg never exits and nothing leaks.
class TJpegReader {
public:
    // Reads the whole file into memory; throws when it cannot.
    explicit TJpegReader(const QString& fileName);
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

private:
    struct TState;
    [[noreturn]] void Fail() const;

    QString FFileName;
    std::unique_ptr<TState> FState;
};

// Header, then a fresh bitmap of the picture's size, then the pixels.
QImage LoadJpegFile(const QString& fileName);

// The JPEG file's bytes for a Format_BGR888 picture: baseline, colour, the given quality (clamped to 1..100).
// Throws EGfxException naming fileName, which is used only for messages.
QByteArray EncodeJpeg(const QImage& picture, int quality, const QString& fileName);
