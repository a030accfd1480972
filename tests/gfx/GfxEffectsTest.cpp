// The pixel effects: bevel bands, masks, feathering, the shadow and the composition, against exact tables.
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "GfxTestUtil.h"

namespace {

using T = TGfxThumbnail;

// Every pixel's grey level, rows top to bottom; fails on a pixel that is not grey.
std::vector<std::vector<int>> GreyRows(const TGfxBaseIm& image) {
    std::vector<std::vector<int>> rows;
    for (int y = 0; y < image.Height(); ++y) {
        rows.emplace_back();
        for (int x = 0; x < image.Width(); ++x) {
            const TBgr p = Px(image, x, y);
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "not grey at " << x << ", " << y;
            rows.back().push_back(p[0]);
        }
    }
    return rows;
}

// The 10 x 8 table: light bands 3 wide at the top and left, dark bands 2 wide at the bottom and right,
// diagonals unchanged. L and D stand for grey 128 lightened and darkened by 40.
std::vector<std::vector<int>> BevelTable(int l, int d) {
    const int g = 128;
    return {{g, l, l, l, l, l, l, l, l, l}, {l, g, l, l, l, l, l, l, l, l}, {l, l, g, l, l, l, l, l, l, d},
            {l, l, l, g, g, g, g, g, d, d}, {l, l, l, g, g, g, g, g, d, d}, {l, l, l, g, g, g, g, g, d, d},
            {l, l, d, d, d, d, d, d, g, d}, {l, d, d, d, d, d, d, d, d, g}};
}

TEST(ApplyBevel, RaisedAndLoweredMatchTheTable) {
    TGfxBaseIm raised;
    MakeSolid(raised, 10, 8, Grey(128));
    T::ApplyBevel(raised, gbRaised, 40, 3);
    EXPECT_EQ(GreyRows(raised), BevelTable(168, 88));
    TGfxBaseIm lowered;
    MakeSolid(lowered, 10, 8, Grey(128));
    T::ApplyBevel(lowered, gbLowered, 40, 3);
    EXPECT_EQ(GreyRows(lowered), BevelTable(88, 168));
}

TEST(ApplyBevel, SizeOneChangesTheTopRowAndLeftColumnOnly) {
    TGfxBaseIm image;
    MakeSolid(image, 6, 5, Grey(100));
    T::ApplyBevel(image, gbRaised, 10, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const int expected = (x == 0 && y == 0) ? 100 : (x == 0 || y == 0) ? 110 : 100;
            ASSERT_EQ(Px(image, x, y), Grey(expected)) << x << ", " << y;
        }
}

// Every adjusted byte passes ClampByte: white lightened stays at 254.
TEST(ApplyBevel, LighteningWhiteGives254) {
    TGfxBaseIm image;
    MakeSolid(image, 10, 10, Grey(255));
    T::ApplyBevel(image, gbRaised, 30, 2);
    EXPECT_EQ(Px(image, 5, 0), Grey(254));
    EXPECT_EQ(Px(image, 5, 9), Grey(225));
    EXPECT_EQ(Px(image, 5, 5), Grey(255)) << "untouched";
}

TEST(ApplyBevel, BandsWiderThanThePictureStayInside) {
    TGfxBaseIm image;
    MakeSolid(image, 5, 4, Grey(128));
    T::ApplyBevel(image, gbRaised, 40, 50);
    EXPECT_EQ(image.Width(), 5);
    // Every row is a top row here, and each pixel lies in the left and the right ranges: (0, 0) is skipped
    // on the diagonal but lightened by the right range; (4, 3) is lightened, then darkened (4 + 3 > 5).
    EXPECT_EQ(Px(image, 0, 0), Grey(168));
    EXPECT_EQ(Px(image, 1, 0), Grey(208));
    EXPECT_EQ(Px(image, 4, 3), Grey(128));
}

struct TNoBevel {
    TGfxBevelStyle Style;
    int Intensity;
    int Size;
};

class NoBevel : public testing::TestWithParam<TNoBevel> {};

TEST_P(NoBevel, LeavesThePictureAlone) {
    TGfxBaseIm image;
    MakeSolid(image, 10, 8, Grey(128));
    T::ApplyBevel(image, GetParam().Style, static_cast<std::uint8_t>(GetParam().Intensity), GetParam().Size);
    EXPECT_EQ(GreyRows(image), std::vector<std::vector<int>>(8, std::vector<int>(10, 128)));
}

INSTANTIATE_TEST_SUITE_P(Settings, NoBevel,
                         testing::Values(TNoBevel{gbNone, 40, 3}, TNoBevel{gbRaised, 0, 3},
                                         TNoBevel{gbRaised, 40, 0}, TNoBevel{gbLowered, 40, -2}));

TEST(MakeMask, RectangleKeepsAOnePixelFrame) {
    TGfxBaseIm mask;
    T::MakeMask(mask, gmRectangle, 130, 98);
    ASSERT_EQ(mask.Width(), 130);
    ASSERT_EQ(mask.Height(), 98);
    const auto rows = GreyRows(mask);
    for (int y = 0; y < 98; ++y)
        for (int x = 0; x < 130; ++x) {
            const bool inside = x >= 1 && x <= 128 && y >= 1 && y <= 96;
            ASSERT_EQ(rows[y][x], inside ? 255 : 0) << x << ", " << y;
        }
}

TEST(MakeMask, NoneGivesNoMask) {
    TGfxBaseIm mask;
    T::MakeMask(mask, gmRectangle, 20, 20);
    T::MakeMask(mask, gmNone, 20, 20);
    EXPECT_FALSE(mask.HasImage());
}

class CurvedMask : public testing::TestWithParam<TGfxMaskStyle> {};

// The exact edge pixels are the rasteriser's; what holds is the hard two-level shape inside the frame,
// filled at the middle of each side and cut at the corners.
TEST_P(CurvedMask, HardShapeInsideTheFrame) {
    TGfxBaseIm mask;
    T::MakeMask(mask, GetParam(), 130, 98);
    const auto rows = GreyRows(mask);
    for (int y = 0; y < 98; ++y)
        for (int x = 0; x < 130; ++x) {
            ASSERT_TRUE(rows[y][x] == 0 || rows[y][x] == 255) << x << ", " << y;
            if (x == 0 || x == 129 || y == 0 || y == 97) {
                ASSERT_EQ(rows[y][x], 0) << "frame at " << x << ", " << y;
            }
        }
    EXPECT_EQ(rows[49][1], 255);
    EXPECT_EQ(rows[49][128], 255);
    EXPECT_EQ(rows[1][65], 255);
    EXPECT_EQ(rows[96][65], 255);
    EXPECT_EQ(rows[1][1], 0);
    EXPECT_EQ(rows[96][128], 0);
    // The rounded rectangle's corner is a quarter ellipse 43 x 32: its straight edges start beyond it.
    const bool round = GetParam() == gmRoundRect;
    EXPECT_EQ(rows[1][30], round ? 255 : 0);
    EXPECT_EQ(rows[49 - 30][1], round ? 255 : 0);
}

INSTANTIATE_TEST_SUITE_P(Styles, CurvedMask, testing::Values(gmRoundRect, gmEllipse));

// The feathered rectangle: rings one pixel wide, from the border inwards.
std::vector<int> FeatherRings(int size) {
    TGfxBaseIm mask;
    T::MakeMask(mask, gmRectangle, 130, 98);
    TGfxBaseIm feathered;
    T::FeatherMask(mask, feathered, size);
    const auto rows = GreyRows(feathered);
    std::vector<int> rings;
    for (int k = 1; k <= size + 1; ++k) {
        const int v = rows[49][k];
        EXPECT_EQ(rows[49][129 - k], v) << "right ring " << k;
        EXPECT_EQ(rows[k][65], v) << "top ring " << k;
        EXPECT_EQ(rows[97 - k][65], v) << "bottom ring " << k;
        EXPECT_EQ(rows[k][k], v) << "corner ring " << k;
        rings.push_back(v);
    }
    EXPECT_EQ(rows[49][0], 0);
    EXPECT_EQ(rows[0][65], 0);
    return rings;
}

TEST(FeatherMask, TenLevelsFromTheBorderInwards) {
    EXPECT_EQ(FeatherRings(10), (std::vector<int>{26, 51, 76, 102, 128, 153, 178, 204, 230, 255, 255}));
}

TEST(FeatherMask, SizeTwoGivesAnOuterRingOf128) {
    EXPECT_EQ(FeatherRings(2), (std::vector<int>{128, 255, 255}));
}

TEST(FeatherMask, SizesBelowTwoCopyTheMask) {
    TGfxBaseIm mask;
    T::MakeMask(mask, gmEllipse, 40, 30);
    for (const int size : {0, 1}) {
        TGfxBaseIm feathered;
        T::FeatherMask(mask, feathered, size);
        EXPECT_EQ(FirstPixelDifference(mask, feathered), QString()) << size;
    }
    TGfxBaseIm none;
    TGfxBaseIm feathered;
    T::FeatherMask(none, feathered, 5);
    EXPECT_FALSE(feathered.HasImage());
}

TEST(FeatherMask, SizeBeyondThePictureStaysInside) {
    TGfxBaseIm mask;
    T::MakeMask(mask, gmRectangle, 9, 7);
    TGfxBaseIm feathered;
    T::FeatherMask(mask, feathered, 100);
    EXPECT_EQ(feathered.Width(), 9);
    EXPECT_EQ(Px(feathered, 0, 0), Grey(0));
    EXPECT_EQ(Px(feathered, 1, 3), Grey(3)) << "Round(255 / 100)";
}

// A white 150 x 120 ground, the shadow of a 130 x 98 rectangle mask 5 pixels right and down: the mask's
// picture lies at (10, 11), its white inside from (11, 12), so the shadow covers x 16..143, y 17..112.
struct TShadowCase {
    int Intensity;
    int Covered;
};

class Shadow : public testing::TestWithParam<TShadowCase> {};

TEST_P(Shadow, DarkensTheShiftedMaskArea) {
    TGfxBaseIm bkg;
    MakeSolid(bkg, 150, 120, Grey(255));
    TGfxBaseIm mask;
    T::MakeMask(mask, gmRectangle, 130, 98);
    TGfxBaseIm dest;
    T::CastShadow(bkg, mask, static_cast<std::uint8_t>(GetParam().Intensity), 5, 0, 130, 98, dest);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 150; ++x) {
            const bool covered = x >= 16 && x <= 143 && y >= 17 && y <= 112;
            const bool inRect = x >= 15 && x <= 144 && y >= 16 && y <= 113; // through ClampByte
            const int expected = covered ? GetParam().Covered : inRect ? 254 : 255;
            ASSERT_EQ(Px(dest, x, y), Grey(expected)) << x << ", " << y;
        }
}

