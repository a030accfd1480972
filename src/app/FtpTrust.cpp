// The trusted certificates: a JSON file beside the options file, written whole under a temporary name.
#include "app/FtpTrust.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "common/VlxSaveFile.h"
#include "common/VlxTypes.h"

namespace {

constexpr int kFormat = 1;
// Far beyond any real list; a larger file is not what this program wrote.
constexpr qint64 kMaxFileSize = 1 << 20;

QJsonObject ReadHosts(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return {};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value("format").toInt() != kFormat)
        return {};
    return root.value("hosts").toObject();
}

} // namespace

bool FtpTrust::IsTrusted(const QString& fileName, const QString& host, const QString& sha256) {
    if (fileName.isEmpty() || sha256.isEmpty())
        return false;
    return ReadHosts(fileName).value(host.toLower()).toArray().contains(sha256.toUpper());
}

void FtpTrust::Trust(const QString& fileName, const QString& host, const QString& sha256) {
    QJsonObject hosts = ReadHosts(fileName);
    QJsonArray fingerprints = hosts.value(host.toLower()).toArray();
    if (fingerprints.contains(sha256.toUpper()))
        return;
    fingerprints.append(sha256.toUpper());
    hosts.insert(host.toLower(), fingerprints);
    const QJsonObject root{{"format", kFormat}, {"hosts", hosts}};
    QString error;
    if (!WriteFileAtomically(fileName, QJsonDocument(root).toJson(), error))
        throw Exception("Cannot write the trusted certificates \"" + fileName + "\": " + error);
}
