// File operations of a generation run: copying a picture when needed, counting a folder's files, the private
// working folder and whether a folder takes files.
#include "publish/GalleryFiles.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "gallery/Gallery.h"
#include "common/VlxSaveFile.h"

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

// Filters for the entries a run counts and clears: plain files, hidden and system ones included.
constexpr QDir::Filters kFileFilter = QDir::Files | QDir::Hidden | QDir::System;

// Lets the kernel copy the whole file (no pass through this process, and a shared extent where the file
// system can). False when it did not copy anything, for the plain copy to do it; an error
// after the copy began is raised through fail.
template <typename Fail> bool KernelCopy(QFile& in, QFile& out, const QString& dest, Fail fail) {
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
        fail(WriteErrorText(errno, dest));
    }
}

bool Newer(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Whether dest must be (re)written from source: it is missing, or a regular file other than the source
// whose size differs or that is older than the source. A link is kept (it is the user's, and may be the
// source itself), except in a folder whose links are never followed, where it is replaced.
bool CopyNeeded(const QString& source, const QString& dest, bool evenWhenNewer) {
    struct stat from {};
    if (::stat(QFile::encodeName(source).constData(), &from) != 0 || !S_ISREG(from.st_mode))
        return false;
    const QByteArray destName = QFile::encodeName(dest);
    struct stat to {};
    if (::lstat(destName.constData(), &to) != 0)
        return errno == ENOENT;
    if (S_ISLNK(to.st_mode))
        return !LinksFollowedIn(QFileInfo(dest).absolutePath());
    if (!S_ISREG(to.st_mode) || (to.st_dev == from.st_dev && to.st_ino == from.st_ino))
        return false;
    return evenWhenNewer || to.st_size != from.st_size || Newer(from.st_mtim, to.st_mtim);
}

// mkdir -p, telling why it failed.
QString MakeFolders(const QByteArray& path) {
    struct stat info {};
    if (::stat(path.constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? QString() : QFile::decodeName(path) + " is a file, not a folder";
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0)
        if (QString problem = MakeFolders(path.left(slash)); !problem.isEmpty())
            return problem;
    if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST)
        return QString::fromLocal8Bit(strerror(errno));
    return {};
}

} // namespace

void CopyFileOnce(const QString& source, const QString& dest, bool evenWhenNewer) {
    if (source.isEmpty() || dest.isEmpty() || !CopyNeeded(source, dest, evenWhenNewer))
        return;
    auto fail = [&](const QString& why) {
        throw EGalleryException("Cannot copy " + source + " to " + dest + ": " + why);
    };
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(in.errorString());
    TSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly))
        fail(out.errorString());
    if (!KernelCopy(in, out, dest, fail)) {
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

QString PrivateFolderProblem(const QString& dir) {
    // Opened without following a link, and then asked about what was opened: nothing can be swapped between.
    const int fd = ::open(QFile::encodeName(QDir::cleanPath(dir)).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP || errno == ENOTDIR ? QString("it is a link or not a folder")
                                                  : QString::fromLocal8Bit(strerror(errno));
    struct stat info {};
    const int got = ::fstat(fd, &info);
    ::close(fd);
    if (got != 0)
        return QString::fromLocal8Bit(strerror(errno));
    if (info.st_uid != ::geteuid())
        return QString("it belongs to another user");
    if ((info.st_mode & 0777) != 0700)
        return QString("its mode is %1, not 700").arg(info.st_mode & 0777, 3, 8, QChar('0'));
    return {};
}

QString PrivateWorkDir(const QString& tempDir) {
    const QString base = QDir::cleanPath(tempDir) + "/vlx-" + QString::number(::geteuid());
    const QByteArray usual = QFile::encodeName(base);
    // Made 0700 whatever the process's mask; a folder that was there already is only checked.
    if (::mkdir(usual.constData(), 0700) == 0)
        ::chmod(usual.constData(), 0700);
    if (PrivateFolderProblem(base).isEmpty())
        return base + '/';
    // One made at an earlier start, still private, is taken again rather than a new one made at every start.
    const QString pattern = QFileInfo(base).fileName() + "-??????";
    for (const QString& name :
         QDir(tempDir).entryList({pattern}, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden))
        if (const QString dir = QDir(tempDir).filePath(name); PrivateFolderProblem(dir).isEmpty())
            return QDir::cleanPath(dir) + '/';
    QByteArray fresh = usual + "-XXXXXX";
    if (::mkdtemp(fresh.data()) == nullptr)
        return base + "-XXXXXX/";
    ::chmod(fresh.constData(), 0700);
    return QFile::decodeName(fresh) + '/';
}

QString FolderWriteProblem(const QString& dir) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(QFileInfo(dir).absoluteFilePath()));
    if (QString problem = MakeFolders(path); !problem.isEmpty())
        return problem;
    // A nameless file that is gone when closed: the system's own answer to whether the folder takes files.
    const int fd = ::open(path.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    // File systems without nameless files say whether the folder may be written.
    if ((errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) &&
        ::access(path.constData(), W_OK | X_OK) == 0)
        return {};
    return QString::fromLocal8Bit(strerror(errno));
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
