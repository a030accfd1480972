// Helpers of the generation tests: reading back what a run wrote.
#include "GenTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "publish/RunRecord.h"

namespace {

int Byte(const QByteArray& bytes, qsizetype i) {
    return static_cast<unsigned char>(bytes[i]);
}

int Word(const QByteArray& bytes, qsizetype i) {
    return Byte(bytes, i) << 8 | Byte(bytes, i + 1);
}

bool IsFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

// Walks the marker segments from SOI to the first frame header.
TJpegFrame ReadJpegFrame(const QByteArray& bytes) {
    if (bytes.size() < 4 || Byte(bytes, 0) != 0xFF || Byte(bytes, 1) != 0xD8)
        return {};
    qsizetype i = 2;
    while (i + 4 <= bytes.size()) {
        if (Byte(bytes, i) != 0xFF)
            return {};
        const int marker = Byte(bytes, i + 1);
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (IsFrameMarker(marker)) {
            if (i + 9 > bytes.size())
                return {};
            return {marker, Word(bytes, i + 7), Word(bytes, i + 5)};
        }
        i += 2 + Word(bytes, i + 2);
    }
    return {};
}

QStringList LocalReferences(const QByteArray& page) {
    static const QRegularExpression attribute(R"re((?:src|href|background)\s*=\s*"([^"]*)")re",
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    const QString text = QString::fromUtf8(page);
    for (auto match = attribute.globalMatch(text); match.hasNext();) {
        const QString value = match.next().captured(1);
        if (!value.contains("://") && !value.startsWith("mailto:"))
            names << value;
    }
    return names;
}

QStringList TableCells(const QByteArray& page) {
    const QString text = QString::fromUtf8(page);
    const qsizetype start = text.indexOf("<table", 0, Qt::CaseInsensitive);
    const qsizetype end = text.indexOf("</table>", start, Qt::CaseInsensitive);
    if (start < 0 || end < 0)
        return {};
    static const QRegularExpression cellStart("<td[\\s>]", QRegularExpression::CaseInsensitiveOption);
    QStringList cells;
    const QString table = text.mid(start, end - start);
    qsizetype at = table.indexOf(cellStart);
    while (at >= 0) {
        const qsizetype next = table.indexOf(cellStart, at + 1);
        cells << table.mid(at, next < 0 ? -1 : next - at);
        at = next;
    }
    return cells;
}

QStringList FilesIn(const QString& dir) {
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    names.removeAll(kRunRecordName);
    return names;
}

QString FolderDifference(const QString& a, const QString& b) {
    const QStringList files = FilesIn(a);
    if (FilesIn(b) != files)
        return "the folders hold other files: " + files.join(' ') + " against " + FilesIn(b).join(' ');
    for (const QString& name : files) {
        QFile one(QDir(a).filePath(name));
        QFile other(QDir(b).filePath(name));
        if (!one.open(QIODevice::ReadOnly) || !other.open(QIODevice::ReadOnly) ||
            one.readAll() != other.readAll())
            return name + " differs";
    }
    return {};
}