// 100 % turns the covered part black; 50 % subtracts 128 (127.5 rounds to even).
INSTANTIATE_TEST_SUITE_P(Intensities, Shadow, testing::Values(TShadowCase{100, 0}, TShadowCase{50, 127}));

TEST(CastShadowOff, DistanceOrIntensityZeroCopiesTheGround) {
    TGfxBaseIm bkg;
    MakeSolid(bkg, 50, 40, Grey(255));
    TGfxBaseIm mask;
    for (const auto& [intensity, distance] : {std::pair{0, 5}, std::pair{50, 0}}) {
        TGfxBaseIm dest;
        T::CastShadow(bkg, mask, static_cast<std::uint8_t>(intensity), distance, 7, 30, 20, dest);
        EXPECT_EQ(FirstPixelDifference(bkg, dest), QString()) << intensity << " " << distance;
    }
}

TEST(CastShadow, WithoutMaskFallsAsThePicturesRectangle) {
    TGfxBaseIm bkg;
    MakeSolid(bkg, 50, 40, Grey(200));
    TGfxBaseIm none;
    TGfxBaseIm dest;
    T::CastShadow(bkg, none, 100, 3, 0, 30, 20, dest);
    // picture at (10, 10), its rectangle's inside (11, 11)..(38, 28), moved by 3
    EXPECT_EQ(Px(dest, 14, 14), Grey(0));
    EXPECT_EQ(Px(dest, 41, 31), Grey(0));
    EXPECT_EQ(Px(dest, 13, 14), Grey(200));
    EXPECT_EQ(Px(dest, 42, 31), Grey(200));
}

