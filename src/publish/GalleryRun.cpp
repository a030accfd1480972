// The generation run's phases.
#include "publish/GalleryRun.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <QThread>

#include "common/VlxNativePath.h"
#include "common/VlxSaveFile.h"
#include "gallery/Gallery.h"
#include "publish/GalleryFiles.h"
#include "gallery/GalleryNames.h"
#include "publish/ParallelJobs.h"
#include "publish/PublishMeta.h"
#include "publish/RunRecord.h"
#include "publish/TablePages.h"
#include "publish/ThumbRun.h"
#include "publish/WebPictures.h"
#include "gfx/GfxJpeg.h"
#include "gfx/GfxKind.h"
#include "html/GfxLists.h"
#include "html/WebFiles.h"

namespace {

// The JPEG quality of thumbnails and colour tiles.
constexpr int kJpegQuality = 75;
constexpr int kTileSize = 100;

QString FileNamePart(const QString& path) {
    return QFileInfo(path).fileName();
}

// The cells as the run found them, read once, so that every phase writes the same set of files.
struct TRunCell {
    int Col;
    int Row;
    QString Name;
    QString Source;
    QString Caption;
    bool Web = false; // larger than the web size: its page shows its web-sized JPEG
};

// Like a copy, a tile from an earlier run is kept when it is the same.
void WriteColorTile(TColor color, const QString& path) {
    TGfxBaseIm tile;
    tile.SetSize(kTileSize, kTileSize);
    tile.Bitmap().fill(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    const QByteArray bytes = EncodeJpeg(tile.Bitmap(), kJpegQuality, path);
    QFile old(path);
    if (!QFileInfo(path).isSymLink() && old.size() == bytes.size() && old.open(QIODevice::ReadOnly) &&
        old.readAll() == bytes)
        return;
    TSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EGalleryException(QStringLiteral("Cannot save %1: %2").arg(path, file.errorString()));
}

// Everything that shapes a thumbnail's pixels but the picture: the renderer's settings and the background
// it tiles. Each field is named here; the size check below fails the build when a setting is added, so
// that it is added here too and a change of it is never taken for no change.
QByteArray ThumbInputs(const TGfxThumbSettings& thumb, const TBackgroundSetting& background) {
    static_assert(sizeof(TGfxThumbSettings) == 52, "a thumbnail setting was added: add it to ThumbInputs");
    TRunInputs inputs("thumbnail");
    inputs.Add(thumb.ThumbWidth).Add(thumb.ThumbHeight).Add(thumb.PicWidth).Add(thumb.PicHeight);
    for (const TGfxBevel& bevel : {thumb.ThumbBevel, thumb.PicBevel})
        inputs.Add(bevel.Size).Add(static_cast<long long>(bevel.Style)).Add(bevel.Intensity);
    inputs.Add(static_cast<long long>(thumb.MaskStyle)).Add(thumb.MaskSize);
    inputs.Add(thumb.ShadowDistance).Add(thumb.ShadowSize).Add(thumb.ShadowIntensity);
    if (background.IsColor())
        inputs.Add(static_cast<long long>(background.Color));
    else
        inputs.AddFile(background.File);
    return inputs.Key();
}

// A page's inputs are its own bytes: whatever shaped them, the same bytes need no writing.
QByteArray PageInputs(TGfxThumbPage& page) {
    page.Generate();
    return TRunInputs("page").AddBytes(page.Text().toUtf8()).Key();
}

// Whether the picture is larger than maxSide on its long side. One that cannot be measured is left to the
// phases after this one, which stop at it as they did without the web size.
bool LargerThan(const QString& picture, int maxSide) {
    try {
        const QSize size = MeasuredPictureSize(picture);
        return std::max(size.width(), size.height()) > maxSide;
    } catch (const std::exception&) {
        return false;
    }
}

class TRunner {
public:
    TRunner(TGalleryRun& run, TGallery& gallery, const QString& dir, const TRunCallback& progress,
            const TRunCancel* cancel)
        : FRun(run), FGallery(gallery), FDir(dir), FProgress(progress), FCancel(cancel) {}

    void Run(TRunResult& result);
    // After the run, complete or stopped: keeps the record of what it wrote.
    void SaveRecord(TRunResult& result);
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
    // Text alternatives once captions are in use; a gallery without them keeps its pages' bytes.
    bool AltText() const { return FGallery.Settings.Page.CaptionUnderThumb || FGallery.HasCaptions(); }

    void SplitTablePages();
    void CheckWorkDir() const;
    void CheckPictures();
    void PublishBackground(const QString& name, TRunResult& result);
    void CopyPhase(TRunResult& result);
    void WroteCopy(const QString& source, const QString& name, const QByteArray& inputs);
    void WebPhase(TRunResult& result);
    int Threads() const { return FRun.Threads > 0 ? FRun.Threads : QThread::idealThreadCount(); }
    void RunCellJobs(const std::vector<const TRunCell*>& cells, const std::function<void(int)>& job,
                     const std::function<void(int, int)>& progress, std::vector<char>& made);
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
    std::optional<TRunRecord> FRecord;
    std::vector<TTablePage> FTablePages; // "index.html" first
};

// The background's name in the gallery: its own, unless a picture of the run publishes a file of that name
// (letter case ignored) that is not the background itself; then the first free name after it. Otherwise
// whichever file were copied first would stand for both.
QString TRunner::BackgroundName() const {
    const TBackgroundSetting& background = FGallery.Settings.Background;
    const QString own =
        background.IsColor() ? ColorTileName(background.Color) : FileNamePart(background.File);
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
    // One gone since it was chosen would leave the pages without it: it is named, as the loading names it.
    if (!background.IsColor() && !QFileInfo(background.File).isFile())
        LoadBackgroundPicture(FRenderer.Background(), background.File);
    Current = FDir + name;
    TRunInputs inputs("background");
    if (background.IsColor())
        inputs.Add(static_cast<long long>(background.Color));
    else
        inputs.AddFile(background.File).Add(static_cast<long long>(FGallery.Settings.PublishMeta));
    if (!FRecord->UpToDate(name, inputs.Key())) {
        if (background.IsColor())
            WriteColorTile(background.Color, Current);
        else
            PublishPicture(background.File, Current, FGallery.Settings.PublishMeta, true);
        WroteCopy(background.IsColor() ? QString() : background.File, name, inputs.Key());
    }
    result.Written << Current;
    if (FRun.LoadedBackground && FRun.LoadedBackground->HasImage())
        FRenderer.Background().AssignPicture(*FRun.LoadedBackground);
    else if (background.IsColor())
        FRenderer.Background().LoadPicture(Current);
    else
        try {
            FRenderer.Background().LoadPicture(Current);
        } catch (const std::exception& e) {
            throw EGalleryException("The gallery's background picture " + background.File +
                                    " cannot be read: " + QString::fromUtf8(e.what()));
        }
}

// Before anything is written, each picture is looked at as what it is: a file its cell names that is no
// picture, or not of its name's kind (a gallery file from elsewhere may name any file), is never published.
void TRunner::CheckPictures() {
    QSet<QString> checked;
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        CheckCancel();
        Current = cell.Source;
        if (const QString problem = PublishedNameProblem(cell.Name, cell.Source); !problem.isEmpty())
            throw EGalleryException(
                QString("Cell %1, %2: the published name \"%3\" of %4 %5; nothing was written")
                    .arg(cell.Col)
                    .arg(cell.Row)
                    .arg(cell.Name, cell.Source, problem));
        if (checked.contains(cell.Source))
            continue;
        checked.insert(cell.Source);
        if (const QString problem = PictureKindProblem(cell.Source); !problem.isEmpty())
            throw EGalleryException(
                QString("%1 (cell %2, %3); nothing was written").arg(problem).arg(cell.Col).arg(cell.Row));
    }
}

void TRunner::Run(TRunResult& result) {
    for (int row = 0; row < FGallery.Rows(); ++row)
        for (int col = 0; col < FGallery.Columns(); ++col) {
            const TGalleryCell& cell = FGallery.Cell(col, row);
            FCells.push_back({col, row, cell.Name, cell.IsEmpty() ? QString() : cell.Source,
                              cell.IsEmpty() ? QString() : cell.Caption});
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
    // Nothing is written outside the folder: a link at a name the run writes is replaced by the file.
    NeverFollowLinksIn(FDir);
    FRenderer.SetSettings(FGallery.Settings.Thumb);
    FRecord.emplace(FDir);
    FRecord->SetGallery(FRun.GalleryId);
    SplitTablePages();
    CheckPictures();
    FBackground = BackgroundName();
    if (!FBackground.isEmpty())
        PublishBackground(FBackground, result);
    CopyPhase(result);
    if (FGallery.Settings.Page.WebSize.Enabled)
        WebPhase(result);
    ThumbnailPhase(result);
    PicPagePhase(result);
    TablePagePhase(result);
    // Removed only now: until the new table page is there, the old one may still link to them.
    bool remove = true;
    if (FRecord->ForeignGallery()) {
        const int stale = FRecord->StaleCount();
        remove = stale == 0 || (FRun.ConfirmForeignRemoval && FRun.ConfirmForeignRemoval(stale));
        result.FilesLeft = remove ? 0 : stale;
    }
    result.FilesRemoved = FRecord->RemoveStale(remove);
    SaveRecord(result);
    if (!FRecord->Changed())
        return;
    // Each file went in under a temporary name without a sync of its own: one sync puts them all on the
    // disk before the run says it is done.
    Current = FDir;
    if (!SyncFileSystem(FDir))
        throw EGalleryException("Cannot write the gallery to disk in " + FDir);
}

// A picture already in the folder under its published name is the user's own file, not a copy: it is not
// recorded, so that no later run takes it for a file it wrote and removes it.
void TRunner::WroteCopy(const QString& source, const QString& name, const QByteArray& inputs) {
    const TFileStamp from = TFileStamp::Of(source);
    const TFileStamp to = TFileStamp::Of(FDir + name);
    if (!source.isEmpty() && from.Size >= 0 && from.Inode == to.Inode && from.Device == to.Device)
        return;
    FRecord->Wrote(name, inputs);
}

void TRunner::SaveRecord(TRunResult& result) {
    if (!FRecord)
        return;
    result.FilesWritten = FRecord->Written();
    result.FilesKept = FRecord->Kept();
    Current = FDir + kRunRecordName;
    FRecord->Save();
}

// With the web size on, each picture is measured here: one larger than the web size is published as its
// web-sized JPEG, and its original only when the user publishes originals too. The copies are made on every
// core (reading a picture's metadata to leave out its location costs more than the copy), and are listed and
// recorded in the cells' order whatever order they end in.
void TRunner::CopyPhase(TRunResult& result) {
    const TWebSize& web = FGallery.Settings.Page.WebSize;
    const TPublishMeta rule = FGallery.Settings.PublishMeta;
    std::vector<const TRunCell*> published; // the cells whose pictures are published, in order
    std::vector<const TRunCell*> jobs;      // one per name not up to date
    std::vector<QByteArray> inputs;
    QHash<QString, int> jobOf; // by name: its job, or -1 when up to date
    Tell(TRunPhase::Copy, 0, FCount, {});
    for (TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        CheckCancel();
        Current = cell.Source;
        if (web.Enabled) {
            cell.Web = LargerThan(cell.Source, web.MaxSide);
            if (cell.Web && !web.PublishOriginal)
                continue;
        }
        published.push_back(&cell);
        if (jobOf.contains(cell.Name))
            continue;
        QByteArray key = TRunInputs("copy").AddFile(cell.Source).Add(static_cast<long long>(rule)).Key();
        if (FRecord->UpToDate(cell.Name, key)) {
            jobOf.insert(cell.Name, -1);
            continue;
        }
        jobOf.insert(cell.Name, static_cast<int>(jobs.size()));
        jobs.push_back(&cell);
        inputs.push_back(std::move(key));
    }
    const int total = static_cast<int>(jobs.size());
    // The copies run side by side; the phase is shown starting at its first file, as a one-by-one run does.
    if (total > 0)
        Tell(TRunPhase::Copy, FCount - total + 1, FCount, jobs[0]->Source, jobs[0]->Name);
    const auto job = [&](int i) { PublishPicture(jobs[i]->Source, FDir + jobs[i]->Name, rule, true); };
    const auto progress = [&](int done, int lastDone) {
        if (lastDone >= 0)
            Tell(TRunPhase::Copy, FCount - total + done, FCount, jobs[lastDone]->Source,
                 jobs[lastDone]->Name);
        CheckCancel();
    };
    std::vector<char> made;
    // The copies made are the gallery's files, also when the run stops among them.
    const auto listMade = qScopeGuard([&] {
        for (size_t i = 0; i < made.size(); ++i)
            if (made[i])
                WroteCopy(jobs[i]->Source, jobs[i]->Name, inputs[i]);
        for (const TRunCell* cell : published)
            if (const int i = jobOf.value(cell->Name); i < 0 || (size_t(i) < made.size() && made[size_t(i)]))
                result.Written << FDir + cell->Name;
    });
    RunCellJobs(jobs, job, progress, made);
    if (total == 0)
        Tell(TRunPhase::Copy, FCount, FCount, {});
}

// The cells' jobs on every core; a failed one names its picture as the one the run stopped at.
void TRunner::RunCellJobs(const std::vector<const TRunCell*>& cells, const std::function<void(int)>& job,
                          const std::function<void(int, int)>& progress, std::vector<char>& made) {
    int failed = -1;
    try {
        RunParallelJobs(static_cast<int>(cells.size()), Threads(), job, progress, failed, &made);
    } catch (...) {
        if (failed >= 0)
            Current = cells[size_t(failed)]->Source;
        throw;
    }
}

// Every core decodes, shrinks and saves, one picture each; a picture in several cells is made once. A JPEG
// from an earlier run that is still what this one would make is kept.
void TRunner::WebPhase(TRunResult& result) {
    const int maxSide = FGallery.Settings.Page.WebSize.MaxSide;
    const TPublishMeta rule = FGallery.Settings.PublishMeta;
    std::vector<const TRunCell*> jobs;
    std::vector<QByteArray> inputs;
    QSet<QString> names;
    bool anyWeb = false;
    for (const TRunCell& cell : FCells) {
        if (!cell.Web || names.contains(cell.Name))
            continue;
        anyWeb = true;
        names.insert(cell.Name);
        const QString name = WebPictureName(cell.Name);
        QByteArray key = TRunInputs("web")
                             .AddFile(cell.Source)
                             .Add(maxSide)
                             .Add(static_cast<long long>(rule))
                             .Add(kWebJpegQuality)
                             .Key();
        if (FRecord->UpToDate(name, key)) {
            result.Written << FDir + name;
            continue;
        }
        jobs.push_back(&cell);
        inputs.push_back(std::move(key));
    }
    // Without a picture larger than the web size the phase is not there: a run tells what it did before.
    if (!anyWeb)
        return;
    const int total = static_cast<int>(jobs.size());
    Tell(TRunPhase::Web, 0, total, {});
    const auto job = [&](int i) {
        SaveWebPicture(jobs[i]->Source, maxSide, rule, FDir + WebPictureName(jobs[i]->Name));
    };
    const auto progress = [&](int done, int lastDone) {
        Tell(TRunPhase::Web, done, total, lastDone >= 0 ? jobs[lastDone]->Source : QString());
        CheckCancel();
    };
    std::vector<char> made;
    // The pictures saved are the gallery's files, also when the run stops among them.
    const auto listMade = qScopeGuard([&] {
        for (size_t i = 0; i < made.size(); ++i)
            if (made[i]) {
                result.Written << FDir + WebPictureName(jobs[i]->Name);
                FRecord->Wrote(WebPictureName(jobs[i]->Name), inputs[i]);
            }
    });
    RunCellJobs(jobs, job, progress, made);
}

// Every core renders and saves. A picture whose cell kept its stretch for this picture box, from the file as
// it is now, is not read again; the stretches made from the others are kept for the next run.
void TRunner::ThumbnailPhase(TRunResult& result) {
    const QSize box = FGallery.Settings.Thumb.PictureBox();
    const QByteArray settings = ThumbInputs(FGallery.Settings.Thumb, FGallery.Settings.Background);
    std::vector<TThumbJob> jobs;
    std::vector<const TRunCell*> jobCells;
    std::vector<TFileStamp> stamps;
    std::vector<QByteArray> inputs;
    std::vector<int> jobOf; // per filled cell in order: its job, or -1 when its thumbnail is kept
    for (const TRunCell& cell : FCells) {
        if (cell.Name.isEmpty())
            continue;
        const TFileStamp stamp = TFileStamp::Of(cell.Source);
        QByteArray key = TRunInputs("thumbnail").AddBytes(settings).Add(cell.Source).AddStamp(stamp).Key();
        if (FRecord->UpToDate(kThumbPrefix + cell.Name, key)) {
            FRecord->PictureRead(cell.Source, stamp);
            jobOf.push_back(-1);
            continue;
        }
        jobOf.push_back(static_cast<int>(jobs.size()));
        stamps.push_back(stamp);
        inputs.push_back(std::move(key));
        jobs.push_back({cell.Source, FDir + kThumbPrefix + cell.Name,
                        FGallery.Cell(cell.Col, cell.Row).Kept.For(box, stamp)});
        jobCells.push_back(&cell);
    }
    const int keptCount = FCount - static_cast<int>(jobs.size());
    Tell(TRunPhase::Thumbnails, keptCount, FCount, {});
    const auto progress = [&](int done, int lastJob) {
        Tell(TRunPhase::Thumbnails, keptCount + done, FCount,
             lastJob >= 0 ? jobs[lastJob].Source : QString());
        CheckCancel();
    };
    const int threads = Threads();
    std::vector<std::shared_ptr<const TGfxBaseIm>> made;
    std::vector<char> saved;
    // The thumbnails saved or kept are the gallery's files, in the cells' order, also when the run stops
    // among them.
    const auto listSaved = qScopeGuard([&] {
        int filled = 0;
        for (const TRunCell& cell : FCells) {
            if (cell.Name.isEmpty())
                continue;
            const int job = jobOf[size_t(filled++)];
            if (job < 0) {
                result.Written << FDir + kThumbPrefix + cell.Name;
            } else if (size_t(job) < saved.size() && saved[size_t(job)]) {
                result.Written << jobs[size_t(job)].Dest;
                FRecord->Wrote(kThumbPrefix + cell.Name, inputs[size_t(job)]);
                FRecord->PictureRead(cell.Source, stamps[size_t(job)]);
            }
        }
    });
    RenderThumbnails(FRenderer, jobs, kJpegQuality, threads, progress, Current, result.LastThumb, &made,
                     &saved);
    for (size_t i = 0; i < made.size(); ++i)
        if (made[i])
            FGallery.Kept(jobCells[i]->Col, jobCells[i]->Row).Keep(made[i], box, stamps[i]);
}

// A picture's page shows the picture alone, centred, under the table page's title and colours, and always
// leads back to the table page. Each page is measured, made and written on every core; a picture in several
// cells has one page, made from its first cell.
void TRunner::PicPagePhase(TRunResult& result) {
    TGfxPageSettings settings; // one cell, no table title, no picture information
    settings.Frame = FGallery.Settings.Page.Frame;
    settings.Frame.Background = FBackground;
    settings.Frame.BackLink = kIndexPage;
    settings.Frame.AltText = AltText();
    settings.TableAlign = haCenter;
    QStringList names;
    for (const TRunCell& cell : FCells)
        names << cell.Name;
    const QHash<QString, TPageNeighbours> neighbours = PageNeighbours(names);
    std::vector<const TRunCell*> jobs; // the first cell of each name
    QHash<QString, int> jobOf;         // by name
    QHash<QString, QString> backLinks; // a picture's page leads back to the table page that shows it first
    for (const TRunCell& cell : FCells)
        if (!cell.Name.isEmpty() && !jobOf.contains(cell.Name)) {
            backLinks.insert(cell.Name, FTablePages[TablePageOfRow(FTablePages, cell.Row)].Name);
            jobOf.insert(cell.Name, static_cast<int>(jobs.size()));
            jobs.push_back(&cell);
        }
    const int total = static_cast<int>(jobs.size());
    const int threads = std::clamp(Threads(), 1, std::max(1, total));
    std::vector<std::unique_ptr<TGfxPicPage>> pages;
    for (int t = 0; t < threads; ++t) {
        pages.push_back(std::make_unique<TGfxPicPage>());
        pages.back()->SetSettings(settings);
    }
    std::vector<QString> writing(jobs.size()); // each job's file, for the run to name where it stopped
    std::mutex recordLock;
    const auto upToDate = [&](const QString& name, const QByteArray& inputs) {
        const std::scoped_lock lock(recordLock);
        return FRecord->UpToDate(name, inputs);
    };
    const auto wrote = [&](const QString& name, const QByteArray& inputs) {
        const std::scoped_lock lock(recordLock);
        FRecord->Wrote(name, inputs);
    };
    const auto job = [&](int i, int worker) {
        const TRunCell& cell = *jobs[size_t(i)];
        TGfxPicPage& page = *pages[size_t(worker)];
        page.SetPicFile(FDir + (cell.Web ? WebPictureName(cell.Name) : cell.Name));
        page.SetCaption(cell.Caption);
        page.SetPrevPage(neighbours.value(cell.Name).Prev);
        page.SetNextPage(neighbours.value(cell.Name).Next);
        page.SetBackLink(backLinks.value(cell.Name));
        page.SetOriginalFile(cell.Web && FGallery.Settings.Page.WebSize.PublishOriginal ? cell.Name
                                                                                        : QString());
        // A picture browsers cannot show is shown by a rendering, written beside its copy; like the copy, it
        // is made again only when its picture changed. A picture published web-sized needs none.
        if (!cell.Web && !BrowserShows(cell.Name)) {
            const QString name = BrowserViewableName(cell.Name);
            writing[size_t(i)] = FDir + name;
            const QByteArray inputs = TRunInputs("rendering").AddFile(cell.Source).Key();
            if (!upToDate(name, inputs)) {
                SaveBrowserRendering(FDir + cell.Name, FDir + name);
                wrote(name, inputs);
            }
        }
        const QString name = PageName(cell.Name);
        writing[size_t(i)] = FDir + name;
        const QByteArray inputs = PageInputs(page);
        if (!upToDate(name, inputs)) {
            page.SaveGenerated(FDir + name);
            wrote(name, inputs);
        }
    };
    Tell(TRunPhase::Pages, 0, FCount, {});
    // Shown starting at its first page, as a one-by-one run does.
    if (total > 0)
        Tell(TRunPhase::Pages, FCount - total + 1, FCount, FDir + PageName(jobs[0]->Name));
    const auto progress = [&](int done, int lastDone) {
        if (lastDone >= 0)
            Tell(TRunPhase::Pages, FCount - total + done, FCount, FDir + PageName(jobs[lastDone]->Name));
        CheckCancel();
    };
    std::vector<char> made;
    // The pages made, and the renderings beside them, are the gallery's files, listed in the cells' order,
    // also when the run stops among them.
    const auto listMade = qScopeGuard([&] {
        for (const TRunCell& cell : FCells) {
            const int i = jobOf.value(cell.Name, -1);
            if (i < 0 || size_t(i) >= made.size() || !made[size_t(i)])
                continue;
            if (!cell.Web && !BrowserShows(cell.Name))
                result.Written << FDir + BrowserViewableName(cell.Name);
            result.Written << FDir + PageName(cell.Name);
        }
    });
    int failed = -1;
    try {
        RunParallelJobs(total, threads, job, progress, failed, &made);
    } catch (...) {
        if (failed >= 0)
            Current = writing[size_t(failed)];
        throw;
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
        item->SetCaption(cell->Caption);
        if (cell->Web)
            item->SetShownName(WebPictureName(cell->Name));
    }
    // Not measured here: the page measures every picture and thumbnail it names as it is built.
    TGfxThumbPage page;
    TGfxPageSettings settings = FGallery.Settings.Page;
    settings.Frame.Background = FBackground;
    settings.Frame.AltText = AltText();
    settings.ThumbList = &list;
    if (FTablePages.size() > 1)
        settings.Rows = tablePage.Rows;
    page.SetSettings(settings);
    page.SetTablePageLinks(TablePageLinks(FTablePages, i));
    const QByteArray inputs = PageInputs(page);
    if (!FRecord->UpToDate(tablePage.Name, inputs)) {
        page.SaveGenerated(file);
        FRecord->Wrote(tablePage.Name, inputs);
    }
    result.Written << file;
}

} // namespace

QString TRunResult::FilesText() const {
    return QString("%1 %2 written, %3 kept, %4 removed")
               .arg(FilesWritten)
               .arg(FilesWritten == 1 ? "file" : "files")
               .arg(FilesKept)
               .arg(FilesRemoved) +
           (FilesLeft > 0 ? QString(", %1 of another gallery left").arg(FilesLeft) : QString());
}

void LoadBackgroundPicture(TGfxBaseIm& picture, const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw EGalleryException("The gallery's background picture " + path +
                                " is not found: choose another background or a colour");
    try {
        picture.LoadPicture(path);
    } catch (const std::exception& e) {
        throw EGalleryException("The gallery's background picture " + path +
                                " cannot be read: " + QString::fromUtf8(e.what()));
    }
}

QString RunPhaseName(TRunPhase phase) {
    switch (phase) {
    case TRunPhase::Copy:
        return "copy";
    case TRunPhase::Web:
        return "web";
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
        // What was written before the failure is recorded; a record that cannot be kept adds nothing.
        try {
            runner.SaveRecord(result);
        } catch (const std::exception&) {
        }
        result.Cancelled = cancel && cancel->Cancelled() && result.Failure == kRunCancelled;
        if (result.Failure.isEmpty())
            result.Failure = "Stopped at " + result.StoppedAt;
    }
    return result;
}
