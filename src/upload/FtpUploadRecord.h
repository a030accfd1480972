// What was uploaded where, so that a later upload can leave out what has not changed.
#pragma once

#include <optional>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// Beside the options file: what was uploaded where.
inline constexpr char kUploadRecordFileName[] = "uploads.json";

// Per target (server, port, account and remote folder) and file name: the file's size on the server after
// it was stored, and the SHA-256 of the content sent. Kept as JSON in one file for all targets:
// {"format": 1, "targets": {"<target>": {"<name>": {"size": <bytes>, "sha256": "<hex>"}}}}.
class TUploadRecord {
public:
    struct TEntry {
        qint64 Size = -1;
        QByteArray Sha256; // lower-case hex
    };

    // The entries of one target; a missing or unreadable file reads as no entries (everything is stored). An
    // entry whose name is not a plain file name (PlainFileName) is left out.
    // Without entries of its own, the target takes those of its former name, which saving then replaces.
    TUploadRecord(const QString& fileName, const QString& target, const QString& formerTarget = {});

    std::optional<TEntry> Find(const QString& name) const;
    void Set(const QString& name, const TEntry& entry);
    void Remove(const QString& name);
    // The names of the files recorded for the target.
    QStringList Names() const { return FEntries.keys(); }
    // Writes the file through a temporary one, keeping the other targets; throws Exception naming the file.
    void Save() const;

    static QString TargetOf(const QString& host, int port, const QString& user, const QString& remoteDir);
    // Lower-case hex; empty when the file cannot be read.
    static QByteArray Sha256Of(const QString& path);

private:
    QString FFileName;
    QString FTarget;
    QString FFormerTarget;
    QHash<QString, TEntry> FEntries;
};
