// The generation run and the commands around it: generate, view, output directory, exit, upload request.
#include "app/VeltrixU.h"

#include <algorithm>

#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSet>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>

#include "app/VlxApplication.h"
#include "app/VlxFiles.h"
#include "app/VlxThumbRun.h"
#include "common/VlxNativePath.h"
#include "common/VlxSaveFile.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "grid/GfxGridNames.h"
#include "html/GfxHtml.h"
#include "html/GfxLists.h"
#include "html/WebFiles.h"

namespace {

QString FileNamePart(const QString& path) {
    return QFileInfo(path).fileName();
}

QString WithSlash(QString dir) {
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

// Progress shown at most about ten times a second: the status bar is repainted at once each time, which
// would cost more than copying a picture or writing its page. The first step of a phase is always shown.
class TProgressPace {
public:
    bool Due() {
        if (FShown.isValid() && FShown.elapsed() < 100)
            return false;
        FShown.start();
        return true;
    }

private:
    QElapsedTimer FShown;
};

// Sets a flag for the length of a scope.
class TRunningScope {
public:
    explicit TRunningScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TRunningScope() { FFlag = false; }
    TRunningScope(const TRunningScope&) = delete;
    TRunningScope& operator=(const TRunningScope&) = delete;

private:
    bool& FFlag;
};

} // namespace

void TVeltrixF::ConnectGenerationCommands() {
    connect(GeneratePageA, &QAction::triggered, this, Guarded([this] { GeneratePageExecute(); }));
    connect(GenerateTableA, &QAction::triggered, this, Guarded([this] { GenerateTableExecute(); }));
    connect(ViewPageA, &QAction::triggered, this, Guarded([this] { ViewPageExecute(); }));
    connect(OutputDirA, &QAction::triggered, this, Guarded([this] { OutputDirExecute(); }));
    connect(ExitA, &QAction::triggered, this, Guarded([this] { ExitExecute(); }));
    connect(MainPC, &QTabWidget::currentChanged, this, Guarded([this](int index) { MainPCChange(index); }));
}

QProgressBar* TVeltrixF::CreateStatusProgressBar(int max) {
    auto* bar = new QProgressBar(statusBar());
    bar->setObjectName("StatusProgressBar");
    bar->setTextVisible(false);
    // A range of 0 to 0 would make a busy indicator; nothing to do is shown as an empty bar.
    bar->setRange(0, std::max(1, max));
    bar->setValue(0);
    bar->setGeometry(StatusP1->geometry().adjusted(1, 1, -1, -1));
    bar->show();
    bar->raise();
    return bar;
}

bool TVeltrixF::ConfirmGeneration() {
    if (CountPictures() == 0) {
        FDialogs->MessageBox(TMsgKind::Information, "No images to process", TMsgButtons::Ok);
        return false;
    }
    if (FOutputDir.isEmpty()) {
        FDialogs->MessageBox(TMsgKind::Information, "Output directory is not defined", TMsgButtons::Ok);
        return false;
    }
    if (FOutputDir == FWorkDir) {
        const QString text = "Output directory\r" + FOutputDir + "\r" + "is the temporary directory" + "\r" +
                             "\r" + "Process anyway ?";
        if (FDialogs->MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) != TModalResult::Yes)
            return false;
    }
    const int files = CountFiles(FOutputDir);
    if (files == 0)
        return true;
    const QString text = "Output directory contains " + QString::number(files) + " files" + "\r" +
                         "Same files will be overwritten" + "\r" + "\r" + "Continue ?";
    return FDialogs->MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) == TModalResult::Yes;
}

// Read once at the start, so that every phase writes the same set of files even when the grid changes
// while the run lets pending events through.
std::vector<TVeltrixF::TRunCell> TVeltrixF::RunCells() const {
    std::vector<TRunCell> cells;
    if (!FGrid)
        return cells;
    for (int row = 0; row < FGrid->RowCount(); ++row) {
        for (int col = 0; col < FGrid->ColCount(); ++col) {
            TRunCell cell{col, row, {}, {}};
            const TGfxGridItem* item = FGrid->Objects(col, row);
            if (!FGrid->IsCellEmpty(col, row) && item) {
                cell.Name = FGrid->Cells(col, row);
                cell.Source = item->FileName();
            }
            cells.push_back(cell);
        }
    }
    return cells;
}