TEST(CastShadow, CutAtTheThumbnailsEdges) {
    TGfxBaseIm bkg;
    MakeSolid(bkg, 20, 20, Grey(255));
    TGfxBaseIm none;
    TGfxBaseIm dest;
    T::CastShadow(bkg, none, 100, 15, 0, 20, 20, dest);
    EXPECT_EQ(dest.Width(), 20);
    EXPECT_EQ(Px(dest, 19, 19), Grey(0));
    EXPECT_EQ(Px(dest, 15, 15), Grey(254)) << "the rectangle's frame";
}

TEST(ComposeThumbnail, BlendsThroughTheMaskTruncating) {
    TGfxBaseIm pic;
    MakeSolid(pic, 4, 2, Grey(255));
    TGfxBaseIm bkg;
    MakeSolid(bkg, 8, 6, Grey(0));
    TGfxBaseIm mask;
    MakeSolid(mask, 4, 2, Grey(128));
    mask.Bitmap().scanLine(1)[3 * 3 + 2] = 0; // only the red byte counts
    TGfxBaseIm dest;
    T::ComposeThumbnail(pic, bkg, mask, dest);
    ASSERT_EQ(dest.Width(), 8);
    ASSERT_EQ(dest.Height(), 6);
    EXPECT_EQ(Px(dest, 2, 2), Grey(128)); // 255 * 128 div 255
    EXPECT_EQ(Px(dest, 5, 3), Grey(0));
    EXPECT_EQ(Px(dest, 1, 2), Grey(0)) << "outside the picture";
}

