// The gallery's table of cells, their names and what it keeps of their pictures.
#include "gallery/Gallery.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

#include <QFile>

#include "common/VlxNativePath.h"
#include "common/VlxPictureThreads.h"
#include "gfx/GfxCaption.h"
#include "gfx/GfxMeasure.h"
#include "html/WebFiles.h"

namespace {

// A picture read once: its stretch into the picture box, kept when not too large.
struct TPlaced {
    TFileStamp Stamp;
    std::shared_ptr<const TGfxBaseIm> Fitted;
    QString Caption;
    std::exception_ptr Error;
};

// Reads the picture as the window's grid does, so that the same files are refused with the same reasons.
TPlaced ReadPicture(const QString& path, const QSize& box, const TReadBefore& readBefore) {
    TPlaced placed;
    try {
        // Taken before reading: a change after it shows as a changed stamp when the run comes.
        placed.Stamp = TFileStamp::Of(path);
        if (readBefore && readBefore(path, placed.Stamp)) {
            placed.Caption = PictureCaption(path);
            return placed;
        }
        TGfxBaseIm picture;
        picture.LoadPicture(path);
        if (!picture.HasImage())
            throw EGalleryException("The picture " + path + " has no pixels");
        int width = 0;
        int height = 0;
        int size = 0;
        const QString refusal =
            MeasurePictureFile(path, width, height, size, QSize(picture.Width(), picture.Height()));
        if (!refusal.isEmpty())
            throw EGalleryException(refusal);
        const QSize fit = FitSize(picture.Width(), picture.Height(), box.width(), box.height());
        if (static_cast<long long>(fit.width()) * fit.height() <= kMaxKeptFitPixels) {
            auto fitted = std::make_shared<TGfxBaseIm>();
            ResizePicture(fit.width(), fit.height(), picture, *fitted);
            placed.Fitted = std::move(fitted);
        }
        placed.Caption = PictureCaption(path);
    } catch (...) {
        placed.Error = std::current_exception();
    }
    return placed;
}

QString ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace

TGallery::TGallery() : Settings(StartUpSettings()) {
    SetTableSize(Settings.Page.Columns, Settings.Page.Rows);
}

int TGallery::Index(int col, int row) const {
    if (col < 0 || row < 0 || col >= FColumns || row >= FRows)
        throw EGalleryException(QString("No cell %1, %2 in a table of %3 x %4").arg(col).arg(row).arg(FColumns).arg(FRows));
    return row * FColumns + col;
}

void TGallery::SetTableSize(int columns, int rows) {
    columns = std::max(0, columns);
    rows = std::max(0, rows);
    std::vector<TGalleryCell> cells(static_cast<size_t>(columns) * rows);
    for (int row = 0; row < FRows; ++row)
        for (int col = 0; col < FColumns; ++col) {
            TGalleryCell& cell = FCells[size_t(row) * FColumns + col];
            if (row < rows && col < columns)
                cells[size_t(row) * columns + col] = std::move(cell);
            else
                Indexed(cell, -1);
        }
    FCells = std::move(cells);
    FColumns = columns;
    FRows = rows;
    Settings.Page.Columns = columns;
    Settings.Page.Rows = rows;
}

void TGallery::Indexed(const TGalleryCell& cell, int step) {
    if (cell.IsEmpty())
        return;
    FNames.Count(cell.Name, cell.Source, cell.RealPath, step);
    FPictures += step;
}

void TGallery::SetCell(int col, int row, TGalleryCell cell) {
    TGalleryCell& at = FCells[Index(col, row)];
    Indexed(at, -1);
    at = cell.IsEmpty() ? TGalleryCell() : std::move(cell);
    Indexed(at, +1);
}

void TGallery::SetName(int col, int row, const QString& name) {
    TGalleryCell& at = FCells[Index(col, row)];
    Indexed(at, -1);
    at.Name = name;
    Indexed(at, +1);
}

void TGallery::SetCaption(int col, int row, const QString& caption) {
    TGalleryCell& at = FCells[Index(col, row)];
    if (!at.IsEmpty())
        at.Caption = CaptionText(caption);
}

bool TGallery::HasCaptions() const {
    return std::any_of(FCells.begin(), FCells.end(),
                       [](const TGalleryCell& cell) { return !cell.IsEmpty() && !cell.Caption.isEmpty(); });
}

void TGallery::ClearCell(int col, int row) {
    SetCell(col, row, TGalleryCell());
}

void TGallery::SwapCells(int col1, int row1, int col2, int row2) {
    std::swap(FCells[Index(col1, row1)], FCells[Index(col2, row2)]);
}

// Two different pictures must never share a published file: the visitor would get the other picture. Names
// are compared ignoring letter case, as galleries are served from such file systems too.
QString TGallery::FreeName(int col, int row, const QString& path, const QString& realPath) {
    if (QString same = FNames.NameOfFile(path, realPath); !same.isEmpty())
        return same; // one copy, one thumbnail and one page for both cells
    // The cell's own files are free for its new picture.
    const TGalleryCell& own = Cell(col, row);
    Indexed(own, -1);
    const QString name = DistinctName(CellText(path, FPlainNames), [this](const QString& candidate) {
        const QStringList files = PublishedNames(candidate);
        return std::any_of(files.begin(), files.end(), [this](const QString& file) {
            return FNames.Publishes(file) || file.compare(kIndexPage, Qt::CaseInsensitive) == 0;
        });
    });
    Indexed(own, +1);
    return name;
}

namespace {

std::atomic<bool> PluginReadsAllowed{true};

bool StartsAsJpeg(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == QByteArray("\xFF\xD8", 2);
}

} // namespace

void HoldPluginReads() {
    PluginReadsAllowed = false;
}

void ReleasePluginReads() {
    PluginReadsAllowed = true;
    PluginReadsAllowed.notify_all();
}

struct TPictureReads::TState {
    QStringList Paths;
    QSize Box;
    TReadBefore ReadBefore;
    std::vector<TPlaced> Read;
    std::atomic<int> Next{0};
    std::mutex Lock; // guards Readers
    std::condition_variable Ended;
    int Readers = 0; // queued or reading

