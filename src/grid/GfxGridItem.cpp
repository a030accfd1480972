// A grid cell's picture: the preview bitmap with the picture's stored size and file size.
#include "grid/GfxGrid.h"

#include "gfx/GfxMeasure.h"
#include "html/HtmlTags.h"

void TGfxGridItem::LoadPicture(const QString& name) {
    const bool loads = !name.isEmpty() && name != FileName();
    TGfxBaseIm::LoadPicture(name);
    int width = 0;
    int height = 0;
    int size = 0;
    // The picture just loaded gives the size a header cannot (PNG, HEIC, ...): it is not decoded again.
    const QString refusal = MeasurePictureFile(
        name, width, height, size, loads ? std::optional(QSize(Width(), Height())) : std::nullopt);
    if (!refusal.isEmpty())
        throw EGfxHtmlException(refusal);
    SetPictureInfo(width, height, size);
}

void TGfxGridItem::SetPictureInfo(int imageWidth, int imageHeight, int fileSize) {
    FImageWidth = imageWidth;
    FImageHeight = imageHeight;
    FFileSize = fileSize;
}
