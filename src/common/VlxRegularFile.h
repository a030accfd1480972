// Opening a settings file that may be anything: a pipe, a device, a link to one, or far too large.
#pragma once

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
