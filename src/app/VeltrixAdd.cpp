// Adding many pictures: folders, background placing with progress and Cancel, sorting, moving by keys, files
// from the command line, and the folders remembered between runs.
#include "app/VeltrixU.h"

#include <algorithm>
#include <numeric>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/VlxApplication.h"
#include "common/VlxNativePath.h"
#include "gallery/GalleryOrder.h"
#include "grid/GfxGrid.h"
#include "grid/GfxGridPlacer.h"
#include "settings/VlxIniFile.h"

namespace {

const char* const kEmptyHint = "Drop pictures or folders here, or press Insert to choose pictures.\n"
                               "Right-click for more: add a folder, sort by name or date taken.\n"
                               "Ctrl+arrow keys move the current picture.";

} // namespace

void TVeltrixF::CreatePlacingCancel() {
    PlaceCancelB = new QPushButton("Cancel", statusBar());
    PlaceCancelB->setObjectName("PlaceCancelB");
    PlaceCancelB->setToolTip("Stop placing pictures (Esc)");
    PlaceCancelB->setStatusTip("Stop placing pictures; the pictures placed so far stay");
    PlaceCancelB->hide();
    statusBar()->addPermanentWidget(PlaceCancelB);

    connect(Commands->AddFolderA, &QAction::triggered, this,
            Guarded([this] { AddFolderExecute(TPictureOrder::Name); }));
    connect(Commands->AddFolderDateA, &QAction::triggered, this,
            Guarded([this] { AddFolderExecute(TPictureOrder::DateTaken); }));
    connect(Commands->SortNameA, &QAction::triggered, this,
            Guarded([this] { SortPictures(TPictureOrder::Name); }));
    connect(Commands->SortDateA, &QAction::triggered, this,
            Guarded([this] { SortPictures(TPictureOrder::DateTaken); }));
    connect(PlaceCancelB, &QPushButton::clicked, this, [this] { CancelPlacing(); });
}

