// The small JSON files beside the options file.
#include "settings/VlxJsonFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

#include "common/VlxRegularFile.h"
#include "common/VlxSaveFile.h"
#include "settings/VlxConfigDir.h"

namespace {

constexpr int kAsideTries = 100;

QString ErrnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

TJsonFileRead Refusal(TJsonFileState state, const QString& problem) {
    TJsonFileRead result;
    result.State = state;
    result.Problem = problem;
    return result;
}

// The file's bytes, read through a descriptor opened without waiting (a pipe's writer, a device), and only
// once it is known to be a regular file of a sane size.
TJsonFileRead ReadBytes(const QString& fileName, QByteArray& bytes) {
    const TOpenedFile opened = OpenRegularFile(fileName, O_RDONLY, kMaxJsonFileBytes);
    if (opened.Fd < 0) {
        if (opened.OpenErrno == ENOENT)
            return {};
        return Refusal(TJsonFileState::Refused,
                       opened.OpenErrno != 0 ? "it cannot be read: " + opened.Problem : opened.Problem);
    }
    QFile file;
    if (!file.open(opened.Fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.Fd);
        return Refusal(TJsonFileState::Refused, "it cannot be read: " + file.errorString());
    }
    // A file that grew since it was measured is read no further than the limit.
    bytes = file.read(kMaxJsonFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Refusal(TJsonFileState::Refused, "it cannot be read: " + file.errorString());
    if (bytes.size() > kMaxJsonFileBytes)
        return Refusal(TJsonFileState::Refused, "it grew past the size allowed while it was read");
    TJsonFileRead result;
    result.State = TJsonFileState::Read;
    return result;
}

// "uploads.json.damaged", or the first of "uploads.json.damaged-2" and on that is free.
QString KeepAside(const QString& fileName) {
    for (int i = 1; i <= kAsideTries; ++i) {
        const QString aside = fileName + ".damaged" + (i == 1 ? QString() : "-" + QString::number(i));
        if (QFileInfo(aside).exists() || QFileInfo(aside).isSymLink())
            continue;
        if (std::rename(QFile::encodeName(fileName).constData(), QFile::encodeName(aside).constData()) != 0)
            return {};
        return aside;
    }
    return {};
}

// The file at that very path, without looking beside the program.
TJsonFileRead ReadJsonAt(const QString& fileName, int format, const QString& member) {
    QByteArray bytes;
    TJsonFileRead result = ReadBytes(fileName, bytes);
    if (result.State != TJsonFileState::Read)
        return result;
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return Refusal(TJsonFileState::Damaged, "it is not valid JSON: " + parse.errorString() + " at byte " +
                                                    QString::number(parse.offset));
    const QJsonObject root = document.object();
    const QJsonValue stored = root.value("format");
    if (!document.isObject() || !stored.isDouble() || stored.toDouble() != stored.toInteger())
        return Refusal(TJsonFileState::Damaged, "it has no format number");
    if (stored.toInteger() > format)
        return Refusal(
            TJsonFileState::Newer,
            QString("it was written by a later version of Veltrix (format %1)").arg(stored.toInteger()));
    if (stored.toInteger() != format || !root.value(member).isObject())
        return Refusal(TJsonFileState::Damaged,
                       QString("it holds no \"%1\" of format %2").arg(member).arg(format));
    result.Member = root.value(member).toObject();
    return result;
}

} // namespace

TJsonFileRead ReadJsonFile(const QString& fileName, int format, const QString& member) {
    return ReadJsonAt(ConfigFileToRead(fileName), format, member);
}

QJsonObject ReadJsonMember(const QString& fileName, int format, const QString& member) {
    return ReadJsonFile(fileName, format, member).Member;
}

void WriteJsonMember(const QString& fileName, int format, const QString& member, const QJsonObject& value,
                     const QString& what) {
    const auto fail = [&](const QString& why) {
        throw Exception("Cannot write the " + what + " \"" + fileName + "\": " + why);
    };
    // Only the file that is about to be replaced matters here: an earlier version's beside the program stays.
    const bool moving = ConfigFileToRead(fileName) != fileName;
    const TJsonFileRead existing = ReadJsonAt(fileName, format, member);
    if (existing.State == TJsonFileState::Refused || existing.State == TJsonFileState::Newer)
        fail(existing.Problem + "; it is left as it is");
    QString aside;
    if (existing.State == TJsonFileState::Damaged) {
        aside = KeepAside(fileName);
        if (aside.isEmpty())
            fail(existing.Problem + ", and it could not be kept aside: " + ErrnoText());
    }
    const QJsonObject root{{"format", format}, {member, value}};
    QString error;
    if (!WriteFileAtomically(fileName, QJsonDocument(root).toJson(), error))
        fail(error);
    if (moving)
        ConfigFileMoved();
    if (!aside.isEmpty())
        throw EJsonFileKeptAside("The " + what + " \"" + fileName + "\" could not be read (" +
                                 existing.Problem + "); it was kept as \"" + QFileInfo(aside).fileName() +
                                 "\" and a new one was started");
}
