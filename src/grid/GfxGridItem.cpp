// A grid cell's picture: the preview bitmap with the picture's stored size and file size.
#include "grid/GfxGrid.h"

#include "html/HtmlTags.h"

void TGfxGridItem::LoadPicture(const QString& name) {
    TGfxBaseIm::LoadPicture(name);
    int width = 0;
    int height = 0;
    int size = 0;
    GetPictureInfo(name, width, height, size);
    SetPictureInfo(width, height, size);
}

void TGfxGridItem::SetPictureInfo(int imageWidth, int imageHeight, int fileSize) {
    FImageWidth = imageWidth;
    FImageHeight = imageHeight;
    FFileSize = fileSize;
}
