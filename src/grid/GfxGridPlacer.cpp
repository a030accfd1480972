// Placing picture files into the grid in the background, in the files' order, with cancel.
#include "grid/GfxGridPlacer.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>

#include "common/VlxNativePath.h"
#include "common/VlxPictureThreads.h"
#include "grid/GfxGrid.h"

namespace {

int RunningPlacers = 0;

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

// What the readers share with the grid's thread. A reader is one file's job on the picture threads; the
// grid's thread hands them out in order, at most kAhead files beyond the last one placed: a grid that fills
// up wastes few reads, memory stays bounded, and no reader holds a thread of the pool waiting for the grid.
struct TGfxGridPlacer::TShared {
    static constexpr int kAhead = 8;

    QStringList Paths;
    int ColWidth = 0;
    int RowHeight = 0;
    QColor Ground;
    QSize Box;
    int Handed = 0; // files handed to the pool; the grid's thread alone counts them

    std::mutex Lock; // guards what follows
    std::condition_variable Idle;
    // Null once the placing has ended: no reader begins its file or tells of one after that.
    TGfxGridPlacer* Placer = nullptr;
    std::vector<std::unique_ptr<TGfxGridItem>> Items;
    std::vector<std::exception_ptr> Errors;
    std::vector<char> Ready;
    int Reading = 0; // readers between beginning their file and telling of it

    // The reader's own reference keeps all this for it, however late it runs.
    static void Read(const std::shared_ptr<TShared>& self, int index);
};

void TGfxGridPlacer::TShared::Read(const std::shared_ptr<TShared>& self, int index) {
    TShared& shared = *self;
    {
        const std::lock_guard<std::mutex> lock(shared.Lock);
        if (shared.Placer == nullptr)
            return;
        ++shared.Reading;
    }
    auto item = std::make_unique<TGfxGridItem>();
    std::exception_ptr error;
    try {
        // at(): a non-const [] would detach the list, on several threads at once.
        FillCellItem(shared.Paths.at(index), shared.ColWidth, shared.RowHeight, shared.Ground, shared.Box,
                     *item);
    } catch (...) {
        error = std::current_exception();
        item.reset();
    }
    const std::lock_guard<std::mutex> lock(shared.Lock);
    shared.Items[index] = std::move(item);
    shared.Errors[index] = error;
    shared.Ready[index] = 1;
    // Under the lock: the placer cannot go meanwhile, as it takes the lock to end the placing.
    if (TGfxGridPlacer* placer = shared.Placer)
        QMetaObject::invokeMethod(
            placer, [placer, self] { placer->Deliver(self); }, Qt::QueuedConnection);
    if (--shared.Reading == 0)
        shared.Idle.notify_all();
}

TGfxGridPlacer::TGfxGridPlacer(TGfxGrid* grid) : QObject(grid), FGrid(grid) {}

TGfxGridPlacer::~TGfxGridPlacer() {
    if (FBusy)
        --RunningPlacers;
    Retire();
    for (const std::shared_ptr<TShared>& shared : FRetired) {
        std::unique_lock<std::mutex> lock(shared->Lock);
        shared->Idle.wait(lock, [&] { return shared->Reading == 0; });
    }
}

int TGfxGridPlacer::Running() {
    return RunningPlacers;
}

bool TGfxGridPlacer::Start(const QStringList& paths, int col, int row, bool intoStartCell) {
    if (FBusy)
        return false;
    ForgetFinished();
    FBusy = true;
    ++RunningPlacers;
    FPaths = paths;
    FRefused.clear();
    FNext = 0;
    FCol = col;
    FRow = row;
    FIntoStartCell = intoStartCell;
    if (paths.isEmpty()) {
        Finish(false);
        return true;
    }
    auto shared = std::make_shared<TShared>();
    shared->Paths = paths;
    shared->ColWidth = FGrid->DefaultColWidth();
    shared->RowHeight = FGrid->DefaultRowHeight();
    shared->Ground = FGrid->palette().color(QPalette::Base); // widgets belong to this thread
    shared->Box = FGrid->PictureBox();
    shared->Items.resize(paths.size());
    shared->Errors.resize(paths.size());
    shared->Ready.resize(paths.size());
    shared->Placer = this;
    FShared = shared;
    HandOut(shared);
    return true;
}

void TGfxGridPlacer::Cancel() {
    if (FBusy)
        Finish(true);
}

void TGfxGridPlacer::Deliver(const std::shared_ptr<TShared>& shared) {
    if (!FBusy || shared != FShared)
        return; // a reader of a placing that has ended
    while (FNext < Total()) {
        std::unique_ptr<TGfxGridItem> item;
        std::exception_ptr error;
        {
            const std::lock_guard<std::mutex> lock(shared->Lock);
            if (!shared->Ready[FNext])
                break;
            item = std::move(shared->Items[FNext]);
            error = shared->Errors[FNext];
        }
        if (!PlaceOne(FNext, std::move(item), error)) {
            // The grid is full: the files left are not read.
            for (int i = FNext; i < Total(); ++i)
                FRefused.push_back({FPaths[i], "No empty cell to add " + FPaths[i], true});
            FNext = Total();
            break;
        }
        ++FNext;
        HandOut(shared);
        if (OnProgress)
            OnProgress(this);
        if (!FBusy || shared != FShared)
            return; // cancelled meanwhile
    }
    if (FNext >= Total())
        Finish(false);
}

bool TGfxGridPlacer::PlaceOne(int index, std::unique_ptr<TGfxGridItem> item,
                              const std::exception_ptr& error) {
    const QString& path = FPaths[index];
    int col = FCol;
    int row = FRow;
    // The table may have shrunk while the files were read.
    const bool intoStart = FIntoStartCell && FGrid->Gallery().Contains(col, row);
    if (!intoStart && !FGrid->FindEmptyCell(col, row)) {
        col = 0;
        row = 0;
        if (!FGrid->FindEmptyCell(col, row))
            return false;
    }
    if (error) {
        // A stand-in link for a name that is not UTF-8 is told by the path it stands for.
        FRefused.push_back({path, ErrorText(error).replace(path, ShownPath(path)), false});
        return true;
    }
    if (FGrid->OnStatusText)
        FGrid->OnStatusText(FGrid, "Setting: " + ShownPath(path));
    FGrid->PutCell(col, row, path, std::move(item));
    FIntoStartCell = false;
    FCol = col; // the next file searches on from here
    FRow = row;
    return true;
}

void TGfxGridPlacer::Finish(bool cancelled) {
    FBusy = false;
    --RunningPlacers;
    Retire();
    const std::vector<TRefusedFile> refused = std::move(FRefused);
    FRefused.clear();
    if (OnDone)
        OnDone(this, refused, cancelled);
}

void TGfxGridPlacer::HandOut(const std::shared_ptr<TShared>& shared) {
    for (const int until = std::min(Total(), FNext + TShared::kAhead); shared->Handed < until;
         ++shared->Handed)
        PictureThreads().start([shared, index = shared->Handed] { TShared::Read(shared, index); });
}

void TGfxGridPlacer::Retire() {
    if (!FShared)
        return;
    {
        const std::lock_guard<std::mutex> lock(FShared->Lock);
        FShared->Placer = nullptr;
    }
    FRetired.push_back(std::move(FShared));
    FShared.reset();
}

// A retired placing is forgotten once none of its readers reads; those not begun will not.
void TGfxGridPlacer::ForgetFinished() {
    std::erase_if(FRetired, [](const std::shared_ptr<TShared>& shared) {
        const std::lock_guard<std::mutex> lock(shared->Lock);
        return shared->Reading == 0;
    });
}
