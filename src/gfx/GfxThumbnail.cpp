// The thumbnail renderer: its pipeline from the source picture and the background tile to the thumbnail.
#include "gfx/GfxPic.h"

#include <algorithm>

TGfxThumbnail::TGfxThumbnail() = default;

TGfxThumbnail::~TGfxThumbnail() = default;

void TGfxThumbnail::TileBackground() {
    TilePicture(FBackground, FBkgWork, FSettings.ThumbWidth, FSettings.ThumbHeight);
}

// The order matters for what the thumbnail shows: the picture bevel is cut by the mask, the thumbnail
// bevel lies under the shadow, and the result is written only at the end, so that after an error the
// previous thumbnail stays.
void TGfxThumbnail::Render() {
    if (!FSource.HasImage())
        throw EGfxException(QStringLiteral("No source image assigned"));
    const QSize fitted = FSettings.FitPicture(FSource.Width(), FSource.Height());
    ResizePicture(fitted.width(), fitted.height(), FSource, FPicWork);
    RenderPicWork();
}

void TGfxThumbnail::RenderFitted(const TGfxBaseIm& fitted) {
    FPicWork.AssignPicture(fitted);
    RenderPicWork();
}

void TGfxThumbnail::RenderPicWork() {
    if (!FBackground.HasImage())
        throw EGfxException(QStringLiteral("No background image assigned"));
    TileBackground();
    ApplyBevel(FBkgWork, FSettings.ThumbBevel);
    // Transparent pixels show the thumbnail's own ground, where the picture lies on it.
    FPicWork.LayOver(FBkgWork.Bitmap(), std::max(0, (FBkgWork.Width() - FPicWork.Width()) / 2),
                     std::max(0, (FBkgWork.Height() - FPicWork.Height()) / 2));
    ApplyBevel(FPicWork, FSettings.PicBevel);
    MakeMask(FMaskWork, FSettings.MaskStyle, FPicWork.Width(), FPicWork.Height());
    FeatherMask(FMaskWork, FFeatherWork, FSettings.MaskSize);
    CastShadow(FBkgWork, FMaskWork, FSettings.ShadowIntensity, FSettings.ShadowDistance, FSettings.ShadowSize, FPicWork.Width(),
               FPicWork.Height(), FShadowWork);
    ComposeThumbnail(FPicWork, FShadowWork, FFeatherWork, *this);
}
