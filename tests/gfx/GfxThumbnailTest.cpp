// The renderer's pipeline (where the picture lands, its errors) and the converter's thumbnail files.
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "support/TestSupport.h"

namespace {

const TBgr kRed{0, 0, 200};
const TBgr kGround = Grey(160);

class Render : public testing::Test {
protected:
    TGfxThumbnail FThumb;
    void SetUp() override { MakeSolid(FThumb.Background(), 100, 100, kGround); }
    void SetSource(int w, int h) { MakeSolid(FThumb.Source(), w, h, kRed); }

    // The picture's rectangle: where the thumbnail shows the source colour.
    QRect PictureRect() const {
        QRect r;
        for (int y = 0; y < FThumb.Height(); ++y)
            for (int x = 0; x < FThumb.Width(); ++x) {
                const TBgr p = Px(FThumb, x, y);
                if (p == kRed)
                    r |= QRect(x, y, 1, 1);
                else if (p != kGround)
                    ADD_FAILURE() << "neither picture nor ground at " << x << ", " << y;
            }
        return r;
    }
};

// Transparent pixels show the thumbnail's ground, not white; opaque ones stay as they are. The PNG's
// alpha falls from 255 in its left column to 0 in its right one; it lies at (10, 19), 130 x 81.
TEST_F(Render, TransparentPixelsShowTheGround) {
    FThumb.Source().LoadPicture(TestData("gfx/valid/kind_alpha_gradient.png"));
    FThumb.Render();
    TGfxThumbnail onWhite;
    MakeSolid(onWhite.Background(), 100, 100, Grey(255));
    onWhite.Source().AssignPicture(FThumb.Source());
    onWhite.Render();
    const auto near = [](const TBgr& a, const TBgr& b) {
        return std::abs(a[0] - b[0]) <= 2 && std::abs(a[1] - b[1]) <= 2 && std::abs(a[2] - b[2]) <= 2;
    };
    EXPECT_TRUE(near(Px(FThumb, 139, 59), kGround)); // all but clear
    EXPECT_TRUE(near(Px(onWhite, 139, 59), Grey(255)));
    EXPECT_TRUE(near(Px(FThumb, 10, 59), Px(onWhite, 10, 59))); // all but opaque
    EXPECT_LT(Px(FThumb, 100, 59)[1] + 20, Px(onWhite, 100, 59)[1]);
}

struct TPlacement {
    int SrcW, SrcH, PicW, PicH;
    QRect Expected;
};

class Placement : public Render, public testing::WithParamInterface<TPlacement> {};

// Defaults: 150 x 120 thumbnail, picture box 130 x 100, no effects; the picture drawn opaque, centred.
TEST_P(Placement, PictureLiesWhereItsFittedSizeCentresIt) {
    const TPlacement& c = GetParam();
    SetSource(c.SrcW, c.SrcH);
    TGfxThumbSettings settings = FThumb.Settings();
    settings.PicWidth = c.PicW;
    settings.PicHeight = c.PicH;
    FThumb.SetSettings(settings);
    FThumb.Render();
    EXPECT_EQ(FThumb.Width(), 150);
    EXPECT_EQ(FThumb.Height(), 120);
    EXPECT_EQ(PictureRect(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Placement,
                         testing::Values(TPlacement{800, 600, 130, 100, QRect(10, 11, 130, 98)},
                                         TPlacement{600, 800, 130, 100, QRect(37, 10, 75, 100)},
                                         // 500 x 375: larger than the thumbnail, at (0, 0) and cut off
                                         TPlacement{800, 600, 500, 500, QRect(0, 0, 150, 120)}));

TEST_F(Render, BackgroundIsTiledNotStretched) {
    TGfxBaseIm& tile = FThumb.Background();
    MakeSolid(tile, 100, 100, kGround);
    tile.Bitmap().scanLine(0)[0] = 9; // a mark at the tile's corner
    SetSource(10, 10);
    TGfxThumbSettings settings = FThumb.Settings();
    settings.PicWidth = 1;
    settings.PicHeight = 1;
    FThumb.SetSettings(settings);
    FThumb.Render();
    EXPECT_EQ(Px(FThumb, 0, 0)[0], 9);
    EXPECT_EQ(Px(FThumb, 100, 100)[0], 9);
    EXPECT_EQ(Px(FThumb, 100, 0)[0], 9);
    EXPECT_EQ(Px(FThumb, 1, 1), kGround);
}

// A rectangular shadow of the picture's size, 5 pixels right and down, with the picture opaque over it.
TEST_F(Render, ShadowWithoutMask) {
    SetSource(800, 600);
    TGfxThumbSettings settings = FThumb.Settings();
    settings.ShadowDistance = 5;
    settings.ShadowIntensity = 50;
    FThumb.SetSettings(settings);
    FThumb.Render();
    EXPECT_EQ(Px(FThumb, 139, 108), kRed) << "the picture covers its own shadow";
    EXPECT_EQ(Px(FThumb, 140, 112), Grey(32)) << "160 - 128";
    EXPECT_EQ(Px(FThumb, 15, 111), Grey(160)) << "the rectangle's frame: 160 passes ClampByte unchanged";
    EXPECT_EQ(Px(FThumb, 144, 113), Grey(160)) << "the frame's far corner";
    EXPECT_EQ(Px(FThumb, 145, 114), Grey(160)) << "beyond the shadow";
}

class NoShadow : public Render, public testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(NoShadow, WhateverItsSize) {
    SetSource(800, 600);
    TGfxThumbSettings settings = FThumb.Settings();
    settings.ShadowDistance = GetParam().first;
    settings.ShadowIntensity = static_cast<std::uint8_t>(GetParam().second);
    settings.ShadowSize = 30;
    FThumb.SetSettings(settings);
    FThumb.Render();
    EXPECT_EQ(PictureRect(), QRect(10, 11, 130, 98));
}

INSTANTIATE_TEST_SUITE_P(Settings, NoShadow, testing::Values(std::pair{0, 50}, std::pair{5, 0}));

// Every effect at once: the bevels and the mask's fading show, and nothing reaches outside the thumbnail.
// The whole thumbnail is compared with a pinned render (see the data folder's README), so that a change in
// any effect's size or order shows.
TEST_F(Render, AllEffectsTogether) {
    SetSource(640, 480);
    TGfxThumbSettings settings = FThumb.Settings();
    settings.ThumbBevel.Style = gbRaised;
    settings.ThumbBevel.Size = 4;
    settings.ThumbBevel.Intensity = 30;
    settings.PicBevel.Style = gbLowered;
    settings.PicBevel.Size = 3;
    settings.PicBevel.Intensity = 20;
    settings.MaskStyle = gmEllipse;
    settings.MaskSize = 6;
    settings.ShadowDistance = 4;
    settings.ShadowSize = 5;
    settings.ShadowIntensity = 60;
    FThumb.SetSettings(settings);
    FThumb.Render();
    EXPECT_EQ(Px(FThumb, 75, 60), kRed) << "the middle of the picture is opaque";
    EXPECT_EQ(Px(FThumb, 1, 0), Grey(190)) << "raised thumbnail bevel";
    EXPECT_EQ(Px(FThumb, 10, 11), kGround) << "the ellipse leaves the picture's corner to the ground";
    EXPECT_EQ(Px(FThumb, 149, 60), Grey(130)) << "dark band of the thumbnail bevel";
    TGfxBaseIm reference;
    reference.AssignPicture(QImage(TestData("gfx/render/all_effects_150x120.png")));
    ASSERT_TRUE(reference.HasImage());
    EXPECT_EQ(FirstPixelDifference(reference, FThumb), QString());
}

// Settings come from the panel's controls, but also from stored profiles: values outside every range do no
// harm. An unknown bevel or mask style counts as none.
TEST_F(Render, SettingsOutOfRangeDoNoHarm) {
    SetSource(800, 600);
    TGfxThumbSettings settings = FThumb.Settings();
    settings.ThumbBevel.Style = static_cast<TGfxBevelStyle>(7);
    settings.ThumbBevel.Size = 3;
    settings.ThumbBevel.Intensity = 255;
    settings.MaskStyle = static_cast<TGfxMaskStyle>(9);
    settings.MaskSize = -5;
    settings.ShadowDistance = 2147483647;
    settings.ShadowSize = 1000;
    settings.ShadowIntensity = 255;
    FThumb.SetSettings(settings);
    FThumb.Render();
    EXPECT_EQ(PictureRect(), QRect(10, 11, 130, 98));
}

TEST_F(Render, MissingSourceIsReportedFirst) {
    FThumb.Background().Clear();
    try {
        FThumb.Render();
        FAIL() << "rendered";
    } catch (const EGfxException& e) {
        EXPECT_STREQ(e.what(), "No source image assigned");
    }
}

TEST_F(Render, MissingBackgroundKeepsThePreviousThumbnail) {
    SetSource(800, 600);
    FThumb.Render();
    TGfxBaseIm previous;
    previous.AssignPicture(FThumb);
    FThumb.Background().Clear();
    SetSource(600, 800);
    try {
        FThumb.Render();
        FAIL() << "rendered";
    } catch (const EGfxException& e) {
        EXPECT_STREQ(e.what(), "No background image assigned");
    }
    EXPECT_EQ(FirstPixelDifference(previous, FThumb), QString());
}

// The work pictures are kept between renders: nothing of the previous thumbnail shows in the next one,
// which equals the render of a fresh renderer.
TEST_F(Render, NothingOfThePreviousRenderRemains) {
    TGfxThumbSettings settings = FThumb.Settings();
    settings.MaskStyle = gmRoundRect;
    settings.MaskSize = 4;
    settings.ShadowDistance = 3;
    settings.ShadowSize = 2;
    settings.ShadowIntensity = 50;
    FThumb.SetSettings(settings);
    SetSource(800, 600);
    FThumb.Render();
    SetSource(600, 800);
    FThumb.Render();
    TGfxThumbnail fresh;
    MakeSolid(fresh.Background(), 100, 100, kGround);
    MakeSolid(fresh.Source(), 600, 800, kRed);
    fresh.SetSettings(settings);
    fresh.Render();
    EXPECT_EQ(FirstPixelDifference(fresh, FThumb), QString());
}

// The generation run's three steps for the cell pic_da.bmp: load, render, save under "vl_" + cell name.
TEST(BatchPicConverter, WritesTheCellsThumbnailAsJpeg) {
    TGfxBatchPicConverter converter;
    EXPECT_EQ(converter.ThumbPrefix(), QStringLiteral("vl_"));
    EXPECT_EQ(converter.JpegQuality(), 75);
    TTempDir dir;
    TGfxThumbnail& thumb = converter.Thumbnail();
    thumb.Background().LoadPicture(TestData("gfx/seeds/seed8.bmp"));
    thumb.Source().LoadPicture(TestData("gfx/valid/jpeg_baseline_420.jpg"));
    thumb.Render();
    const QString name = dir.File("vl_pic_da.bmp");
    thumb.SaveAsJpeg(name, converter.JpegQuality());

    ASSERT_TRUE(QFile::copy(name, dir.File("check.jpg")));
    TGfxBaseIm saved;
    saved.LoadPicture(dir.File("check.jpg"));
    EXPECT_EQ(saved.Width(), 150);
    EXPECT_EQ(saved.Height(), 120);
    EXPECT_TRUE(ReadBytes(name).contains(QByteArray("\xFF\xC0\x00\x11\x08\x00\x78\x00\x96\x03", 10)))
        << "baseline SOF0, 120 x 150, three components";
}

} // namespace
