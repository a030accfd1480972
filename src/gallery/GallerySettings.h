// A gallery's settings as values: how thumbnails are rendered, their background, and how the pages look.
// Each numeric setting's range and default is declared here once; the panels, the profile and options
// readers and the command line all take them from here.
#pragma once

#include <QString>

#include "gallery/PublishMetaChoice.h"
#include "common/SettingRange.h"
#include "gfx/GfxPic.h"
#include "html/GfxHtml.h"

struct TProfileRecord;

// The thumbnail's and the picture's settings.
inline constexpr TSettingRange kThumbWidthRange{50, 500, 150};
inline constexpr TSettingRange kThumbHeightRange{50, 500, 120};
inline constexpr TSettingRange kPicWidthRange{30, 500, 130};
inline constexpr TSettingRange kPicHeightRange{30, 500, 100};
inline constexpr TSettingRange kBevelSizeRange{0, 100, 0};
inline constexpr TSettingRange kBevelIntensityRange{0, 100, 0};
inline constexpr TSettingRange kMaskSizeRange{0, 100, 0};
inline constexpr TSettingRange kShadowSizeRange{0, 100, 0};
inline constexpr TSettingRange kShadowDistanceRange{0, 100, 0};
inline constexpr TSettingRange kShadowIntensityRange{0, 100, 0};
// The lists: the item index is the value; one the list does not have selects the first item.
inline constexpr TSettingRange kBevelStyleRange{gbNone, gbLowered, gbNone};
inline constexpr TSettingRange kMaskStyleRange{gmNone, gmEllipse, gmNone};
inline constexpr TSettingRange kAlignRange{haDefault, haCenter, haCenter};
inline constexpr TSettingRange kPublishMetaRange{pmKeepAll, pmOrientationOnly, kPublishMetaDefault};
// The table and its page.
inline constexpr TSettingRange kTableColumnsRange{1, 100, 3};
inline constexpr TSettingRange kTableRowsRange{1, 100, 2};
inline constexpr TSettingRange kCellSpacingRange{0, 100, 5};
// Rows on each table page; 0 (the default) writes the whole table on one page.
inline constexpr TSettingRange kPageRowsRange{0, 100, 0};
inline constexpr TSettingRange kPicInfoFontSizeRange{-2, 4, -1};
inline constexpr TSettingRange kTableTitleFontSizeRange{-2, 4, 2};
// The long side of the pictures published for the web, in pixels.
inline constexpr TSettingRange kWebSizeRange{100, 10000, 2048};
// The grid's cell size in the window (the options file keeps it).
inline constexpr TSettingRange kGridCellWidthRange{10, 200, 64};
inline constexpr TSettingRange kGridCellHeightRange{10, 200, 64};

// The background of every thumbnail: a picture file, or a tile of one colour (Color other than clNone), which
// a run writes into the gallery as a 100 x 100 JPEG named after the colour.
struct TBackgroundSetting {
    QString File;
    TColor Color = 0x808080;

    bool IsColor() const { return Color != clNone; }
    bool operator==(const TBackgroundSetting&) const = default;
};

// Everything a profile keeps, as values. Page.Columns and Page.Rows are the table's size.
struct TGallerySettings {
    QString ProfileName;
    TGfxThumbSettings Thumb;
    TBackgroundSetting Background;
    TGfxPageSettings Page;
    // What of each picture's metadata its published copy keeps.
    TPublishMeta PublishMeta = kPublishMetaDefault;

    bool operator==(const TGallerySettings&) const = default;
};

// What the window shows when it starts, before any profile: the "default" profile of a fresh start.
TGallerySettings StartUpSettings();

// Every numeric setting brought into its range and every list index into its list (the first item when the
// list has none of it); texts and colours stay.
TGallerySettings InRange(TGallerySettings settings);

// A stored profile as settings, brought into range in this one place; and settings as a profile stores them
// (texts cut to their fields).
TGallerySettings SettingsFromProfile(const TProfileRecord& record);
TProfileRecord ProfileFromSettings(const TGallerySettings& settings);

// The file name of a colour's tile: the colour's name when it has one ("gray.jpg"), else its eight hex
// digits.
QString ColorTileName(TColor color);
