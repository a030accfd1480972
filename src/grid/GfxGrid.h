// Picture grid: the table of cells that holds the gallery's pictures with their previews and published names.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QStyle>
#include <QTableView>

#include "common/VlxTypes.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryHistory.h"
#include "gfx/GfxPic.h"

class QMimeData;
class TGfxGridModel;
struct TDocumentCell;

// Notifications posted to the main window (no parameters); the numbers are the event types.
inline constexpr QEvent::Type WM_GFXCELLLOADED = static_cast<QEvent::Type>(0x4F0);
inline constexpr QEvent::Type WM_GFXCELLCLEARED = static_cast<QEvent::Type>(0x4F1);
inline constexpr QEvent::Type WM_GFXCELLSSWAPPED = static_cast<QEvent::Type>(0x4F2);

class EGfxGridException : public Exception {
public:
    using Exception::Exception;
};


// A cell's picture: the bitmap is the preview; FileName is the picture's full path (real letter case).
//
// It also keeps the picture stretched into the renderer's picture box, made in the same pass as the preview,
// so that a generation run renders the thumbnail without decoding the file again. That stretch serves only
// for the box it was made for, and only while the file keeps the stamp it had before it was read.
class TGfxGridItem : public TGfxBaseIm {
public:
    // The holder's load, then the picture's stored size and file size.
    void LoadPicture(const QString& name) override;

    int ImageWidth() const { return FImageWidth; }
    int ImageHeight() const { return FImageHeight; }
    int FileSize() const { return FFileSize; }
    void SetPictureInfo(int imageWidth, int imageHeight, int fileSize);
    // Where the picture's path leads through its links, as found when it was placed; empty when unknown.
    const QString& RealPath() const { return FRealPath; }
    void SetRealPath(const QString& value) { FRealPath = value; }
    // The caption the picture's metadata carries, read in the same pass; the cell takes it when placed.
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }

    // The picture stretched into the renderer's picture box in the same pass as the preview; the cell takes
    // it when the item is placed, and keeps it for the next run.
    TKeptStretch& Made() { return FMade; }

private:
    TKeptStretch FMade;
    QString FRealPath;
    QString FCaption;
    int FImageWidth = 0;
    int FImageHeight = 0;
    int FFileSize = 0;
};

// Preview items read for cells, in their order; a file that fails keeps its error in place of its item.
struct TCellPreviews {
    std::vector<std::unique_ptr<TGfxGridItem>> Items;
    std::vector<std::exception_ptr> Errors;
};

class TGfxGrid : public QTableView {
    Q_OBJECT

public:
    explicit TGfxGrid(QWidget* parent = nullptr);
    ~TGfxGrid() override;

    // Places a picture file into a cell; coordinates outside the grid are ignored. The cell is named
    // the gallery's FreeName: no two different files in the grid share a published name.
    void LoadCell(int aCol, int aRow, const QString& fileName);
    // Loads a filled cell's picture again (for a new cell size), keeping its caption; an empty cell stays
    // empty.
    void ReloadCell(int aCol, int aRow);
    void ClearCell(int aCol, int aRow);
    bool IsCellEmpty(int aCol, int aRow) const;
    // From (aCol, aRow) onwards, row by row; on success both are set to the empty cell found.
    bool FindEmptyCell(int& aCol, int& aRow) const;
    // The published form of a path: lower-cased, with the directory tag before its first '.'.
    QString CellName(const QString& fileName) const;
    // Delete and Control+Delete: the current cell, or every cell with the top-left cell made current.
    void ClearCurrentCell();
    void ClearAllCells();
    // Places picture files, in their order, into the empty cells from (aCol, aRow) onwards and then from
    // the top-left cell. A file that does not load is passed over; the files not placed come back in order.
    // intoStartCell: the first file that loads goes into the start cell even when that cell is filled.
    std::vector<TRefusedFile> PlaceFiles(const QStringList& paths, int aCol, int aRow,
                                         bool intoStartCell = false);
    // The local files of a drop at a viewport point, placed from the cell there onwards (PlaceFiles).
    std::vector<TRefusedFile> DropFiles(const QMimeData& data, const QPoint& pos);
    // Loads the pictures of cells given with their names (a gallery file's), in two steps so that a gallery
    // being opened changes nothing until its pictures are read. ReadCellPreviews reads them for a picture box
    // on every core while this thread lets events (of `events`) through, telling progress how many are read;
    // it stops once cancelled() says so, and gives null. LoadNamedCells then puts the cells with what was
    // read, each keeping its name; a picture that could not be read leaves its cell filled but missing: drawn
    // crossed out, without a preview. The cells not loaded come back with why.
    std::unique_ptr<TCellPreviews> ReadCellPreviews(const std::vector<TDocumentCell>& cells, const QSize& box,
                                                    QEventLoop::ProcessEventsFlags events,
                                                    const std::function<void(int done, int total)>& progress,
                                                    const std::function<bool()>& cancelled) const;
    std::vector<TRefusedFile> LoadNamedCells(const std::vector<TDocumentCell>& cells, TCellPreviews& read);
    // A filled cell whose picture was not found.
    bool IsCellMissing(int aCol, int aRow) const;
    // The content as a value, and put back as it was (the table's size included); posts WM_GFXCELLLOADED.
    TGridContent Content() const;
    void SetContent(const TGridContent& content);
    // Builds a cell's preview item from a picture file.
    void MakeCellItem(const QString& path, TGfxGridItem* item);
    void GridDrawCell(QPainter& painter, int aCol, int aRow, const QRect& rect, QStyle::State state) const;

