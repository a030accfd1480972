// The picture holder's rules and the fitting, stretching and tiling functions.
#include <QFile>

#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "support/TestSupport.h"

namespace {

struct TFitCase {
    int SrcW, SrcH, MaxW, MaxH, W, H;
};

std::ostream& operator<<(std::ostream& os, const TFitCase& c) {
    return os << c.SrcW << "x" << c.SrcH << " into " << c.MaxW << "x" << c.MaxH;
}

class FitSizeCase : public testing::TestWithParam<TFitCase> {};

TEST_P(FitSizeCase, TouchesTheBoxKeepingTheAspect) {
    const TFitCase& c = GetParam();
    EXPECT_EQ(FitSize(c.SrcW, c.SrcH, c.MaxW, c.MaxH), QSize(c.W, c.H));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitSizeCase,
    testing::Values(TFitCase{800, 600, 130, 100, 130, 98}, // 97.5 rounds to 98
                    TFitCase{600, 800, 130, 100, 75, 100}, TFitCase{100, 100, 130, 100, 100, 100},
                    TFitCase{40, 30, 130, 100, 130, 98}, // enlarged
                    TFitCase{1024, 768, 60, 60, 60, 45}, TFitCase{640, 480, 0, 0, 640, 480},
                    TFitCase{20, 17, 50, 100, 50, 42}, // 42.5 rounds to 42
                    // A picture so flat or narrow that it would round to nothing keeps one line.
                    TFitCase{1000, 1, 130, 100, 130, 1}, TFitCase{1, 1000, 130, 100, 1, 100}));

// A picture whose pixel (x, y) is (x, y, 7), to see where every pixel went.
void MakeCoordinates(TGfxBaseIm& image, int w, int h) {
    image.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.Bitmap().scanLine(y) + 3 * x;
            p[0] = static_cast<uchar>(x);
            p[1] = static_cast<uchar>(y);
            p[2] = 7;
        }
}

