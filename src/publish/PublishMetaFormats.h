// The picture kinds whose metadata is cleaned for publishing, and the blanking of location in each.
#pragma once

#include <QByteArray>
#include <QList>

#include "publish/PublishMeta.h"
#include "publish/PublishMetaBlank.h"

enum class TPicKind { Other, Jpeg, Png, Webp, Tiff, Heif, Gif };

// The kind told by the bytes themselves, not the name.
TPicKind PicKindOf(const QByteArray& bytes);

// Blanks the location of a picture of that kind where it stands: EXIF GPS directories (those of a JPEG
// thumbnail inside the EXIF too) and XMP location fields. A PNG loses the text chunks that hold metadata it
// cannot clean in place (compressed XMP, EXIF as hexadecimal text). True when anything changed; raises
// EMetaStructure when the structure cannot be followed safely.
bool BlankLocation(QByteArray& bytes, TPicKind kind);

// A PNG without its text chunks and with an eXIf chunk that holds only the orientation (Exiv2 would add
// its own chunks beside the old ones).
bool PngOrientationOnly(QByteArray& bytes);

// Empties the GPS directories of a TIFF structure (BlankTiffGps) and cleans the JPEG thumbnails its
// directories hold, which may carry EXIF and XMP of their own. True when anything changed.
bool BlankExifLocation(TMetaBlock tiff);

// A GIF picture's XMP packets cleaned in place under rule (pmRemoveLocation: the location properties;
// pmOrientationOnly: the whole packet, a GIF has no orientation). A GIF without XMP is not read at all.
bool CleanGif(QByteArray& bytes, TPublishMeta rule);
// A GIF picture's XMP packets, for reading back.
QList<QByteArray> GifXmp(const QByteArray& bytes);

// A PNG as Exiv2 is given it to be read: without the compressed texts that hold no metadata (a comment, a
// title). They carry no location Exiv2 reads, and Exiv2 refuses the whole picture for one that inflates past
// 128 KiB; so they are never inflated here.
QByteArray PngWithoutPlainCompressedTexts(const QByteArray& bytes);

// A HEIF (HEIC) picture's EXIF and XMP items, found through its item table and cleaned in place under rule
// (pmRemoveLocation or pmOrientationOnly): nothing moves, so every offset of the file stays right.
bool CleanHeif(QByteArray& bytes, TPublishMeta rule);

// A HEIF picture's first EXIF item as a TIFF structure and its first XMP packet (empty when it has none):
// Exiv2 does not find every writer's items.
struct THeifMeta {
    QByteArray Tiff;
    QByteArray Xmp;
};
THeifMeta HeifMetadata(const QByteArray& bytes);

// The value of a TIFF structure's tag in its first directory as a block of the structure; {nullptr, 0}
// when it has none or the value lies outside.
TMetaBlock TiffTagValue(TMetaBlock tiff, quint16 tag);
