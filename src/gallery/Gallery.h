// The gallery: its settings, a table of cells holding pictures under their published names, and what it keeps
// of each picture for the next run. Below the widgets: the window shows one, the command line fills one.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QSize>
#include <QString>
#include <QStringList>

#include "common/VlxTypes.h"
#include "gallery/GalleryNames.h"
#include "gallery/GallerySettings.h"
#include "gallery/KeptStretch.h"

// A gallery could not do its work: a folder, a copy, a picture, a profile.
class EGalleryException : public Exception {
public:
    using Exception::Exception;
};

// A picture file that could not be placed, and why.
struct TRefusedFile {
    QString Path;
    QString Reason;      // the error text; it names the file
    bool NoCell = false; // no empty cell was left for it; it was not even read
};

// Whether a run read the picture file whole when it was as the stamp says.
using TReadBefore = std::function<bool(const QString& path, const TFileStamp& stamp)>;

// While held, readers of TPictureReads read JPEGs only (decoded without Qt's image plugins) and leave other
// kinds until released: a command reads pictures while its application object is being made, and Qt's
// plugins must not be looked up meanwhile. Released by default.
void HoldPluginReads();
void ReleasePluginReads();

// Picture files being read for placing, on every core, from the moment it is made: the reading goes on while
// the caller does other work (the command line starts up meanwhile). Waits for its readers when it goes.
class TPictureReads {
public:
    TPictureReads(const QStringList& paths, const QSize& box, TReadBefore readBefore = {});
    ~TPictureReads();
    TPictureReads(const TPictureReads&) = delete;
    TPictureReads& operator=(const TPictureReads&) = delete;

    const QStringList& Paths() const;
    const QSize& Box() const;

private:
    friend class TGallery;
    struct TState;
    std::unique_ptr<TState> F;
};

struct TGalleryCell {
    QString Name;     // the published name; empty for an empty cell
    QString Source;   // the picture file's full path
    QString RealPath; // where Source leads through its links, as found when placed
    QString Caption;  // one line, as the user sees it; taken from the picture's metadata when placed
    TKeptStretch Kept;

    bool IsEmpty() const { return Name.isEmpty(); }
};

class TGallery {
public:
    TGallery();

    // The settings; Settings.Page.Columns and Rows follow the table's size.
    TGallerySettings Settings;

    int Columns() const { return FColumns; }
    int Rows() const { return FRows; }
    // Cells that a smaller size leaves out go with their pictures. Sizes below 0 count as 0.
    void SetTableSize(int columns, int rows);
    bool Contains(int col, int row) const { return col >= 0 && row >= 0 && col < FColumns && row < FRows; }
    const TGalleryCell& Cell(int col, int row) const { return FCells[Index(col, row)]; }
    // Puts a cell's content in place (an empty name empties it), and renames a filled cell.
    void SetCell(int col, int row, TGalleryCell cell);
    void SetName(int col, int row, const QString& name);
    // The caption of a filled cell, made one line (CaptionText); an empty cell keeps none.
    void SetCaption(int col, int row, const QString& caption);
    // True when any filled cell has a caption.
    bool HasCaptions() const;
    // What the cell keeps of its picture for the next run.
    TKeptStretch& Kept(int col, int row) { return FCells[Index(col, row)].Kept; }
    int CountPictures() const { return FPictures; }

    // Names from the file's full path with its directory tag, or plainly from the lower-cased file name.
    bool PlainNames() const { return FPlainNames; }
    void SetPlainNames(bool value) { FPlainNames = value; }

    // Places the files, in their order, into the empty cells from (col, row) onwards, row by row, each read
    // once (on every core) and kept stretched into the settings' picture box for the run, with the caption
    // its metadata carries. A file that does not load is passed over with its reason; the files not placed
    // come back in order.
    // A file that readBefore says a run read whole as it is now (its size, times and identity) is trusted
    // without decoding it: a run decodes it only when it writes its thumbnail.
    std::vector<TRefusedFile> PlaceFiles(const QStringList& paths, int col = 0, int row = 0,
                                         const TReadBefore& readBefore = {});
    // The same with the files' reading begun earlier, for a gallery whose settings give the same picture box.
    std::vector<TRefusedFile> PlaceFiles(TPictureReads& reads, int col = 0, int row = 0);
    void ClearCell(int col, int row);
    void SwapCells(int col1, int row1, int col2, int row2);

    // The name a picture file gets in cell (col, row): the name of a cell that holds the same file (by its
    // path, or by where its links lead: realPath, as CanonicalPath gives it), else its CellText made distinct (DistinctName) when one of its
    // published files would be named as one of another cell's, letter case ignored, or as the table page.
    // The cell itself does not count, as its picture is being replaced. Looked up in the kept index: the
    // time does not grow with the number of pictures.
    QString FreeName(int col, int row, const QString& path, const QString& realPath);

private:
    int Index(int col, int row) const;
    // The index follows every filled cell that comes or goes.
    void Indexed(const TGalleryCell& cell, int step);

    int FColumns = 0;
    int FRows = 0;
    bool FPlainNames = false;
    std::vector<TGalleryCell> FCells; // row by row
    int FPictures = 0;
    TNameIndex FNames;
};
