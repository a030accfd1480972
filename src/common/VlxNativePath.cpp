// Paths given by their bytes: stand-in links, made once per file in a private folder of this process.
#include "common/VlxNativePath.h"

#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace {

// The length of the UTF-8 sequence at p (of left bytes), or 0 where p holds a stray byte: a lone
// continuation byte, a cut sequence, an overlong form, a surrogate or a code above U+10FFFF.
int SequenceLength(const unsigned char* p, qsizetype left) {
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    else
        return 0;
    // The smallest code each length may carry: a smaller one is an overlong form.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t code = lead & (0x7F >> length);
    if (left < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (p[k] & 0x3F);
    }
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// UTF-8 where the bytes are, each stray byte as its Latin-1 character: names that differ in stray bytes stay
// apart, and a name written in Latin-1 reads as meant.
QString DecodeLeniently(const QByteArray& bytes) {
    QString text;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = SequenceLength(p + i, bytes.size() - i);
        if (length == 0) {
            text += QChar(p[i]);
            ++i;
        } else {
            text += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return text;
}

// The path made absolute (from the working folder) and cleaned of empty, "." and ".." parts, as bytes.
QByteArray CleanAbsolute(const QByteArray& path) {
    QByteArray absolute = path;
    if (!path.startsWith('/')) {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) == nullptr)
            return {};
        absolute = QByteArray(cwd) + '/' + path;
    }
    QList<QByteArray> parts;
    for (const QByteArray& part : absolute.split('/')) {
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (!part.isEmpty() && part != ".") {
            parts << part;
        }
    }
    return '/' + parts.join('/');
}

struct TLink {
    QString Shown;
    QString Canonical;
};

// The private folder of the links; what it made is removed when the program ends.
class TLinkFolder {
public:
    ~TLinkFolder() {
        for (const QByteArray& link : FLinks)
            ::unlink(link.constData());
        for (auto dir = FDirs.rbegin(); dir != FDirs.rend(); ++dir)
            ::rmdir(dir->constData());
    }

    // The link to the file at target (clean, absolute), made on first use; empty when it cannot be made.
    QString LinkTo(const QByteArray& target) {
        const std::lock_guard lock(FMutex);
        if (const auto known = FByTarget.constFind(target); known != FByTarget.cend())
            return *known;
        if (FRoot.isEmpty()) {
            // mkdtemp: a new folder of mode 0700, so that no other account can put or change a link in it.
            QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/vlx-names-XXXXXX";
            if (::mkdtemp(pattern.data()) == nullptr)
                return {};
            FRoot = pattern;
            FDirs.push_back(FRoot);
        }
        // A folder per link, so that files of the same name from different folders keep their names.
        const QByteArray dir = FRoot + '/' + QByteArray::number(FByTarget.size() + 1);
        if (::mkdir(dir.constData(), 0700) != 0)
            return {};
        FDirs.push_back(dir);
        const QString shown = DecodeLeniently(target);
        const QString link = QFile::decodeName(dir) + '/' + shown.mid(shown.lastIndexOf('/') + 1);
        const QByteArray linkBytes = QFile::encodeName(link);
        if (::symlink(target.constData(), linkBytes.constData()) != 0)
            return {};
        FLinks.push_back(linkBytes);
        char real[PATH_MAX];
        const QByteArray canonical = ::realpath(target.constData(), real) ? QByteArray(real) : target;
        // Not a path: it never equals one that Qt gives.
        FLinkInfo.insert(link, {shown, "bytes:" + QString::fromLatin1(canonical.toPercentEncoding("/"))});
        FByTarget.insert(target, link);
        return link;
    }

    bool Find(const QString& link, TLink& info) {
        const std::lock_guard lock(FMutex);
        const auto found = FLinkInfo.constFind(link);
        if (found == FLinkInfo.cend())
            return false;
        info = *found;
        return true;
    }

private:
    std::mutex FMutex;
    QByteArray FRoot;
    std::vector<QByteArray> FDirs;
    std::vector<QByteArray> FLinks;
    QHash<QByteArray, QString> FByTarget;
    QHash<QString, TLink> FLinkInfo;
};

TLinkFolder& Links() {
    static TLinkFolder folder;
    return folder;
}

} // namespace

QString PathFromNative(const QByteArray& path) {
    const QString decoded = QFile::decodeName(path);
    if (QFile::encodeName(decoded) == path)
        return decoded;
    // Only for a file that is there: a link to nothing would only hide the path in the message about it.
    const QByteArray target = CleanAbsolute(path);
    struct stat info {};
    if (target.isEmpty() || ::lstat(target.constData(), &info) != 0)
        return decoded;
    const QString link = Links().LinkTo(target);
    return link.isEmpty() ? decoded : link;
}

QString PathFromLocalUrl(const QUrl& url) {
    const QString decoded = url.toLocalFile();
    if (!url.isLocalFile() || !url.host().isEmpty())
        return decoded;
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return QFile::encodeName(decoded) == bytes ? decoded : PathFromNative(bytes);
}

QStringList ArgumentsFromNative(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        arguments << (argument.startsWith('-') ? QFile::decodeName(argument) : PathFromNative(argument));
    }
    return arguments;
}

QString ShownPath(const QString& path) {
    TLink info;
    return Links().Find(path, info) ? info.Shown : path;
}

QString CanonicalPath(const QString& path) {
    TLink info;
    return Links().Find(path, info) ? info.Canonical : QFileInfo(path).canonicalFilePath();
}
