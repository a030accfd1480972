// Metafile pictures (WMF and EMF): the natural size and a drawing of the records on a white bitmap.
#pragma once

#include <optional>

#include <QImage>
#include <QSize>
#include <QString>

#include "gfx/GfxError.h"

// Larger metafiles are refused unread.
inline constexpr qint64 kMaxMetaFileBytes = 256LL * 1024 * 1024;

// Decodes a WMF or EMF file (recognised by content) into a white 24-bit picture of its natural size at 96
// dpi. Text is drawn only when a QGuiApplication exists (fonts need one); without it text is left out.
QImage LoadMetafile(const QString& fileName); // QImage::Format_BGR888; throws EGfxException naming the file
// True when the first bytes of a file are those of a WMF (placeable or not) or an EMF.
bool IsMetafileContent(const QByteArray& head);
// The natural size only, from the header, without drawing.
QSize ReadMetafileSize(const QString& fileName); // throws EGfxException naming the file
// The natural size from a metafile's bytes; nothing when the header is broken or the picture too large.
std::optional<QSize> MeasureMetafile(const QByteArray& bytes);
