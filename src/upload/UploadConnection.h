// The connection an upload run stores its files over, whatever the protocol: FTP through the FTP client,
// SFTP through the SFTP client.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QHash>
#include <QString>

#include "ftp/XoFtp.h"
#include "ftp/XoSftp.h"
#include "upload/FtpSettings.h"

// Failures as the clients raise them: ERemoteRefusal when the server refused (the connection stays),
// ESockError for the connection, EAbortError after Abort.
class TUploadConnection {
public:
    virtual ~TUploadConnection() = default;

    // Logs in with the settings (15-second time-out); a failed attempt is closed before its error goes on.
    virtual void Open(const TFtpSettings& settings, const QString& password) = 0;
    // Quits and closes; the connection's handlers are given back even when the server refuses to quit.
    virtual void Close() = 0;
    // Closes without waiting for the server's goodbye (after an abort).
    virtual void CloseAtOnce() = 0;
    virtual bool IsConnected() const = 0;
    virtual QString Host() const = 0;
    virtual int Port() const = 0;
    virtual QString UserID() const = 0;
    // "ftp" or "sftp": how the upload record names a target.
    virtual QString Scheme() const = 0;

    virtual QString CurrentDir() = 0;
    virtual void ChangeDir(const QString& dir) = 0;
    virtual void MakeDir(const QString& dir) = 0;
    // Before the stores of one file (FTP: its transfer type).
    virtual void PrepareStore(const QString& path) = 0;
    virtual void Store(const QString& path, const QString& remoteName) = 0;
    // Whether a store of this file cut short can go on where it stopped (FTP: binary transfers only).
    virtual bool CanResume(const QString& path) const = 0;
    // The rest of the file from offset on, onto the first offset bytes the server holds.
    virtual void StoreFrom(const QString& path, const QString& remoteName, qint64 offset) = 0;
    // The size of a file in the current folder; -1 when none or the server does not say.
    virtual qint64 RemoteSize(const QString& name) = 0;
    virtual void Rename(const QString& from, const QString& to) = 0;
    virtual void Delete(const QString& name) = 0;
    // The plain files of the current folder and their sizes; ERemoteRefusal when the server will not list.
    virtual QHash<QString, qint64> FileSizes() = 0;
    // Ends the store in progress.
    virtual void Abort() = 0;
    // Ends the wait of Open.
    virtual void Cancel() = 0;
    // While the flag is set every wait of the connection ends as Abort ends it, whatever thread sets it.
    virtual void SetStopFlag(const std::atomic<bool>* flag) = 0;
    virtual int TimeOut() const = 0;
    virtual void SetTimeOut(int ms) = 0;

    // Why a file replaced on the server is missing there for a moment, said once a run; empty when the
    // server replaces files in one step (FTP servers rename as the file system does).
    virtual QString ReplaceNote() const { return {}; }
    // Why the server ended the connection, when it said so (FTP's 421); else empty.
    virtual QString ClosingReply() const { return {}; }
    // How the connection is protected, for the status bar ("encrypted, TLS 1.3"); empty: in clear.
    virtual QString Security() const = 0;
    // "not encrypted: HOST does not offer TLS" while TLS was wanted if offered; else empty.
    virtual QString NotEncryptedNote() const { return {}; }

    // As the bytes of a store go out.
    std::function<void(qint64 sent, qint64 total)> OnStoreProgress;
    // A server the user must vouch for (a certificate that cannot be verified, an unknown host key): the
    // question; yes goes on. Not set: refused.
    std::function<bool(const QString& question)> OnQuestion;
    std::function<void(const QString& text)> OnWarning;
    // The passphrase of a key file; false: none given.
    std::function<bool(const QString& prompt, QString& secret)> OnSecret;
    // Certificates trusted by the user (FTP over TLS); none: a trust counts for one connection.
    QString TrustFile;
};

// FTP through a client the caller owns and that outlives the connection; its handlers are chained to while
// it is open.
class TFtpUploadConnection : public TUploadConnection {
public:
    explicit TFtpUploadConnection(TXoFTP& client) : FClient(client) {}
    ~TFtpUploadConnection() override;

