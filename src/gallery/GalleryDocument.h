// Gallery files: a gallery's table, cells and settings kept as a versioned JSON text file (".veltrix").
//
//   {"format": "veltrix-gallery", "version": 1, "profile": "default",
//    "table": {"columns": 3, "rows": 2},
//    "cells": [{"column": 0, "row": 0, "picture": "photos/beach.jpg", "name": "beach_lpcs.jpg"}],
//    "settings": {"thumbnail": {...}, "picture": {...}, "background": {...}, "page": {...}, "table": {...}}}
//
// The output folder (key "outputFolder") and the gallery's "id" are kept too. A picture or output folder
// below the gallery file's folder is kept relative to it, so a folder moved with its gallery still opens; any
// other picture by its absolute path. Keys a file lacks take the start-up settings, so a setting added later
// leaves older files readable.
#pragma once

#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    int Columns = SettingRange(TSetting::Columns).Default;
    int Rows = SettingRange(TSetting::Rows).Default;
    std::vector<TDocumentCell> Cells; // filled cells, row by row
    // Which gallery this is, kept by every save (the output folder's record tells galleries apart by it);
    // empty for a file written before it was kept (GalleryIdOf).
    QString Id;
    // Where the gallery is written (absolute, ending in '/'); empty when none was chosen.
    QString OutputDir;

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

// The labels of the page texts that hold what can run script in a visitor's browser (a script, frame, form
// or style element, an event attribute, a "javascript:" address). Pages write the typed texts as HTML, so a
// gallery file from elsewhere can bring script into a site this way; the user is told before publishing.
QStringList ScriptTexts(const TGallerySettings& settings);
// What to tell when a gallery file's page texts hold script (ScriptTexts): which texts, and that the pages
// write them as they stand.
QString ScriptTextsWarning(const QString& fileName, const QStringList& texts);

// A fresh gallery's id.
QString NewGalleryId();
// The document's id; for a file without one, one made from the file's path.
QString GalleryIdOf(const TGalleryDocument& document, const QString& fileName);
// Where a gallery file is written when it names no output folder: a folder named after the file, beside it
// ("trip.veltrix" writes "trip/"), ending in '/'.
QString DefaultOutputDir(const QString& fileName);

// Writes the file whole under a temporary name and renames it over fileName; raises EGalleryFileException.
void WriteGalleryFile(const QString& fileName, const TGalleryDocument& document);

// Where a missing picture may be now that the user points to folder as the place of the first missing
// picture's folder: the picture's path relative to that folder's old place, taken from the new one; else the
// file of its name in folder. Empty when neither is a file.
QString FoundPicture(const QString& missing, const QString& firstMissing, const QString& folder);
