// File operations of a generation run: copying a picture once, counting a folder's files.
#include "app/VlxFiles.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/VeltrixU.h"
#include "common/VlxSaveFile.h"

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

// Filters for the entries a run counts and clears: plain files, hidden and system ones included.
constexpr QDir::Filters kFileFilter = QDir::Files | QDir::Hidden | QDir::System;

// Lets the kernel copy the whole file (no pass through this process, and a shared extent where the file
// system can). False when it did not copy anything, for the plain copy to do it; an error
// after the copy began is raised through fail.
template <typename Fail> bool KernelCopy(QFile& in, QFile& out, Fail fail) {
    const int from = in.handle();
    const int to = out.handle();
    qint64 copied = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, kCopyChunk * 64, 0);
        if (n > 0) {
            copied += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // Some files (of /proc, say) read as empty to the kernel copy: the plain copy reads them.
        if (n == 0)
            return copied > 0;
        // Not offered by this kernel or between these file systems: the plain copy does it.
        if (copied == 0 &&
            (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EPERM))
            return false;
        fail(QString::fromLocal8Bit(strerror(errno)));
    }
}

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
    TSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly))
        fail(out.errorString());
    if (!KernelCopy(in, out, fail)) {
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(kCopyChunk);
            if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
                fail(in.errorString());
            if (out.write(chunk) != chunk.size())
                fail(out.errorString());
        }
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
