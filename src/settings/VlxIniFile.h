// Options file: reads and writes single keys of an INI file ([Section] headers, key=value lines).
#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include "common/VlxTypes.h"

// A write to the options file was refused, or a section, key or value cannot be written as one line.
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// One key of INI text. Sections and keys match ignoring letter case, the first occurrence wins, blanks
// around keys and values are ignored and one pair of enclosing quotes ("..." or '...') is removed.
// Lines starting with ';' or '#' are comments. Empty when the section or key is missing.
std::optional<QString> IniReadValue(const QByteArray& text, const QString& section, const QString& key);

// The text with one key set: the key's line replaced, or the key added at the end of its section, or the
// section appended. Every other line is kept byte for byte. A value that would lose blanks or quotes on
// reading is written between double quotes. Raises EIniFileException for names or values that cannot
// stand on one line (line breaks, '=' in a key, ']' in a section, empty names).
QByteArray IniWriteValue(const QByteArray& text, const QString& section, const QString& key,
                         const QString& value);

// Options files above this size are refused and left untouched: a sane one holds a few hundred bytes.
inline constexpr qint64 kMaxIniFileBytes = 1 << 20;

struct TIniParsed;

// The options file. The first read reads and parses the file once; later reads look in that copy. Each
// write reads the file as it is, sets one key and writes it back. A missing or unreadable file reads as
// all defaults; a refused write raises "Unable to write to <file>: <reason>", and keys written before it
// stay written. A file that is not a regular file (a folder, a pipe, a device) or is above
// kMaxIniFileBytes raises EIniFileException naming it on reads and writes, and is left as it is. While the
// file is missing, an earlier version's beside the program is read (ConfigFileToRead), and the first write
// starts from its text.
class TIniFile {
public:
    explicit TIniFile(const QString& fileName) : FFileName(fileName) {}

    QString FileName() const { return FFileName; }

    // True when the value is an integer other than 0; the default when it is not an integer.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    // Decimal integer; the default when the value is missing or not an integer in range.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;

    void WriteBool(const QString& section, const QString& key, bool value); // 1 or 0
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteString(const QString& section, const QString& key, const QString& value);

private:
    const TIniParsed& Parsed() const;
    QByteArray CurrentText() const;

    QString FFileName;
    mutable std::shared_ptr<const TIniParsed> FParsed;
};
