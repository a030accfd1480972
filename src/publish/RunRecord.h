// The run's record: a small hidden file in the output folder naming each file the last run wrote there, with
// what it was made from, so that the next run writes only what changed and removes what it no longer writes.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QString>

#include "gallery/KeptStretch.h"

// The record's name in the output folder. Hidden, and never one of the files a run uploads.
inline constexpr char kRunRecordName[] = ".veltrix-run.json";

// What a file is made from, gathered into one key: texts, numbers, bytes and source files (by their stamp).
// Begin each key with the kind of file it is for, so that keys of different kinds never meet.
class TRunInputs {
public:
    explicit TRunInputs(const QString& kind) { Add(kind); }
    TRunInputs& Add(const QString& text);
    TRunInputs& Add(long long number);
    TRunInputs& AddBytes(const QByteArray& bytes);
    // The file's path and stamp: its size, times and identity (a missing file adds its absence).
    TRunInputs& AddFile(const QString& path);
    TRunInputs& AddStamp(const TFileStamp& stamp);
    QByteArray Key() const;

private:
    QCryptographicHash FHash{QCryptographicHash::Sha256};
};

// One run's view of the record: what the last run recorded (read when made) and what this run writes or
// keeps. Used on one thread.
class TRunRecord {
public:
    // Reads dir's record (dir ends in '/'). A record that is missing, damaged, not a regular file, or written
    // by another version of the program reads as empty: everything is written.
    explicit TRunRecord(const QString& dir);

    // True when the last run wrote this file (a plain name in the folder) from the same inputs and the file
    // is still there as it wrote it; it then counts as kept by this run.
    bool UpToDate(const QString& name, const QByteArray& inputs);
    // This run wrote (or copied) the file from these inputs; its size, time and identity are taken now. A
    // file that is not there is not recorded.
    void Wrote(const QString& name, const QByteArray& inputs);

    // Pictures a run read whole (their thumbnails were made from them), by path and stamp: a later run may
    // trust that such a file still reads without decoding it again.
    void PictureRead(const QString& path, const TFileStamp& stamp);
    bool WasPictureRead(const QString& path, const TFileStamp& stamp) const;

    // The gallery this run writes, kept in the record: files another gallery's run wrote are removed only
    // when the user agrees (a new gallery sent into an old one's folder must not delete it unasked).
    void SetGallery(const QString& id) { FGallery = id; }
    // True when the last run wrote another gallery (records without a gallery name belong to any).
    bool ForeignGallery() const { return !FGalleryBefore.isEmpty() && FGalleryBefore != FGallery; }
    // How many files RemoveStale would remove now.
    int StaleCount() const;
    // Removes the files the last run wrote that this one neither wrote nor kept, each only while it is still
    // as written (a file someone changed since is theirs now and is left); returns how many went. Without
    // remove they are left and forgotten. Call at the end of a complete run.
    int RemoveStale(bool remove = true);
    // Writes the record when it changed. After a run that stopped, what the last run wrote and this one
    // did not reach stays recorded. Throws EGalleryException naming the file.
    void Save();

    int Written() const { return FWritten; }
    int Kept() const { return FKept; }
    bool Changed() const { return FWritten > 0 || FRemoved > 0; }

private:
    struct TEntry {
        QByteArray Inputs;
        long long Size = -1;
        long long Modified = 0;
        unsigned long long Inode = 0;
        bool operator==(const TEntry&) const = default;
    };
    static TEntry EntryOf(const QString& path, const QByteArray& inputs);

    QString FDir;
    QString FGallery;
    QString FGalleryBefore;
    QByteArray FReadBytes; // the record as read, so that an unchanged one is not written again
    QHash<QString, TEntry> FBefore;
    QHash<QString, TEntry> FNow;
    QHash<QString, QByteArray> FPicturesBefore; // path -> key of its stamp
    QHash<QString, QByteArray> FPicturesNow;
    int FWritten = 0;
    int FKept = 0;
    int FRemoved = 0;
};
