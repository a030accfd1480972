// A file written under a temporary name beside its target and renamed over it when complete: a failure never
// leaves a part of the file under the target's name. Unlike QSaveFile it does not wait for the disk on each
// file (a gallery is hundreds of small files, and one sync each made the run wait on the disk); a run that
// needs its files on the disk syncs them once at its end (SyncFileSystem).
#pragma once

#include <QFile>

class TSaveFile : public QFile {
public:
    explicit TSaveFile(const QString& target);
    // An uncommitted temporary file is removed.
    ~TSaveFile() override;
    TSaveFile(const TSaveFile&) = delete;
    TSaveFile& operator=(const TSaveFile&) = delete;

    // Creates the temporary file (write only); an existing target's permissions are kept. Its name is the
    // target's, hidden and with a random tail, shortened where needed so that it fits wherever the target
    // fits.
    bool open(OpenMode mode) override;
    // Closes the temporary file and renames it over the target; false (with errorString) when a write or the
    // rename failed, and the temporary file is gone.
    bool commit();
    // True once a write failed (errorString then says why, a full disk naming the folder).
    bool WriteFailed() const { return FWriteErrno != 0; }

protected:
    // Straight to the file: Qt's buffered writes lose errno, and a full disk would read "Unknown error".
    qint64 writeData(const char* data, qint64 length) override;

private:
    void Discard();

    QString FTarget;
    QByteArray FTemp; // the temporary file's name as the file system has it
    int FWriteErrno = 0;
};

// Why a write to path failed, from the errno it left: a full disk or quota says so and names path's folder,
// anything else is the system's text.
QString WriteErrorText(int error, const QString& path);

// Targets directly in folder never write through a link at their name: the link itself is replaced. For the
// program's private working folder, where nothing but the program's own files belongs. Elsewhere a link is
// written through, as a save to it means its target.
void NeverFollowLinksIn(const QString& folder);
// False for a folder given to NeverFollowLinksIn.
bool LinksFollowedIn(const QString& folder);

// Writes bytes to the target through a TSaveFile; false with the reason in error on failure.
bool WriteFileAtomically(const QString& target, const QByteArray& bytes, QString& error);

// Waits until everything written to the file system holding path is on the disk; false when it cannot.
bool SyncFileSystem(const QString& path);
