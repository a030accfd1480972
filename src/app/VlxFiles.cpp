// File operations of a generation run: copying a picture once, counting a folder's files.
#include "app/VlxFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/VeltrixU.h"

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

// Filters for the entries a run counts and clears: plain files, hidden and system ones included.
constexpr QDir::Filters kFileFilter = QDir::Files | QDir::Hidden | QDir::System;

} // namespace

void CopyFileOnce(const QString& source, const QString& dest) {
    if (source.isEmpty() || dest.isEmpty())
        return;
    const QFileInfo destInfo(dest);
    if (destInfo.exists() || destInfo.isSymLink() || !QFileInfo(source).isFile())
        return;
    auto fail = [&](const QString& why) {
        throw EVeltrixException("Cannot copy " + source + " to " + dest + ": " + why);
    };
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(in.errorString());
    QSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly))
        fail(out.errorString());
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kCopyChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            fail(in.errorString());
        if (out.write(chunk) != chunk.size())
            fail(out.errorString());
    }
    if (!out.commit())
        fail(out.errorString());
}

QStringList DirectoryFiles(const QString& dir) {
    // An empty path would be the current directory, which a run never means.
    if (dir.isEmpty())
        return {};
    return QDir(dir).entryList(kFileFilter, QDir::Name);
}

int CountFiles(const QString& dir) {
    return static_cast<int>(DirectoryFiles(dir).size());
}
