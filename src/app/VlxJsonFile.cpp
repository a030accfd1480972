// The small JSON files beside the options file.
#include "app/VlxJsonFile.h"

#include <QFile>
#include <QJsonDocument>

#include "common/VlxSaveFile.h"
#include "common/VlxTypes.h"

namespace {

// Far beyond any real record; a larger file is not one this program wrote.
constexpr qint64 kMaxFileSize = 64 << 20;

} // namespace

QJsonObject ReadJsonMember(const QString& fileName, int format, const QString& member) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return {};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value("format").toInt() != format)
        return {};
    return root.value(member).toObject();
}

void WriteJsonMember(const QString& fileName, int format, const QString& member, const QJsonObject& value,
                     const QString& what) {
    const QJsonObject root{{"format", format}, {member, value}};
    QString error;
    if (!WriteFileAtomically(fileName, QJsonDocument(root).toJson(), error))
        throw Exception("Cannot write the " + what + " \"" + fileName + "\": " + error);
}
