// The settings tabs' handlers: every change goes at once to the editor, then the renderer, the table page or
// the grid.
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
#include "app/VlxOptionsPanel.h"
#include "app/VlxPagePanel.h"
#include "app/VlxPreviewPanel.h"
#include "app/VlxRenderPanel.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"

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
    ConnectOptionControls();
}

void TVeltrixF::ConnectRendererControls() {
    // Each rendering change marks the thumbnails stale; the preview follows one second after the last.
    connect(Render, &TRenderPanel::Edited, this, Guarded([this](const TGfxThumbSettings& settings) {
                ChangeSettings([&](TGallerySettings& kept) { kept.Thumb = settings; });
                if (FConverter)
                    Renderer().SetSettings(settings);
                TellGridPictureBox();
                SetThumbsStale(true);
            }));
}

void TVeltrixF::ConnectPageControls() {
    connect(Html, &TPagePanel::Edited, this, Guarded([this](const TGfxPageSettings& value) { PageEdited(value); }));
    connect(Html, &TPagePanel::PublishMetaEdited, this, [this](TPublishMeta meta) {
        ChangeSettings([meta](TGallerySettings& settings) { settings.PublishMeta = meta; });
    });
    connect(Html, &TPagePanel::TableSizeAsked, this, Guarded([this](int cols, int rows) { TableSizeAsked(cols, rows); }));
}

// The table's size stays the grid's: the editor keeps it so.
void TVeltrixF::PageEdited(const TGfxPageSettings& value) {
    if (!FGrid)
        return;
    const TGfxPageSettings before = Settings().Page;
    ChangeSettings([&](TGallerySettings& settings) { settings.Page = value; });
    const TGfxPageSettings& page = Settings().Page;
    // The text under the previewed thumbnail goes at once when none is asked for; the thumbnail stays.
    if (page.PicInfo != before.PicInfo && page.PicInfo == 0)
        Preview->ShowBackground();
    else if (page.PicInfo != before.PicInfo || page.PicInfoFontSize != before.PicInfoFontSize ||
             page.PicInfoAlign != before.PicInfoAlign || page.PicInfoColor != before.PicInfoColor)
        PreviewNow();
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

// A size that would drop pictures is asked for first, and refused it leaves the grid and the field as they
// were.
void TVeltrixF::TableSizeAsked(int cols, int rows) {
    if (FGrid && !ConfirmTableSize(cols, rows)) {
        Html->ShowTableSize(FGrid->ColCount(), FGrid->RowCount());
        return;
    }
    SetTableSize(cols, rows);
}

void TVeltrixF::PreviewNow() {
    if (!FApplyingProfile)
        ShowThumb();
}

void TVeltrixF::ConnectOptionControls() {
    connect(Options, &TOptionsPanel::CellSizeEdited, this, Guarded([this](int width, int height) {
                if (FGrid) {
                    FGrid->SetDefaultColWidth(width);
                    FGrid->SetDefaultRowHeight(height);
                }
            }));
    connect(Options, &TOptionsPanel::RedrawAsked, this, Guarded([this] { RedrawCells(); }));
    connect(Options, &TOptionsPanel::SaveAsked, Commands->SaveOptionsA, &QAction::trigger);
}

// The cell previews are rebuilt at the current cell size, row by row.
void TVeltrixF::RedrawCells() {
    if (!FGrid)
        return;
    for (int row = 0; row < FGrid->RowCount(); ++row)
        for (int col = 0; col < FGrid->ColCount(); ++col)
            FGrid->ReloadCell(col, row);
}
