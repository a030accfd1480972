// The upload run's connection over FTP and over SFTP.
#include "upload/UploadConnection.h"

#include <algorithm>

#include <QScopeGuard>

#include "upload/FtpTrust.h"

namespace {

constexpr int kTimeOut = 15000; // milliseconds the client waits for any one answer

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Transfer type by extension, compared in lower case: pages and texts as ASCII, all else binary.
int TransferTypeOf(const QString& path) {
    const QString name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf('.');
    const QString extension = dot < 0 ? QString() : name.mid(dot).toLower();
    return extension == ".html" || extension == ".htm" || extension == ".txt" ? 1 : 2;
}

} // namespace

// ---- FTP

TFtpUploadConnection::~TFtpUploadConnection() {
    Detach();
}

void TFtpUploadConnection::Attach() {
    if (FAttached)
        return;
    FAttached = true;
    FSavedTransactionStart = FClient.OnTransactionStart;
    FSavedPacketSent = FClient.OnPacketSent;
    FSavedCertificateCheck = FClient.OnCertificateCheck;
    FClient.OnTransactionStart = [this](QObject* sender) {
        // Abort pressed while the store was being set up: the data connection exists only from here on.
        if (FAbortRequested)
            FClient.Abort();
        if (FSavedTransactionStart)
            FSavedTransactionStart(sender);
    };
    FClient.OnPacketSent = [this](QObject* sender) {
        if (FSavedPacketSent)
            FSavedPacketSent(sender);
        if (OnStoreProgress && FClient.IsConnected())
            OnStoreProgress(FClient.DataSentCount(), FClient.TransferSize());
    };
    if (OnQuestion)
        FClient.OnCertificateCheck = [this](const TTlsPeer& peer, bool& trusted) {
            trusted = FtpTrust::Check(TrustFile, FClient.Host(), peer, OnQuestion, OnWarning);
        };
}

void TFtpUploadConnection::Detach() {
    if (!FAttached)
        return;
    FAttached = false;
    FClient.OnTransactionStart = FSavedTransactionStart;
    FClient.OnPacketSent = FSavedPacketSent;
    FClient.OnCertificateCheck = FSavedCertificateCheck;
}

void TFtpUploadConnection::Open(const TFtpSettings& settings, const QString& password) {
    FAbortRequested = false;
    FTransferType = 0;
    Attach();
    ConnectFtp(FClient, settings, password);
}

void TFtpUploadConnection::Close() {
    const auto detach = qScopeGuard([this] { Detach(); });
    if (FClient.IsConnected())
        FClient.Disconnect();
}

void TFtpUploadConnection::CloseAtOnce() {
    const auto detach = qScopeGuard([this] { Detach(); });
    if (FClient.IsConnected())
        FClient.DisconnectAtOnce();
}

// A round trip saved per file: the type is sent only when it changes.
void TFtpUploadConnection::PrepareStore(const QString& path) {
    const int type = TransferTypeOf(path);
    if (type == FTransferType)
        return;
    FTransferType = 0; // unknown until the server confirmed it
    FClient.Mode(type);
    if (FClient.ReplyCode() < 400)
        FTransferType = type;
}

// A text transfer may change the line ends on the way: its bytes on the server are not the file's.
bool TFtpUploadConnection::CanResume(const QString& path) const {
    return TransferTypeOf(path) == 2;
}

void TFtpUploadConnection::Abort() {
    FAbortRequested = true;
    FClient.Abort();
}

QString TFtpUploadConnection::Security() const {
    return FClient.TlsActive() ? "encrypted, " + FClient.TlsVersion() : QString();
}

QHash<QString, qint64> TFtpUploadConnection::FileSizes() {
    FClient.List();
    QHash<QString, qint64> sizes;
    const TFTPDirectoryList* parser = FClient.Parser();
    if (!parser)
        return sizes;
    const qsizetype n = std::min({parser->AttrList.size(), parser->NameList.size(), parser->SizeList.size()});
    for (qsizetype i = 0; i < n; ++i) {
        bool valid = false;
        const qint64 size = parser->SizeList[i].toLongLong(&valid);
        if (valid && parser->AttrList[i].startsWith('-'))
            sizes.insert(parser->NameList[i], size);
    }
    return sizes;
}

// ---- SFTP

TSftpUploadConnection::TSftpUploadConnection() {
    FClient.OnPacketSent = [this](QObject*) {
        if (OnStoreProgress)
            OnStoreProgress(FClient.SentCount(), FClient.TransferSize());
    };
}

void TSftpUploadConnection::Open(const TFtpSettings& settings, const QString& password) {
    FClient.SetHost(settings.Host);
    FClient.SetPort(settings.Port);
    FClient.SetUserID(settings.UserID);
    FClient.SetPassword(password);
    FClient.SetKeyFile(settings.KeyFile);
    FClient.SetKnownHostsFile(KnownHostsFile);
    FClient.SetTimeOut(kTimeOut);
    FClient.OnHostKeyQuestion = OnQuestion;
    FClient.OnPassphrase = OnSecret;
    FClient.Connect();
}

QString TSftpUploadConnection::Security() const {
    return "encrypted, SSH";
}

QString TSftpUploadConnection::ReplaceNote() const {
    if (FClient.ReplacesInOneStep())
        return {};
    return FClient.Host() + " does not replace files in one step: while a file is replaced, its name is "
                            "missing on the server for a moment";
}

std::unique_ptr<TUploadConnection> MakeUploadConnection(TXoFTP& ftpClient, const TFtpSettings& settings) {
    if (settings.Protocol == TUploadProtocol::Sftp)
        return std::make_unique<TSftpUploadConnection>();
    return std::make_unique<TFtpUploadConnection>(ftpClient);
}
