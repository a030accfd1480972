// Options file: a line-preserving INI reader and writer, and the key-at-a-time file access on top of it.
#include "settings/VlxIniFile.h"

#include <cerrno>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "common/VlxRegularFile.h"
#include "settings/VlxConfigDir.h"

namespace {

enum class TLineKind { Other, Header, Key };

// One line of INI text: byte offsets of its content (without the line break) and of the next line.
struct TIniLine {
    qsizetype Start = 0;
    qsizetype End = 0;
    qsizetype Next = 0;
    TLineKind Kind = TLineKind::Other;
    QString Name; // section name of a header, key of a key line
    QString Value;
};

// Lines end at '\n'; a '\r' before it belongs to the line break.
std::vector<TIniLine> SplitLines(const QByteArray& text) {
    std::vector<TIniLine> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        TIniLine line;
        line.Start = start;
        const qsizetype newline = text.indexOf('\n', start);
        line.Next = newline < 0 ? text.size() : newline + 1;
        line.End = newline < 0 ? text.size() : newline;
        if (newline >= 0 && line.End > start && text[line.End - 1] == '\r')
            --line.End;
        lines.push_back(line);
        start = line.Next;
    }
    return lines;
}

// Sections: "[Common]" (text after the first ']' is ignored). Keys: "Width=64". Comments: "; ..." or "# ...".
void Classify(const QByteArray& text, TIniLine& line) {
    const QString content = QString::fromUtf8(text.constData() + line.Start, line.End - line.Start).trimmed();
    if (content.isEmpty() || content.startsWith(u';') || content.startsWith(u'#'))
        return;
    if (content.startsWith(u'[')) {
        const qsizetype close = content.indexOf(u']');
        line.Kind = TLineKind::Header;
        line.Name = content.mid(1, close < 0 ? -1 : close - 1).trimmed();
        return;
    }
    const qsizetype equals = content.indexOf(u'=');
    if (equals < 0)
        return;
    line.Kind = TLineKind::Key;
    line.Name = content.left(equals).trimmed();
    line.Value = content.mid(equals + 1).trimmed();
}

std::vector<TIniLine> ParseLines(const QByteArray& text) {
    std::vector<TIniLine> lines = SplitLines(text);
    for (TIniLine& line : lines)
        Classify(text, line);
    return lines;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsQuoted(const QString& value) {
    return value.size() >= 2 && value.front() == value.back() &&
           (value.front() == u'"' || value.front() == u'\'');
}

// Where a key is, or where it would go: its line, else the last key line (or the header) of its first
// section; comments and blank lines after it stay with whatever follows.
struct TKeyPlace {
    int KeyLine = -1;
    int SectionLast = -1;
};

TKeyPlace FindKey(const std::vector<TIniLine>& lines, const QString& section, const QString& key) {
    TKeyPlace place;
    bool inSection = false;
    bool inFirstSection = false;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const TIniLine& line = lines[i];
        if (line.Kind == TLineKind::Header) {
            inSection = SameName(line.Name, section);
            inFirstSection = inSection && place.SectionLast < 0;
        } else if (inSection && line.Kind == TLineKind::Key && SameName(line.Name, key)) {
            place.KeyLine = i;
            return place;
        }
        if (inFirstSection && line.Kind != TLineKind::Other)
            place.SectionLast = i;
    }
    return place;
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

// Why the three cannot be written as one INI line; empty when they can.
QString WriteProblem(const QString& section, const QString& key, const QString& value) {
    if (section.isEmpty() || section != section.trimmed() || section.contains(u']') || HasLineBreak(section))
        return QStringLiteral("Invalid section name \"%1\"").arg(section);
    if (key.isEmpty() || key != key.trimmed() || key.contains(u'=') || key.startsWith(u'[') ||
        key.startsWith(u';') || key.startsWith(u'#') || HasLineBreak(key))
        return QStringLiteral("Invalid key name \"%1\"").arg(key);
    if (HasLineBreak(value))
        return QStringLiteral("Value of %1/%2 holds a line break").arg(section, key);
    return {};
}

QByteArray KeyLine(const QString& key, const QString& value) {
    // Reading drops blanks around a value and one pair of enclosing quotes; quoting keeps such values whole.
    const bool quote = value != value.trimmed() || IsQuoted(value);
    return (key + u'=' + (quote ? u'"' + value + u'"' : value)).toUtf8();
}

} // namespace

// INI text split and classified once; every key read looks in the same lines.
struct TIniParsed {
    QByteArray Text;
    std::vector<TIniLine> Lines;
};