// The grid hands over dropped files, shows how pictures come in while empty, and moves pictures by keys.
void TVeltrixF::ConnectAdding() {
    if (!FGrid)
        return;
    FPlacer = new TGfxGridPlacer(FGrid);
    FPlacer->OnProgress = [this](TGfxGridPlacer* placer) {
        if (FPlaceBar)
            FPlaceBar->setValue(placer->Done());
    };
    FPlacer->OnDone = [this](TGfxGridPlacer*, const std::vector<TRefusedFile>& refused, bool cancelled) {
        RunGuarded([&] { PlacingDone(refused, cancelled); });
    };
    FGrid->OnPlaceFiles = [this](TGfxGrid*, const QStringList& paths, int col, int row) {
        RunGuarded([&] { PlacePictures(paths, col, row); });
    };
    FGrid->SetEmptyHint(kEmptyHint);
    FDialogs->SetPictureDir(RecentFolder("Pictures"));
    auto keys = FGrid->OnKeyDown;
    FGrid->OnKeyDown = [this, keys](TGfxGrid* grid, int& key, Qt::KeyboardModifiers shift) {
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

void TVeltrixF::PlacePictures(const QStringList& paths, int col, int row, bool intoStartCell) {
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

bool TVeltrixF::Placing() const {
    return FPlacer && FPlacer->Busy();
}

void TVeltrixF::CancelPlacing() {
    FPlaceQueue.clear();
    if (FPlacer)
        FPlacer->Cancel();
}

void TVeltrixF::StartNextPlacing() {
    if (FPlaceQueue.empty())
        return;
    const TPlaceRequest request = std::move(FPlaceQueue.front());
    FPlaceQueue.erase(FPlaceQueue.begin());
    // Everything placed until the placer is idle again is one step to undo.
    if (!FPlaceStepOpen) {
        FPlaceStepOpen = true;
        FEditor->Begin();
    }
    FPlaceBar.reset(CreateStatusProgressBar(static_cast<int>(request.Paths.size())));
    PlaceCancelB->show();
    FPlacer->Start(request.Paths, request.Col, request.Row, request.IntoStartCell);
}

void TVeltrixF::PlacingDone(const std::vector<TRefusedFile>& refused, bool cancelled) {
    FPlaceBar.reset();
    PlaceCancelB->hide();
    if (cancelled) {
        FPlaceCarried.clear();
        ShowStatus(
            QString("Placing stopped: %1 of %2 files done").arg(FPlacer->Done()).arg(FPlacer->Total()));
    } else {
        ShowStatus("");
        std::vector<TRefusedFile> told = std::move(FPlaceCarried);
        FPlaceCarried.clear();
        told.insert(told.end(), refused.begin(), refused.end());
        if (!told.empty())
            GridFilesRefused(told); // may place more, in the background
    }
    if (!Placing())
        StartNextPlacing();
    if (!Placing() && FPlaceStepOpen) {
        FPlaceStepOpen = false;
        FEditor->Record("Place pictures");
    }
    if (!Placing() && OnPlacingDone)
        OnPlacingDone(this, cancelled);
}

void TVeltrixF::AddFolderExecute(TPictureOrder order) {
    QString dir = RecentFolder("Pictures");
    if (!FDialogs->SelectDirectory(dir) || dir.trimmed().isEmpty())
        return;
    AddFolder(dir, order);
}

void TVeltrixF::AddFolder(const QString& dir, TPictureOrder order) {
    if (!FGrid)
        return;
    const QStringList paths = FolderPictures(dir, order);
    RememberFolder("Pictures", dir);
    FDialogs->SetPictureDir(dir);
    if (paths.isEmpty()) {
        FDialogs->MessageBox(TMsgKind::Information, "The folder " + ShownPath(dir) + " holds no pictures",
                             TMsgButtons::Ok);
        return;
    }
    PlacePictures(paths, std::max(0, FGrid->Col()), std::max(0, FGrid->Row()));
}

void TVeltrixF::SortPictures(TPictureOrder order) {
    if (!FGrid)
        return;
    const int cols = FGrid->ColCount();
    std::vector<int> filled;
    QStringList sources;
    for (int p = 0; p < cols * FGrid->RowCount(); ++p)
        if (!FGrid->IsCellEmpty(p % cols, p / cols)) {
            filled.push_back(p);
            sources << FGrid->Gallery().Cell(p % cols, p / cols).Source;
        }
    std::vector<int> from(cols * FGrid->RowCount());
    std::iota(from.begin(), from.end(), 0);
    const std::vector<int> sorted = PictureOrder(sources, order);
    for (size_t k = 0; k < filled.size(); ++k)
        from[filled[k]] = filled[sorted[k]];
    EditGallery("Sort pictures", [&] { FGrid->Rearrange(from); });
}

bool TVeltrixF::MovePicture(int dCol, int dRow) {
    if (!FGrid)
        return false;
    const int col = FGrid->Col();
    const int row = FGrid->Row();
    const int toCol = col + dCol;
    const int toRow = row + dRow;
    if (!FGrid->Gallery().Contains(col, row) || !FGrid->Gallery().Contains(toCol, toRow) ||
        FGrid->IsCellEmpty(col, row))
        return false;
    const int cols = FGrid->ColCount();
    std::vector<int> from(cols * FGrid->RowCount());
    std::iota(from.begin(), from.end(), 0);
    std::swap(from[row * cols + col], from[toRow * cols + toCol]);
    EditGallery("Move picture", [&] { FGrid->Rearrange(from); });
    FGrid->SetCurrentCell(toCol, toRow);
    return true;
}

void TVeltrixF::OpenFiles(const QStringList& paths) {
    QStringList absolute;
    for (const QString& path : paths)
        absolute << QDir::current().absoluteFilePath(path);
    if (!absolute.isEmpty())
        PlacePictures(absolute, 0, 0);
}

QString TVeltrixF::RecentFolder(const QString& kind) const {
    return FRecent.Folder(kind);
}

// Remembering is a convenience: a file that cannot be written is told in the status bar, the command goes on.
void TVeltrixF::RememberFolder(const QString& kind, const QString& dir) {
    try {
        FRecent.RememberFolder(kind, dir);
    } catch (const Exception& e) {
        ShowStatus(e.Message());
    }
}
