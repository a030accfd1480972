// Adding many pictures: folders, background placing with progress and Cancel, sorting, moving by keys, and
// files from the command line.
#include "app/VlxPlaceCommands.h"

#include "app/VeltrixU.h"

#include <algorithm>
#include <numeric>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QStatusBar>

#include "app/VlxApplication.h"
#include "app/VlxPagePanel.h"
#include "common/VlxNativePath.h"
#include "gallery/GalleryOrder.h"
#include "gallery/GallerySettings.h"
#include "grid/GfxGrid.h"
#include "grid/GfxGridPlacer.h"

namespace {

const char* const kEmptyHint = "Drop pictures or folders here, or press Insert to choose pictures.\n"
                               "Right-click for more: add a folder, sort by name or date taken.\n"
                               "Ctrl+arrow keys move the current picture.";

} // namespace

TPlaceCommands::TPlaceCommands(TVeltrixF& window) : FWindow(window) {}

TPlaceCommands::~TPlaceCommands() {
    Stop();
}

void TPlaceCommands::Stop() {
    OnPlacingDone = nullptr;
    delete FPlacer;
    FPlacer = nullptr;
}

void TPlaceCommands::Connect() {
    CancelB = new QPushButton("Cancel", FWindow.statusBar());
    CancelB->setObjectName("PlaceCancelB");
    CancelB->setToolTip("Stop placing pictures (Esc)");
    CancelB->setStatusTip("Stop placing pictures; the pictures placed so far stay");
    CancelB->hide();
    FWindow.statusBar()->addPermanentWidget(CancelB);

    connect(FWindow.Commands->AddFolderA, &QAction::triggered, this,
            Guarded([this] { AddFolderExecute(TPictureOrder::Name); }));
    connect(FWindow.Commands->AddFolderDateA, &QAction::triggered, this,
            Guarded([this] { AddFolderExecute(TPictureOrder::DateTaken); }));
    connect(FWindow.Commands->SortNameA, &QAction::triggered, this,
            Guarded([this] { SortPictures(TPictureOrder::Name); }));
    connect(FWindow.Commands->SortDateA, &QAction::triggered, this,
            Guarded([this] { SortPictures(TPictureOrder::DateTaken); }));
    connect(CancelB, &QPushButton::clicked, this, [this] { CancelPlacing(); });
    if (FWindow.Grid())
        ConnectGrid();
}

// The grid hands over dropped files, shows how pictures come in while empty, and moves pictures by keys.
void TPlaceCommands::ConnectGrid() {
    FPlacer = new TGfxGridPlacer(FWindow.Grid());
    FPlacer->OnProgress = [this](TGfxGridPlacer* placer) {
        if (FPlaceBar)
            FPlaceBar->setValue(placer->Done());
    };
    FPlacer->OnDone = [this](TGfxGridPlacer*, const std::vector<TRefusedFile>& refused, bool cancelled) {
        RunGuarded([&] { PlacingDone(refused, cancelled); });
    };
    FWindow.Grid()->OnPlaceFiles = [this](TGfxGrid*, const QStringList& paths, int col, int row) {
        RunGuarded([&] { PlacePictures(paths, col, row); });
    };
    FWindow.Grid()->SetEmptyHint(kEmptyHint);
    FWindow.Dialogs().SetPictureDir(FWindow.RecentFolder("Pictures"));
    auto keys = FWindow.Grid()->OnKeyDown;
    FWindow.Grid()->OnKeyDown = [this, keys](TGfxGrid* grid, int& key, Qt::KeyboardModifiers shift) {
        if (key == Qt::Key_Escape && Placing()) {
            CancelPlacing();
            key = 0;
            return;
        }
        const bool arrow =
            key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
        if (arrow && (shift & Qt::ControlModifier)) {
            RunGuarded([&] {
                MovePicture(key == Qt::Key_Left    ? -1
                            : key == Qt::Key_Right ? 1
                                                   : 0,
                            key == Qt::Key_Up     ? -1
                            : key == Qt::Key_Down ? 1
                                                  : 0);
            });
            key = 0; // the view would move the current cell alone
            return;
        }
        if (keys)
            keys(grid, key, shift);
    };
}

