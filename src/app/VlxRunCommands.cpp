// The generation run and the commands around it: generate, view, output directory, exit, upload request.
#include "app/VlxRunCommands.h"

#include "app/VeltrixU.h"

#include <algorithm>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QTabWidget>

#include "app/VlxApplication.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxPreviewPanel.h"
#include "common/VlxNativePath.h"
#include "grid/GfxGrid.h"
#include "html/WebFiles.h"
#include "publish/GalleryFiles.h"
#include "publish/GalleryRun.h"

namespace {

QString FileNamePart(const QString& path) {
    return QFileInfo(path).fileName();
}

QString WithSlash(QString dir) {
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

} // namespace

TRunCommands::TRunCommands(TVeltrixF& window) : FWindow(window) {}

void TRunCommands::Connect() {
    connect(FWindow.Commands->GeneratePageA, &QAction::triggered, this,
            Guarded([this] { GeneratePageExecute(); }));
    connect(FWindow.Commands->GenerateTableA, &QAction::triggered, this,
            Guarded([this] { GenerateTableExecute(); }));
    connect(FWindow.Commands->ViewPageA, &QAction::triggered, this, Guarded([this] { ViewPageExecute(); }));
    connect(FWindow.Commands->OutputDirA, &QAction::triggered, this, Guarded([this] { OutputDirExecute(); }));
    connect(FWindow.Commands->ExitA, &QAction::triggered, this, Guarded([this] { ExitExecute(); }));
    connect(FWindow.MainPC, &QTabWidget::currentChanged, this,
            Guarded([this](int index) { MainPCChange(index); }));
}

bool TRunCommands::ConfirmGeneration() {
    if (FWindow.CountPictures() == 0) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "No images to process", TMsgButtons::Ok);
        return false;
    }
    if (FWindow.OutputDir().isEmpty()) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "Output directory is not defined",
                                     TMsgButtons::Ok);
        return false;
    }
    if (FWindow.OutputDir() == FWindow.WorkDir()) {
        const QString text = "Output directory\r" + FWindow.OutputDir() + "\r" +
                             "is the temporary directory" + "\r" + "\r" + "Process anyway ?";
        if (FWindow.Dialogs().MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) != TModalResult::Yes)
            return false;
    }
    const int files = CountFiles(FWindow.OutputDir());
    if (files == 0)
        return true;
    const QString text = "Output directory contains " + QString::number(files) + " files" + "\r" +
                         "Same files will be overwritten" + "\r" + "\r" + "Continue ?";
    return FWindow.Dialogs().MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) == TModalResult::Yes;
}

// The gallery the grid shows, with the settings in effect: what a run writes. A copy, as the run lets
// events through and the grid may change meanwhile.
TGallery TRunCommands::GridGallery() const {
    TGallery gallery = FWindow.Editor().Gallery();
    // A missing picture is not published until it is found.
    for (int row = 0; row < gallery.Rows(); ++row)
        for (int col = 0; col < gallery.Columns(); ++col)
            if (FWindow.Grid()->IsCellMissing(col, row))
                gallery.ClearCell(col, row);
    return gallery;
}

// The run's progress on the status bar: a bar per phase and the file at hand, about ten times a second.
void TRunCommands::ShowRunProgress(const TRunProgress& progress, std::unique_ptr<QProgressBar>& bar,
                                   int& barPhase) {
    if (!bar || barPhase != int(progress.Phase)) {
        bar.reset(FWindow.CreateStatusProgressBar(progress.Total));
        barPhase = int(progress.Phase);
    }
    bar->setValue(progress.Done);
    if (progress.Current.isEmpty() || progress.Done == 0)
        return;
    switch (progress.Phase) {
    case TRunPhase::Copy:
        FWindow.ShowStatus(QString("Copy: %1 to %2").arg(FileNamePart(progress.Current), progress.Dest));
        break;
    case TRunPhase::Web:
        FWindow.ShowStatus("Resize: " + FileNamePart(progress.Current));
        break;
    case TRunPhase::Thumbnails:
        FWindow.ShowStatus("Process: " + FileNamePart(progress.Current));
        break;
    case TRunPhase::Pages:
        FWindow.ShowStatus("Wrte page: " + FileNamePart(progress.Current));
        break;
    case TRunPhase::Index:
        break;
    }
    QCoreApplication::processEvents();
}

void TRunCommands::GenerateInto(const QString& dir) {
    const QScopedValueRollback<bool> running(FGenerating, true);
    FUsedFiles.clear();
    TGallery gallery = GridGallery();
    TGalleryRun run(gallery);
    run.Threads = FRenderThreads;
    run.WorkDir = FWindow.WorkDir();
    run.LoadedBackground = &FWindow.Renderer().Background();
    run.GalleryId = FWindow.Editor().Id();
    // The working folder is the program's own: what another gallery left there goes unasked.
    run.ConfirmForeignRemoval = [this, &dir](int files) {
        if (dir == FWindow.WorkDir())
            return true;
        const QString text = QString("The output folder\r%1\rholds %2 %3 that a run of another gallery wrote "
                                     "and that this gallery does not write.\r\rRemove %4 ?\r\rYes removes "
                                     "%4 from the folder, No leaves %4 there.")
                                 .arg(dir)
                                 .arg(files)
                                 .arg(files == 1 ? "file" : "files", files == 1 ? "it" : "them");
        return FWindow.Dialogs().MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) == TModalResult::Yes;
    };
    std::unique_ptr<QProgressBar> bar;
    int barPhase = -1;
    const TRunResult result =
        run.Run(dir, [&](const TRunProgress& progress) { ShowRunProgress(progress, bar, barPhase); });
    bar.reset();
    FUsedFiles = result.Written;
    KeepRunStretches(gallery);
    if (barPhase >= int(TRunPhase::Pages) || result.Ok()) {
        // The thumbnails are written: the last one is in the preview, without its caption.
        FWindow.Grid()->SetCurrentCell(gallery.Columns() - 1, gallery.Rows() - 1);
        if (!result.LastThumb.isNull())
            FWindow.Preview->ShowThumb(result.LastThumb);
        FWindow.SetThumbsStale(false);
    }
    if (!result.Ok()) {
        FWindow.ShowStatus("Stopped at: " + result.StoppedAt);
        throw EVeltrixException(result.Failure);
    }
    // A preview that fails is shown as such and does not undo the run: the gallery is written, and an
    // upload goes on.
    RunGuarded([this] { FWindow.ShowThumb(); });
    FWindow.ShowStatus(
        QString("Gallery written: %1 %2 in %3 (%4)")
            .arg(result.Pictures)
            .arg(QString(result.Pictures == 1 ? "picture" : "pictures"), dir, result.FilesText()));
}

