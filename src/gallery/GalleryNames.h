// Published names of grid pictures: the lower-cased path with a short tag made from its directory.
#pragma once

#include <functional>

#include <QString>

// The tag ("_" and up to four letters) made from the directory part of a lower-cased path.
QString DirectoryTag(const QString& path);

// The path lower-cased, with the directory tag inserted before its first '.' (or appended without one).
QString TaggedName(const QString& path);

// The part after the last '/' or '\' (both separate folders in the names the grid publishes).
QString FilePart(const QString& path);

// The first of name, then name with a counter before its extension (the part from its last '.'), that is
// not taken: "img.jpg", "img-2.jpg", "img-3.jpg", ...; a name without '.' takes the counter at its end.
// taken must hold for finitely many names.
QString DistinctName(const QString& name, const std::function<bool(const QString&)>& taken);

// A filled cell as the naming rule sees it.
struct TNamedCell {
    int Col;
    int Row;
    const QString& Name;     // its published name
    const QString& FileName; // its picture's path
    const QString& RealPath; // where that path leads through its links; empty when unknown
};
// Calls visit for every filled cell until visit returns false.
using TNamedCells = std::function<void(const std::function<bool(const TNamedCell&)>& visit)>;

// The published name of a picture file: its tagged name (TaggedName), or with plainNames its lower-cased
// file name. A stand-in link for a name that is not UTF-8 is named after the file it stands for.
QString CellText(const QString& path, bool plainNames);

// The name a path gets in cell (col, row): the name of a cell that holds the same file (by its path, or by
// where its links lead), else CellText made distinct (DistinctName) when one of its published files would be
// named as one of another cell's, letter case ignored, or as the table page. The cell itself does not count,
// as its picture is being replaced.
QString FreeCellName(int col, int row, const QString& path, bool plainNames, const TNamedCells& cells);