// The background's name in the gallery: its own, unless a picture of the run publishes a file of that name
// (letter case ignored) that is not the background itself; then the first free name after it. Otherwise
// whichever file were copied first would stand for both.
QString TVeltrixF::BackgroundName(const std::vector<TRunCell>& cells) const {
    const QString own = FileNamePart(FBkgFile);
    // Links are resolved only for a copy named as the background, so a run does not resolve them all.
    const auto isBackground = [&](const TRunCell& cell) {
        const QString real = CanonicalPath(FBkgFile);
        return !real.isEmpty() && CanonicalPath(cell.Source) == real;
    };
    QSet<QString> taken{QString(kIndexPage).toCaseFolded()};
    for (const TRunCell& cell : cells) {
        if (cell.Name.isEmpty())
            continue;
        for (const QString& file : PublishedNames(cell.Name))
            if (file != cell.Name || file.compare(own, Qt::CaseInsensitive) != 0 || !isBackground(cell))
                taken.insert(file.toCaseFolded());
    }
    return DistinctName(own, [&taken](const QString& name) { return taken.contains(name.toCaseFolded()); });
}

void TVeltrixF::GenerateInto(const QString& dir) {
    const TRunningScope running(FGenerating);
    FUsedFiles.clear();
    const std::vector<TRunCell> cells = RunCells();
    // This run's pages name the background as this run copies it.
    const QString shownBackground = FThumbPage->Background();
    const auto restoreBackground = qScopeGuard([&] { FThumbPage->SetBackground(shownBackground); });
    const QString background = FBkgFile.isEmpty() ? QString() : BackgroundName(cells);
    if (!background.isEmpty())
        FThumbPage->SetBackground(background);
    const int count = static_cast<int>(
        std::count_if(cells.begin(), cells.end(), [](const TRunCell& cell) { return !cell.Name.isEmpty(); }));
    QString current = dir;
    try {
        if (dir.isEmpty())
            throw EVeltrixException(QString("Output directory is not defined"));
        if (dir == FWorkDir)
            CheckWorkDir();
        // A folder removed since it was chosen is made again rather than failing at its first file. One that
        // cannot be written is named as the user chose it, not by the first temporary file the run made.
        if (const QString problem = FolderWriteProblem(dir); !problem.isEmpty())
            throw EVeltrixException("Cannot write into the folder " + dir + ": " + problem +
                                    "; choose another output folder");
        // Without a background file there is nothing to copy, and no folder must go on the upload list.
        if (!background.isEmpty()) {
            current = dir + background;
            CopyFileOnce(FBkgFile, current);
            FUsedFiles << current;
        }
        CopyPhase(dir, cells, count, current);
        ThumbnailPhase(dir, cells, count, current);
        PicPagePhase(dir, cells, count, current);
        TablePagePhase(dir, cells, count, current);
        // Each file went in under a temporary name without a sync of its own: one sync puts them all on the
        // disk before the run says it is done.
        current = dir;
        if (!SyncFileSystem(dir))
            throw EVeltrixException("Cannot write the gallery to disk in " + dir);
    } catch (...) {
        ShowStatus("Stopped at: " + current);
        throw;
    }
    // The run left the last rendered thumbnail in the preview, without its caption. A preview that fails
    // is shown as such and does not undo the run: the gallery is written, and an upload goes on.
    FPreviewName.clear();
    FPreviewFile.clear();
    RunGuarded([this] { ShowThumb(); });
    ShowStatus(QString("Gallery written: %1 %2 in %3")
                   .arg(count)
                   .arg(QString(count == 1 ? "picture" : "pictures"), dir));
}

// The working folder may have gone since start-up (a cleaner of the temporary folder): it is made again, as
// private as before. Anything else in its place is never written into.
void TVeltrixF::CheckWorkDir() {
    ::mkdir(QFile::encodeName(QDir::cleanPath(FWorkDir)).constData(), 0700);
    if (const QString problem = PrivateFolderProblem(FWorkDir); !problem.isEmpty())
        throw EVeltrixException("The working folder " + FWorkDir + " is not private to you: " + problem +
                                "; restart Veltrix to make a fresh one");
}

void TVeltrixF::CopyPhase(const QString& dir, const std::vector<TRunCell>& cells, int count,
                          QString& current) {
    const std::unique_ptr<QProgressBar> bar(CreateStatusProgressBar(count));
    TProgressPace pace;
    int done = 0;
    for (const TRunCell& cell : cells) {
        if (cell.Name.isEmpty())
            continue;
        const QString dest = dir + cell.Name;
        current = cell.Source;
        ++done;
        if (pace.Due()) {
            bar->setValue(done);
            ShowStatus(QString("Copy: %1 to %2").arg(FileNamePart(cell.Source), cell.Name));
            QCoreApplication::processEvents();
        }
        CopyFileOnce(cell.Source, dest);
        FUsedFiles << dest;
    }
    bar->setValue(done);
}

