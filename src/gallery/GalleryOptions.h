// The program's own options as one value, read from and written to the options file by one field table.
#pragma once

#include <QString>
#include <QStringList>

#include "upload/FtpSettings.h"
#include "gallery/GallerySettings.h"

struct TOptions {
    struct TCommon {
        bool LoadOnStartup = false;
        bool OverFileConf = true;
        bool ClearTmpDir = true;
        QString Profile = "default"; // empty: not written, the stored name stays
    } Common;
    struct TTableGrid {
        int Width = kGridCellWidthRange.Default;
        int Height = kGridCellHeightRange.Default;
        bool AutoUpdate = true;
    } TableGrid;
    TFtpSettings Ftp;
    // What reading found and mended, for the status bar ("Port "0" is not a port number ...").
    QStringList Notes;
};

// The options file read over current: a key that is missing or not a number leaves the Common and TableGrid
// fields as current holds them; the FTP fields and the profile take their defaults (port 21, passive, only
// changed files, no encryption for a file written before encryption existed). Numbers out of range are
// brought into range here. A missing file reads as all defaults; an unreadable one raises EIniFileException.
TOptions ReadOptions(const QString& fileName, const TOptions& current = {});

// Writes every key in the table's order; the first refused write raises "Unable to write to <file>: ...",
// keys written before it stay written. The password is never among them.
void WriteOptions(const QString& fileName, const TOptions& options);
