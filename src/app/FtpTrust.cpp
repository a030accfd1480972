// The trusted certificates: a JSON file beside the options file, written whole under a temporary name.
#include "app/FtpTrust.h"

#include <QJsonArray>
#include <QJsonObject>

#include "app/VlxJsonFile.h"

namespace {

constexpr int kFormat = 1;

QJsonObject ReadHosts(const QString& fileName) {
    return ReadJsonMember(fileName, kFormat, "hosts");
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
    WriteJsonMember(fileName, kFormat, "hosts", hosts, "trusted certificates");
}