    // One reader's work on the picture threads: files taken in order until none is left.
    void ReadOn();
    // The readers' results, once every one of them is done.
    const std::vector<TPlaced>& Wait() {
        const TPictureThreadsWait lent;
        std::unique_lock<std::mutex> lock(Lock);
        Ended.wait(lock, [this] { return Readers == 0; });
        return Read;
    }
};

void TPictureReads::TState::ReadOn() {
    const int count = static_cast<int>(Paths.size());
    for (int i = Next++; i < count; i = Next++) {
        // at(): a non-const [] would detach the list shared with the caller, on several threads at once.
        const QString& path = Paths.at(i);
        if (!PluginReadsAllowed && !StartsAsJpeg(path)) {
            // Released by the main thread, which needs none of the picture threads for it; the pool's other
            // work goes on without this one meanwhile.
            const TPictureThreadsWait lent;
            PluginReadsAllowed.wait(false);
        }
        Read[size_t(i)] = ReadPicture(path, Box, ReadBefore);
    }
    // Told under the lock: the waiter, once it has it, may take the state down.
    const std::lock_guard<std::mutex> lock(Lock);
    if (--Readers == 0)
        Ended.notify_all();
}

TPictureReads::TPictureReads(const QStringList& paths, const QSize& box, TReadBefore readBefore)
    : F(std::make_unique<TState>()) {
    F->Paths = paths;
    F->Box = box;
    F->ReadBefore = std::move(readBefore);
    const int count = static_cast<int>(paths.size());
    F->Read.resize(size_t(count));
    TState* state = F.get();
    for (int t = std::min(PictureThreads().maxThreadCount(), count); t > 0; --t) {
        {
            const std::lock_guard<std::mutex> lock(F->Lock);
            ++F->Readers;
        }
        try {
            PictureThreads().start([state] { state->ReadOn(); });
        } catch (...) {
            F->Next = count; // the readers queued end at once; they are waited for
            {
                const std::lock_guard<std::mutex> lock(F->Lock);
                --F->Readers;
            }
            F->Wait();
            throw;
        }
    }
}

TPictureReads::~TPictureReads() {
    F->Next = static_cast<int>(F->Paths.size()); // no reader starts another picture
    F->Wait();
}

const QStringList& TPictureReads::Paths() const {
    return F->Paths;
}

const QSize& TPictureReads::Box() const {
    return F->Box;
}

std::vector<TRefusedFile> TGallery::PlaceFiles(const QStringList& paths, int col, int row,
                                               const TReadBefore& readBefore) {
    TPictureReads reads(paths, Settings.Thumb.PictureBox(), readBefore);
    return PlaceFiles(reads, col, row);
}

std::vector<TRefusedFile> TGallery::PlaceFiles(TPictureReads& reads, int col, int row) {
    const QStringList& paths = reads.Paths();
    const QSize box = reads.Box();
    const std::vector<TPlaced>& read = reads.F->Wait();
    std::vector<TRefusedFile> refused;
    int at = std::max(0, Index(col, row));
    for (int i = 0; i < paths.size(); ++i) {
        while (at < int(FCells.size()) && !FCells[at].IsEmpty())
            ++at;
        if (at >= int(FCells.size())) {
            refused.push_back({paths[i], "No empty cell for " + paths[i], true});
            continue;
        }
        if (read[i].Error) {
            refused.push_back({paths[i], ErrorText(read[i].Error)});
            continue;
        }
        const int c = at % FColumns;
        const int r = at / FColumns;
        TGalleryCell cell;
        cell.Source = paths[i];
        cell.RealPath = CanonicalPath(paths[i]);
        cell.Name = FreeName(c, r, cell.Source, cell.RealPath);
        cell.Caption = read[i].Caption;
        cell.Kept.Keep(read[i].Fitted, box, read[i].Stamp);
        SetCell(c, r, std::move(cell));
    }
    return refused;
}