    void Open(const TFtpSettings& settings, const QString& password) override;
    void Close() override;
    void CloseAtOnce() override;
    bool IsConnected() const override { return FClient.IsConnected(); }
    QString Host() const override { return FClient.Host(); }
    int Port() const override { return FClient.Port(); }
    QString UserID() const override { return FClient.UserID(); }
    QString Scheme() const override { return "ftp"; }
    QString CurrentDir() override { return FClient.CurrentDir(); }
    void ChangeDir(const QString& dir) override { FClient.ChangeDir(dir); }
    void MakeDir(const QString& dir) override { FClient.MakeDir(dir); }
    void PrepareStore(const QString& path) override;
    void Store(const QString& path, const QString& remoteName) override { FClient.Upload(path, remoteName); }
    bool CanResume(const QString& path) const override;
    void StoreFrom(const QString& path, const QString& remoteName, qint64 offset) override {
        FClient.UploadFrom(path, remoteName, offset);
    }
    qint64 RemoteSize(const QString& name) override { return FClient.RemoteSize(name); }
    void Rename(const QString& from, const QString& to) override { FClient.Rename(from, to); }
    void Delete(const QString& name) override { FClient.Delete(name); }
    QHash<QString, qint64> FileSizes() override;
    void Abort() override;
    void Cancel() override { FClient.Cancel(); }
    void SetStopFlag(const std::atomic<bool>* flag) override { FClient.SetStopFlag(flag); }
    int TimeOut() const override { return FClient.TimeOut(); }
    void SetTimeOut(int ms) override { FClient.SetTimeOut(ms); }
    QString ClosingReply() const override { return FClient.ClosingReply(); }
    QString Security() const override;
    QString NotEncryptedNote() const override { return NotEncryptedText(FClient); }

private:
    void Attach();
    void Detach();

    TXoFTP& FClient;
    bool FAttached = false;
    bool FAbortRequested = false;
    int FTransferType = 0; // the one the server was last told on this connection; 0: none
    TNotifyEvent FSavedTransactionStart;
    TNotifyEvent FSavedPacketSent;
    TCertificateEvent FSavedCertificateCheck;
};

// SFTP through a client of its own. Host keys are checked against the user's ~/.ssh/known_hosts unless
// KnownHostsFile names another file.
class TSftpUploadConnection : public TUploadConnection {
public:
    TSftpUploadConnection();

    void Open(const TFtpSettings& settings, const QString& password) override;
    void Close() override { FClient.Disconnect(); }
    void CloseAtOnce() override { FClient.DisconnectAtOnce(); }
    bool IsConnected() const override { return FClient.IsConnected(); }
    QString Host() const override { return FClient.Host(); }
    int Port() const override { return FClient.Port(); }
    QString UserID() const override { return FClient.UserID(); }
    QString Scheme() const override { return "sftp"; }
    QString CurrentDir() override { return FClient.CurrentDir(); }
    void ChangeDir(const QString& dir) override { FClient.ChangeDir(dir); }
    void MakeDir(const QString& dir) override { FClient.MakeDir(dir); }
    void PrepareStore(const QString&) override {}
    void Store(const QString& path, const QString& remoteName) override { FClient.Upload(path, remoteName); }
    bool CanResume(const QString&) const override { return true; }
    void StoreFrom(const QString& path, const QString& remoteName, qint64 offset) override {
        FClient.UploadFrom(path, remoteName, offset);
    }
    qint64 RemoteSize(const QString& name) override { return FClient.RemoteSize(name); }
    void Rename(const QString& from, const QString& to) override { FClient.Rename(from, to); }
    void Delete(const QString& name) override { FClient.Delete(name); }
    QHash<QString, qint64> FileSizes() override { return FClient.FileSizes(); }
    void Abort() override { FClient.Abort(); }
    void Cancel() override { FClient.Cancel(); }
    void SetStopFlag(const std::atomic<bool>* flag) override { FClient.SetStopFlag(flag); }
    int TimeOut() const override { return FClient.TimeOut(); }
    void SetTimeOut(int ms) override { FClient.SetTimeOut(ms); }
    QString Security() const override;
    QString ReplaceNote() const override;

    QString KnownHostsFile;
    TXoSftp& Client() { return FClient; }

private:
    TXoSftp FClient;
};

// The connection for the settings' protocol: FTP over the given client, or SFTP.
std::unique_ptr<TUploadConnection> MakeUploadConnection(TXoFTP& ftpClient, const TFtpSettings& settings);
