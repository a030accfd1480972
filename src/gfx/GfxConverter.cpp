// The batch converter: owner of the program's one thumbnail renderer.
#include "gfx/GfxPic.h"

TGfxBatchPicConverter::TGfxBatchPicConverter() : FThumbPrefix(kThumbPrefix), FJpegQuality(75) {}

TGfxBatchPicConverter::~TGfxBatchPicConverter() = default;