void TPlaceCommands::PlacePictures(const QStringList& paths, int col, int row, bool intoStartCell) {
    if (!FPlacer)
        return;
    TPlaceRequest request{{}, col, row, intoStartCell};
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            request.Paths << path;
            continue;
        }
        try {
            request.Paths << FolderPictures(path, TPictureOrder::Name);
        } catch (const Exception& e) {
            FPlaceCarried.push_back({path, e.Message(), false});
        }
    }
    FPlaceQueue.push_back(std::move(request));
    if (!Placing())
        StartNextPlacing();
}

bool TPlaceCommands::Placing() const {
    return FPlacer && FPlacer->Busy();
}

void TPlaceCommands::CancelPlacing() {
    FPlaceQueue.clear();
    if (FPlacer)
        FPlacer->Cancel();
}

void TPlaceCommands::StartNextPlacing() {
    if (FPlaceQueue.empty())
        return;
    const TPlaceRequest request = std::move(FPlaceQueue.front());
    FPlaceQueue.erase(FPlaceQueue.begin());
    // Everything placed until the placer is idle again is one step to undo.
    if (!FPlaceStepOpen) {
        FPlaceStepOpen = true;
        FWindow.Editor().Begin();
    }
    FPlaceBar.reset(FWindow.CreateStatusProgressBar(static_cast<int>(request.Paths.size())));
    CancelB->show();
    FPlacer->Start(request.Paths, request.Col, request.Row, request.IntoStartCell);
}

void TPlaceCommands::PlacingDone(const std::vector<TRefusedFile>& refused, bool cancelled) {
    FPlaceBar.reset();
    CancelB->hide();
    if (cancelled) {
        FPlaceCarried.clear();
        FWindow.ShowStatus(
            QString("Placing stopped: %1 of %2 files done").arg(FPlacer->Done()).arg(FPlacer->Total()));
    } else {
        FWindow.ShowStatus("");
        std::vector<TRefusedFile> told = std::move(FPlaceCarried);
        FPlaceCarried.clear();
        told.insert(told.end(), refused.begin(), refused.end());
        if (!told.empty())
            FilesRefused(told); // may place more, in the background
    }
    if (!Placing())
        StartNextPlacing();
    if (!Placing() && FPlaceStepOpen) {
        FPlaceStepOpen = false;
        FWindow.Editor().Record("Place pictures");
    }
    if (!Placing() && OnPlacingDone)
        OnPlacingDone(&FWindow, cancelled);
}

void TPlaceCommands::AddFolderExecute(TPictureOrder order) {
    QString dir = FWindow.RecentFolder("Pictures");
    if (!FWindow.Dialogs().SelectDirectory(dir) || dir.trimmed().isEmpty())
        return;
    AddFolder(dir, order);
}

// Pictures the table holds already are left out, so adding a folder again adds what is new in it. The
// pictures keep the folder's order row by row: they go from the current cell on when the empty cells after
// it hold them all, else from the top-left cell (the placer would go on there, before the first of them).
void TPlaceCommands::AddFolder(const QString& dir, TPictureOrder order) {
    TGfxGrid* grid = FWindow.Grid();
    if (!grid)
        return;
    const QStringList found = FolderPictures(dir, order);
    FWindow.RememberFolder("Pictures", dir);
    FWindow.Dialogs().SetPictureDir(dir);
    if (found.isEmpty()) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information,
                                     "The folder " + ShownPath(dir) + " holds no pictures", TMsgButtons::Ok);
        return;
    }
    const int cols = grid->ColCount();
    const int cells = cols * grid->RowCount();
    QSet<QString> placed;
    for (int p = 0; p < cells; ++p)
        if (!grid->IsCellEmpty(p % cols, p / cols))
            placed.insert(QFileInfo(grid->Gallery().Cell(p % cols, p / cols).Source).canonicalFilePath());
    QStringList paths;
    for (const QString& path : found)
        if (!placed.contains(QFileInfo(path).canonicalFilePath()))
            paths << path;
    if (paths.isEmpty()) {
        FWindow.Dialogs().MessageBox(
            TMsgKind::Information,
            "The pictures of the folder " + ShownPath(dir) + " are in the table already", TMsgButtons::Ok);
        return;
    }
    const int start = std::max(0, grid->Row()) * cols + std::max(0, grid->Col());
    int emptyAfter = 0;
    for (int p = start; p < cells; ++p)
        emptyAfter += grid->IsCellEmpty(p % cols, p / cols) ? 1 : 0;
    if (emptyAfter >= paths.size())
        PlacePictures(paths, start % cols, start / cols);
    else
        PlacePictures(paths, 0, 0);
}

