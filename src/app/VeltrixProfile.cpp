// Gathering the window's settings into a profile record and applying a record back through the controls.
#include "app/VeltrixU.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

#include "app/VlxApplication.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "settings/VlxProfileU.h"

namespace {

// A list index read from a profile; one the list does not have selects the first item.
void SetListIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : 0);
}

// Restores a check box's state however the scope is left.
class TCheckBoxRestorer {
public:
    explicit TCheckBoxRestorer(QCheckBox* box) : FBox(box), FChecked(box->isChecked()) {}
    ~TCheckBoxRestorer() { FBox->setChecked(FChecked); }
    TCheckBoxRestorer(const TCheckBoxRestorer&) = delete;
    TCheckBoxRestorer& operator=(const TCheckBoxRestorer&) = delete;

private:
    QCheckBox* FBox;
    bool FChecked;
};

// Sets a flag for the length of a scope.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

} // namespace

// A background that cannot be loaded (a picture deleted since the profile was saved) is reported and the
// current one kept, so that the rest of the profile still applies.
void TVeltrixF::ApplyBackground(const TProfileRecord& record) {
    try {
        if (record.BkgColor == clNone)
            SetBkgFile(record.BkgFile);
        else
            SetBkgColor(record.BkgColor);
    } catch (...) {
        TVeltrixApp::ShowCurrentException();
    }
}

void TVeltrixF::GatherProfile(TProfileRecord& record) const {
    record.BkgFile = CutToField(FBkgFile, TProfileRecord::kBkgFileSize);
    record.BkgColor = FBkgColor;
    record.ThumbWidth = ThumbWSE->value();
    record.ThumbHeight = ThumbHSE->value();
    record.ThumbBevel.Size = ThumbBevelSizSE->value();
    record.ThumbBevel.Style = std::uint8_t(ThumbBevelTypCB->currentIndex());
    record.ThumbBevel.Intensity = std::uint8_t(ThumbBevelIntSE->value());
    record.MaskSize = MaskSizSE->value();
    record.MaskStyle = std::uint8_t(MaskTypCB->currentIndex());
    record.ShadowSize = ShadowSizSE->value();
    record.ShadowDistance = ShadowDistSE->value();
    record.ShadowIntensity = std::uint8_t(ShadowIntSE->value());
    record.PicWidth = PicWSE->value();
    record.PicHeight = PicHSE->value();
    record.PicBevel.Size = PicBevelSizSE->value();
    record.PicBevel.Style = std::uint8_t(PicBevelTypCB->currentIndex());
    record.PicBevel.Intensity = std::uint8_t(PicBevelIntSE->value());
    record.Title = CutToField(PgTitleE->text(), TProfileRecord::kTextSize);
    record.TextColor = FThumbPage->TextColor();
    record.LinkColor = FThumbPage->LinkColor();
    record.VLinkColor = FThumbPage->VLinkColor();
    record.ALinkColor = FThumbPage->ALinkColor();
    record.TableTitle = CutToField(HtmlTabTitleE->text(), TProfileRecord::kTextSize);
    record.TableTitleFontSize = HtmlTabTitSizSE->value();
    record.TableTitleColor = FThumbPage->TableTitleColor();
    record.TableTitleAlign = std::uint8_t(HtmlTabTitAlignCB->currentIndex());
    record.TableAlign = std::uint8_t(HtmlTablAlignCB->currentIndex());
    record.Rows = GfxGridRowSE->value();
    record.Columns = GfxGridColSE->value();
    record.CellSpacing = HtmlTablCellSpacSE->value();
    record.PicInfo = std::uint8_t(PageInfoFlags());
    record.PicInfoFontSize = PicInfFonSizSE->value();
    record.PicInfoColor = FThumbPage->PicInfoColor();
    record.PicInfoAlign = std::uint8_t(PicInfFonAlignCB->currentIndex());
    record.LineWidth = FThumbPage->LineWidth();
    record.BackLink = CutToField(PgBackLinkE->text(), TProfileRecord::kTextSize);
    record.BackLinkText = CutToField(PgBackLinkTextE->text(), TProfileRecord::kTextSize);
    record.BackLinkFontSize = FThumbPage->BackLinkFontSize();
    record.BackLinkAlign = std::uint8_t(FThumbPage->BackLinkAlign());
    record.LinkInOrder = PgLinkOrderCB->isChecked();
    record.PrevText = CutToField(PgPrevTextE->text(), TProfileRecord::kTextSize);
    record.NextText = CutToField(PgNextTextE->text(), TProfileRecord::kTextSize);
    record.FitToWindow = HtmlFitWindowCB->isChecked();
}

