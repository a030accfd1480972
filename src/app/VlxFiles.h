// File operations of a generation run: copying a picture once, counting a folder's files.
#pragma once

#include <QString>
#include <QStringList>

// Copies source to dest when dest does not exist and source does; otherwise does nothing. A dest that
// exists may be the source itself under another name, so it is never written over. The copy is written under
// another name and renamed when complete, so a failure never leaves a part of the file behind. Raises
// EVeltrixException naming both files on failure.
void CopyFileOnce(const QString& source, const QString& dest);

// The names of the files (hidden ones too, no directories) in dir; none for an empty path.
QStringList DirectoryFiles(const QString& dir);

// The number of files (hidden ones too, no directories) in dir.
int CountFiles(const QString& dir);