// Events ran meanwhile: only a cell that still holds the same file, with the box unchanged, keeps the
// stretch the run made.
void TRunCommands::KeepRunStretches(const TGallery& gallery) {
    if (gallery.Settings.Thumb.PictureBox() != FWindow.Grid()->PictureBox())
        return;
    TGallery& shown = FWindow.Grid()->Gallery();
    for (int row = 0; row < std::min(gallery.Rows(), shown.Rows()); ++row)
        for (int col = 0; col < std::min(gallery.Columns(), shown.Columns()); ++col) {
            const TGalleryCell& cell = gallery.Cell(col, row);
            if (!cell.IsEmpty() && shown.Cell(col, row).Source == cell.Source)
                shown.Kept(col, row) = cell.Kept;
        }
}

void TRunCommands::ClearDirectory(const QString& dir) {
    const QString folder = dir.isEmpty() ? dir : WithSlash(dir);
    for (const QString& name : DirectoryFiles(folder)) {
        FWindow.ShowStatus("Deleting: " + folder + name);
        QCoreApplication::processEvents();
        QFile::remove(folder + name); // one that cannot go stays, silently
    }
}

// A run started while another one lets events through would write over the files it is writing.
void TRunCommands::GeneratePageExecute() {
    if (!FGenerating && ConfirmGeneration())
        GenerateInto(FWindow.OutputDir());
}

// Checks only: what the table alone would be is not settled.
void TRunCommands::GenerateTableExecute() {
    if (!FGenerating)
        ConfirmGeneration();
}

void TRunCommands::ViewPageExecute() {
    if (FGenerating)
        return;
    if (FWindow.CountPictures() == 0) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "No images to view", TMsgButtons::Ok);
        return;
    }
    GenerateInto(FWindow.WorkDir());
    const QString page = FWindow.WorkDir() + kIndexPage;
    if (!FWindow.Dialogs().OpenUrl(QUrl::fromLocalFile(page)))
        FWindow.Dialogs().MessageBox(TMsgKind::Information,
                                     "No browser could be started to show the page.\rThe page is\r" + page,
                                     TMsgButtons::Ok);
}

// A typed folder that does not exist is made once the user agrees.
void TRunCommands::OutputDirExecute() {
    // While the gallery goes to the working folder, the dialog starts where the last one went.
    QString chosen = FWindow.OutputDir() == FWindow.WorkDir() && !FWindow.RecentFolder("Output").isEmpty()
                         ? FWindow.RecentFolder("Output")
                         : FWindow.OutputDir();
    if (!FWindow.Dialogs().SelectDirectory(chosen) || chosen.trimmed().isEmpty())
        return;
    const QString dir = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir())
        throw EVeltrixException(dir + " is not a directory");
    if (!info.exists()) {
        const QString text = "Directory\r" + dir + "\r" + "does not exist. Create it ?";
        if (FWindow.Dialogs().MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNo) !=
            TModalResult::Yes)
            return;
        if (const QString problem = FolderWriteProblem(dir); !problem.isEmpty())
            throw EVeltrixException("Cannot create the folder " + dir + ": " + problem +
                                    "; choose another output folder");
    }
    FWindow.SetOutputDir(WithSlash(dir));
    FWindow.RememberFolder("Output", dir);
}

void TRunCommands::ExitExecute() {
    // Unsaved changes are asked about first; a gallery kept open keeps the working directory too.
    if (!FWindow.close())
        return;
    if (FWindow.Options->Common().ClearTmpDir)
        ClearDirectory(FWindow.WorkDir());
}

// The panel asks for a fresh gallery in the output directory, without the questions of the commands, and
// stores what the run wrote. A run that fails has shown where it stopped; nothing of it is uploaded.
void TRunCommands::FtpUploadRequest() {
    if (FGenerating || !FWindow.FtpF1)
        return;
    // An empty table would still write an empty index page and store it over the gallery on the server.
    if (FWindow.CountPictures() == 0) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "No images to process", TMsgButtons::Ok);
        return;
    }
    GenerateInto(FWindow.OutputDir());
    FWindow.FtpF1->SetUploadFiles(FUsedFiles);
    FWindow.FtpF1->StartUpload();
}

// The upload panel shows the last run's files when its tab is shown.
void TRunCommands::MainPCChange(int index) {
    if (FWindow.FtpF1 && FWindow.MainPC->widget(index) == FWindow.FtpTS)
        FWindow.FtpF1->SetUploadFiles(FUsedFiles);
}
