// The walker of a HEIF file's boxes: which brands are HEIF, how many tiles its primary picture's grid has
// (so that a grid asking for far more decoding than its picture needs is refused), and where its EXIF and
// XMP items lie, to blank them in place (internal).
#pragma once

#include <algorithm>

#include "gfx/GfxFormat.h"

// True when a file's first bytes are an ftyp box of a HEIF brand: still pictures coded in HEVC or AV1, and
// the general HEIF brands.
bool IsHeif(const QByteArray& head);

// The number of tiles (dimg references) of the primary item; 0 when it is no grid or the boxes are doubtful.
qint64 HeifGridTiles(THeaderReader& reader);

// A phone's 12-megapixel picture is a grid of 48 tiles of 512 x 512. Allowed: 64 tiles, or one for every
// 128 x 128 pixels of the picture (6,103 at the 100-megapixel limit), as each tile is a decoding of its own.
inline qint64 MaxGridTiles(qint64 w, qint64 h) {
    return std::max<qint64>(64, w * h / (128 * 128));
}
