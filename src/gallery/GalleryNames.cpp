// Published names of grid pictures: the lower-cased path with a short tag made from its directory.
#include "gallery/GalleryNames.h"

#include <algorithm>

#include <QByteArray>
#include <QFileInfo>
#include <QSet>

#include "common/VlxNativePath.h"
#include "gfx/GfxKind.h"
#include "html/WebFiles.h"

namespace {

// The longest file name the usual file systems (and web servers' disks) take, in bytes.
constexpr qsizetype kMaxFileNameBytes = 255;

bool IsSeparator(QChar c) {
    return c == '/' || c == '\\';
}

// The directory part without ':', '/' and '\', as the UTF-8 bytes of this platform's code page:
// "c:\photos\beach.jpg" gives "cphotos".
QByteArray DirectoryBytes(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1]))
        --end;
    QByteArray bytes = path.left(end).toUtf8();
    bytes.removeIf([](char c) { return c == ':' || c == '/' || c == '\\'; });
    return bytes;
}

// One letter per piece: "a" for an empty piece, the character itself for a piece of one ASCII byte, and
// for a longer piece a letter from the sum of its bytes as unsigned, so that "a".."y" result. A single
// byte of a longer character is no character of its own, so it is summed as well.
QString PieceLetter(const QByteArray& piece) {
    if (piece.isEmpty())
        return QStringLiteral("a");
    if (piece.size() == 1 && static_cast<unsigned char>(piece[0]) < 0x80)
        return QString(QLatin1Char(piece[0]));
    unsigned sum = 0;
    for (unsigned char byte : piece)
        sum += byte;
    return QString(QChar(97 + sum % 25));
}

} // namespace

QString DirectoryTag(const QString& path) {
    const QByteArray dir = DirectoryBytes(path);
    if (dir.size() < 4)
        return "_" + QString::fromUtf8(dir);
    // Four slices of n bytes from 0, n, 2n and 3n; the fourth is empty when the length divides by 3, and
    // bytes after 4n take no part.
    const qsizetype n = dir.size() / 3;
    QString tag = QStringLiteral("_");
    for (qsizetype i = 0; i < 4; ++i)
        tag += PieceLetter(dir.mid(std::min(i * n, dir.size()), n));
    return tag;
}

QString TaggedName(const QString& path) {
    QString name = path.toLower();
    const QString tag = DirectoryTag(name);
    const qsizetype dot = name.indexOf('.');
    if (dot < 0)
        return name + tag;
    return name.insert(dot, tag);
}

QString FilePart(const QString& path) {
    qsizetype start = path.size();
    while (start > 0 && !IsSeparator(path[start - 1]))
        --start;
    return path.mid(start);
}

QString DistinctName(const QString& name, const std::function<bool(const QString&)>& taken) {
    if (!taken(name))
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    for (int counter = 2;; ++counter) {
        const QString candidate = stem + '-' + QString::number(counter) + extension;
        if (!taken(candidate))
            return candidate;
    }
}

QString CellText(const QString& path, bool plainNames) {
    const QString shown = ShownPath(path);
    return FilePart(plainNames ? shown.toLower() : TaggedName(shown));
}

void TNameIndex::Step(QHash<QString, int>& counts, const QString& key, int step) {
    int& count = counts[key];
    count += step;
    if (count <= 0)
        counts.remove(key);
}

void TNameIndex::Step(QHash<QString, TNamed>& names, const QString& key, const QString& name, int step) {
    if (key.isEmpty())
        return;
    TNamed& named = names[key];
    named.Name = name;
    named.Cells += step;
    if (named.Cells <= 0)
        names.remove(key);
}

void TNameIndex::Count(const QString& name, const QString& source, const QString& realPath, int step) {
    if (name.isEmpty())
        return;
    for (const QString& file : PublishedNames(name))
        Step(FFiles, file.toCaseFolded(), step);
    Step(FBySource, source, name, step);
    Step(FByRealPath, realPath, name, step);
}

QString TNameIndex::NameOfFile(const QString& path, const QString& realPath) const {
    if (const auto found = FBySource.constFind(path); found != FBySource.cend())
        return found->Name;
    if (const auto found = FByRealPath.constFind(realPath);
        !realPath.isEmpty() && found != FByRealPath.cend())
        return found->Name;
    return {};
}

QString PublishedNameProblem(const QString& name, const QString& source) {
    // Not PlainFileName: a picture's own name may hold CR or LF, which its pages encode.
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\\') ||
        name.contains(QChar(0)))
        return QStringLiteral("is not a file name");
    if (name.startsWith('.'))
        return QStringLiteral("is a hidden file's name");
    for (const QString& file : PublishedNames(name)) {
        if (file.toUtf8().size() > kMaxFileNameBytes)
            return QStringLiteral("is too long: %1 would be over %2 bytes").arg(file).arg(kMaxFileNameBytes);
        if (file.compare(kIndexPage, Qt::CaseInsensitive) == 0)
            return QStringLiteral("would be published as the table page");
    }
    const QString kind = PictureKindOfExtension(QFileInfo(source).suffix());
    const QString nameExtension = QFileInfo(name).suffix();
    if (kind.isEmpty() || PictureKindOfExtension(nameExtension) != kind)
        return QStringLiteral("is not a name of the picture's kind (%1)")
            .arg(kind.isEmpty() ? QStringLiteral("it is no picture file") : "." + kind);
    return {};
}
