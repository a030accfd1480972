// The generation run's phases.
#include "gallery/GalleryRun.h"

#include <algorithm>
#include <memory>

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QThread>

#include "common/VlxNativePath.h"
#include "common/VlxSaveFile.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryFiles.h"
#include "gallery/GalleryNames.h"
#include "gallery/TablePages.h"
#include "gallery/ThumbRun.h"
#include "gfx/GfxJpeg.h"
#include "html/GfxLists.h"
#include "html/WebFiles.h"

namespace {

// The JPEG quality of thumbnails and colour tiles.
constexpr int kJpegQuality = 75;
constexpr int kTileSize = 100;

QString FileNamePart(const QString& path) {
    return QFileInfo(path).fileName();
}

// Progress told at most about ten times a second: a window repaints at once each time, which would cost more
// than copying a picture or writing its page. The first and last step of a phase are always told.
class TProgressPace {
public:
    bool Due(int done, int total) {
        if (done < total && FShown.isValid() && FShown.elapsed() < 100)
            return false;
        FShown.start();
        return true;
    }

private:
    QElapsedTimer FShown;
};

// The cells as the run found them, read once, so that every phase writes the same set of files.
struct TRunCell {
    int Col;
    int Row;
    QString Name;
    QString Source;
};

// Like a copy, a tile from an earlier run is kept when it is the same.
void WriteColorTile(TColor color, const QString& path) {
    TGfxBaseIm tile;
    tile.SetSize(kTileSize, kTileSize);
    tile.Bitmap().fill(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    const QByteArray bytes = EncodeJpeg(tile.Bitmap(), kJpegQuality, path);
    QFile old(path);
    if (old.size() == bytes.size() && old.open(QIODevice::ReadOnly) && old.readAll() == bytes)
        return;
    TSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EGalleryException(QStringLiteral("Cannot save %1: %2").arg(path, file.errorString()));
}

class TRunner {
public:
    TRunner(TGalleryRun& run, TGallery& gallery, const QString& dir, const TRunCallback& progress,
            const TRunCancel* cancel)
        : FRun(run), FGallery(gallery), FDir(dir), FProgress(progress), FCancel(cancel) {}

    void Run(TRunResult& result);
    QString Current;

private:
    void Tell(TRunPhase phase, int done, int total, const QString& current, const QString& dest = {}) {
        if (FProgress)
            FProgress({phase, done, total, current, dest});
    }
    void CheckCancel() const {
        if (FCancel && FCancel->Cancelled())
            throw EGalleryException(QString(kRunCancelled));
    }
    QString BackgroundName() const;
    void SplitTablePages();
    void CheckWorkDir() const;
    void PublishBackground(const QString& name, TRunResult& result);
    void CopyPhase(TRunResult& result);
    void ThumbnailPhase(TRunResult& result);
    void PicPagePhase(TRunResult& result);
    void TablePagePhase(TRunResult& result);
    void WriteTablePage(int i, TRunResult& result);

    TGalleryRun& FRun;
    TGallery& FGallery;
    const QString FDir;
    const TRunCallback& FProgress;
    const TRunCancel* FCancel;
    std::vector<TRunCell> FCells;
    int FCount = 0;
    TGfxThumbnail FRenderer;
    QString FBackground; // the background's name in the gallery; empty for none
    std::vector<TTablePage> FTablePages; // "index.html" first
};

// The background's name in the gallery: its own, unless a picture of the run publishes a file of that name
// (letter case ignored) that is not the background itself; then the first free name after it. Otherwise
// whichever file were copied first would stand for both.
QString TRunner::BackgroundName() const {
    const TBackgroundSetting& background = FGallery.Settings.Background;
    const QString own = background.IsColor() ? ColorTileName(background.Color) : FileNamePart(background.File);
    if (own.isEmpty())
        return {};
    // Links are resolved only for a copy named as the background, so a run does not resolve them all.
    const auto isBackground = [&](const TRunCell& cell) {
        const QString real = background.IsColor() ? QString() : CanonicalPath(background.File);
        return !real.isEmpty() && CanonicalPath(cell.Source) == real;
    };
    QSet<QString> taken;
    for (const TTablePage& page : FTablePages)
        taken.insert(page.Name.toCaseFolded());
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        for (const QString& file : PublishedNames(cell.Name))
            if (file != cell.Name || file.compare(own, Qt::CaseInsensitive) != 0 || !isBackground(cell))
                taken.insert(file.toCaseFolded());
    }
    return DistinctName(own, [&taken](const QString& name) { return taken.contains(name.toCaseFolded()); });
}

// A table of more rows than a page holds is split over several table pages, named clear of every file the
// pictures publish.
void TRunner::SplitTablePages() {
    const int pageRows = FGallery.Settings.Page.PageRows;
    if (pageRows <= 0 || FGallery.Rows() <= pageRows) {
        FTablePages = SplitTable(FGallery.Rows(), -1, 0, {});
        return;
    }
    QSet<QString> published;
    int lastFilledRow = -1;
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        lastFilledRow = cell.Row;
        for (const QString& file : PublishedNames(cell.Name))
            published.insert(file.toCaseFolded());
    }
    FTablePages = SplitTable(FGallery.Rows(), lastFilledRow, pageRows,
                             [&](const QString& name) { return published.contains(name.toCaseFolded()); });
}

