// The settings tabs' handlers: every change goes at once to the renderer, the table page or the grid.
#include "app/VeltrixU.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include "app/VlxApplication.h"
#include "app/VlxRenderPanel.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"

namespace {

// Picture information flags of the table page.
constexpr int kPicInfoName = 1;
constexpr int kPicInfoPicSize = 2;
constexpr int kPicInfoFileSize = 4;

// A list's item index as the value it stands for; a list without a selection stands for the first value.
template <typename E> E ListValue(const QComboBox* list) {
    return static_cast<E>(std::max(0, list->currentIndex()));
}

// A page setting changes through the page's value, as a profile changes them all.
template <typename F> void ChangePage(TGfxThumbPage* page, F change) {
    if (!page)
        return;
    TGfxPageSettings settings = page->Settings();
    change(settings);
    page->SetSettings(settings);
}

} // namespace

void SetPanelColor(QWidget* panel, TColor color) {
    QPalette palette = panel->palette();
    const QColor shown =
        color == clNone ? panel->style()->standardPalette().color(QPalette::Button) : ColorToQColor(color);
    palette.setColor(QPalette::Window, shown);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

void TVeltrixF::ConnectPanels() {
    ConnectRendererControls();
    ConnectPageControls();
    ConnectTableControls();
    ConnectOptionControls();
}

void TVeltrixF::ConnectRendererControls() {
    // Each rendering change marks the thumbnails stale; the preview follows one second after the last.
    connect(Render, &TRenderPanel::Edited, this, Guarded([this](const TGfxThumbSettings& settings) {
                if (FConverter)
                    Renderer().SetSettings(settings);
                TellGridPictureBox();
                SetThumbsStale(true);
            }));
}

void TVeltrixF::ConnectPageControls() {
    for (QToolButton* button : {PgColTextSB, PgColLinkSB, PgColALinkSB, PgColVLinkSB})
        connect(button, &QToolButton::clicked, this, Guarded([this, button] { PgColSBClick(button); }));
    connect(PgTitleE, &QLineEdit::textChanged, this, Guarded([this](const QString& text) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.Frame.Title = text; });
            }));
    // One handler for both back-link edits: it reads both.
    connect(PgBackLinkE, &QLineEdit::textChanged, this, Guarded([this] { PgBackLinkEChange(); }));
    connect(PgBackLinkTextE, &QLineEdit::textChanged, this, Guarded([this] { PgBackLinkEChange(); }));
    // One handler for the order links: the box and both texts.
    connect(PgLinkOrderCB, &QCheckBox::toggled, this, Guarded([this] { PgLinkOrderChange(); }));
    connect(PgPrevTextE, &QLineEdit::textChanged, this, Guarded([this] { PgLinkOrderChange(); }));
    connect(PgNextTextE, &QLineEdit::textChanged, this, Guarded([this] { PgLinkOrderChange(); }));
    // One handler for the web size: both boxes and the size.
    connect(PgWebSizeCB, &QCheckBox::toggled, this, Guarded([this] { PgWebSizeChange(); }));
    connect(PgWebSizeSE, &QSpinBox::valueChanged, this, Guarded([this] { PgWebSizeChange(); }));
    connect(PgOriginalCB, &QCheckBox::toggled, this, Guarded([this] { PgWebSizeChange(); }));
    connect(HtmlFitWindowCB, &QCheckBox::toggled, this, Guarded([this](bool checked) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.Frame.FitToWindow = checked; });
            }));
    connect(PicInfCaptionCB, &QCheckBox::toggled, this, Guarded([this](bool checked) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.CaptionUnderThumb = checked; });
            }));
}

void TVeltrixF::PgLinkOrderChange() {
    ChangePage(FThumbPage.get(), [this](TGfxPageSettings& s) {
        s.Frame.LinkInOrder = PgLinkOrderCB->isChecked();
        s.Frame.PrevText = PgPrevTextE->text();
        s.Frame.NextText = PgNextTextE->text();
    });
}

void TVeltrixF::PgWebSizeChange() {
    ChangePage(FThumbPage.get(), [this](TGfxPageSettings& s) {
        s.WebSize = {PgWebSizeCB->isChecked(), PgWebSizeSE->value(), PgOriginalCB->isChecked()};
    });
}

void TVeltrixF::PgBackLinkEChange() {
    ChangePage(FThumbPage.get(), [this](TGfxPageSettings& s) {
        s.Frame.BackLink = PgBackLinkE->text();
        s.Frame.BackLinkText = PgBackLinkTextE->text();
    });
}

void TVeltrixF::PgColSBClick(QToolButton* button) {
    TColor color = 0;
    if (FDialogs->ChooseColor(color))
        SetPageColor(button, color);
}

