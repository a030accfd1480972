// Adding pictures in the main window: the chosen or dropped files and folders placed in the background with
// progress and Cancel, more rows offered when they do not fit, folders in name or date order, sorting, and
// moving a picture by keys.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>
#include <QStringList>

#include "gallery/GalleryOrder.h"

class QProgressBar;
class QPushButton;
class TGfxGridPlacer;
class TVeltrixF;
struct TRefusedFile;

class TPlaceCommands : public QObject {
public:
    // Works on the window's grid, editor and dialogs; the window outlives it.
    explicit TPlaceCommands(TVeltrixF& window);
    ~TPlaceCommands() override;
    // Ends placing for good, before the grid goes: the readers still at a picture finish it and go, and
    // nothing more is placed.
    void Stop();
    // Connects the adding and sorting commands, and makes the placer and its Cancel button on the status bar.
    void Connect();

    // Places picture files, and the pictures of folders in name order, in the background: into the empty
    // cells from (col, row) on, then from the top-left cell (intoStartCell: the first into that cell). A
    // request made while pictures are being placed waits for them. Everything placed until the placer is
    // idle again is one step to undo.
    void PlacePictures(const QStringList& paths, int col, int row, bool intoStartCell = false);
    bool Placing() const;
    // Ends the placing: the pictures placed stay, the rest are left out.
    void CancelPlacing();
    // The pictures of a folder in the order asked for, from the current cell on.
    void AddFolder(const QString& dir, TPictureOrder order);
    // The filled cells keep their places and take the pictures in the order asked for.
    void SortPictures(TPictureOrder order);
    // Moves the current cell's picture to the neighbouring cell (exchanging with its picture) and makes that
    // cell current; false at the table's edge or on an empty cell.
    bool MovePicture(int dCol, int dRow);
    // Files and folders named on the command line, relative to the working folder of the process.
    void OpenFiles(const QStringList& paths);
    // The chosen files go into the current cell and on into the empty cells after it, as a drop does.
    void LoadPictureExecute();
    // Files a drop or the open-picture dialog left out: more rows are offered when the cells ran out, then
    // one message names every file still not placed and why.
    void FilesRefused(const std::vector<TRefusedFile>& refused);

    TGfxGridPlacer* Placer() const { return FPlacer; }
    // Shown on the status bar while pictures are placed.
    QPushButton* CancelB = nullptr;
    // When the last placing of a command has ended.
    std::function<void(TVeltrixF*, bool cancelled)> OnPlacingDone;

private:
    struct TPlaceRequest {
        QStringList Paths;
        int Col = 0;
        int Row = 0;
        bool IntoStartCell = false;
    };

    void ConnectGrid();
    void AddFolderExecute(TPictureOrder order);
    void StartNextPlacing();
    void PlacingDone(const std::vector<TRefusedFile>& refused, bool cancelled);

    TVeltrixF& FWindow;
    TGfxGridPlacer* FPlacer = nullptr;
    // The requests waiting for the placer, its progress bar, and the refusals carried to the message shown
    // when the last placing of a command ends.
    std::vector<TPlaceRequest> FPlaceQueue;
    std::unique_ptr<QProgressBar> FPlaceBar;
    std::vector<TRefusedFile> FPlaceCarried;
    bool FPlaceStepOpen = false; // placing under way since the last undo step
};
