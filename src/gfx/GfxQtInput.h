// What Qt's readers of PNG, GIF, WebP and TIFF get to see, and what is checked before they see it: the sizes
// from the headers, only the parts of a file that make its pixels, and whether its data are all there
// (internal to the picture unit).
#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QIODevice>
#include <QSize>
#include <QString>

#include "gfx/GfxFormat.h"

// A PNG chunk: where it starts, its type, and where its data start and how long they are.
struct TPngChunk {
    qint64 At;
    QByteArray Type;
    qint64 Data;
    qint64 Length;
    qint64 Next() const { return Data + Length + 4; }
};
// The chunk at `at` (the first after the 8-byte signature) as its length and type say; nothing when they
// cannot be read. Its data and check sum may run past the end of the file.
std::optional<TPngChunk> PngChunkAt(THeaderReader& reader, qint64 at);

// A PNG's size from its IHDR chunk, as the PNG library takes it (within its limit of a million a side).
std::optional<QSize> PngHeaderSize(THeaderReader& reader);
// The PNG file as a stream of the chunks that make its pixels: critical chunks and tRNS, and the first of the
// colour chunks (gAMA, cHRM, sRGB, iCCP). Text, EXIF and every other ancillary chunk are skipped unread, and
// nothing after IEND is read, so that compressed text cannot inflate to gigabytes. Of a PNG inside another
// file: the one that starts at `start` and takes at most `length` bytes.
std::unique_ptr<QIODevice> PngPixelStream(QIODevice& file, qint64 start = 0, qint64 length = -1);

// A GIF's size: its logical screen, which its first frame is drawn onto.
std::optional<QSize> GifScreenSize(THeaderReader& reader);
// Why the GIF's first frame cannot be whole ("it is cut short"), or "" (GfxGifBlocks.cpp).
QString GifCutShort(THeaderReader& reader);
// Why the first page of a TIFF cannot be whole: the strips or tiles that lie past the end of the file, or "".
QString TiffCutShort(THeaderReader& reader);

// A WebP's size from its first chunk (the extended header's canvas, or the lossy or lossless frame's), as
// the WebP library takes it, without reading further: an animation's frames are not scanned.
std::optional<QSize> WebpHeaderSize(THeaderReader& reader);
// A WebP file as its RIFF header bounds it, with only the chunks of its picture (VP8X, VP8, VP8L, ALPH, ANIM,
// ANMF): metadata and data after the RIFF are not read. Empty with a refusal set when more than `limit`
// bytes would remain.
QByteArray WebpPictureChunks(QIODevice& file, qint64 limit, QString& refusal);
