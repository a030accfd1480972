// Grid commands, the preview of the current cell's thumbnail and the background picture or colour.
#include "app/VeltrixU.h"

#include "app/VlxRenderPanel.h"

#include <algorithm>

#include <QAction>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "app/VlxAboutPanel.h"
#include "app/VlxApplication.h"
#include "app/VlxDocumentCommands.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxPagePanel.h"
#include "app/VlxPlaceCommands.h"
#include "app/VlxPreviewPanel.h"
#include "common/VlxNativePath.h"
#include "gallery/GallerySettings.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "publish/GalleryRun.h"

namespace {

// Bytes as kilobytes with one decimal, halves rounded up: 123456 gives "120.6".
QString KiloBytes(qint64 size) {
    const qint64 tenths = (size * 10 + 512) / 1024;
    return QString("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

} // namespace

void TVeltrixF::ConnectGridCommands() {
    connect(Commands->GfxG_LoadPicture, &QAction::triggered, this,
            Guarded([this] { PlaceCmds->LoadPictureExecute(); }));
    connect(Commands->GfxG_ClearCell, &QAction::triggered, this, Guarded([this] { GfxGClearCellExecute(); }));
    connect(Commands->Gfx_ClearAll, &QAction::triggered, this, Guarded([this] { GfxClearAllExecute(); }));
    connect(Commands->Gfx_ShowThumb, &QAction::triggered, this, Guarded([this] { ShowThumb(); }));
    connect(Commands->ThumbBkg_File, &QAction::triggered, this, Guarded([this] { ThumbBkgFileExecute(); }));
    connect(Commands->ThumbBkg_Color, &QAction::triggered, this, Guarded([this] { ThumbBkgColorExecute(); }));
    connect(Commands->TableRowsColumns, &QAction::triggered, this,
            [this] { MainPC->setCurrentWidget(Html->TableTab); });
    connect(Commands->OptionsA, &QAction::triggered, this,
            [this] { MainPC->setCurrentWidget(Options->Tab); });
    connect(About, &TAboutPanel::OpenAsked, this, Guarded([this](const QString& url) { FDialogs->OpenUrl(QUrl(url)); }));
}

void TVeltrixF::GfxGClearCellExecute() {
    if (!FGrid)
        return;
    EditGallery("Clear cell", [this] { FGrid->ClearCurrentCell(); });
    ShowThumb();
    UpdateTableStatus();
}

void TVeltrixF::GfxClearAllExecute() {
    if (!FGrid || !DocumentCmds->ConfirmDiscard())
        return;
    EditGallery("Clear all cells", [this] { FGrid->ClearAllCells(); });
    ShowThumb();
    UpdateTableStatus();
}

void TVeltrixF::ShowThumb() {
    if (!FGrid)
        return;
    const int col = FGrid->Col();
    const int row = FGrid->Row();
    // A missing picture has nothing to show.
    if (col >= 0 && row >= 0 && !FGrid->IsCellEmpty(col, row) && !FGrid->IsCellMissing(col, row)) {
        const TGfxGridItem* item = FGrid->Objects(col, row);
        // Recorded first: a picture that fails to render is not tried again at every grid change.
        FPreviewName = FGrid->Cells(col, row);
        FPreviewFile = item->FileName();
        ShowStatus("Processing...");
        RenderThumb(FGrid->Gallery().Cell(col, row));
        DrawPicInfo(FGrid->Cells(col, row), item->ImageWidth(), item->ImageHeight(), item->FileSize());
        ShowStatus("");
    } else {
        FPreviewName.clear();
        FPreviewFile.clear();
        Preview->ClearThumb();
    }
    ShowCaption();
}

void TVeltrixF::ShowCaption() {
    const bool filled = FGrid && !FGrid->IsCellEmpty(FGrid->Col(), FGrid->Row());
    const QString caption = filled ? FGrid->Gallery().Cell(FGrid->Col(), FGrid->Row()).Caption : QString();
    Preview->ShowCaption(filled, caption);
}

void TVeltrixF::CaptionEChange(const QString& text) {
    if (!FGrid || FGrid->IsCellEmpty(FGrid->Col(), FGrid->Row()))
        return;
    EditGallery("Type a caption", [&] { FGrid->Gallery().SetCaption(FGrid->Col(), FGrid->Row(), text); });
}

bool TVeltrixF::SyncPreview() {
    if (!FGrid)
        return false;
    const int col = FGrid->Col();
    const int row = FGrid->Row();
    const TGfxGridItem* item = FGrid->IsCellEmpty(col, row) ? nullptr : FGrid->Objects(col, row);
    const QString name = item ? FGrid->Cells(col, row) : QString();
    const QString file = item ? item->FileName() : QString();
    if (name == FPreviewName && file == FPreviewFile)
        return false;
    ShowThumb();
    return true;
}

// The picture's stretch kept by its cell is rendered as it is; without one the file is decoded.
void TVeltrixF::RenderThumb(const TGalleryCell& cell) {
    const QString& path = cell.Source;
    if (path.isEmpty())
        return;
    if (const auto fitted = cell.Kept.For(PictureBox(), TFileStamp::Of(path))) {
        Renderer().RenderFitted(*fitted);
    } else {
        Renderer().Source().LoadPicture(path);
        Renderer().Render();
    }
    Preview->ShowThumb(Renderer().Bitmap());
}

QSize TVeltrixF::PictureBox() const {
    return Settings().Thumb.PictureBox();
}

void TVeltrixF::TellGridPictureBox() {
    if (FGrid && FConverter)
        FGrid->SetPictureBox(PictureBox());
}

// The information lines the table page writes under a thumbnail, drawn under the previewed one.
void TVeltrixF::DrawPicInfo(const QString& name, int width, int height, qint64 fileSize) {
    const TGallerySettings& settings = Settings();
    const int flags = int(settings.Page.PicInfo);
    if (flags == 0)
        return;
    const TColor color =
        settings.Page.PicInfoColor == clNone ? settings.Page.Frame.TextColor : settings.Page.PicInfoColor;
    Preview->ShowInfo(PicInfoLines(flags, name, width, height, fileSize), color, settings.Thumb.ThumbHeight);
}

QStringList PicInfoLines(int flags, const QString& name, int width, int height, qint64 fileSize) {
    QStringList lines;
    if (flags & 1)
        lines << QFileInfo(name).fileName();
    QString second;
    if (flags & 2) {
        second = QString::asprintf("%dx%d", width, height);
        if (flags & 4)
            second += "   ";
    }
    if (flags & 4)
        second += KiloBytes(fileSize) + "Kb";
    if (!second.isEmpty())
        lines << second;
    return lines;
}

// Loads first and changes the state after: a picture that cannot be loaded leaves the old background whole.
void TVeltrixF::SetBkgFile(const QString& path) {
    LoadBackgroundPicture(Renderer().Background(), path);
    ChangeSettings([&](TGallerySettings& settings) { settings.Background = {path, clNone}; });
    const QString fileName = QFileInfo(path).fileName();
    Render->ShowBackground(fileName, clNone);
    Preview->Retile();
    SetThumbsStale(true);
    PreviewNow();
}

void TVeltrixF::SetBkgColor(TColor color) {
    const QString path = ColorFileName(color);
    TGfxBaseIm tile;
    tile.SetSize(100, 100);
    tile.Bitmap().fill(ColorToQColor(color));
    tile.SaveAsJpeg(path, 75);
    SetBkgFile(path);
    ChangeSettings([color](TGallerySettings& settings) { settings.Background.Color = color; });
    Render->ShowBackground(QFileInfo(path).fileName(), color);
}

// The tile stays in the working folder for the preview; a run copies it into the gallery.
QString TVeltrixF::ColorFileName(TColor color) const {
    return FWorkDir + ColorTileName(color);
}

void TVeltrixF::ThumbBkgFileExecute() {
    QString path;
    if (FDialogs->OpenPicture(path))
        SetBkgFile(path);
}

void TVeltrixF::ThumbBkgColorExecute() {
    TColor color = 0;
    if (FDialogs->ChooseColor(color))
        SetBkgColor(color);
}