// Each channel on its own: (picture * alpha + ground * (255 - alpha)) div 255, worked out here by hand. Most
// sums are 254 past a multiple of 255, so a channel that rounds, or adds one, shows.
TEST(ComposeThumbnail, EveryChannelBlendsByTheWrittenSums) {
    struct TBlend {
        int Alpha;
        TBgr Pic, Ground, Blended;
    };
    const TBlend blends[] = {
        // 99 + 254 * 100 = 25499 = 99 * 255 + 254; 19 + 254 * 20 = 5099 = 19 * 255 + 254;
        // 239 + 254 * 240 = 61199 = 239 * 255 + 254.
        {1, {99, 19, 239}, {100, 20, 240}, {99, 19, 239}},
        // 128 * 50 + 127 * 52 = 13004 = 50 * 255 + 254; 128 * 200 + 127 * 10 = 26870 = 105 * 255 + 95;
        // 128 * 0 + 127 * 255 = 32385 = 127 * 255.
        {128, {50, 200, 0}, {52, 10, 255}, {50, 105, 127}},
        // 254 * 201 + 200 = 51254 = 200 * 255 + 254; 254 * 1 + 0 = 254;
        // 254 * 130 + 129 = 33149 = 129 * 255 + 254.
        {254, {201, 1, 130}, {200, 0, 129}, {200, 0, 129}},
        {255, {7, 8, 9}, {1, 2, 3}, {7, 8, 9}},
        {0, {7, 8, 9}, {1, 2, 3}, {1, 2, 3}},
    };
    const int n = int(std::size(blends));
    TGfxBaseIm pic, ground, mask;
    MakeSolid(pic, n, 1, Grey(0));
    MakeSolid(ground, n, 1, Grey(0));
    MakeSolid(mask, n, 1, Grey(0));
    for (int x = 0; x < n; ++x)
        for (int c = 0; c < 3; ++c) {
            pic.Bitmap().scanLine(0)[3 * x + c] = static_cast<uchar>(blends[x].Pic[c]);
            ground.Bitmap().scanLine(0)[3 * x + c] = static_cast<uchar>(blends[x].Ground[c]);
            mask.Bitmap().scanLine(0)[3 * x + c] = static_cast<uchar>(blends[x].Alpha);
        }
    TGfxBaseIm dest;
    T::ComposeThumbnail(pic, ground, mask, dest);
    for (int x = 0; x < n; ++x)
        EXPECT_EQ(Px(dest, x, 0), blends[x].Blended) << "alpha " << blends[x].Alpha;
}

// The shadow darkens each channel by Round(mask * intensity / 100), halves to even, down to 0 at most; a
// shadow size below 2 takes the mask's own levels. Ground (200, 150, 130), intensity 50:
// 255 * 0.5 = 127.5 -> 128; 85 * 0.5 = 42.5 -> 42; 51 * 0.5 = 25.5 -> 26; 1 * 0.5 = 0.5 -> 0.
TEST(CastShadow, EveryChannelDarkensByTheWrittenAmount) {
    const int levels[] = {255, 85, 51, 1};
    const TBgr shaded[] = {{72, 22, 2}, {158, 108, 88}, {174, 124, 104}, {200, 150, 130}};
    TGfxBaseIm ground;
    MakeSolid(ground, 6, 2, TBgr{200, 150, 130});
    TGfxBaseIm mask;
    MakeSolid(mask, 4, 1, Grey(0));
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 3; ++c)
            mask.Bitmap().scanLine(0)[3 * x + c] = static_cast<uchar>(levels[x]);
    TGfxBaseIm dest;
    T::CastShadow(ground, mask, 50, 1, 0, 4, 1, dest);
    // The mask centred at (1, 0), moved one right and down.
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Px(dest, 2 + x, 1), shaded[x]) << "level " << levels[x];
    EXPECT_EQ(Px(dest, 1, 1), (TBgr{200, 150, 130}));
    EXPECT_EQ(Px(dest, 2, 0), (TBgr{200, 150, 130}));
    // 100 %: 255 takes every channel to 0, clamped.
    T::CastShadow(ground, mask, 100, 1, 0, 4, 1, dest);
    EXPECT_EQ(Px(dest, 2, 1), Grey(0));
}

TEST(ComposeThumbnail, WithoutMaskDrawsOpaqueCutAtTheEdges) {
    TGfxBaseIm pic;
    MakeSolid(pic, 12, 3, TBgr{1, 2, 3});
    TGfxBaseIm bkg;
    MakeSolid(bkg, 8, 6, Grey(50));
    TGfxBaseIm none;
    TGfxBaseIm dest;
    T::ComposeThumbnail(pic, bkg, none, dest);
    // Wider than the ground: at x 0, and centred vertically at y 1.
    EXPECT_EQ(Px(dest, 0, 0), Grey(50));
    EXPECT_EQ(Px(dest, 0, 1), (TBgr{1, 2, 3}));
    EXPECT_EQ(Px(dest, 7, 3), (TBgr{1, 2, 3}));
    EXPECT_EQ(Px(dest, 7, 4), Grey(50));
}

} // namespace
