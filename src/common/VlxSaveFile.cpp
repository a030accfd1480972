// Files written under a temporary name and renamed over their target, without a sync each.
#include "common/VlxSaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

namespace {

constexpr int kNameTries = 100;
// "." before the name, "." and up to 7 base-36 digits of a 32-bit number after it.
constexpr int kTempNameExtra = 9;

std::mutex NoFollowLock;
QSet<QString>& NoFollowFolders() {
    static QSet<QString> folders;
    return folders;
}

// The longest name the folder's file system takes (255 bytes on every usual one).
long NameMax(const QByteArray& folder) {
    const long max = ::pathconf(folder.constData(), _PC_NAME_MAX);
    return max > 0 ? max : 255;
}

// The start of a UTF-8 name that fits maxBytes, cut between characters.
QByteArray CutName(const QByteArray& name, qsizetype maxBytes) {
    if (name.size() <= maxBytes)
        return name;
    qsizetype end = std::max<qsizetype>(maxBytes, 0);
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.left(end);
}

} // namespace

QString WriteErrorText(int error, const QString& path) {
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    if (error == ENOSPC)
        return "no space left on the device of the folder " + folder;
    if (error == EDQUOT)
        return "the disk quota is used up on the folder " + folder;
    return QString::fromLocal8Bit(std::strerror(error));
}

TSaveFile::TSaveFile(const QString& target) : FTarget(target) {
    // A link is written through, as a save to it means its target, except where links are never followed.
    const QFileInfo info(target);
    if (info.isSymLink() && LinksFollowedIn(info.absolutePath()))
        FTarget = info.symLinkTarget();
}

TSaveFile::~TSaveFile() {
    Discard();
}

bool TSaveFile::open(OpenMode mode) {
    if (isOpen() || !(mode & WriteOnly) || (mode & ReadOnly) || (mode & Append)) {
        setErrorString("Unsupported open mode");
        return false;
    }
    const QFileInfo target(FTarget);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    // A long name is shortened in the temporary name only: the final name is the target's.
    const QByteArray name = CutName(QFile::encodeName(target.fileName()), NameMax(folder) - kTempNameExtra);
    const QByteArray base = folder + "/." + name + ".";
    int fd = -1;
    for (int i = 0; i < kNameTries && fd < 0; ++i) {
        const QByteArray temp = base + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // Made with the usual rights of a new file (the process's mask applies), as the target would be.
        // O_EXCL never opens a link, so a link planted at the temporary name is refused too.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            FTemp = temp;
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setErrorString(WriteErrorText(errno, FTarget));
        return false;
    }
    // A link about to be replaced lends no rights: lstat, not stat.
    struct stat existing {};
    if (::lstat(QFile::encodeName(FTarget).constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);
    FWriteErrno = 0;
    if (!QFile::open(fd, mode | Truncate | Unbuffered, AutoCloseHandle)) {
        ::close(fd);
        Discard();
        return false;
    }
    return true;
}

bool TSaveFile::commit() {
    if (!isOpen() || FTemp.isEmpty())
        return false;
    const bool written = FWriteErrno == 0 && flush() && error() == NoError;
    const QString why = written ? QString() : errorString();
    // The disk starts on it now, while the run goes on: the one sync at the end of a run then waits for
    // little. Only a start: a failure here is no failure of the file.
    if (written)
        ::sync_file_range(handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
    QFile::close();
    if (!written || error() != NoError) {
        const QString text = why.isEmpty() ? errorString() : why;
        Discard();
        setErrorString(text);
        return false;
    }
    // A link at the target's name (where links are not followed) is replaced, never written through.
    if (std::rename(FTemp.constData(), QFile::encodeName(FTarget).constData()) != 0) {
        const QString text = WriteErrorText(errno, FTarget);
        Discard();
        setErrorString(text);
        return false;
    }
    FTemp.clear();
    return true;
}

qint64 TSaveFile::writeData(const char* data, qint64 length) {
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::write(handle(), data + done, size_t(length - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write of nothing is a full disk too: the file system took no byte more.
            FWriteErrno = n < 0 ? errno : ENOSPC;
            setErrorString(WriteErrorText(FWriteErrno, FTarget));
            return -1;
        }
        done += n;
    }
    return done;
}

void TSaveFile::Discard() {
    if (isOpen())
        QFile::close();
    if (!FTemp.isEmpty())
        ::unlink(FTemp.constData());
    FTemp.clear();
}

bool WriteFileAtomically(const QString& target, const QByteArray& bytes, QString& error) {
    TSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void NeverFollowLinksIn(const QString& folder) {
    const std::lock_guard<std::mutex> lock(NoFollowLock);
    NoFollowFolders().insert(QDir::cleanPath(folder));
}

bool LinksFollowedIn(const QString& folder) {
    const std::lock_guard<std::mutex> lock(NoFollowLock);
    return !NoFollowFolders().contains(QDir::cleanPath(folder));
}

bool SyncFileSystem(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}