void TVeltrixF::ApplyProfile(const TProfileRecord& record) {
    {
        // No delayed preview while the settings change one by one; the box gets its state back however
        // this ends, and the preview is shown once at the end.
        const TCheckBoxRestorer autoUpdate(AutoUpdThumbCB);
        const TFlagScope applying(FApplyingProfile);
        AutoUpdThumbCB->setChecked(false);
        FProfileName = record.Name;
        ProfilesCB->setCurrentIndex(ProfilesCB->findText(record.Name, Qt::MatchFixedString));
        ApplyBackground(record);
        ThumbWSE->setValue(record.ThumbWidth);
        ThumbHSE->setValue(record.ThumbHeight);
        ThumbBevelSizSE->setValue(record.ThumbBevel.Size);
        SetListIndex(ThumbBevelTypCB, record.ThumbBevel.Style);
        ThumbBevelTypCBChange();
        ThumbBevelIntSE->setValue(record.ThumbBevel.Intensity);
        MaskSizSE->setValue(record.MaskSize);
        SetListIndex(MaskTypCB, record.MaskStyle);
        MaskTypCBChange();
        ShadowSizSE->setValue(record.ShadowSize);
        ShadowDistSE->setValue(record.ShadowDistance);
        ShadowIntSE->setValue(record.ShadowIntensity);
        PicWSE->setValue(record.PicWidth);
        PicHSE->setValue(record.PicHeight);
        PicBevelSizSE->setValue(record.PicBevel.Size);
        SetListIndex(PicBevelTypCB, record.PicBevel.Style);
        PicBevelTypCBChange();
        PicBevelIntSE->setValue(record.PicBevel.Intensity);
        PgTitleE->setText(record.Title);
        SetPageColor(PgColTextSB, record.TextColor);
        SetPageColor(PgColLinkSB, record.LinkColor);
        SetPageColor(PgColVLinkSB, record.VLinkColor);
        SetPageColor(PgColALinkSB, record.ALinkColor);
        HtmlTabTitleE->setText(record.TableTitle);
        HtmlTabTitSizSE->setValue(record.TableTitleFontSize);
        FThumbPage->SetTableTitleColor(
            SetColorSetting(record.TableTitleColor, HtmlTabTitColP, HtmlTabTitColCB));
        SetListIndex(HtmlTabTitAlignCB, record.TableTitleAlign);
        HtmlTabTitAlignCBChange();
        SetListIndex(HtmlTablAlignCB, record.TableAlign);
        HtmlTablAlignCBChange();
        // The table keeps its size while it holds pictures.
        if (CountPictures() == 0) {
            GfxGridRowSE->setValue(record.Rows);
            GfxGridColSE->setValue(record.Columns);
        }
        HtmlTablCellSpacSE->setValue(record.CellSpacing);
        SetPicInfoFlags(record.PicInfo);
        PicInfFonSizSE->setValue(record.PicInfoFontSize);
        FThumbPage->SetPicInfoColor(SetColorSetting(record.PicInfoColor, PicInfFonColP, PicInfFonColDefCB));
        SetListIndex(PicInfFonAlignCB, record.PicInfoAlign);
        PicInfFonAlignCBChange();
        FThumbPage->SetLineWidth(record.LineWidth);
        PgBackLinkE->setText(record.BackLink);
        PgBackLinkTextE->setText(record.BackLinkText);
        FThumbPage->SetBackLinkFontSize(record.BackLinkFontSize);
        FThumbPage->SetBackLinkAlign(record.BackLinkAlign <= haCenter ? THtmlHAlign(record.BackLinkAlign)
                                                                      : haDefault);
        PgLinkOrderCB->setChecked(record.LinkInOrder);
        PgPrevTextE->setText(record.PrevText);
        PgNextTextE->setText(record.NextText);
        HtmlFitWindowCB->setChecked(record.FitToWindow);
    }
    ShowProfileName();
    ShowThumb();
    QCoreApplication::processEvents();
}
