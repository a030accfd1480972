// A JPEG loaded but not decoded, and what a picture holder keeps while one waits (internal).
#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class TJpegReader;

// A JPEG file read into memory with its header checked. Every decoding works from these bytes, never from
// the file again, so a file changed on disk meanwhile cannot mix into the picture.
//
// Its pixels and size are those of the upright picture: its EXIF orientation is applied.
//
// Its contract: Stretched(w, h) gives exactly the pixels of Decode() followed by the nearest-pixel stretch
// (StretchBitmap), and fails exactly where Decode() fails, naming the file. Where libjpeg can skip rows
// exactly it decodes only the sampled rows, which for a thumbnail of a photograph is most of the work
// saved; elsewhere it decodes everything and stretches.
class TJpegSource {
public:
    // Reads the file and its header. Throws EGfxException naming the file.
    explicit TJpegSource(const QString& fileName);

    const QString& FileName() const { return FFileName; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    // Every pixel, in a new bitmap.
    QImage Decode() const;
    // The picture decoded at the smallest of libjpeg's scales (eighths of the size) that is not below
    // w x h (upright), in a new bitmap: Decode() when no scale is that large.
    QImage DecodeAtLeast(int w, int h) const;
    // The w x h nearest-pixel stretch (both above 0), in a new bitmap.
    QImage Stretched(int w, int h) const;
    // The stretches to each of the sizes (all above 0) from one pass over the data: the rows any of them
    // samples are decoded once. Each equals Stretched of its size.
    std::vector<QImage> Stretched(const std::vector<QSize>& sizes) const;
    // Reads the data through to its end without making pixels: throws where Decode would.
    void Verify() const;

private:
    // Decodes the stored rows the dests sample (their union) and picks each dest's pixels from them.
    void StretchSampled(TJpegReader& reader, std::vector<QImage>& dests) const;

    QString FFileName;
    QByteArray FData;
    int FWidth = 0;
    int FHeight = 0;
    int FOrientation = 1;
};

// What a holder keeps of a loaded JPEG whose pixels wait: the source, and until that has decoded once
// without error, what its load replaced (a waiting source or none, and the FileName), to go back to when
// it turns out damaged. The replaced pixels themselves stay in the holder's bitmap meanwhile.
class TWaitingJpeg {
public:
    bool Waiting() const { return FSource != nullptr; }
    const TJpegSource& Source() const { return *FSource; }
    // True while the waiting source has not decoded once without error.
    bool Unproved() const { return FSource != nullptr && !FProved; }

    // source replaces the content whose FileName is replacedName, a waiting source included. Only one
    // content is kept to go back to: call once the waiting source is proved or failed.
    void Load(std::shared_ptr<const TJpegSource> source, const QString& replacedName);
    // The waiting source decoded without error: nothing is left to go back to.
    void Proved();
    // The waiting source turned out damaged: back to what it replaced. Returns the FileName to restore.
    QString Failed();
    // Nothing waits any more (decoded, or replaced by other content).
    void Clear();

private:
    std::shared_ptr<const TJpegSource> FSource;
    std::shared_ptr<const TJpegSource> FBefore;
    QString FNameBefore;
    bool FProved = false;
};
