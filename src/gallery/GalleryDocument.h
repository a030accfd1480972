// Gallery files: a gallery's table, cells and settings kept as a versioned JSON text file (".veltrix").
//
//   {"format": "veltrix-gallery", "version": 1, "profile": "default",
//    "table": {"columns": 3, "rows": 2},
//    "cells": [{"column": 0, "row": 0, "picture": "photos/beach.jpg", "name": "beach_lpcs.jpg"}],
//    "settings": {"thumbnail": {...}, "picture": {...}, "background": {...}, "page": {...}, "table": {...}}}
//
// A picture below the gallery file's folder is kept relative to it, so a folder moved with its gallery still
// opens; any other picture by its absolute path. Keys a file lacks take the start-up settings, so a setting
// added later leaves older files readable.
#pragma once

#include <vector>

#include <QByteArray>
#include <QString>

#include "gallery/Gallery.h"
#include "gallery/GallerySettings.h"

inline constexpr char kGalleryFileExtension[] = ".veltrix";
inline constexpr char kGalleryMimeType[] = "application/x-veltrix-gallery";
inline constexpr char kGalleryFormat[] = "veltrix-gallery";
// The version this program writes; it reads this one and every earlier one.
inline constexpr int kGalleryFileVersion = 1;
// Far beyond any real gallery (10,000 cells take about 1.5 MB); a larger file is not read.
inline constexpr qint64 kMaxGalleryFileBytes = 64 << 20;

// A gallery file that cannot be read or written; the message names the file and what is wrong.
class EGalleryFileException : public Exception {
public:
    using Exception::Exception;
};

// One filled cell of a gallery file: where it is, and the cell (Source an absolute path; RealPath and Kept
// are not kept in the file).
struct TDocumentCell {
    int Column = 0;
    int Row = 0;
    TGalleryCell Cell;
};

// A gallery as its file holds it.
struct TGalleryDocument {
    TGallerySettings Settings; // ProfileName is the profile the gallery came from
    int Columns = kTableColumnsRange.Default;
    int Rows = kTableRowsRange.Default;
    std::vector<TDocumentCell> Cells; // filled cells, row by row

    // The cells whose picture file is not there (not a file any more); they stay in the gallery but are not
    // published until found.
    std::vector<TDocumentCell> MissingCells() const;
};

// The gallery's filled cells, table size and settings.
TGalleryDocument DocumentOf(const TGallery& gallery);

// The gallery of a document as a run writes it: the cells whose pictures are missing are left empty.
TGallery GalleryOf(const TGalleryDocument& document);

// The file's text for a document saved as fileName (paths below its folder relative to it).
QByteArray GalleryFileBytes(const TGalleryDocument& document, const QString& fileName);

// Reads a gallery file. Raises EGalleryFileException for a file that is missing, not a regular file, too
// large, damaged (not JSON of this layout, a cell outside the table, two pictures under one name) or written
// by a newer version; the file itself is never touched.
TGalleryDocument ReadGalleryFile(const QString& fileName);

// Writes the file whole under a temporary name and renames it over fileName; raises EGalleryFileException.
void WriteGalleryFile(const QString& fileName, const TGalleryDocument& document);

// Where a missing picture may be now that the user points to folder as the place of the first missing
// picture's folder: the picture's path relative to that folder's old place, taken from the new one; else the
// file of its name in folder. Empty when neither is a file.
QString FoundPicture(const QString& missing, const QString& firstMissing, const QString& folder);
