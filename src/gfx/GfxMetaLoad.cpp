// Metafile pictures (wmf, emf): not decoded by this build, refused with a clear error.
#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"

QImage LoadMetafilePicture(const QString& fileName) {
    throw EGfxException(QStringLiteral("Cannot load %1: metafile pictures are not supported").arg(fileName));
}