// Every core renders and saves; the window hears of the progress about ten times a second meanwhile.
void TVeltrixF::ThumbnailPhase(const QString& dir, const std::vector<TRunCell>& cells, int count,
                               QString& current) {
    // A picture whose cell kept its stretch for this picture box, from the file as it is now, is not read
    // again; the stretches made from the others are kept for the next run.
    const QSize box = PictureBox();
    std::vector<TThumbJob> jobs;
    std::vector<const TRunCell*> jobCells;
    std::vector<TFileStamp> stamps;
    for (const TRunCell& cell : cells) {
        if (cell.Name.isEmpty())
            continue;
        const TGfxGridItem* item = FGrid->Objects(cell.Col, cell.Row);
        stamps.push_back(TFileStamp::Of(cell.Source));
        jobs.push_back(
            {cell.Source, dir + FConverter->ThumbPrefix() + cell.Name,
             item && item->FileName() == cell.Source ? item->Fitted(box, stamps.back()) : nullptr});
        jobCells.push_back(&cell);
    }
    std::vector<std::shared_ptr<const TGfxBaseIm>> made;
    {
        const std::unique_ptr<QProgressBar> bar(CreateStatusProgressBar(count));
        const auto progress = [&](int done, int lastJob) {
            bar->setValue(done);
            if (lastJob >= 0)
                ShowStatus("Process: " + FileNamePart(jobs[lastJob].Source));
            QCoreApplication::processEvents();
        };
        const int threads = FRenderThreads > 0 ? FRenderThreads : QThread::idealThreadCount();
        QImage last;
        RenderThumbnails(Renderer(), jobs, FConverter->JpegQuality(), threads, progress, current, last,
                         &made);
        if (!cells.empty())
            FGrid->SetCurrentCell(cells.back().Col, cells.back().Row);
        if (!last.isNull())
            ThumbI->setPixmap(QPixmap::fromImage(last));
        for (const TThumbJob& job : jobs)
            FUsedFiles << job.Dest;
    }
    // Events ran meanwhile: only a cell that still holds the same file, with the box unchanged, keeps one.
    for (size_t i = 0; i < made.size(); ++i) {
        TGfxGridItem* item = FGrid->Objects(jobCells[i]->Col, jobCells[i]->Row);
        if (made[i] && item && item->FileName() == jobs[i].Source && box == FGrid->PictureBox())
            item->SetFitted(made[i], box, stamps[i]);
    }
    SetThumbsStale(false);
}

// A picture's page shows the picture alone, centred, under the table page's title and colours, and
// always leads back to the table page.
void TVeltrixF::SetUpPicPage() {
    TGfxPageSettings settings; // one cell, no table title, no picture information
    settings.Frame = FThumbPage->Settings().Frame;
    settings.Frame.BackLink = kIndexPage;
    settings.TableAlign = haCenter;
    FPicPage->SetSettings(settings);
}

void TVeltrixF::PicPagePhase(const QString& dir, const std::vector<TRunCell>& cells, int count,
                             QString& current) {
    const std::unique_ptr<QProgressBar> bar(CreateStatusProgressBar(count));
    SetUpPicPage();
    QStringList names;
    for (const TRunCell& cell : cells)
        names << cell.Name;
    const QHash<QString, TPageNeighbours> neighbours = PageNeighbours(names);
    TProgressPace pace;
    int done = 0;
    for (const TRunCell& cell : cells) {
        if (cell.Name.isEmpty())
            continue;
        FPicPage->SetPicFile(dir + cell.Name);
        FPicPage->SetPrevPage(neighbours.value(cell.Name).Prev);
        FPicPage->SetNextPage(neighbours.value(cell.Name).Next);
        // A picture browsers cannot show is shown by a rendering, written beside its copy. Like the copy, a
        // rendering from an earlier run is kept: it is made again only when older than the copy.
        if (!BrowserShows(cell.Name)) {
            current = dir + BrowserViewableName(cell.Name);
            const QFileInfo rendering(current);
            if (!rendering.exists() || rendering.lastModified() < QFileInfo(dir + cell.Name).lastModified())
                SaveBrowserRendering(dir + cell.Name, current);
            FUsedFiles << current;
        }
        const QString page = dir + PageName(cell.Name);
        current = page;
        ++done;
        if (pace.Due()) {
            bar->setValue(done);
            ShowStatus("Wrte page: " + FileNamePart(page));
            QCoreApplication::processEvents();
        }
        FPicPage->SaveToFile(page);
        FUsedFiles << page;
    }
    bar->setValue(done);
}