void TPlaceCommands::SortPictures(TPictureOrder order) {
    if (!FWindow.Grid())
        return;
    const int cols = FWindow.Grid()->ColCount();
    std::vector<int> filled;
    QStringList sources;
    for (int p = 0; p < cols * FWindow.Grid()->RowCount(); ++p)
        if (!FWindow.Grid()->IsCellEmpty(p % cols, p / cols)) {
            filled.push_back(p);
            sources << FWindow.Grid()->Gallery().Cell(p % cols, p / cols).Source;
        }
    std::vector<int> from(cols * FWindow.Grid()->RowCount());
    std::iota(from.begin(), from.end(), 0);
    const std::vector<int> sorted = PictureOrder(sources, order);
    for (size_t k = 0; k < filled.size(); ++k)
        from[filled[k]] = filled[sorted[k]];
    FWindow.EditGallery("Sort pictures", [&] { FWindow.Grid()->Rearrange(from); });
}

bool TPlaceCommands::MovePicture(int dCol, int dRow) {
    if (!FWindow.Grid())
        return false;
    const int col = FWindow.Grid()->Col();
    const int row = FWindow.Grid()->Row();
    const int toCol = col + dCol;
    const int toRow = row + dRow;
    if (!FWindow.Grid()->Gallery().Contains(col, row) || !FWindow.Grid()->Gallery().Contains(toCol, toRow) ||
        FWindow.Grid()->IsCellEmpty(col, row))
        return false;
    const int cols = FWindow.Grid()->ColCount();
    std::vector<int> from(cols * FWindow.Grid()->RowCount());
    std::iota(from.begin(), from.end(), 0);
    std::swap(from[row * cols + col], from[toRow * cols + toCol]);
    FWindow.EditGallery("Move picture", [&] { FWindow.Grid()->Rearrange(from); });
    FWindow.Grid()->SetCurrentCell(toCol, toRow);
    return true;
}

void TPlaceCommands::OpenFiles(const QStringList& paths) {
    QStringList absolute;
    for (const QString& path : paths)
        absolute << QDir::current().absoluteFilePath(path);
    if (!absolute.isEmpty())
        PlacePictures(absolute, 0, 0);
}

// The chosen files go into the current cell and on into the empty cells after it, as a drop does.
void TPlaceCommands::LoadPictureExecute() {
    QStringList paths;
    if (!FWindow.Grid() || !FWindow.Dialogs().OpenPictures(paths))
        return;
    FWindow.RememberFolder("Pictures", QFileInfo(ShownPath(paths.first())).absolutePath());
    PlacePictures(paths, std::max(0, FWindow.Grid()->Col()), std::max(0, FWindow.Grid()->Row()), true);
}

void TPlaceCommands::FilesRefused(const std::vector<TRefusedFile>& refused) {
    std::vector<TRefusedFile> left;
    QStringList noCell;
    for (const TRefusedFile& file : refused) {
        if (file.NoCell)
            noCell << file.Path;
        else
            left.push_back(file);
    }
    const int rows = FWindow.Grid()->RowCount();
    const int cols = std::max(1, FWindow.Grid()->ColCount());
    const int newRows =
        std::min(SettingRange(TSetting::Rows).Max, rows + int((noCell.size() + cols - 1) / cols));
    if (!noCell.isEmpty() && newRows > rows) {
        const QString text = QString("%1 %2 into the empty cells.\rAdd %3 %4 to the table ?")
                                 .arg(noCell.size())
                                 .arg(noCell.size() == 1 ? "picture does not fit" : "pictures do not fit")
                                 .arg(newRows - rows)
                                 .arg(newRows - rows == 1 ? "row" : "rows");
        if (FWindow.Dialogs().MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNo) ==
            TModalResult::Yes) {
            FWindow.Html->GfxGridRowSE->setValue(newRows);
            // Placed in the background; what is left out then is told together with these.
            FPlaceCarried.insert(FPlaceCarried.end(), left.begin(), left.end());
            PlacePictures(noCell, 0, rows);
            return;
        }
    }
    QStringList lines;
    for (const TRefusedFile& file : left)
        lines << file.Reason;
    for (const QString& path : noCell)
        lines << "No empty cell to add " + path;
    if (!lines.isEmpty())
        FWindow.Dialogs().ListMessageBox(TMsgKind::Warning, "These files were not placed:", lines, {},
                                         TMsgButtons::Ok);
}
