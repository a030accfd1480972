// Settings as values: the start-up settings, ranges applied in one place, and the profile record's form.
#include "gallery/GallerySettings.h"

#include <QColor>

#include "settings/VlxProfileU.h"

namespace {

// Standard colours keep their names as file names; others are named by their value.
struct TColorName {
    TColor Value;
    const char* Name;
};
const TColorName kColorNames[] = {
    {0x000000, "clBlack"},      {0x000080, "clMaroon"},  {0x008000, "clGreen"}, {0x008080, "clOlive"},
    {0x800000, "clNavy"},       {0x800080, "clPurple"},  {0x808000, "clTeal"},  {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},     {0x0000FF, "clRed"},     {0x00FF00, "clLime"},  {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},       {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},  {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"}, {0xF0FBFF, "clCream"}, {0xA4A0A0, "clMedGray"},
};

template <typename T> T Clamped(const TSettingRange& range, int value) {
    return static_cast<T>(range.Clamp(value));
}

// A list index the list does not have selects its first item, as the lists themselves do.
template <typename T> T ListItem(const TSettingRange& range, int value) {
    return static_cast<T>(range.Contains(value) ? value : range.Min);
}

TGfxBevel BevelInRange(const TGfxBevel& bevel) {
    return {kBevelSizeRange.Clamp(bevel.Size), ListItem<TGfxBevelStyle>(kBevelStyleRange, bevel.Style),
            Clamped<std::uint8_t>(kBevelIntensityRange, bevel.Intensity)};
}

TGfxBevel BevelFromProfile(const TProfileBevel& bevel) {
    return {bevel.Size, TGfxBevelStyle(bevel.Style), bevel.Intensity};
}

TProfileBevel ProfileBevel(const TGfxBevel& bevel) {
    return {bevel.Size, std::uint8_t(bevel.Style), bevel.Intensity};
}

THtmlHAlign AlignInRange(int value) {
    return ListItem<THtmlHAlign>(kAlignRange, value);
}

} // namespace

TGallerySettings StartUpSettings() {
    TGallerySettings settings;
    settings.ProfileName = "default";
    // The renderer's own defaults are the thumbnail's.
    TGfxPageSettings& page = settings.Page;
    page.Frame.Title = "Pictures - Quorrin's Veltrix";
    page.Frame.TextColor = 0x00000000;
    page.Frame.LinkColor = 0x00EE0000;
    page.Frame.VLinkColor = 0x008B1A55;
    page.Frame.ALinkColor = 0x00EE0000;
    page.Frame.LineWidth = 100;
    page.Frame.BackLinkFontSize = 0;
    page.Frame.BackLinkAlign = haRight;
    page.Frame.BackLink = "index.html";
    page.Frame.BackLinkText = "Return";
    page.Frame.LinkInOrder = true;
    page.Frame.PrevText = "Previous";
    page.Frame.NextText = "Next";
    page.Frame.FitToWindow = true;
    page.WebSize = {true, kWebSizeRange.Default, false};
    page.TableTitle = "Pictures";
    page.Columns = kTableColumnsRange.Default;
    page.Rows = kTableRowsRange.Default;
    page.CellSpacing = kCellSpacingRange.Default;
    page.PageRows = kPageRowsRange.Default;
    page.TableAlign = haCenter;
    page.TableTitleAlign = haCenter;
    page.TableTitleFontSize = kTableTitleFontSizeRange.Default;
    page.TableTitleColor = clNone;
    page.PicInfo = 0;
    page.PicInfoAlign = haCenter;
    page.PicInfoFontSize = kPicInfoFontSizeRange.Default;
    page.PicInfoColor = clNone;
    return settings;
}

TGallerySettings InRange(TGallerySettings settings) {
    TGfxThumbSettings& t = settings.Thumb;
    t.ThumbWidth = kThumbWidthRange.Clamp(t.ThumbWidth);
    t.ThumbHeight = kThumbHeightRange.Clamp(t.ThumbHeight);
    t.ThumbBevel = BevelInRange(t.ThumbBevel);
    t.PicWidth = kPicWidthRange.Clamp(t.PicWidth);
    t.PicHeight = kPicHeightRange.Clamp(t.PicHeight);
    t.PicBevel = BevelInRange(t.PicBevel);
    t.MaskStyle = ListItem<TGfxMaskStyle>(kMaskStyleRange, t.MaskStyle);
    t.MaskSize = kMaskSizeRange.Clamp(t.MaskSize);
    t.ShadowDistance = kShadowDistanceRange.Clamp(t.ShadowDistance);
    t.ShadowSize = kShadowSizeRange.Clamp(t.ShadowSize);
    t.ShadowIntensity = Clamped<std::uint8_t>(kShadowIntensityRange, t.ShadowIntensity);
    TGfxPageSettings& p = settings.Page;
    p.Columns = kTableColumnsRange.Clamp(p.Columns);
    p.Rows = kTableRowsRange.Clamp(p.Rows);
    p.CellSpacing = kCellSpacingRange.Clamp(p.CellSpacing);
    p.PageRows = kPageRowsRange.Clamp(p.PageRows);
    p.TableAlign = AlignInRange(p.TableAlign);
    p.TableTitleAlign = AlignInRange(p.TableTitleAlign);
    p.TableTitleFontSize = kTableTitleFontSizeRange.Clamp(p.TableTitleFontSize);
    p.PicInfo = TPicInfo(p.PicInfo & 7);
    p.PicInfoAlign = AlignInRange(p.PicInfoAlign);
    p.PicInfoFontSize = kPicInfoFontSizeRange.Clamp(p.PicInfoFontSize);
    p.Frame.BackLinkAlign = AlignInRange(p.Frame.BackLinkAlign);
    // An unknown choice removes the location: publishing a position unasked for is the one harm here.
    if (!kPublishMetaRange.Contains(settings.PublishMeta))
        settings.PublishMeta = kPublishMetaDefault;
    p.WebSize.MaxSide = kWebSizeRange.Clamp(p.WebSize.MaxSide);
    return settings;
}

TGallerySettings SettingsFromProfile(const TProfileRecord& r) {
    TGallerySettings s;
    s.ProfileName = r.Name;
    s.Background = {r.BkgFile, r.BkgColor};
    s.Thumb.ThumbWidth = r.ThumbWidth;
    s.Thumb.ThumbHeight = r.ThumbHeight;
    s.Thumb.ThumbBevel = BevelFromProfile(r.ThumbBevel);
    s.Thumb.MaskSize = r.MaskSize;
    s.Thumb.MaskStyle = TGfxMaskStyle(r.MaskStyle);
    s.Thumb.ShadowSize = r.ShadowSize;
    s.Thumb.ShadowDistance = r.ShadowDistance;
    s.Thumb.ShadowIntensity = r.ShadowIntensity;
    s.Thumb.PicWidth = r.PicWidth;
    s.Thumb.PicHeight = r.PicHeight;
    s.Thumb.PicBevel = BevelFromProfile(r.PicBevel);
    TGfxPageSettings& p = s.Page;
    p.Frame.Title = r.Title;
    p.Frame.TextColor = r.TextColor;
    p.Frame.LinkColor = r.LinkColor;
    p.Frame.VLinkColor = r.VLinkColor;
    p.Frame.ALinkColor = r.ALinkColor;
    p.Frame.LineWidth = r.LineWidth;
    p.Frame.BackLink = r.BackLink;
    p.Frame.BackLinkText = r.BackLinkText;
    p.Frame.BackLinkFontSize = r.BackLinkFontSize;
    p.Frame.BackLinkAlign = THtmlHAlign(r.BackLinkAlign);
    p.Frame.LinkInOrder = r.LinkInOrder;
    p.Frame.PrevText = r.PrevText;
    p.Frame.NextText = r.NextText;
    p.Frame.FitToWindow = r.FitToWindow;
    p.CaptionUnderThumb = r.CaptionUnderThumb;
    p.WebSize = {r.WebSize, r.WebMaxSide, r.PublishOriginal};
    p.TableTitle = r.TableTitle;
    p.TableTitleFontSize = r.TableTitleFontSize;
    p.TableTitleColor = r.TableTitleColor;
    p.TableTitleAlign = THtmlHAlign(r.TableTitleAlign);
    p.TableAlign = THtmlHAlign(r.TableAlign);
    p.Rows = r.Rows;
    p.Columns = r.Columns;
    p.CellSpacing = r.CellSpacing;
    p.PageRows = r.PageRows;
    p.PicInfo = r.PicInfo;
    p.PicInfoFontSize = r.PicInfoFontSize;
    p.PicInfoColor = r.PicInfoColor;
    p.PicInfoAlign = THtmlHAlign(r.PicInfoAlign);
    s.PublishMeta = TPublishMeta(r.PublishMeta);
    return InRange(s);
}

TProfileRecord ProfileFromSettings(const TGallerySettings& s) {
    TProfileRecord r;
    r.Name = CutToField(s.ProfileName, TProfileRecord::kNameSize);
    r.BkgFile = CutToField(s.Background.File, TProfileRecord::kBkgFileSize);
    r.BkgColor = s.Background.Color;
    r.ThumbWidth = s.Thumb.ThumbWidth;
    r.ThumbHeight = s.Thumb.ThumbHeight;
    r.ThumbBevel = ProfileBevel(s.Thumb.ThumbBevel);
    r.MaskSize = s.Thumb.MaskSize;
    r.MaskStyle = std::uint8_t(s.Thumb.MaskStyle);
    r.ShadowSize = s.Thumb.ShadowSize;
    r.ShadowDistance = s.Thumb.ShadowDistance;
    r.ShadowIntensity = s.Thumb.ShadowIntensity;
    r.PicWidth = s.Thumb.PicWidth;
    r.PicHeight = s.Thumb.PicHeight;
    r.PicBevel = ProfileBevel(s.Thumb.PicBevel);
    const TGfxPageSettings& p = s.Page;
    r.Title = CutToField(p.Frame.Title, TProfileRecord::kTextSize);
    r.TextColor = p.Frame.TextColor;
    r.LinkColor = p.Frame.LinkColor;
    r.VLinkColor = p.Frame.VLinkColor;
    r.ALinkColor = p.Frame.ALinkColor;
    r.TableTitle = CutToField(p.TableTitle, TProfileRecord::kTextSize);
    r.TableTitleFontSize = p.TableTitleFontSize;
    r.TableTitleColor = p.TableTitleColor;
    r.TableTitleAlign = std::uint8_t(p.TableTitleAlign);
    r.TableAlign = std::uint8_t(p.TableAlign);
    r.Rows = p.Rows;
    r.Columns = p.Columns;
    r.CellSpacing = p.CellSpacing;
    r.PageRows = p.PageRows;
    r.PicInfo = p.PicInfo;
    r.PicInfoFontSize = p.PicInfoFontSize;
    r.PicInfoColor = p.PicInfoColor;
    r.PicInfoAlign = std::uint8_t(p.PicInfoAlign);
    r.LineWidth = p.Frame.LineWidth;
    r.BackLink = CutToField(p.Frame.BackLink, TProfileRecord::kTextSize);
    r.BackLinkText = CutToField(p.Frame.BackLinkText, TProfileRecord::kTextSize);
    r.BackLinkFontSize = p.Frame.BackLinkFontSize;
    r.BackLinkAlign = std::uint8_t(p.Frame.BackLinkAlign);
    r.LinkInOrder = p.Frame.LinkInOrder;
    r.PrevText = CutToField(p.Frame.PrevText, TProfileRecord::kTextSize);
    r.NextText = CutToField(p.Frame.NextText, TProfileRecord::kTextSize);
    r.FitToWindow = p.Frame.FitToWindow;
    r.CaptionUnderThumb = p.CaptionUnderThumb;
    r.PublishMeta = s.PublishMeta;
    r.WebSize = p.WebSize.Enabled;
    r.WebMaxSide = p.WebSize.MaxSide;
    r.PublishOriginal = p.WebSize.PublishOriginal;
    return r;
}

QString ColorTileName(TColor color) {
    for (const TColorName& known : kColorNames)
        if (known.Value == color)
            return QString(known.Name).toLower() + ".jpg";
    return QString::asprintf("%08X", quint32(color)).toLower() + ".jpg";
}
