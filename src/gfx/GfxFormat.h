// One interface per picture kind that both reads and measures, so that the loader and the measure follow
// one rule (internal to the picture unit).
#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QtEndian>

class TJpegSource;

// Numbers at a byte offset of header bytes already read (the reader has checked their length).
inline quint16 Le16(const QByteArray& b, int at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
inline quint32 Le32(const QByteArray& b, int at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
inline qint32 LeS32(const QByteArray& b, int at) {
    return qFromLittleEndian<qint32>(b.constData() + at);
}
inline quint16 Be16(const QByteArray& b, int at) {
    return qFromBigEndian<quint16>(b.constData() + at);
}
inline quint32 Be32(const QByteArray& b, int at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}

// Random access to the first bytes of a picture, refusing any read past its end.
class THeaderReader {
public:
    explicit THeaderReader(QIODevice& device) : FDevice(device), FSize(device.size()) {}

    qint64 Size() const { return FSize; }
    // For kinds whose own library reads the header.
    QIODevice& Device() const { return FDevice; }

    bool Read(qint64 offset, qint64 count, QByteArray& bytes) {
        if (offset < 0 || count < 0 || offset > FSize || count > FSize - offset || !FDevice.seek(offset))
            return false;
        bytes = FDevice.read(count);
        return bytes.size() == count;
    }

private:
    QIODevice& FDevice;
    qint64 FSize;
};

// A header reader over bytes in memory, for the walkers that read files and blank bytes alike. The bytes
// must outlive it and keep their size; they are read as they are when read.
struct TBytesDevice {
    explicit TBytesDevice(const QByteArray& bytes) : Buffer(const_cast<QByteArray*>(&bytes)) {
        Buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    QBuffer Buffer;
};
class TBytesReader : private TBytesDevice, public THeaderReader {
public:
    explicit TBytesReader(const QByteArray& bytes) : TBytesDevice(bytes), THeaderReader(Buffer) {}
};

// An opened picture file: a JPEG as its bytes with the header read (its pixels are decoded on demand),
// any other kind decoded into Format_BGR888.
struct TPictureFile {
    QImage Picture;
    std::shared_ptr<const TJpegSource> Jpeg;
    // Of a picture with transparent pixels, their opacity (Format_Alpha8, Picture's size; Picture holds them
    // laid over white); null for an opaque one.
    QImage Alpha = QImage();
};

// A picture kind. Read and Measure share the kind's rules (which icon entry, which size limit), so a size
// Measure gives is the size Read gives.
class TPictureFormat {
public:
    // The kind's file extensions, lower case, its usual one first.
    explicit TPictureFormat(QStringList extensions) : FExtensions(std::move(extensions)) {}
    virtual ~TPictureFormat() = default;

    const QStringList& Extensions() const { return FExtensions; }

    // True when a file's first bytes (kFormatHeadBytes, or the whole of a shorter file) are this kind's.
    virtual bool Recognises(const QByteArray& head) const = 0;

    // The size Read would give, from the header only. Nothing when anything in the header is doubtful:
    // reading the picture then decides.
    virtual std::optional<QSize> Measure(THeaderReader& reader) const = 0;

    // Opens the file as this kind. Throws EGfxException naming the file.
    virtual TPictureFile Read(const QString& fileName) const = 0;

private:
    QStringList FExtensions;
};

// Enough of a file's start to recognise every kind: the EMF signature lies at byte 40.
inline constexpr qint64 kFormatHeadBytes = 128;

const TPictureFormat& JpegFormat();
const TPictureFormat& BmpFormat();
const TPictureFormat& IcoFormat();
const TPictureFormat& MetafileFormat();
const TPictureFormat& PngFormat();
const TPictureFormat& GifFormat();
const TPictureFormat& WebpFormat();
const TPictureFormat& TiffFormat();
const TPictureFormat& HeifFormat();

// Every kind, in the order a file's first bytes are tried and the open dialog lists their extensions.
const std::vector<const TPictureFormat*>& PictureFormats();

// The kind named by a lower-case file extension, or null.
const TPictureFormat* FormatForExtension(const QString& ext);
// The kind whose signature the first bytes carry, or null.
const TPictureFormat* FormatForContent(const QByteArray& head);

// The kind's size rule: not empty and within the picture size limit.
std::optional<QSize> Decodable(qint64 width, qint64 height);
