// Placing picture files into the grid in the background: read on the picture threads, put into their cells on
// the grid's thread one by one in the files' order, while the window goes on taking events.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QColor>
#include <QObject>
#include <QSize>
#include <QStringList>

#include "gallery/Gallery.h"

class TGfxGrid;
class TGfxGridItem;

// A cell's preview item from a picture file: the picture fitted into a cell of colWidth x rowHeight less 4
// pixels, transparent pixels shown on ground; with a valid box also the picture's stretch into it, kept for
// the run. Safe on any thread.
void FillCellItem(const QString& path, int colWidth, int rowHeight, const QColor& ground, const QSize& box,
                  TGfxGridItem& item);

class TGfxGridPlacer : public QObject {
public:
    explicit TGfxGridPlacer(TGfxGrid* grid);
    // Stops the readers and waits for the ones still reading (at most one picture each).
    ~TGfxGridPlacer() override;

    // Places the files as TGfxGrid::PlaceFiles does: in their order into the empty cells from (col, row)
    // onwards and then from the top-left cell; intoStartCell puts the first that loads into the start cell.
    // Each goes into the grid whole once it is read and all before it are placed; OnDone ends it. False,
    // and nothing done, while another placing goes on.
    bool Start(const QStringList& paths, int col, int row, bool intoStartCell = false);
    // Ends the placing now: the pictures placed stay, the files not yet placed are left out, and OnDone
    // hears of it with cancelled set. Nothing when no placing goes on.
    void Cancel();
    bool Busy() const { return FBusy; }
    int Total() const { return static_cast<int>(FPaths.size()); }
    // Files placed or left out so far.
    int Done() const { return FNext; }
    // The number of placings going on in the process (tests wait for them).
    static int Running();

    // After each file placed or left out.
    std::function<void(TGfxGridPlacer*)> OnProgress;
    // Once, at the end: the files left out (not the ones a cancel left unread), in their order.
    std::function<void(TGfxGridPlacer*, const std::vector<TRefusedFile>& refused, bool cancelled)> OnDone;

private:
    struct TShared;
    // Hands the picture threads the files not handed yet up to the look-ahead beyond the last one placed.
    void HandOut(const std::shared_ptr<TShared>& shared);
    // Puts every file read, in order, from the next one on.
    void Deliver(const std::shared_ptr<TShared>& shared);
    // Places one file read; false when no empty cell is left for it.
    bool PlaceOne(int index, std::unique_ptr<TGfxGridItem> item, const std::exception_ptr& error);
    void Finish(bool cancelled);
    // Ends the current placing's reading: readers not begun leave their file, the others finish the picture
    // in hand and tell nobody.
    void Retire();
    void ForgetFinished();

    TGfxGrid* FGrid;
    std::shared_ptr<TShared> FShared;
    std::vector<std::shared_ptr<TShared>> FRetired;
    QStringList FPaths;
    std::vector<TRefusedFile> FRefused;
    int FNext = 0;
    int FCol = 0;
    int FRow = 0;
    bool FIntoStartCell = false;
    bool FBusy = false;
};