// The working folder may have gone since start-up (a cleaner of the temporary folder): it is made again, as
// private as before. Anything else in its place is never written into.
void TRunner::CheckWorkDir() const {
    ::mkdir(QFile::encodeName(QDir::cleanPath(FRun.WorkDir)).constData(), 0700);
    if (const QString problem = PrivateFolderProblem(FRun.WorkDir); !problem.isEmpty())
        throw EGalleryException("The working folder " + FRun.WorkDir + " is not private to you: " + problem +
                                "; restart Veltrix to make a fresh one");
}

// A colour's tile is written into the gallery; a background file is copied. The renderer tiles the
// thumbnails with the picture as published.
void TRunner::PublishBackground(const QString& name, TRunResult& result) {
    const TBackgroundSetting& background = FGallery.Settings.Background;
    Current = FDir + name;
    if (background.IsColor()) {
        WriteColorTile(background.Color, Current);
    } else {
        CopyFileOnce(background.File, Current);
    }
    result.Written << Current;
    if (FRun.LoadedBackground && FRun.LoadedBackground->HasImage())
        FRenderer.Background().AssignPicture(*FRun.LoadedBackground);
    else
        FRenderer.Background().LoadPicture(Current);
}

void TRunner::Run(TRunResult& result) {
    for (int row = 0; row < FGallery.Rows(); ++row)
        for (int col = 0; col < FGallery.Columns(); ++col) {
            const TGalleryCell& cell = FGallery.Cell(col, row);
            FCells.push_back({col, row, cell.Name, cell.IsEmpty() ? QString() : cell.Source});
        }
    FCount = static_cast<int>(std::count_if(FCells.begin(), FCells.end(),
                                            [](const TRunCell& cell) { return !cell.Name.isEmpty(); }));
    result.Pictures = FCount;
    Current = FDir;
    CheckCancel();
    if (FDir.isEmpty())
        throw EGalleryException(QString("Output directory is not defined"));
    if (!FRun.WorkDir.isEmpty() && FDir == FRun.WorkDir)
        CheckWorkDir();
    // A folder removed since it was chosen is made again rather than failing at its first file. One that
    // cannot be written is named as the user chose it, not by the first temporary file the run made.
    if (const QString problem = FolderWriteProblem(FDir); !problem.isEmpty())
        throw EGalleryException("Cannot write into the folder " + FDir + ": " + problem +
                                "; choose another output folder");
    FRenderer.SetSettings(FGallery.Settings.Thumb);
    SplitTablePages();
    FBackground = BackgroundName();
    if (!FBackground.isEmpty())
        PublishBackground(FBackground, result);
    CopyPhase(result);
    ThumbnailPhase(result);
    PicPagePhase(result);
    TablePagePhase(result);
    // Each file went in under a temporary name without a sync of its own: one sync puts them all on the
    // disk before the run says it is done.
    Current = FDir;
    if (!SyncFileSystem(FDir))
        throw EGalleryException("Cannot write the gallery to disk in " + FDir);
}

