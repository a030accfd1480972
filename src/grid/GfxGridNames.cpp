// Published names of grid pictures: the lower-cased path with a short tag made from its directory.
#include "grid/GfxGridNames.h"

#include <algorithm>

#include <QList>

namespace {

bool IsSeparator(QChar c) {
    return c == '/' || c == '\\';
}

// The directory part without ':', '/' and '\': "c:\photos\beach.jpg" gives "cphotos".
QList<char32_t> DirectoryLetters(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1]))
        --end;
    QList<char32_t> letters;
    for (char32_t c : path.left(end).toUcs4()) {
        if (c != ':' && c != '/' && c != '\\')
            letters.append(c);
    }
    return letters;
}

// One letter per piece: "a" for an empty piece, the character itself for a piece of one, and for a
// longer piece a letter from the sum of its bytes (UTF-8, as unsigned bytes), so that "a".."y" result.
QString PieceLetter(const QList<char32_t>& piece) {
    if (piece.isEmpty())
        return QStringLiteral("a");
    const QString text = QString::fromUcs4(piece.constData(), piece.size());
    if (piece.size() == 1)
        return text;
    unsigned sum = 0;
    for (unsigned char byte : text.toUtf8())
        sum += byte;
    return QString(QChar(97 + sum % 25));
}

} // namespace

QString DirectoryTag(const QString& path) {
    const QList<char32_t> dir = DirectoryLetters(path);
    if (dir.size() < 4)
        return "_" + QString::fromUcs4(dir.constData(), dir.size());
    // Four slices of n characters from 0, n, 2n and 3n; the fourth is empty when the length divides by 3,
    // and characters after 4n take no part.
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
