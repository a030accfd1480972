// The run's record in the output folder:
// {"format": 1, "version": "v1.16", "files": {"<name>": "<inputs> <size> <mtime ns> <inode>"},
//  "pictures": {"<path>": "<stamp key>"}, "gallery": "<id>"}. Numbers are kept as text: times in nanoseconds
// exceed a double.
#include "publish/RunRecord.h"

#include <sys/stat.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "common/VlxSaveFile.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryNames.h"
#include "gallery/Version.h"
#include "settings/VlxJsonFile.h"

namespace {

constexpr int kFormat = 1;

// Only a plain name in the folder is ever recorded or removed: a record edited to name "../x" or the record
// itself names nothing.
bool PlainName(const QString& name) {
    return PlainFileName(name) && name != kRunRecordName;
}

QByteArray ReadRecordBytes(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > kMaxJsonFileBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

TRunInputs& TRunInputs::Add(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    Add(static_cast<long long>(bytes.size())); // "ab" + "c" is not "a" + "bc"
    FHash.addData(bytes);
    return *this;
}

TRunInputs& TRunInputs::Add(long long number) {
    FHash.addData(QByteArray::number(number) + ';');
    return *this;
}

TRunInputs& TRunInputs::AddBytes(const QByteArray& bytes) {
    Add(static_cast<long long>(bytes.size()));
    FHash.addData(bytes);
    return *this;
}

TRunInputs& TRunInputs::AddFile(const QString& path) {
    Add(path);
    return AddStamp(TFileStamp::Of(path));
}

TRunInputs& TRunInputs::AddStamp(const TFileStamp& stamp) {
    Add(stamp.Size).Add(stamp.Modified).Add(stamp.Changed);
    Add(static_cast<long long>(stamp.Inode)).Add(static_cast<long long>(stamp.Device));
    return *this;
}

QByteArray TRunInputs::Key() const {
    // Half the hash is plenty to tell inputs apart, and keeps the record of a large gallery small.
    return FHash.result().left(16).toHex();
}

TRunRecord::TRunRecord(const QString& dir) : FDir(dir) {
    FReadBytes = ReadRecordBytes(dir + kRunRecordName);
    const QJsonObject root = QJsonDocument::fromJson(FReadBytes).object();
    if (root.value("format").toInt() != kFormat || root.value("version").toString() != kVeltrixVersion)
        return; // thumbnails of another version may differ: everything is written again
    FGalleryBefore = root.value("gallery").toString();
    const QJsonObject files = root.value("files").toObject();
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QStringList parts = it.value().toString().split(' ');
        if (!PlainName(it.key()) || parts.size() != 4)
            continue;
        TEntry entry{parts[0].toLatin1(), parts[1].toLongLong(), parts[2].toLongLong(),
                     parts[3].toULongLong()};
        FBefore.insert(it.key(), entry);
    }
    const QJsonObject pictures = root.value("pictures").toObject();
    for (auto it = pictures.begin(); it != pictures.end(); ++it)
        FPicturesBefore.insert(it.key(), it.value().toString().toLatin1());
}

TRunRecord::TEntry TRunRecord::EntryOf(const QString& path, const QByteArray& inputs) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return {inputs, static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
            static_cast<unsigned long long>(info.st_ino)};
}

bool TRunRecord::UpToDate(const QString& name, const QByteArray& inputs) {
    // A file two cells publish is decided once.
    if (const auto now = FNow.constFind(name); now != FNow.constEnd())
        return now->Inputs == inputs;
    const auto it = FBefore.constFind(name);
    if (it == FBefore.constEnd() || it->Inputs != inputs || !PlainName(name))
        return false;
    if (EntryOf(FDir + name, inputs) != *it)
        return false;
    ++FKept;
    FNow.insert(name, *it);
    return true;
}

void TRunRecord::Wrote(const QString& name, const QByteArray& inputs) {
    ++FWritten;
    const TEntry entry = EntryOf(FDir + name, inputs);
    if (PlainName(name) && entry.Size >= 0)
        FNow.insert(name, entry);
}

void TRunRecord::PictureRead(const QString& path, const TFileStamp& stamp) {
    FPicturesNow.insert(path, TRunInputs("picture").AddStamp(stamp).Key());
}

bool TRunRecord::WasPictureRead(const QString& path, const TFileStamp& stamp) const {
    const auto it = FPicturesBefore.constFind(path);
    return stamp.Size >= 0 && it != FPicturesBefore.constEnd() &&
           *it == TRunInputs("picture").AddStamp(stamp).Key();
}

int TRunRecord::StaleCount() const {
    int count = 0;
    for (auto it = FBefore.constBegin(); it != FBefore.constEnd(); ++it)
        if (!FNow.contains(it.key()) && EntryOf(FDir + it.key(), it->Inputs) == *it)
            ++count;
    return count;
}

int TRunRecord::RemoveStale(bool remove) {
    for (auto it = FBefore.constBegin(); it != FBefore.constEnd() && remove; ++it) {
        if (FNow.contains(it.key()))
            continue;
        const QString path = FDir + it.key();
        if (EntryOf(path, it->Inputs) == *it && QFile::remove(path))
            ++FRemoved;
    }
    FBefore.clear();
    FPicturesBefore.clear();
    return FRemoved;
}

void TRunRecord::Save() {
    QJsonObject files;
    const auto addFiles = [&files](const QHash<QString, TEntry>& entries) {
        for (auto it = entries.constBegin(); it != entries.constEnd(); ++it)
            if (!files.contains(it.key()))
                files.insert(it.key(), QString::fromLatin1(it->Inputs) + ' ' + QString::number(it->Size) +
                                           ' ' + QString::number(it->Modified) + ' ' +
                                           QString::number(it->Inode));
    };
    addFiles(FNow);
    // What a stopped run did not reach, unless another gallery wrote it: this one never removes it unasked.
    if (!ForeignGallery())
        addFiles(FBefore);
    QJsonObject pictures;
    for (const auto* map : {&FPicturesNow, &FPicturesBefore})
        for (auto it = map->constBegin(); it != map->constEnd(); ++it)
            if (!pictures.contains(it.key()))
                pictures.insert(it.key(), QString::fromLatin1(it.value()));
    // A run that wrote nothing into a folder without a record leaves none.
    if (files.isEmpty() && pictures.isEmpty() && FReadBytes.isEmpty())
        return;
    QJsonObject root{
        {"format", kFormat}, {"version", kVeltrixVersion}, {"files", files}, {"pictures", pictures}};
    if (!FGallery.isEmpty())
        root.insert("gallery", FGallery);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    if (bytes == FReadBytes)
        return;
    QString error;
    if (!WriteFileAtomically(FDir + kRunRecordName, bytes, error))
        throw EGalleryException("Cannot write the run's record " + FDir + kRunRecordName + ": " + error);
    FReadBytes = bytes;
}