void TVeltrixF::TablePagePhase(const QString& dir, const std::vector<TRunCell>& cells, int count,
                               QString& current) {
    const std::unique_ptr<QProgressBar> bar(CreateStatusProgressBar(count));
    const QString index = dir + kIndexPage;
    current = index;
    FThumbList->Clear();
    FThumbList->SetBaseDir(dir);
    for (const TRunCell& cell : cells) {
        TThumbListItem* item = FThumbList->Add();
        if (cell.Name.isEmpty())
            continue;
        item->SetPicName(cell.Name);
        item->SetThumbName(FConverter->ThumbPrefix() + cell.Name);
    }
    // Not measured here: the page measures every picture and thumbnail it names as it is built.
    FThumbPage->SetThumbList(FThumbList.get());
    FThumbPage->SaveToFile(index);
    FUsedFiles << index;
}

void TVeltrixF::ClearDirectory(const QString& dir) {
    const QString folder = dir.isEmpty() ? dir : WithSlash(dir);
    for (const QString& name : DirectoryFiles(folder)) {
        ShowStatus("Deleting: " + folder + name);
        QCoreApplication::processEvents();
        QFile::remove(folder + name); // one that cannot go stays, silently
    }
}

// A run started while another one lets events through would write over the files it is writing.
void TVeltrixF::GeneratePageExecute() {
    if (!FGenerating && ConfirmGeneration())
        GenerateInto(FOutputDir);
}

// Checks only: what the table alone would be is not settled.
void TVeltrixF::GenerateTableExecute() {
    if (!FGenerating)
        ConfirmGeneration();
}

void TVeltrixF::ViewPageExecute() {
    if (FGenerating)
        return;
    if (CountPictures() == 0) {
        FDialogs->MessageBox(TMsgKind::Information, "No images to view", TMsgButtons::Ok);
        return;
    }
    GenerateInto(FWorkDir);
    const QString page = FWorkDir + kIndexPage;
    if (!FDialogs->OpenUrl(QUrl::fromLocalFile(page)))
        FDialogs->MessageBox(TMsgKind::Information,
                             "No browser could be started to show the page.\rThe page is\r" + page,
                             TMsgButtons::Ok);
}

// A typed folder that does not exist is made once the user agrees.
void TVeltrixF::OutputDirExecute() {
    QString chosen = FOutputDir;
    if (!FDialogs->SelectDirectory(chosen) || chosen.trimmed().isEmpty())
        return;
    const QString dir = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir())
        throw EVeltrixException(dir + " is not a directory");
    if (!info.exists()) {
        const QString text = "Directory\r" + dir + "\r" + "does not exist. Create it ?";
        if (FDialogs->MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNo) != TModalResult::Yes)
            return;
        if (const QString problem = FolderWriteProblem(dir); !problem.isEmpty())
            throw EVeltrixException("Cannot create the folder " + dir + ": " + problem +
                                    "; choose another output folder");
    }
    SetOutputDir(WithSlash(dir));
}

void TVeltrixF::ExitExecute() {
    if (ClearTmpDirCB->isChecked())
        ClearDirectory(FWorkDir);
    close();
}

// The panel asks for a fresh gallery in the output directory, without the questions of the commands, and
// stores what the run wrote. A run that fails has shown where it stopped; nothing of it is uploaded.
void TVeltrixF::FtpUploadRequest() {
    if (FGenerating || !FtpF1)
        return;
    // An empty table would still write an empty index page and store it over the gallery on the server.
    if (CountPictures() == 0) {
        FDialogs->MessageBox(TMsgKind::Information, "No images to process", TMsgButtons::Ok);
        return;
    }
    GenerateInto(FOutputDir);
    FtpF1->SetUploadFiles(FUsedFiles);
    FtpF1->StartUpload();
}

// The upload panel shows the last run's files when its tab is shown.
void TVeltrixF::MainPCChange(int index) {
    if (FtpF1 && MainPC->widget(index) == FtpTS)
        FtpF1->SetUploadFiles(FUsedFiles);
}
