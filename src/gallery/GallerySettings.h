// A gallery's settings as values: how thumbnails are rendered, their background, and how the pages look.
// Each setting's range, default and stored keys are declared once, in GallerySettingsList.h; the panels, the
// profile and gallery-file readers and the command line all take them from there.
#pragma once

#include <QString>

#include "gallery/PublishMetaChoice.h"
#include "common/SettingRange.h"
#include "gfx/GfxPic.h"
#include "html/GfxHtml.h"

struct TProfileRecord;

// The numeric settings, by which the panels and the command line ask for their ranges.
enum class TSetting {
    ThumbWidth,
    ThumbHeight,
    ThumbBevelSize,
    ThumbBevelIntensity,
    PicWidth,
    PicHeight,
    PicBevelSize,
    PicBevelIntensity,
    MaskSize,
    ShadowSize,
    ShadowDistance,
    ShadowIntensity,
    LineWidth,
    BackLinkFontSize,
    WebSize,
    Columns,
    Rows,
    TableTitleFontSize,
    CellSpacing,
    PicInfoFontSize,
    PageRows,
};

// The range and default of a numeric setting, as the list of settings declares it.
TSettingRange SettingRange(TSetting setting);

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
