// Placing picture files into the grid in the background, in the files' order, with cancel.
#include "grid/GfxGridPlacer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include <QThread>

#include "common/VlxNativePath.h"
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

// What the readers share with the grid's thread. Readers take the files in order and read at most kAhead
// files beyond the last one placed: a grid that fills up wastes few reads, and memory stays bounded.
struct TGfxGridPlacer::TShared {
    static constexpr int kAhead = 8;

    QStringList Paths;
    int ColWidth = 0;
    int RowHeight = 0;
    QColor Ground;
    QSize Box;

    std::mutex Lock;
    std::condition_variable Wake;
    std::vector<std::unique_ptr<TGfxGridItem>> Items;
    std::vector<std::exception_ptr> Errors;
    std::vector<char> Ready;
    int Placed = 0; // files the grid's thread has taken
    int Next = 0;   // the next file a reader takes
    bool Stop = false;
    std::atomic<int> Active{0};
    std::vector<std::thread> Readers;

    void Read(TGfxGridPlacer* placer, const std::shared_ptr<TShared>& self);
};

void TGfxGridPlacer::TShared::Read(TGfxGridPlacer* placer, const std::shared_ptr<TShared>& self) {
    const int count = static_cast<int>(Paths.size());
    for (;;) {
        int index = 0;
        {
            std::unique_lock<std::mutex> lock(Lock);
            Wake.wait(lock, [&] { return Stop || Next >= count || Next < Placed + kAhead; });
            if (Stop || Next >= count)
                break;
            index = Next++;
        }
        auto item = std::make_unique<TGfxGridItem>();
        std::exception_ptr error;
        try {
            // at(): a non-const [] would detach the list, on several threads at once.
            FillCellItem(Paths.at(index), ColWidth, RowHeight, Ground, Box, *item);
        } catch (...) {
            error = std::current_exception();
            item.reset();
        }
        {
            const std::lock_guard<std::mutex> lock(Lock);
            Items[index] = std::move(item);
            Errors[index] = error;
            Ready[index] = 1;
        }
        QMetaObject::invokeMethod(
            placer, [placer, self] { placer->Deliver(self); }, Qt::QueuedConnection);
    }
    --Active;
}

TGfxGridPlacer::TGfxGridPlacer(TGfxGrid* grid) : QObject(grid), FGrid(grid) {}

TGfxGridPlacer::~TGfxGridPlacer() {
    if (FBusy)
        --RunningPlacers;
    Retire();
    for (const std::shared_ptr<TShared>& shared : FRetired)
        for (std::thread& reader : shared->Readers)
            reader.join();
}

int TGfxGridPlacer::Running() {
    return RunningPlacers;
}

bool TGfxGridPlacer::Start(const QStringList& paths, int col, int row, bool intoStartCell) {
    if (FBusy)
        return false;
    JoinFinished();
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
    const int readers = std::clamp(QThread::idealThreadCount(), 1, static_cast<int>(paths.size()));
    shared->Active = readers;
    for (int i = 0; i < readers; ++i)
        shared->Readers.emplace_back([this, shared] { shared->Read(this, shared); });
    FShared = std::move(shared);
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
        {
            const std::lock_guard<std::mutex> lock(shared->Lock);
            shared->Placed = FNext;
        }
        shared->Wake.notify_all();
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

void TGfxGridPlacer::Retire() {
    if (!FShared)
        return;
    {
        const std::lock_guard<std::mutex> lock(FShared->Lock);
        FShared->Stop = true;
    }
    FShared->Wake.notify_all();
    FRetired.push_back(std::move(FShared));
    FShared.reset();
}

// Readers that have gone are joined; one still finishing its picture is left for later.
void TGfxGridPlacer::JoinFinished() {
    std::erase_if(FRetired, [](const std::shared_ptr<TShared>& shared) {
        if (shared->Active > 0)
            return false;
        for (std::thread& reader : shared->Readers)
            reader.join();
        return true;
    });
}
