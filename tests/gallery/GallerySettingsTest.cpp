// Settings as values: a stored profile's values out of range come out in range, as the panels show them.
#include <functional>

#include <gtest/gtest.h>

#include "gallery/GallerySettings.h"
#include "settings/VlxProfileU.h"

namespace {

struct TRangeCase {
    const char* Name;
    std::function<void(TProfileRecord&)> Store;
    std::function<int(const TGallerySettings&)> Read;
    int Expected;
};

class TProfileRangeTest : public testing::TestWithParam<TRangeCase> {};

TEST_P(TProfileRangeTest, StoredValueComesOutInRange) {
    TProfileRecord record = ProfileFromSettings(StartUpSettings());
    GetParam().Store(record);
    const TGallerySettings settings = SettingsFromProfile(record);
    EXPECT_EQ(GetParam().Read(settings), GetParam().Expected);
    EXPECT_EQ(InRange(settings), settings);
}

using R = TProfileRecord;
using S = TGallerySettings;
INSTANTIATE_TEST_SUITE_P(
    Fields, TProfileRangeTest,
    testing::Values(
        TRangeCase{"ThumbWidthAbove", [](R& r) { r.ThumbWidth = 5000; },
                   [](const S& s) { return s.Thumb.ThumbWidth; }, 500},
        TRangeCase{"ThumbWidthInside", [](R& r) { r.ThumbWidth = 321; },
                   [](const S& s) { return s.Thumb.ThumbWidth; }, 321},
        TRangeCase{"ThumbHeightBelow", [](R& r) { r.ThumbHeight = -1; },
                   [](const S& s) { return s.Thumb.ThumbHeight; }, 50},
        TRangeCase{"PicWidthBelow", [](R& r) { r.PicWidth = 10; },
                   [](const S& s) { return s.Thumb.PicWidth; }, 30},
        TRangeCase{"BevelStyleNotInTheList", [](R& r) { r.ThumbBevel.Style = 9; },
                   [](const S& s) { return int(s.Thumb.ThumbBevel.Style); }, gbNone},
        TRangeCase{"BevelIntensityAbove", [](R& r) { r.PicBevel.Intensity = 255; },
                   [](const S& s) { return int(s.Thumb.PicBevel.Intensity); }, 100},
        TRangeCase{"MaskStyleNotInTheList", [](R& r) { r.MaskStyle = 4; },
                   [](const S& s) { return int(s.Thumb.MaskStyle); }, gmNone},
        TRangeCase{"ShadowIntensityAbove", [](R& r) { r.ShadowIntensity = 200; },
                   [](const S& s) { return int(s.Thumb.ShadowIntensity); }, 100},
        TRangeCase{"ColumnsZero", [](R& r) { r.Columns = 0; }, [](const S& s) { return s.Page.Columns; }, 1},
        TRangeCase{"RowsAbove", [](R& r) { r.Rows = 1000; }, [](const S& s) { return s.Page.Rows; }, 100},
        TRangeCase{"CellSpacingBelow", [](R& r) { r.CellSpacing = -5; },
                   [](const S& s) { return s.Page.CellSpacing; }, 0},
        TRangeCase{"PicInfoFontSizeBelow", [](R& r) { r.PicInfoFontSize = -7; },
                   [](const S& s) { return s.Page.PicInfoFontSize; }, -2},
        TRangeCase{"TableTitleFontSizeAbove", [](R& r) { r.TableTitleFontSize = 9; },
                   [](const S& s) { return s.Page.TableTitleFontSize; }, 4},
        TRangeCase{"TableAlignNotInTheList", [](R& r) { r.TableAlign = 200; },
                   [](const S& s) { return int(s.Page.TableAlign); }, haDefault},
        TRangeCase{"BackLinkAlignNotInTheList", [](R& r) { r.BackLinkAlign = 77; },
                   [](const S& s) { return int(s.Page.Frame.BackLinkAlign); }, haDefault},
        TRangeCase{"PicInfoUnknownBits", [](R& r) { r.PicInfo = 0xFF; },
                   [](const S& s) { return int(s.Page.PicInfo); }, 7}),
    [](const testing::TestParamInfo<TRangeCase>& info) { return info.param.Name; });

TEST(GallerySettingsTest, StartUpSettingsAreInRangeAndKeepThroughAProfile) {
    EXPECT_EQ(InRange(StartUpSettings()), StartUpSettings());
    EXPECT_EQ(SettingsFromProfile(ProfileFromSettings(StartUpSettings())), StartUpSettings());
    // Every numeric setting the panels may ask for has its line in the list (PageRows is the last).
    for (int id = 0; id <= int(TSetting::PageRows); ++id) {
        const TSettingRange range = SettingRange(TSetting(id));
        EXPECT_TRUE(range.Min <= range.Max && range.Contains(range.Default)) << id;
    }
}

} // namespace