TEST(ResizePicture, EnlargingRepeatsEveryPixel) {
    TGfxBaseIm src;
    MakeCoordinates(src, 5, 4);
    TGfxBaseIm dest;
    ResizePicture(15, 8, src, dest);
    ASSERT_EQ(dest.Width(), 15);
    ASSERT_EQ(dest.Height(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 15; ++x)
            ASSERT_EQ(Px(dest, x, y), (TBgr{x / 3, y / 2, 7})) << x << ", " << y;
}

// Shrinking drops evenly spaced lines and never averages; the outermost lines survive, which keeps a
// mask's frame intact when the feathering shrinks it.
TEST(ResizePicture, ShrinkingDropsLinesEvenlyKeepingTheBorders) {
    TGfxBaseIm src;
    MakeCoordinates(src, 100, 60);
    TGfxBaseIm dest;
    ResizePicture(98, 29, src, dest);
    for (int y = 0; y < dest.Height(); ++y) {
        int last = -1;
        for (int x = 0; x < dest.Width(); ++x) {
            const TBgr p = Px(dest, x, y);
            ASSERT_GT(p[0], last) << "columns in order, none repeated";
            ASSERT_EQ(p[1], Px(dest, 0, y)[1]) << "one source row per row";
            last = p[0];
        }
    }
    EXPECT_EQ(Px(dest, 0, 0), (TBgr{0, 1, 7}));
    EXPECT_EQ(Px(dest, 97, 28)[0], 99);
    TGfxBaseIm narrow;
    ResizePicture(50, 30, src, narrow);
    EXPECT_EQ(Px(narrow, 0, 0)[0], 1);
    EXPECT_EQ(Px(narrow, 49, 0)[0], 99);
}

TEST(ResizePicture, OntoItself) {
    TGfxBaseIm image;
    MakeCoordinates(image, 4, 4);
    ResizePicture(8, 2, image, image);
    EXPECT_EQ(Px(image, 7, 1), (TBgr{3, 3, 7}));
}

// A 100 x 100 tile into 150 x 120: tiles at (0, 0), (100, 0), (0, 100) and (100, 100), cut at the edges.
TEST(TilePicture, TilesFromTheTopLeftCorner) {
    TGfxBaseIm tile;
    MakeCoordinates(tile, 100, 100);
    TGfxBaseIm dest;
    TilePicture(tile, dest, 150, 120);
    ASSERT_EQ(dest.Width(), 150);
    ASSERT_EQ(dest.Height(), 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 150; ++x)
            ASSERT_EQ(Px(dest, x, y), (TBgr{x % 100, y % 100, 7})) << x << ", " << y;
}

TEST(TilePicture, EmptyTileLeavesABlackGround) {
    TGfxBaseIm tile;
    TGfxBaseIm dest;
    TilePicture(tile, dest, 3, 2);
    ASSERT_EQ(dest.Width(), 3);
    EXPECT_EQ(Px(dest, 2, 1), Grey(0));
}

class Holder : public testing::Test {
protected:
    const QString FSeed = TestData("gfx/seeds/seed24.bmp");
    TGfxBaseIm FHolder;
};

TEST_F(Holder, LoadingAnEmptyNameChangesNothing) {
    FHolder.LoadPicture(FSeed);
    FHolder.SetFileName(QStringLiteral("kept"));
    FHolder.LoadPicture(QString());
    EXPECT_EQ(FHolder.Width(), 40);
    EXPECT_EQ(FHolder.FileName(), QStringLiteral("kept"));
}

TEST_F(Holder, LoadingEmptiesFileNameSoTheSameFileReloads) {
    FHolder.LoadPicture(FSeed);
    EXPECT_TRUE(FHolder.FileName().isEmpty());
    FHolder.Clear();
    FHolder.LoadPicture(FSeed);
    EXPECT_EQ(FHolder.Width(), 40);
}

// FileName is compared exactly: the same path is skipped, the path in another letter case is loaded.
TEST_F(Holder, FileNameSkipsExactlyThatPath) {
    TTempDir dir;
    ASSERT_TRUE(QFile::copy(FSeed, dir.File("pic.bmp")));
    ASSERT_TRUE(QFile::copy(TestData("gfx/valid/bmp_8bpp.bmp"), dir.File("PIC.bmp")));
    FHolder.SetFileName(dir.File("pic.bmp"));
    FHolder.LoadPicture(dir.File("pic.bmp"));
    EXPECT_FALSE(FHolder.HasImage());
    FHolder.LoadPicture(dir.File("PIC.bmp"));
    EXPECT_EQ(FHolder.Width(), 161);
}

TEST_F(Holder, AssigningAnEmptyPictureGivesAnEmptyHolder) {
    FHolder.LoadPicture(FSeed);
    FHolder.SetFileName(QStringLiteral("x.bmp"));
    TGfxBaseIm empty;
    FHolder.AssignPicture(empty);
    EXPECT_FALSE(FHolder.HasImage());
    EXPECT_EQ(FHolder.Width(), 0);
    EXPECT_TRUE(FHolder.FileName().isEmpty());
}

TEST_F(Holder, AssignedQImageBecomes24BitsOverWhite) {
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(10, 20, 30, 255));
    argb.setPixel(1, 0, qRgba(0, 0, 0, 0));
    FHolder.AssignPicture(argb);
    EXPECT_EQ(FHolder.Bitmap().format(), QImage::Format_BGR888);
    EXPECT_EQ(Px(FHolder, 0, 0), (TBgr{30, 20, 10}));
    EXPECT_EQ(Px(FHolder, 1, 0), Grey(255));
}

// The bitmap is kept, pixels and all, when its size does not change (rendering many thumbnails then does
// not allocate a new one each time); a new size starts black.
TEST_F(Holder, SetSizeKeepsTheBitmapOfTheSameSize) {
    MakeSolid(FHolder, 30, 20, Grey(77));
    FHolder.SetSize(30, 20);
    EXPECT_EQ(Px(FHolder, 29, 19), Grey(77));
    FHolder.SetSize(31, 20);
    EXPECT_EQ(Px(FHolder, 30, 19), Grey(0));
    FHolder.SetSize(0, 20);
    EXPECT_FALSE(FHolder.HasImage());
}

} // namespace
