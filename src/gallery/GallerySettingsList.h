// Every gallery setting once: its field, its range or rule, its default, its gallery-file key and its
// profile field. The start-up settings, InRange, the profile's form and the gallery file all visit this list.
#pragma once

#include <climits>

#include "gallery/GallerySettings.h"
#include "settings/VlxProfileU.h"

// A number brought into its range; the panels and the command line ask for the range by Id.
struct TNumberField {
    TSetting Id;
    TSettingRange Range;
};

// An item of a list, Range.Default the one a start selects. An item the list does not have selects its
// first, as the lists themselves do, or, where selecting the first would do harm, the default.
enum class TUnknownItem { First, Default };
struct TListField {
    TSettingRange Range;
    TUnknownItem Unknown = TUnknownItem::First;
};

// A set of bits; bits outside Mask are dropped.
struct TBitsField {
    int Mask;
    int Default;
};

struct TColorField {
    TColor Default;
};

struct TFlagField {
    bool Default;
};

// StoredSize: the profile's field keeps that many UTF-8 bytes of the text.
struct TTextField {
    const char* Default;
    int StoredSize;
};

// Numbers kept as they are: no panel shows them, and no value of them breaks a page.
constexpr TSettingRange AnyNumber(int def) {
    return {INT_MIN, INT_MAX, def};
}

// Where the gallery file's settings keep a setting; none (a null Group): it keeps it elsewhere or not at all.
struct TFileKey {
    const char* Group;
    const char* Key;
};

