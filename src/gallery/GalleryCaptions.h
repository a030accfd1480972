// Captions given in a text file, as the command line takes them: one "name<TAB>caption" per line.
#pragma once

#include <vector>

#include <QString>
#include <QStringList>

class TGallery;

struct TCaptionLine {
    int Line = 0; // counted from 1
    QString Name;
    QString Caption;
};

// The largest captions file read: far more than any gallery's captions.
inline constexpr qint64 kMaxCaptionsFileBytes = 16 << 20;

// The lines of a UTF-8 captions file; blank lines are skipped, LF, CR LF and a lone CR each end a line, and
// an empty caption clears the picture's own. Raises EGalleryException naming the file (and the line) when it
// cannot be read, is no regular file, is too large, is not UTF-8 or has a line without a tab.
std::vector<TCaptionLine> ReadCaptionsFile(const QString& path);

// Gives each line's caption to the gallery's pictures of that name: the picture's file name ("IMG_1.JPG"),
// its path (relative to the working folder or absolute), or its published name. Returns one text per line
// that names no picture, two different pictures, or a picture an earlier line gave its caption, naming the
// file and line; the other lines are applied.
QStringList ApplyCaptions(TGallery& gallery, const std::vector<TCaptionLine>& lines, const QString& fileName);
