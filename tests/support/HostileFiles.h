// Files that are not what they seem, for the tests of input and output faults: a disk that is full, pipes
// and devices under plain names, PNG chunks where readers do not look.
#pragma once

#include <QByteArray>
#include <QString>

#include "support/TestSupport.h"

// A folder on a file system of its own of a few KiB (a tmpfs), filled by Fill() so that the next write
// meets a full disk. Mounting needs root (as CI and the sessions run); Mounted() is false elsewhere.
class TTinyDisk {
public:
    TTinyDisk();
    ~TTinyDisk();
    TTinyDisk(const TTinyDisk&) = delete;
    TTinyDisk& operator=(const TTinyDisk&) = delete;

    bool Mounted() const { return FMounted; }
    QString Path() const { return FDir.Path(); }
    QString File(const QString& name) const { return FDir.File(name); }
    // Writes a file of zeros until no byte more fits.
    void Fill();

private:
    TTempDir FDir;
    bool FMounted = false;
};

// Makes path a pipe nobody writes to, or a link to /dev/zero (read as a file, it never ends); fails the test
// when it cannot.
void MakeFifo(const QString& path);
void MakeZeroLink(const QString& path);

// The PNG with a chunk of type and data added, just after its header chunk or just before its end chunk
// (after the image data).
QByteArray PngWithChunk(const QByteArray& png, const QByteArray& type, const QByteArray& data, bool atEnd);
// A zlib stream of bytes, as zTXt and compressed iTXt chunks hold it.
QByteArray ZlibStream(const QByteArray& bytes);
