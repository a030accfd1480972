// Metafile pictures (wmf, emf): drawn by the metafile decoder.
#include "gfx/GfxDecode.h"
#include "gfx/meta/GfxMeta.h"

QImage LoadMetafilePicture(const QString& fileName) {
    return LoadMetafile(fileName);
}