    // The renderer's picture box, told by the owner whenever it changes: placing a picture also stretches it
    // into this box for the run. Changing it drops the stretches made for another box. Invalid (the
    // default): no stretch is made.
    const QSize& PictureBox() const { return FPictureBox; }
    void SetPictureBox(const QSize& box);

    bool PlainNames() const { return Gallery().PlainNames(); }
    void SetPlainNames(bool value);
    bool AcceptFiles() const { return FAcceptFiles; }
    void SetAcceptFiles(bool value) { FAcceptFiles = value; }
    // The receiver of the posted notifications; none set means no main window.
    QObject* MainWindow() const { return FMainWindow; }
    void SetMainWindow(QObject* window) { FMainWindow = window; }

    int ColCount() const;
    int RowCount() const;
    void SetColCount(int value);
    void SetRowCount(int value);
    int Col() const;
    int Row() const;
    void SetCurrentCell(int aCol, int aRow);
    int DefaultColWidth() const { return FDefaultColWidth; }
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    void SetDefaultColWidth(int value);
    void SetDefaultRowHeight(int value);
    // A cell's name ("" when empty) and its item (none when empty).
    QString Cells(int aCol, int aRow) const;
    TGfxGridItem* Objects(int aCol, int aRow) const;
    // The gallery whose cells the grid shows: names, pictures and the stretches kept for the next run.
    TGallery& Gallery();
    const TGallery& Gallery() const;
    // The grid shows and edits gallery's cells from now on (the table as it stands moves into it, the
    // settings stay gallery's); gallery must outlive the grid.
    void ShowGallery(TGallery& gallery);

    // Moves the cells' contents in one go: position p (counted row by row) takes what position from[p] held;
    // from is a permutation of the positions. Names stay with their pictures; one WM_GFXCELLSSWAPPED.
    void Rearrange(const std::vector<int>& from);
    // Shown over the grid while it holds no picture: how pictures come in. Empty (the default) for none.
    void SetEmptyHint(const QString& hint);
    const QString& EmptyHint() const { return FEmptyHint; }

    // Events of the owner; the first argument is the grid.
    std::function<void(TGfxGrid*, const QString&)> OnStatusText;
    // Runs before the grid's own key handling; setting the key to 0 ends the handling there.
    std::function<void(TGfxGrid*, int& key, Qt::KeyboardModifiers)> OnKeyDown;
    // A press on a cell, or the current cell moved by the keyboard.
    std::function<void(TGfxGrid*)> OnClick;
    std::function<void(TGfxGrid*)> OnDblClick;
    // The user's own edits in the grid (Delete, Control+Delete, a cell dragged onto another, files dropped)
    // run through here, so that the owner can make each one an undo step; unassigned, they just run.
    std::function<void(TGfxGrid*, const QString& what, const std::function<void()>& change)> OnEdit;
    // Takes the local files (and folders) of a drop at (col, row) instead of the grid placing them itself;
    // the owner places them (in the background).
    std::function<void(TGfxGrid*, const QStringList& paths, int col, int row)> OnPlaceFiles;
    // The files of a drop that were not placed, told once the drop is over. Unassigned, they are raised
    // as one error.
    std::function<void(TGfxGrid*, const std::vector<TRefusedFile>&)> OnFilesRefused;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Starts the drag of the cell under the last press; runs the platform's drag loop.
    void startDrag(Qt::DropActions supportedActions) override;
    // What a cell drag carries: a mark of this grid, so that drops from elsewhere are refused.
    QMimeData* CellDragData() const;

private:
    friend class TGfxGridPlacer; // puts the items it made into their cells

    void KeyDown(int key, Qt::KeyboardModifiers shift);
    void UserEdit(const QString& what, const std::function<void()>& change);
    // Puts a made preview item into a cell, named as LoadCell names it.
    void PutCell(int aCol, int aRow, const QString& fileName, std::unique_ptr<TGfxGridItem> item);
    void SizeChanged(int oldColCount, int oldRowCount, int newColCount, int newRowCount);
    void Resize(int colCount, int rowCount);
    void PostToMainWindow(QEvent::Type type) const;
    void FilesRefused(const std::vector<TRefusedFile>& refused);
    QByteArray DragMark() const;
    bool IsCellDrag(const QMimeData* data) const;
    bool IsFileDrop(const QMimeData* data) const;
    bool GridDragOver(const QPoint& pos) const;
    void GridDragDrop(const QPoint& pos);
    bool CellAt(const QPoint& pos, int& aCol, int& aRow) const;

    TGfxGridModel* FModel;
    bool FAcceptFiles = false;
    int FDefaultColWidth = 64;
    int FDefaultRowHeight = 64;
    int FDragCol = -1;
    int FDragRow = -1;
    QPoint FPressPos;
    bool FDragPending = false;
    QPointer<QObject> FMainWindow;
    QSize FPictureBox;
    QString FEmptyHint;
    bool FHintShown = false; // the hint is on screen: the first picture placed must clear it
};
