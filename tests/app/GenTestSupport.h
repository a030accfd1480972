// Helpers of the generation tests: reading back what a run wrote.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The frame header of a JPEG file: its start-of-frame marker (0xC0 baseline, 0xC2 progressive) and size.
// All zero when the bytes hold no readable frame header.
struct TJpegFrame {
    int Marker = 0;
    int Width = 0;
    int Height = 0;
};
TJpegFrame ReadJpegFrame(const QByteArray& bytes);

// The local files a page refers to (src, href and background values), in page order; web addresses left out.
QStringList LocalReferences(const QByteArray& page);

// The cells of the first table of a page, each the text from its <td to the next cell or the table's end.
QStringList TableCells(const QByteArray& page);

// Sorted names of the files in a folder (hidden ones too), the run's record of what it wrote left out.
QStringList FilesIn(const QString& dir);

// Empty when both folders hold the same files with the same bytes; else what differs first.
QString FolderDifference(const QString& a, const QString& b);
