// The upload record: a JSON file beside the options file.
#include "upload/FtpUploadRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonObject>

#include "common/VlxRegularFile.h"
#include "gallery/GalleryNames.h"
#include "settings/VlxJsonFile.h"

namespace {

constexpr int kFormat = 1;

QJsonObject ReadTargets(const QString& fileName) {
    return ReadJsonMember(fileName, kFormat, "targets");
}

} // namespace

TUploadRecord::TUploadRecord(const QString& fileName, const QString& target, const QString& formerTarget)
    : FFileName(fileName), FTarget(target), FFormerTarget(formerTarget == target ? QString() : formerTarget) {
    const QJsonObject targets = ReadTargets(fileName);
    QJsonObject files = targets.value(target).toObject();
    if (files.isEmpty() && !FFormerTarget.isEmpty())
        files = targets.value(FFormerTarget).toObject();
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        const qint64 size = entry.value("size").toInteger(-1);
        const QByteArray sha = entry.value("sha256").toString().toLatin1();
        // A record edited to name "../other/index.html" or "/top.txt" must never lead the upload outside its
        // folder: such an entry is dropped here, and gone from the record once it is saved.
        if (size >= 0 && sha.size() == 64 && PlainFileName(it.key()))
            FEntries.insert(it.key(), {size, sha});
    }
}

std::optional<TUploadRecord::TEntry> TUploadRecord::Find(const QString& name) const {
    const auto it = FEntries.constFind(name);
    if (it == FEntries.constEnd())
        return std::nullopt;
    return *it;
}

void TUploadRecord::Set(const QString& name, const TEntry& entry) {
    FEntries.insert(name, entry);
}

void TUploadRecord::Remove(const QString& name) {
    FEntries.remove(name);
}

void TUploadRecord::Save() const {
    QJsonObject files;
    for (auto it = FEntries.constBegin(); it != FEntries.constEnd(); ++it)
        files.insert(it.key(), QJsonObject{{"size", it->Size}, {"sha256", QString::fromLatin1(it->Sha256)}});
    QJsonObject targets = ReadTargets(FFileName);
    targets.insert(FTarget, files);
    if (!FFormerTarget.isEmpty())
        targets.remove(FFormerTarget);
    WriteJsonMember(FFileName, kFormat, "targets", targets, "upload record");
}

QString TUploadRecord::TargetOf(const QString& host, int port, const QString& user,
                                const QString& remoteDir) {
    return "ftp://" + user + "@" + host + ":" + QString::number(port) + "/" + remoteDir;
}

QByteArray TUploadRecord::Sha256Of(const QString& path) {
    // A pipe or a device put in the folder would be waited on or hashed for ever.
    QFile file;
    if (!OpenRegularInput(file, path).isEmpty())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}
