// Blanking the place a photo was taken where it stands, each picture kind by the walker that also reads it:
// EXIF GPS directories, XMP location properties and IPTC location datasets are overwritten in place, so no
// other byte or offset of the file moves (a PNG only loses whole text chunks). Every read is checked against
// the bytes; a structure that cannot be followed safely raises EMetaStructure, never reads past the bytes and
// never loops.
#pragma once

#include <stdexcept>
#include <vector>

#include <QByteArray>
#include <QList>

// Why a picture's metadata could not be followed; the caller names the file.
class EMetaStructure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A writable view of a block inside a picture's bytes.
struct TMetaBlock {
    char* Data;
    qsizetype Size;
};

enum class TPicKind { Other, Jpeg, Png, Webp, Tiff, Heif, Gif };

// The kind told by the bytes themselves (as the loader tells it), not the name.
TPicKind PicKindOf(const QByteArray& bytes);

// Blanks the location of a picture of that kind: EXIF GPS directories (those of a JPEG thumbnail inside the
// EXIF too), XMP location fields and IPTC location datasets. A PNG loses the text chunks that hold metadata
// it cannot clean in place (compressed XMP, EXIF as hexadecimal text). True when anything changed.
bool BlankLocation(QByteArray& bytes, TPicKind kind);

// ---- TIFF structures (GfxTiff.cpp) ----

// Empties the GPS directories of a TIFF structure (the entries and the values they point to become zeros,
// the count 0) and cleans the JPEG thumbnails its directories hold, which may carry EXIF and XMP of their
// own. depth counts the thumbnails this one lies in. True when anything changed.
bool BlankExifLocation(TMetaBlock tiff, int depth = 0);
// Rewrites a TIFF structure in place as a header and one directory with only the orientation entry (none
// when it had none), zeros after it. For blocks whose size must not change (a HEIC's EXIF item).
bool KeepTiffOrientationOnly(TMetaBlock tiff);
// The value of a TIFF structure's tag in its first directory as a block of the structure; {nullptr, 0}
// when it has none or the value lies outside.
TMetaBlock TiffTagValue(TMetaBlock tiff, quint16 tag);

// ---- XMP packets and IPTC-IIM blocks (GfxLocation.cpp) ----

// Overwrites with spaces every location property of an XMP packet: GPS* elements and attributes, the IPTC
// location structures and photoshop:City/State/Country.
bool BlankXmpLocation(TMetaBlock xmp);
// Overwrites an XMP packet with an empty one padded with spaces (spaces alone when it is too short).
bool EmptyXmp(TMetaBlock xmp);
// Zeros the values of the location datasets of an IPTC-IIM block.
bool BlankIptcLocation(TMetaBlock iim);
// Whether an IPTC-IIM dataset is one of those: record 2, datasets 26, 27, 90, 92, 95, 100, 101 (city,
// sub-location, province or state, country code and name, location code and name).
bool IsIptcLocation(int record, int dataset);

// ---- Per kind, beside the walker of each ----

// What BlankLocation does to each kind.
bool BlankTiffLocation(QByteArray& bytes);
bool BlankPngLocation(QByteArray& bytes);
bool BlankWebpLocation(QByteArray& bytes);

// A JPEG's EXIF, XMP and IPTC segments, of the main picture and of those appended after it (GfxJpegWalk.cpp).
bool BlankJpegLocation(QByteArray& bytes, int depth = 0);

// A PNG without its text chunks and with an eXIf chunk that holds only the orientation (GfxPngChunks.cpp).
bool PngOrientationOnly(QByteArray& bytes);
// A PNG as Exiv2 is given it to be read: without the compressed texts that hold no metadata (a comment, a
// title). They carry no location Exiv2 reads, and Exiv2 refuses the whole picture for one that inflates past
// 128 KiB; so they are never inflated here.
QByteArray PngWithoutPlainCompressedTexts(const QByteArray& bytes);

// A HEIF picture's EXIF and XMP items, found through its item table, blanked, or emptied but for the
// orientation (GfxHeifBoxes.cpp): nothing moves, so every offset of the file stays right.
bool CleanHeif(QByteArray& bytes, bool orientationOnly);
// A HEIF picture's first EXIF item as a TIFF structure and its first XMP packet (empty when it has none):
// Exiv2 does not find every writer's items.
struct THeifMeta {
    QByteArray Tiff;
    QByteArray Xmp;
};
THeifMeta HeifMetadata(const QByteArray& bytes);

// A GIF picture's XMP packets blanked, or emptied (a GIF has no orientation), and read back
// (GfxGifBlocks.cpp). A GIF without XMP is not read at all.
bool CleanGif(QByteArray& bytes, bool orientationOnly);
QList<QByteArray> GifXmp(const QByteArray& bytes);
