// The small JSON files the program keeps beside its options file: {"format": N, "<member>": {...}}.
#pragma once

#include <QJsonObject>
#include <QString>

#include "common/VlxTypes.h"

// Far beyond any real record (a gallery of 10,000 pictures records about 5 MB per server); a larger file is
// not one this program wrote, and is neither read nor replaced.
inline constexpr qint64 kMaxJsonFileBytes = 64 << 20;

// What reading such a file found.
enum class TJsonFileState {
    Missing, // no file: nothing recorded yet
    Read,    // the member was read
    Refused, // not a regular file (a pipe, a device, a link to one) or above kMaxJsonFileBytes
    Damaged, // not JSON of that layout
    Newer,   // written by a later version, in a format this one does not know
};

struct TJsonFileRead {
    TJsonFileState State = TJsonFileState::Missing;
    QJsonObject Member; // empty unless State is Read
    QString Problem;    // why it was not read, for the messages
};

// Reads the file without ever waiting on it (a pipe or a device is refused, not opened for long).
TJsonFileRead ReadJsonFile(const QString& fileName, int format, const QString& member);

// The member of such a file; empty when the file is missing or was not read (see ReadJsonFile).
QJsonObject ReadJsonMember(const QString& fileName, int format, const QString& member);

// The file was written, but the one that was there could not be read and was kept aside: the message says
// where. Raised after the write, so that the caller shows it as it shows a failure.
class EJsonFileKeptAside : public Exception {
public:
    using Exception::Exception;
};

// Writes the file whole under a temporary name. Never replaces a file the reader would not read: one in a
// newer format, a pipe, a device or one above the size limit is left as it is and the write fails; a damaged
// one is renamed to "<file>.damaged" (or "<file>.damaged-2" and so on) and EJsonFileKeptAside tells so after
// the write. Failures throw Exception "Cannot write the <what> "<file>": ...".
void WriteJsonMember(const QString& fileName, int format, const QString& member, const QJsonObject& value,
                     const QString& what);