void TVeltrixF::SetPageColor(QToolButton* button, TColor color) {
    const struct {
        QToolButton* Button;
        QLabel* Panel;
        TColor TGfxPageFrame::*Field;
    } colors[] = {{PgColTextSB, PgColTextP, &TGfxPageFrame::TextColor},
                  {PgColLinkSB, PgColLinkP, &TGfxPageFrame::LinkColor},
                  {PgColVLinkSB, PgColVLinkP, &TGfxPageFrame::VLinkColor},
                  {PgColALinkSB, PgColALinkP, &TGfxPageFrame::ALinkColor}};
    for (const auto& known : colors)
        if (button == known.Button) {
            ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.Frame.*known.Field = color; });
            SetPanelColor(known.Panel, color);
        }
}

TColor TVeltrixF::SetColorSetting(TColor color, QLabel* panel, QCheckBox* defaultBox) {
    if (defaultBox) {
        // Setting the box must not open the colour dialog.
        const QSignalBlocker blocker(defaultBox);
        defaultBox->setChecked(color == clNone);
    }
    SetPanelColor(panel, color);
    return color;
}

void TVeltrixF::ConnectTableControls() {
    GfxGridColSE->setKeyboardTracking(false);
    GfxGridRowSE->setKeyboardTracking(false);
    connect(GfxGridColSE, &QSpinBox::valueChanged, this, Guarded([this](int v) { GfxGridColSEChange(v); }));
    connect(GfxGridRowSE, &QSpinBox::valueChanged, this, Guarded([this](int v) { GfxGridRowSEChange(v); }));
    connect(HtmlTablAlignCB, &QComboBox::activated, this, Guarded([this] { HtmlTablAlignCBChange(); }));
    connect(HtmlTablCellSpacSE, &QSpinBox::valueChanged, this, Guarded([this](int value) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.CellSpacing = value; });
            }));
    connect(HtmlPageRowsSE, &QSpinBox::valueChanged, this, Guarded([this](int value) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.PageRows = value; });
            }));
    for (QCheckBox* box : {PicInfNameCB, PicInfPicSizeCB, PicInfSizeCB})
        connect(box, &QCheckBox::clicked, this, Guarded([this] { PicInfCBClick(); }));
    connect(PicInfFonSizSE, &QSpinBox::valueChanged, this, Guarded([this](int value) {
                if (!FThumbPage)
                    return;
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.PicInfoFontSize = value; });
                PreviewNow();
            }));
    connect(PicInfFonAlignCB, &QComboBox::activated, this, Guarded([this] { PicInfFonAlignCBChange(); }));
    connect(PicInf_FontColor, &QAction::triggered, this, Guarded([this] { PicInfFontColorExecute(); }));
    connect(PicInfFonColDefCB, &QCheckBox::clicked, this, Guarded([this] { PicInfFonColDefCBClick(); }));
    connect(HtmlTabTitleE, &QLineEdit::textChanged, this, Guarded([this](const QString& text) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.TableTitle = text; });
            }));
    connect(HtmlTabTitSizSE, &QSpinBox::valueChanged, this, Guarded([this](int value) {
                ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.TableTitleFontSize = value; });
            }));
    connect(HtmlTabTitAlignCB, &QComboBox::activated, this, Guarded([this] { HtmlTabTitAlignCBChange(); }));
    connect(Head_FontColor, &QAction::triggered, this, Guarded([this] { HeadFontColorExecute(); }));
    connect(HtmlTabTitColCB, &QCheckBox::clicked, this, Guarded([this] { HtmlTabTitColCBClick(); }));
}

bool TVeltrixF::ConfirmTableSize(int cols, int rows) {
    if (!FGrid)
        return true;
    int leaving = 0;
    for (int row = 0; row < FGrid->RowCount(); ++row)
        for (int col = 0; col < FGrid->ColCount(); ++col)
            if ((col >= cols || row >= rows) && !FGrid->IsCellEmpty(col, row))
                ++leaving;
    if (leaving == 0)
        return true;
    const QString text = QString("%1 %2 would leave the grid.\rChange the table to %3x%4 ?")
                             .arg(leaving)
                             .arg(leaving == 1 ? "picture" : "pictures")
                             .arg(cols)
                             .arg(rows);
    return FDialogs->MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNo) == TModalResult::Yes;
}

// Sizes are taken when editing ends (Enter, leaving the field, the arrows), never at each keystroke; a size
// that would drop pictures is asked for first, and refused it leaves the grid and the field as they were.
void TVeltrixF::GfxGridColSEChange(int value) {
    if (FGrid && !ConfirmTableSize(value, FGrid->RowCount())) {
        const QSignalBlocker blocker(GfxGridColSE);
        GfxGridColSE->setValue(FGrid->ColCount());
        return;
    }
    if (FGrid)
        FGrid->SetColCount(value);
    ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.Columns = value; });
    UpdateTableStatus();
}

