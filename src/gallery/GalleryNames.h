// Published names of grid pictures: the lower-cased path with a short tag made from its directory.
#pragma once

#include <functional>

#include <QHash>
#include <QString>

#include "common/VlxPlainName.h"

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

// The published name of a picture file: its tagged name (TaggedName), or with plainNames its lower-cased
// file name. A stand-in link for a name that is not UTF-8 is named after the file it stands for.
QString CellText(const QString& path, bool plainNames);

// Why name cannot be the published name of the picture file source; empty when it can. It must be a plain,
// visible file name in the gallery's folder, each file published from it must fit a file name (255 bytes),
// none may be the table page, and its extension must be of the picture's own kind: a gallery file from
// elsewhere can never publish a picture as "x.html", "shell.php" or ".htaccess".
QString PublishedNameProblem(const QString& name, const QString& source);

// What the filled cells of a gallery publish, kept as cells come and go: the files their names publish
// (letter case ignored), and the name each picture file is published under, by its path and by where its
// links lead. Counts, as several cells may hold one file.
class TNameIndex {
public:
    // step +1: a cell with this name, picture and real path came; -1: it went.
    void Count(const QString& name, const QString& source, const QString& realPath, int step);
    // The name a cell holding the same file has; empty when none does.
    QString NameOfFile(const QString& path, const QString& realPath) const;
    // True when a filled cell publishes a file of this name, letter case ignored.
    bool Publishes(const QString& file) const { return FFiles.contains(file.toCaseFolded()); }

private:
    struct TNamed {
        QString Name;
        int Cells = 0;
    };
    static void Step(QHash<QString, int>& counts, const QString& key, int step);
    static void Step(QHash<QString, TNamed>& names, const QString& key, const QString& name, int step);

    QHash<QString, int> FFiles;
    QHash<QString, TNamed> FBySource;
    QHash<QString, TNamed> FByRealPath;
};