void TRunner::CopyPhase(TRunResult& result) {
    TProgressPace pace;
    int done = 0;
    Tell(TRunPhase::Copy, 0, FCount, {});
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        CheckCancel();
        const QString dest = FDir + cell.Name;
        Current = cell.Source;
        ++done;
        if (pace.Due(done, FCount))
            Tell(TRunPhase::Copy, done, FCount, cell.Source, cell.Name);
        CopyFileOnce(cell.Source, dest);
        result.Written << dest;
    }
}

// Every core renders and saves. A picture whose cell kept its stretch for this picture box, from the file as
// it is now, is not read again; the stretches made from the others are kept for the next run.
void TRunner::ThumbnailPhase(TRunResult& result) {
    const QSize box = FGallery.Settings.Thumb.PictureBox();
    std::vector<TThumbJob> jobs;
    std::vector<const TRunCell*> jobCells;
    std::vector<TFileStamp> stamps;
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        stamps.push_back(TFileStamp::Of(cell.Source));
        jobs.push_back({cell.Source, FDir + kThumbPrefix + cell.Name,
                        FGallery.Cell(cell.Col, cell.Row).Kept.For(box, stamps.back())});
        jobCells.push_back(&cell);
    }
    Tell(TRunPhase::Thumbnails, 0, FCount, {});
    const auto progress = [&](int done, int lastJob) {
        Tell(TRunPhase::Thumbnails, done, FCount, lastJob >= 0 ? jobs[lastJob].Source : QString());
        CheckCancel();
    };
    const int threads = FRun.Threads > 0 ? FRun.Threads : QThread::idealThreadCount();
    std::vector<std::shared_ptr<const TGfxBaseIm>> made;
    std::vector<char> saved;
    // The thumbnails saved are the gallery's files, also when the run stops among them.
    const auto listSaved = qScopeGuard([&] {
        for (size_t i = 0; i < saved.size(); ++i)
            if (saved[i])
                result.Written << jobs[i].Dest;
    });
    RenderThumbnails(FRenderer, jobs, kJpegQuality, threads, progress, Current, result.LastThumb, &made,
                     &saved);
    for (size_t i = 0; i < made.size(); ++i)
        if (made[i])
            FGallery.Kept(jobCells[i]->Col, jobCells[i]->Row).Keep(made[i], box, stamps[i]);
}

