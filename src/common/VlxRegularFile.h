// Opening a settings file that may be anything: a pipe, a device, a link to one, or far too large.
#pragma once

#include <QByteArray>
#include <QString>

struct TOpenedFile {
    int Fd = -1;       // the open descriptor (the caller closes it); -1 when refused or not opened
    int OpenErrno = 0; // why open() failed (Problem then holds its text); 0 when it was refused after
    QString
        Problem; // why there is no descriptor, as a clause: "it is a pipe or a device, not a regular file"
};

// Opens path with flags (O_NONBLOCK, O_NOCTTY and O_CLOEXEC are added) without ever waiting on it: what is
// not a regular file, or is above maxBytes, is refused before anything is read. The descriptor given blocks
// again.
TOpenedFile OpenRegularFile(const QString& path, int flags, qint64 maxBytes);

struct TReadFile {
    QByteArray Bytes;
    int OpenErrno = 0; // as in TOpenedFile: ENOENT tells a missing file from a refused one
    QString Problem;   // empty when Bytes is the whole file
};

// The whole of a regular file of at most maxBytes, opened as above; one that grows past maxBytes while it is
// read is refused too.
TReadFile ReadRegularFile(const QString& path, qint64 maxBytes);

class QFile;

// Opens file read only on path when it is a regular file, as OpenRegularFile does (no size bound): empty when
// opened, else why not, as a clause.
QString OpenRegularInput(QFile& file, const QString& path);