namespace {

std::optional<QString> ValueIn(const std::vector<TIniLine>& lines, const QString& section,
                               const QString& key) {
    const TKeyPlace place = FindKey(lines, section, key);
    if (place.KeyLine < 0)
        return std::nullopt;
    const QString& value = lines[place.KeyLine].Value;
    return IsQuoted(value) ? value.mid(1, value.size() - 2) : value;
}

// A pipe or a device would block the read or never end; a huge file would take minutes and gigabytes.
// Both are refused and left as they are.
void CheckIsSaneFile(const QFileInfo& info, const QString& fileName) {
    if (info.exists() && !info.isFile())
        throw EIniFileException(
            QStringLiteral("The options file %1 is %2, not a regular file; it is left as it is")
                .arg(fileName,
                     info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a pipe or a device")));
    if (info.size() > kMaxIniFileBytes)
        throw EIniFileException(
            QStringLiteral(
                "The options file %1 is %2 bytes, more than the %3 bytes allowed; it is left as it is")
                .arg(fileName)
                .arg(info.size())
                .arg(kMaxIniFileBytes));
}

} // namespace

std::optional<QString> IniReadValue(const QByteArray& text, const QString& section, const QString& key) {
    return ValueIn(ParseLines(text), section, key);
}

QByteArray IniWriteValue(const QByteArray& text, const QString& section, const QString& key,
                         const QString& value) {
    const QString problem = WriteProblem(section, key, value);
    if (!problem.isEmpty())
        throw EIniFileException(problem);
    const std::vector<TIniLine> lines = ParseLines(text);
    const TKeyPlace place = FindKey(lines, section, key);
    const qsizetype firstBreak = text.indexOf('\n');
    const QByteArray eol = firstBreak > 0 && text[firstBreak - 1] == '\r' ? "\r\n" : "\n";
    const QByteArray keyLine = KeyLine(key, value);
    QByteArray result = text;
    if (place.KeyLine >= 0) {
        const TIniLine& line = lines[place.KeyLine];
        result.replace(line.Start, line.End - line.Start, keyLine);
    } else if (place.SectionLast >= 0) {
        const TIniLine& line = lines[place.SectionLast];
        if (line.Next == line.End) // the file's last line, without a line break
            result.insert(line.End, eol + keyLine + eol);
        else
            result.insert(line.Next, keyLine + eol);
    } else {
        if (!result.isEmpty() && !result.endsWith('\n'))
            result.append(eol);
        result.append('[' + section.toUtf8() + ']' + eol + keyLine + eol);
    }
    return result;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QString> value = ValueIn(Parsed().Lines, section, key);
    if (!value)
        return defaultValue;
    bool ok = false;
    const int number = value->toInt(&ok, 10);
    return ok ? number : defaultValue;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
    return ValueIn(Parsed().Lines, section, key).value_or(defaultValue);
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString problem = WriteProblem(section, key, value);
    if (!problem.isEmpty())
        throw EIniFileException(problem + QStringLiteral(": not written to ") + FFileName);
    const bool moving = ConfigFileToRead(FFileName) != FFileName;
    const QByteArray updated = IniWriteValue(CurrentText(), section, key, value);
    // Written beside and renamed over the old file, so a failed write never leaves it half written.
    QSaveFile out(FFileName);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly) || out.write(updated) != updated.size() || !out.commit())
        throw EIniFileException(
            QStringLiteral("Unable to write to %1: %2").arg(FFileName, out.errorString()));
    if (moving)
        ConfigFileMoved();
    auto parsed = std::make_shared<TIniParsed>();
    parsed->Lines = ParseLines(updated);
    parsed->Text = updated;
    FParsed = std::move(parsed);
}

// The file as it is now, for a write; an existing file that cannot be read must not be replaced by one
// that holds only the new key.
// An earlier version's file beside the program is the text to start from while there is none of our own.
QByteArray TIniFile::CurrentText() const {
    const QFileInfo info(FFileName);
    if (info.isDir())
        throw EIniFileException(QStringLiteral("Unable to write to %1: it is a folder").arg(FFileName));
    CheckIsSaneFile(info, FFileName);
    const QString source = ConfigFileToRead(FFileName);
    if (source != FFileName)
        CheckIsSaneFile(QFileInfo(source), source);
    // Read through a descriptor that never waits: what was swapped for a pipe since the check is refused too.
    const TReadFile current = ReadRegularFile(source, kMaxIniFileBytes);
    if (current.OpenErrno == ENOENT)
        return {};
    if (!current.Problem.isEmpty())
        throw EIniFileException(QStringLiteral("Unable to write to %1: %2").arg(FFileName, current.Problem));
    return current.Bytes;
}

const TIniParsed& TIniFile::Parsed() const {
    if (FParsed)
        return *FParsed;
    const QString source = ConfigFileToRead(FFileName);
    CheckIsSaneFile(QFileInfo(source), source);
    auto parsed = std::make_shared<TIniParsed>();
    const TReadFile read = ReadRegularFile(source, kMaxIniFileBytes);
    // A missing or unreadable file reads as all defaults; one that is no regular file is never read.
    if (read.OpenErrno == 0 && !read.Problem.isEmpty())
        throw EIniFileException(QStringLiteral("The options file %1 cannot be read: %2; it is left as it is")
                                    .arg(source, read.Problem));
    parsed->Text = read.Bytes;
    parsed->Lines = ParseLines(parsed->Text);
    FParsed = std::move(parsed);
    return *FParsed;
}
