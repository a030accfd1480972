// The gallery: its settings, a table of cells holding pictures under their published names, and what it keeps
// of each picture for the next run. Below the widgets: the window shows one, the command line fills one.
#pragma once

#include <vector>

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

struct TGalleryCell {
    QString Name;     // the published name; empty for an empty cell
    QString Source;   // the picture file's full path
    QString RealPath; // where Source leads through its links, as found when placed
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
    TGalleryCell& Cell(int col, int row) { return FCells[Index(col, row)]; }
    int CountPictures() const;

    // Names from the file's full path with its directory tag, or plainly from the lower-cased file name.
    bool PlainNames() const { return FPlainNames; }
    void SetPlainNames(bool value) { FPlainNames = value; }

    // Places the files, in their order, into the empty cells from (col, row) onwards, row by row, each read
    // once (on every core) and kept stretched into the settings' picture box for the run. A file that does
    // not load is passed over with its reason; the files not placed come back in order.
    std::vector<TRefusedFile> PlaceFiles(const QStringList& paths, int col = 0, int row = 0);
    void ClearCell(int col, int row);
    void SwapCells(int col1, int row1, int col2, int row2);
    // The filled cells for the naming rule (FreeCellName).
    TNamedCells NamedCells() const;

private:
    int Index(int col, int row) const;

    int FColumns = 0;
    int FRows = 0;
    bool FPlainNames = false;
    std::vector<TGalleryCell> FCells; // row by row
};
