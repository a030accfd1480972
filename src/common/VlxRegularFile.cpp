// Opening an input file without waiting on it, and only when it is a regular file of a sane size.
#include "common/VlxRegularFile.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

TOpenedFile OpenRegularFile(const QString& path, int flags, qint64 maxBytes) {
    TOpenedFile opened;
    const int fd =
        ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        opened.OpenErrno = errno;
        opened.Problem = QString::fromLocal8Bit(std::strerror(errno));
        return opened;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        opened.Problem = S_ISDIR(info.st_mode)
                             ? QStringLiteral("it is a folder")
                             : QStringLiteral("it is a pipe or a device, not a regular file");
    else if (info.st_size > maxBytes)
        opened.Problem =
            QStringLiteral("it is %1 bytes, more than the %2 bytes allowed").arg(info.st_size).arg(maxBytes);
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        opened.Problem = QString::fromLocal8Bit(std::strerror(errno));
    if (opened.Problem.isEmpty())
        opened.Fd = fd;
    else
        ::close(fd);
    return opened;
}

TReadFile ReadRegularFile(const QString& path, qint64 maxBytes) {
    TReadFile read;
    const TOpenedFile opened = OpenRegularFile(path, O_RDONLY, maxBytes);
    read.OpenErrno = opened.OpenErrno;
    read.Problem = opened.Problem;
    if (opened.Fd < 0)
        return read;
    QFile file;
    if (!file.open(opened.Fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.Fd);
        read.Problem = file.errorString();
        return read;
    }
    read.Bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        read.Problem = file.errorString();
    else if (read.Bytes.size() > maxBytes)
        read.Problem = QStringLiteral("it grew past the %1 bytes allowed while it was read").arg(maxBytes);
    if (!read.Problem.isEmpty())
        read.Bytes.clear();
    return read;
}

QString OpenRegularInput(QFile& file, const QString& path) {
    const TOpenedFile opened = OpenRegularFile(path, O_RDONLY, std::numeric_limits<qint64>::max());
    if (opened.Fd < 0)
        return opened.Problem;
    if (!file.open(opened.Fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.Fd);
        return file.errorString();
    }
    return {};
}