// A picture's page shows the picture alone, centred, under the table page's title and colours, and always
// leads back to the table page.
void TRunner::PicPagePhase(TRunResult& result) {
    TGfxPicPage page;
    TGfxPageSettings settings; // one cell, no table title, no picture information
    settings.Frame = FGallery.Settings.Page.Frame;
    settings.Frame.Background = FBackground;
    settings.Frame.BackLink = kIndexPage;
    settings.TableAlign = haCenter;
    page.SetSettings(settings);
    QStringList names;
    for (const TRunCell& cell : FCells)
        names << cell.Name;
    const QHash<QString, TPageNeighbours> neighbours = PageNeighbours(names);
    // A picture's page leads back to the table page that shows it (at its first place, like its page).
    QHash<QString, QString> backLinks;
    for (const TRunCell& cell : FCells)
        if (!cell.Name.isEmpty() && !backLinks.contains(cell.Name))
            backLinks.insert(cell.Name, FTablePages[TablePageOfRow(FTablePages, cell.Row)].Name);
    TProgressPace pace;
    int done = 0;
    Tell(TRunPhase::Pages, 0, FCount, {});
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        CheckCancel();
        page.SetPicFile(FDir + cell.Name);
        page.SetPrevPage(neighbours.value(cell.Name).Prev);
        page.SetNextPage(neighbours.value(cell.Name).Next);
        page.SetBackLink(backLinks.value(cell.Name));
        // A picture browsers cannot show is shown by a rendering, written beside its copy. Like the copy, a
        // rendering from an earlier run is kept: it is made again only when older than the copy.
        if (!BrowserShows(cell.Name)) {
            Current = FDir + BrowserViewableName(cell.Name);
            const QFileInfo rendering(Current);
            if (!rendering.exists() || rendering.lastModified() < QFileInfo(FDir + cell.Name).lastModified())
                SaveBrowserRendering(FDir + cell.Name, Current);
            result.Written << Current;
        }
        const QString file = FDir + PageName(cell.Name);
        Current = file;
        ++done;
        if (pace.Due(done, FCount))
            Tell(TRunPhase::Pages, done, FCount, file);
        page.SaveToFile(file);
        result.Written << file;
    }
}

void TRunner::TablePagePhase(TRunResult& result) {
    CheckCancel();
    const QString index = FDir + kIndexPage;
    Current = index;
    // Counted in pictures: the page measures each one it shows.
    Tell(TRunPhase::Index, 0, FCount, index);
    // The first page, "index.html", last: a run stopped among them leaves no entry leading to pages not
    // written yet.
    for (int i = static_cast<int>(FTablePages.size()) - 1; i >= 0; --i) {
        CheckCancel();
        WriteTablePage(i, result);
    }
    Tell(TRunPhase::Index, FCount, FCount, index);
}

void TRunner::WriteTablePage(int i, TRunResult& result) {
    const TTablePage& tablePage = FTablePages[i];
    const QString file = FDir + tablePage.Name;
    Current = file;
    const int columns = FGallery.Columns();
    TThumbnailList list;
    list.SetBaseDir(FDir);
    const auto first = FCells.begin() + qsizetype(tablePage.FirstRow) * columns;
    for (auto cell = first; cell != first + qsizetype(tablePage.Rows) * columns; ++cell) {
        TThumbListItem* item = list.Add();
        if (cell->Name.isEmpty())
            continue;
        item->SetPicName(cell->Name);
        item->SetThumbName(kThumbPrefix + cell->Name);
    }
    // Not measured here: the page measures every picture and thumbnail it names as it is built.
    TGfxThumbPage page;
    TGfxPageSettings settings = FGallery.Settings.Page;
    settings.Frame.Background = FBackground;
    settings.ThumbList = &list;
    if (FTablePages.size() > 1)
        settings.Rows = tablePage.Rows;
    page.SetSettings(settings);
    page.SetTablePageLinks(TablePageLinks(FTablePages, i));
    page.SaveToFile(file);
    result.Written << file;
}

} // namespace

QString RunPhaseName(TRunPhase phase) {
    switch (phase) {
    case TRunPhase::Copy:
        return "copy";
    case TRunPhase::Thumbnails:
        return "thumbnails";
    case TRunPhase::Pages:
        return "pages";
    case TRunPhase::Index:
        return "index";
    }
    return "phase";
}

TRunResult TGalleryRun::Run(const QString& dir, const TRunCallback& progress, const TRunCancel* cancel) {
    TRunResult result;
    TRunner runner(*this, FGallery, dir, progress, cancel);
    try {
        runner.Run(result);
    } catch (const std::exception& e) {
        result.Failure = QString::fromUtf8(e.what());
        result.StoppedAt = runner.Current;
        result.Cancelled = cancel && cancel->Cancelled() && result.Failure == kRunCancelled;
        if (result.Failure.isEmpty())
            result.Failure = "Stopped at " + runner.Current;
    }
    return result;
}