void TVeltrixF::GfxGridRowSEChange(int value) {
    if (FGrid && !ConfirmTableSize(FGrid->ColCount(), value)) {
        const QSignalBlocker blocker(GfxGridRowSE);
        GfxGridRowSE->setValue(FGrid->RowCount());
        return;
    }
    if (FGrid)
        FGrid->SetRowCount(value);
    ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.Rows = value; });
    UpdateTableStatus();
}

void TVeltrixF::HtmlTablAlignCBChange() {
    ChangePage(FThumbPage.get(),
               [this](TGfxPageSettings& s) { s.TableAlign = ListValue<THtmlHAlign>(HtmlTablAlignCB); });
}

void TVeltrixF::HtmlTabTitAlignCBChange() {
    ChangePage(FThumbPage.get(), [this](TGfxPageSettings& s) {
        s.TableTitleAlign = ListValue<THtmlHAlign>(HtmlTabTitAlignCB);
    });
}

void TVeltrixF::PicInfFonAlignCBChange() {
    ChangePage(FThumbPage.get(),
               [this](TGfxPageSettings& s) { s.PicInfoAlign = ListValue<THtmlHAlign>(PicInfFonAlignCB); });
    PreviewNow();
}

// The three boxes always give all three bits.
void TVeltrixF::PicInfCBClick() {
    const int flags = (PicInfNameCB->isChecked() ? kPicInfoName : 0) |
                      (PicInfPicSizeCB->isChecked() ? kPicInfoPicSize : 0) |
                      (PicInfSizeCB->isChecked() ? kPicInfoFileSize : 0);
    SetPicInfoFlags(flags);
    if (flags != 0)
        PreviewNow();
    else
        ShowPreviewBkg(); // the text goes; the thumbnail stays as it is
}

void TVeltrixF::SetPicInfoFlags(int flags) {
    ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) { s.PicInfo = TPicInfo(flags & 7); });
    PicInfNameCB->setChecked(flags & kPicInfoName);
    PicInfPicSizeCB->setChecked(flags & kPicInfoPicSize);
    PicInfSizeCB->setChecked(flags & kPicInfoFileSize);
}

int TVeltrixF::PageInfoFlags() const {
    return int(FThumbPage->PicInfo());
}

void TVeltrixF::PicInfFontColorExecute() {
    TColor color = 0;
    if (!FDialogs->ChooseColor(color))
        return;
    ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) {
        s.PicInfoColor = SetColorSetting(color, PicInfFonColP, PicInfFonColDefCB);
    });
    PreviewNow();
}

void TVeltrixF::HeadFontColorExecute() {
    TColor color = 0;
    if (!FDialogs->ChooseColor(color))
        return;
    ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) {
        s.TableTitleColor = SetColorSetting(color, HtmlTabTitColP, HtmlTabTitColCB);
    });
}

void TVeltrixF::PicInfFonColDefCBClick() {
    if (PicInfFonColDefCB->isChecked()) {
        ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) {
            s.PicInfoColor = SetColorSetting(clNone, PicInfFonColP, PicInfFonColDefCB);
        });
        PreviewNow();
    } else {
        PicInfFontColorExecute();
    }
}

void TVeltrixF::HtmlTabTitColCBClick() {
    if (HtmlTabTitColCB->isChecked())
        ChangePage(FThumbPage.get(), [&](TGfxPageSettings& s) {
            s.TableTitleColor = SetColorSetting(clNone, HtmlTabTitColP, HtmlTabTitColCB);
        });
    else
        HeadFontColorExecute();
}

void TVeltrixF::PreviewNow() {
    if (!FApplyingProfile)
        ShowThumb();
}

void TVeltrixF::ConnectOptionControls() {
    connect(GGridWSE, &QSpinBox::valueChanged, this, Guarded([this](int value) {
                if (FGrid)
                    FGrid->SetDefaultColWidth(value);
            }));
    connect(GGridHSE, &QSpinBox::valueChanged, this, Guarded([this](int value) {
                if (FGrid)
                    FGrid->SetDefaultRowHeight(value);
            }));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
    connect(SaveOptionsBB, &QPushButton::clicked, SaveOptionsA, &QAction::trigger);
}

// The cell previews are rebuilt at the current cell size, row by row.
void TVeltrixF::BitBtn1Click() {
    if (!FGrid)
        return;
    for (int row = 0; row < FGrid->RowCount(); ++row)
        for (int col = 0; col < FGrid->ColCount(); ++col)
            FGrid->ReloadCell(col, row);
}
