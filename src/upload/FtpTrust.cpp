// The trusted certificates: a JSON file beside the options file, written whole under a temporary name.
#include "upload/FtpTrust.h"

#include <QJsonArray>
#include <QJsonObject>

#include "ftp/Wlet.h"
#include "settings/VlxJsonFile.h"

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

QString FtpTrust::Question(const QString& host, const TTlsPeer& peer) {
    return "The certificate of " + host + " could not be verified: " + peer.Problem +
           ".\r\rIssued by: " + peer.Issuer + "\rIssued to: " + peer.Subject +
           "\rSHA-256 fingerprint: " + peer.Sha256 + "\r\rTrust this certificate for " + host +
           " from now on?";
}

bool FtpTrust::Check(const QString& fileName, const QString& host, const TTlsPeer& peer,
                     const std::function<bool(const QString&)>& ask,
                     const std::function<void(const QString&)>& warn) {
    if (IsTrusted(fileName, host, peer.Sha256))
        return true;
    if (!ask || !ask(Question(host, peer)))
        return false;
    try {
        if (!fileName.isEmpty())
            Trust(fileName, host, peer.Sha256);
    } catch (const Exception& e) {
        if (warn)
            warn(e.Message());
    }
    return true;
}
