// Device-independent bitmaps embedded in metafile records.
#pragma once

#include <QImage>

#include "gfx/meta/MetaBytes.h"

struct TDib {
    QImage Image;          // top row first, 32-bit opaque; null when the bitmap cannot be read
    bool BottomUp = false; // rows were stored from the bottom: source rectangles count from there
};

// Width x height as the header declares them (the work and memory decoding takes), 0 when unreadable.
qint64 DibPixels(TByteView info);

// The header and colour table (info) and the pixel data (bits) apart, as EMF records hold them.
// usage 1 (palette indexes into a logical palette) is not supported and gives a null picture.
TDib DecodeDib(TByteView info, TByteView bits, quint32 usage);
// A packed DIB, as WMF records hold it: the pixel data follow the header and colour table.
TDib DecodePackedDib(TByteView dib, quint32 usage);
