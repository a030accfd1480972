// The FTP settings: their stored forms and connecting with them.
#include "upload/FtpSettings.h"

namespace {

constexpr int kTimeOut = 15000; // milliseconds the client waits for any one answer

const char* const kEncryptionValues[] = {"none", "auto", "require", "implicit"};

} // namespace

QString EncryptionText(TFtpEncryption encryption) {
    return kEncryptionValues[static_cast<int>(encryption)];
}

TFtpEncryption EncryptionFromText(const QString& text) {
    for (int i = 0; i < 4; ++i)
        if (text.trimmed().compare(kEncryptionValues[i], Qt::CaseInsensitive) == 0)
            return static_cast<TFtpEncryption>(i);
    return TFtpEncryption::None;
}

QString ProtocolText(TUploadProtocol protocol) {
    return protocol == TUploadProtocol::Sftp ? "sftp" : "ftp";
}

TUploadProtocol ProtocolFromText(const QString& text) {
    return text.trimmed().compare("sftp", Qt::CaseInsensitive) == 0 ? TUploadProtocol::Sftp
                                                                    : TUploadProtocol::Ftp;
}

int DefaultPortOf(TUploadProtocol protocol, TFtpEncryption encryption) {
    if (protocol == TUploadProtocol::Sftp)
        return kSftpPort;
    return encryption == TFtpEncryption::Implicit ? kImplicitFtpsPort : kFtpPortRange.Default;
}

int PortFromText(const QString& text, QString& note) {
    note.clear();
    bool valid = false;
    const int port = text.trimmed().toInt(&valid);
    if (valid && kFtpPortRange.Contains(port))
        return port;
    note = QString("Port \"%1\" is not a port number from %2 to %3: port %4 is used")
               .arg(text)
               .arg(kFtpPortRange.Min)
               .arg(kFtpPortRange.Max)
               .arg(kFtpPortRange.Default);
    return kFtpPortRange.Default;
}

void ConnectFtp(TXoFTP& client, const TFtpSettings& settings, const QString& password) {
    client.SetHost(settings.Host);
    client.SetPort(settings.Port);
    client.SetPassive(settings.Passive);
    client.SetEncryption(settings.Encryption);
    client.SetTimeOut(kTimeOut);
    client.SetUserID(settings.UserID);
    client.SetPassword(password);
    try {
        client.Connect();
    } catch (...) {
        try {
            client.Disconnect();
        } catch (const std::exception&) {
            // The failure to connect is the one to report.
        }
        throw;
    }
}

// With TLS wanted "if the server offers it", a server that does not offer it gets the files in clear: the
// user is told so.
QString NotEncryptedText(const TXoFTP& client) {
    if (client.Encryption() != TFtpEncryption::Auto || client.TlsActive())
        return {};
    return "not encrypted: " + client.Host() + " does not offer TLS";
}
