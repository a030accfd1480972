// Files written under a temporary name and renamed over their target, without a sync each.
#include "common/VlxSaveFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QRandomGenerator>

namespace {

constexpr int kNameTries = 100;

QString ErrnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TSaveFile::TSaveFile(const QString& target) : FTarget(target) {
    // A link is written through, as a save to it means its target.
    const QFileInfo info(target);
    if (info.isSymLink())
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
    const QByteArray base = QFile::encodeName(target.absolutePath() + "/." + target.fileName() + ".");
    int fd = -1;
    for (int i = 0; i < kNameTries && fd < 0; ++i) {
        const QByteArray name = base + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // Made with the usual rights of a new file (the process's mask applies), as the target would be.
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            FTemp = QFile::decodeName(name);
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setErrorString(ErrnoText());
        return false;
    }
    struct stat existing {};
    if (::stat(QFile::encodeName(FTarget).constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);
    if (!QFile::open(fd, mode | Truncate, AutoCloseHandle)) {
        ::close(fd);
        Discard();
        return false;
    }
    return true;
}

bool TSaveFile::commit() {
    if (!isOpen() || FTemp.isEmpty())
        return false;
    const bool written = flush() && error() == NoError;
    const QString why = written ? QString() : errorString();
    QFile::close();
    if (!written || error() != NoError) {
        const QString text = why.isEmpty() ? errorString() : why;
        Discard();
        setErrorString(text);
        return false;
    }
    if (std::rename(QFile::encodeName(FTemp).constData(), QFile::encodeName(FTarget).constData()) != 0) {
        const QString text = ErrnoText();
        Discard();
        setErrorString(text);
        return false;
    }
    FTemp.clear();
    return true;
}

void TSaveFile::Discard() {
    if (isOpen())
        QFile::close();
    if (!FTemp.isEmpty())
        ::unlink(QFile::encodeName(FTemp).constData());
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

bool SyncFileSystem(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}
