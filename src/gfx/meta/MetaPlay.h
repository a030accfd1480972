// Plays metafile records onto a device context; the entry points below work on bytes in memory.
#pragma once

#include <QByteArray>
#include <QImage>

#include "gfx/meta/MetaDC.h"

// Each throws TMetaError when the records cannot be read at all.
void PlayWmf(TByteView bytes, const TMetaHeader& header, TMetaDC& dc);
void PlayEmf(TByteView bytes, const TMetaHeader& header, TMetaDC& dc);

// The whole picture: white ground, records drawn, QImage::Format_BGR888. Throws TMetaError.
QImage DecodeMetafile(const QByteArray& bytes, qint64 maxPixels);
