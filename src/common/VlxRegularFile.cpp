// Opening a settings file without waiting on it, and only when it is a regular file of a sane size.
#include "common/VlxRegularFile.h"

#include <cerrno>
#include <cstring>

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