// Calls v(field, kind, fileKey, profileField) for every setting, in the order the gallery file's reader
// checks them. S is TGallerySettings or const TGallerySettings; R likewise TProfileRecord.
template <typename V, typename S, typename R> void VisitSettings(V& v, S& s, R& r) {
    using Id = TSetting;
    constexpr int text = TProfileRecord::kTextSize;
    v(s.ProfileName, TTextField{"default", TProfileRecord::kNameSize}, {}, r.Name);
    auto& t = s.Thumb;
    v(t.ThumbWidth, TNumberField{Id::ThumbWidth, {50, 500, 150}}, {"thumbnail", "width"}, r.ThumbWidth);
    v(t.ThumbHeight, TNumberField{Id::ThumbHeight, {50, 500, 120}}, {"thumbnail", "height"}, r.ThumbHeight);
    v(t.ThumbBevel.Size, TNumberField{Id::ThumbBevelSize, {0, 100, 0}}, {"thumbnail", "bevelSize"},
      r.ThumbBevel.Size);
    v(t.ThumbBevel.Style, TListField{{gbNone, gbLowered, gbNone}}, {"thumbnail", "bevelStyle"},
      r.ThumbBevel.Style);
    v(t.ThumbBevel.Intensity, TNumberField{Id::ThumbBevelIntensity, {0, 100, 0}},
      {"thumbnail", "bevelIntensity"}, r.ThumbBevel.Intensity);
    v(t.PicWidth, TNumberField{Id::PicWidth, {30, 500, 130}}, {"picture", "width"}, r.PicWidth);
    v(t.PicHeight, TNumberField{Id::PicHeight, {30, 500, 100}}, {"picture", "height"}, r.PicHeight);
    v(t.PicBevel.Size, TNumberField{Id::PicBevelSize, {0, 100, 0}}, {"picture", "bevelSize"},
      r.PicBevel.Size);
    v(t.PicBevel.Style, TListField{{gbNone, gbLowered, gbNone}}, {"picture", "bevelStyle"}, r.PicBevel.Style);
    v(t.PicBevel.Intensity, TNumberField{Id::PicBevelIntensity, {0, 100, 0}}, {"picture", "bevelIntensity"},
      r.PicBevel.Intensity);
    v(t.MaskStyle, TListField{{gmNone, gmEllipse, gmNone}}, {"picture", "maskStyle"}, r.MaskStyle);
    v(t.MaskSize, TNumberField{Id::MaskSize, {0, 100, 0}}, {"picture", "maskSize"}, r.MaskSize);
    v(t.ShadowSize, TNumberField{Id::ShadowSize, {0, 100, 0}}, {"picture", "shadowSize"}, r.ShadowSize);
    v(t.ShadowDistance, TNumberField{Id::ShadowDistance, {0, 100, 0}}, {"picture", "shadowDistance"},
      r.ShadowDistance);
    v(t.ShadowIntensity, TNumberField{Id::ShadowIntensity, {0, 100, 0}}, {"picture", "shadowIntensity"},
      r.ShadowIntensity);
    v(s.Background.Color, TColorField{0x808080}, {"background", "color"}, r.BkgColor);
    // Written only for a picture: a colour's tile is made afresh wherever the gallery is opened.
    v(s.Background.File, TTextField{"", TProfileRecord::kBkgFileSize}, {"background", "file"}, r.BkgFile);
    auto& f = s.Page.Frame;
    v(f.Title, TTextField{"Pictures - Quorrin's Veltrix", text}, {"page", "title"}, r.Title);
    v(f.TextColor, TColorField{0x000000}, {"page", "textColor"}, r.TextColor);
    v(f.LinkColor, TColorField{0xEE0000}, {"page", "linkColor"}, r.LinkColor);
    v(f.VLinkColor, TColorField{0x8B1A55}, {"page", "visitedLinkColor"}, r.VLinkColor);
    v(f.ALinkColor, TColorField{0xEE0000}, {"page", "activeLinkColor"}, r.ALinkColor);
    v(f.LineWidth, TNumberField{Id::LineWidth, AnyNumber(100)}, {"page", "lineWidth"}, r.LineWidth);
    v(f.BackLink, TTextField{"index.html", text}, {"page", "backLink"}, r.BackLink);
    v(f.BackLinkText, TTextField{"Return", text}, {"page", "backLinkText"}, r.BackLinkText);
    v(f.BackLinkFontSize, TNumberField{Id::BackLinkFontSize, AnyNumber(0)}, {"page", "backLinkFontSize"},
      r.BackLinkFontSize);
    v(f.BackLinkAlign, TListField{{haDefault, haCenter, haRight}}, {"page", "backLinkAlign"},
      r.BackLinkAlign);
    v(f.LinkInOrder, TFlagField{true}, {"page", "linkInOrder"}, r.LinkInOrder);
    v(f.PrevText, TTextField{"Previous", text}, {"page", "previousText"}, r.PrevText);
    v(f.NextText, TTextField{"Next", text}, {"page", "nextText"}, r.NextText);
    v(f.FitToWindow, TFlagField{true}, {"page", "fitToWindow"}, r.FitToWindow);
    // An unknown choice removes the location: publishing a position unasked for is the one harm here.
    v(s.PublishMeta, TListField{{pmKeepAll, pmOrientationOnly, kPublishMetaDefault}, TUnknownItem::Default},
      {"page", "pictureMetadata"}, r.PublishMeta);
    auto& p = s.Page;
    v(p.WebSize.Enabled, TFlagField{true}, {"page", "webSize"}, r.WebSize);
    // The long side of the pictures published for the web, in pixels.
    v(p.WebSize.MaxSide, TNumberField{Id::WebSize, {100, 10000, 2048}}, {"page", "webSizePixels"},
      r.WebMaxSide);
    v(p.WebSize.PublishOriginal, TFlagField{false}, {"page", "publishOriginal"}, r.PublishOriginal);
    // The gallery file keeps the table's size as its table's, beside the cells.
    v(p.Columns, TNumberField{Id::Columns, {1, 100, 3}}, {}, r.Columns);
    v(p.Rows, TNumberField{Id::Rows, {1, 100, 2}}, {}, r.Rows);
    v(p.TableTitle, TTextField{"Pictures", text}, {"table", "title"}, r.TableTitle);
    v(p.TableTitleFontSize, TNumberField{Id::TableTitleFontSize, {-2, 4, 2}}, {"table", "titleFontSize"},
      r.TableTitleFontSize);
    v(p.TableTitleColor, TColorField{clNone}, {"table", "titleColor"}, r.TableTitleColor);
    v(p.TableTitleAlign, TListField{{haDefault, haCenter, haCenter}}, {"table", "titleAlign"},
      r.TableTitleAlign);
    v(p.TableAlign, TListField{{haDefault, haCenter, haCenter}}, {"table", "align"}, r.TableAlign);
    v(p.CellSpacing, TNumberField{Id::CellSpacing, {0, 100, 5}}, {"table", "cellSpacing"}, r.CellSpacing);
    v(p.PicInfo, TBitsField{PicInfoBit(piFileName) | PicInfoBit(piPicSize) | PicInfoBit(piFileSize), 0},
      {"table", "pictureInfo"}, r.PicInfo);
    v(p.PicInfoFontSize, TNumberField{Id::PicInfoFontSize, {-2, 4, -1}}, {"table", "pictureInfoFontSize"},
      r.PicInfoFontSize);
    v(p.PicInfoColor, TColorField{clNone}, {"table", "pictureInfoColor"}, r.PicInfoColor);
    v(p.PicInfoAlign, TListField{{haDefault, haCenter, haCenter}}, {"table", "pictureInfoAlign"},
      r.PicInfoAlign);
    v(p.CaptionUnderThumb, TFlagField{false}, {"table", "captionUnderThumbnail"}, r.CaptionUnderThumb);
    // Rows on each table page; 0 writes the whole table on one page.
    v(p.PageRows, TNumberField{Id::PageRows, {0, 100, 0}}, {"table", "rowsPerPage"}, r.PageRows);
}
