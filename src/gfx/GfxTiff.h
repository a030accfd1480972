// The walker of a TIFF structure (a TIFF file, or the EXIF of a JPEG, PNG, WebP or HEIC): "II*\0" or
// "MM\0*", the first directory's offset, then directories of 12-byte entries (tag, type, count, the value or
// its offset), each ending in the next one's offset. Reading the orientation and the date taken, and
// blanking the location, go through it (internal to the picture unit).
#pragma once

#include <vector>

#include "gfx/GfxLocation.h"

// A TIFF structure's numbers in its byte order, every read checked against the block.
class TTiffReader {
public:
    // Raises EMetaStructure when the block holds no TIFF header.
    explicit TTiffReader(TMetaBlock tiff);

    bool Fits(qint64 at, qint64 length) const {
        return at >= 0 && length >= 0 && at <= FTiff.Size && length <= FTiff.Size - at;
    }
    // Raises EMetaStructure when the bytes do not lie inside the block.
    void Check(qint64 at, qint64 length) const;
    quint16 U16(qint64 at) const;
    quint32 U32(qint64 at) const;
    // The number of entries of the directory at offset, checked to lie whole inside the block.
    int Entries(qint64 at) const;
    // The offsets of the directories of the main chain and the EXIF directories they point to; a directory
    // that starts outside the block is read by no one and left out. Raises EMetaStructure when they loop.
    std::vector<qint64> Directories() const;
    TMetaBlock Block() const { return FTiff; }
    bool BigEndian() const { return FBig; }

private:
    TMetaBlock FTiff;
    bool FBig = false;
};

inline constexpr quint16 kTiffExifIfdTag = 0x8769;
inline constexpr quint16 kTiffOrientationTag = 0x0112;

// The offset of a directory entry.
inline qint64 TiffEntry(qint64 ifd, int index) {
    return ifd + 2 + 12 * qint64(index);
}

// A TIFF block that may start with the "Exif\0\0" some writers put before it (in a PNG's or WebP's EXIF).
inline TMetaBlock ExifBlock(QByteArray& b, qsizetype at, qsizetype length) {
    if (length >= 6 && QByteArrayView(b.constData() + at, 6) == QByteArrayView("Exif\0\0", 6))
        return {b.data() + at + 6, length - 6};
    return {b.data() + at, length};
}
