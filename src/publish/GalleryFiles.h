// File operations of a generation run: copying a picture when needed, counting a folder's files, the private
// working folder and whether a folder takes files.
#pragma once

#include <QString>
#include <QStringList>

// Copies source to dest when the source exists and dest does not, or when dest is another file than the
// source whose size differs or whose modification time is older than the source's (the picture changed since
// it was copied); otherwise does nothing. A dest that is the source itself under another name, or a link, is
// never written over (in a folder that never follows links a link is replaced). The copy is written under
// another name and renamed when complete, so a failure never leaves a part of the file behind. Raises
// EVeltrixException naming both files on failure. With evenWhenNewer, a dest of the same size that is not
// older is copied over too (the run's record knows the source changed since it was copied).
void CopyFileOnce(const QString& source, const QString& dest, bool evenWhenNewer = false);

// The names of the files (hidden ones too, no directories) in dir; none for an empty path.
QStringList DirectoryFiles(const QString& dir);

// The number of files (hidden ones too, no directories) in dir.
int CountFiles(const QString& dir);

// The program's working folder under tempDir, private to the user: tempDir + "vlx-<uid>" when that is a
// folder of the user's own with mode 0700 (made so when missing), else a fresh private folder
// "vlx-<uid>-XXXXXX" (one made at an earlier start when there is one of the user's own, private still). Every
// temporary folder is shared by all accounts, so one that another user made, a link, or one others may write
// into is never used. Ends in '/'. When not even a fresh folder can be made, the name of the one that was
// tried, so that the first write into it names the problem.
QString PrivateWorkDir(const QString& tempDir);

// Why dir is not a private folder of the user's (a link, not a folder, another owner, open to others);
// empty when it is one.
QString PrivateFolderProblem(const QString& dir);

// Makes dir with its missing parents. Why dir cannot take the run's files (it is a file, it cannot be made,
// the system refuses to write into it), in the system's words; empty when it can.
QString FolderWriteProblem(const QString& dir);
