// SFTP client over libssh: one SSH connection with its SFTP channel, host keys checked against known_hosts,
// log-in by the SSH agent, a key file (or the user's default keys) or a password.
#pragma once

#include <atomic>
#include <functional>

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "ftp/Wlet.h"

struct ssh_session_struct;
struct sftp_session_struct;

// Blocking-style operations that keep the event loop running, as the socket layer's do: each libssh call
// runs on a helper thread while the caller's thread processes events, so Abort and the window work while
// the server is slow. Failures: ESockError for the connection (lost, timed out, log-in refused, host key),
// ERemoteRefusal for what the server refused (its reason in the text), EAbortError for Abort and Cancel;
// each with its kind.
class TXoSftp : public QObject {
public:
    explicit TXoSftp(QObject* owner = nullptr);
    ~TXoSftp() override;
    TXoSftp(const TXoSftp&) = delete;
    TXoSftp& operator=(const TXoSftp&) = delete;

    // Connects (the host's name, IPv4 or IPv6 address, "[::1]" too), checks the host key and logs in. An
    // entry of ~/.ssh/config for the host, as ssh reads it, counts too: its HostName is where the connection
    // goes (and the name the host key is known under); its Port, User and IdentityFile where the settings
    // leave them open (port 22, no user, no key file).
    void Connect();
    void Disconnect();
    // Closes without a goodbye to wait for: after an abort, with a server that may not answer.
    void DisconnectAtOnce();
    // False too once the session saw its connection end.
    bool IsConnected() const;
    // Ends the store in progress, and the wait of Connect; a call that does not end by itself within a
    // moment has its connection cut.
    void Abort();
    void Cancel() { Abort(); }
    // While the flag is set every call ends as Abort ends it; set from another thread (the connections of
    // one upload stopped at once). Not owned; null: none.
    void SetStopFlag(const std::atomic<bool>* flag);

    // The folder names are paths on the server; a relative one is taken from the current folder.
    const QString& CurrentDir() const { return FDir; }
    void ChangeDir(const QString& dir);
    void MakeDir(const QString& dir);
    void Upload(const QString& localPath, const QString& remoteName);
    // The rest of a file the server holds the first offset bytes of, written from there on.
    void UploadFrom(const QString& localPath, const QString& remoteName, qint64 offset);
    // The size of a file on the server; -1 when there is none.
    qint64 RemoteSize(const QString& name);
    // Replaces a file of the new name, as a rename on a Unix file system does: in one step where the server
    // offers that (ReplacesInOneStep), else by deleting it first.
    void Rename(const QString& from, const QString& to);
    void Delete(const QString& name);
    // The plain files of the current folder with their sizes.
    QHash<QString, qint64> FileSizes();

    const QString& Host() const { return FHost; }
    void SetHost(const QString& value) { FHost = value; }
    int Port() const { return FPort; }
    void SetPort(int value) { FPort = value; }
    const QString& UserID() const { return FUserID; }
    void SetUserID(const QString& value) { FUserID = value; }
    void SetPassword(const QString& value) { FPassword = value; }
    // A private key to log in with; empty: the user's default keys, those of ~/.ssh/id_ed25519, id_ecdsa and
    // id_rsa that are there.
    const QString& KeyFile() const { return FKeyFile; }
    void SetKeyFile(const QString& value) { FKeyFile = value; }
    // Empty: the user's ~/.ssh/known_hosts.
    void SetKnownHostsFile(const QString& value) { FKnownHostsFile = value; }
    void SetUseAgent(bool value) { FUseAgent = value; }
    // Milliseconds any one answer is waited for; 0: no limit.
    int TimeOut() const { return FTimeOut; }
    void SetTimeOut(int value) { FTimeOut = value; }
    // "SHA256:..." of the server's host key once connected.
    const QString& HostKeyFingerprint() const { return FFingerprint; }
    // How the log-in went through: "agent", "key file", "password".
    const QString& LoggedInBy() const { return FLoggedInBy; }
    // The server offers posix-rename@openssh.com: a rename replaces the file of the new name in one step, so
    // that name is never missing. Known once connected.
    bool ReplacesInOneStep() const { return FPosixRename; }
    qint64 SentCount() const { return FSent; }
    qint64 TransferSize() const { return FTransferSize; }

    // An unknown host key: the question (naming its fingerprint) is asked; yes adds it to known_hosts.
    // Not set: an unknown key is refused.
    std::function<bool(const QString& question)> OnHostKeyQuestion;
    // The passphrase of an encrypted key file; false: none given. One that opened the key is kept for this
    // client's next log-ins (a reconnect), in memory only, and not asked again.
    std::function<bool(const QString& prompt, QString& secret)> OnPassphrase;
    // While a file is stored, after each piece the server took.
    TNotifyEvent OnPacketSent;

private:
    // Where the connection goes and who logs in: the settings, with ~/.ssh/config's entry for the host.
    struct TSshTarget {
        QString Host;
        int Port = 22;
        QString User;
        QString KeyFile;
    };
    TSshTarget ConfiguredTarget() const;

    // Runs work on a helper thread while this one processes events; returns its result. A time-out without
    // progress, or an abort not taken up within a moment, cuts the connection under it. Work that talks to
    // the SSH agent has the agent's connection cut first, and the server's only if that does not end it.
    int Await(const std::function<int()>& work, bool agent = false);
    // The agent's socket, connected here so that a silent agent can be cut off; -1 when none.
    int ConnectAgent();
    void OpenSession(int socket);
    void CheckHostKey();
    void LogIn();
    // A default key (optional) that cannot be read, holds no key or gets no passphrase is left out; the key
    // file set ends the log-in with why.
    // Given wouldAsk, a key that needs a passphrase not kept sets it and is not tried.
    bool LogInWithKeyFile(const QString& keyFile, bool optional, bool* wouldAsk = nullptr);
    bool LogInWithDefaultKeys(QStringList& tried);
    bool LogInInteractive();
    void OpenSftp();
    void ThrowIfAborted(const QString& what) const;
    void CheckConnected() const;
    // The failure of an SFTP request on path: a refusal with the server's reason, or the lost connection.
    [[noreturn]] void Fail(const QString& what, const QString& path) const;
    // As the server refused with code and its text, taken where a later request would have replaced them.
    [[noreturn]] void Fail(const QString& what, const QString& path, int code,
                           const QString& serverText) const;
    // What a connection Await cut was: timed out, or lost.
    TNetFailure LostKind() const { return FCutByTimeOut ? TNetFailure::TimedOut : TNetFailure::Lost; }
    QString PathOf(const QString& name) const;
    void FreeSession();

    QString FHost;
    int FPort = 22;
    QString FUserID;
    QString FPassword;
    QString FKeyFile;
    QString FKnownHostsFile;
    bool FUseAgent = true;
    int FTimeOut = 0;
    QString FDir;
    TSshTarget FTarget; // for the connection being made
    QString FFingerprint;
    QString FLoggedInBy;
    QHash<QString, QString> FPassphrases; // by key file, the passphrase that opened it
    bool FPosixRename = false;
    ssh_session_struct* FSession = nullptr;
    sftp_session_struct* FSftp = nullptr;
    int FSocket = -1;       // the connection's socket, handed to libssh
    int FAgentSocket = -1;  // the agent's, handed to libssh, which closes it with the session
    bool FAgentCut = false; // the agent did not answer in time
    unsigned long FSocketInode = 0;
    bool FLost = false;
    bool FCutByTimeOut = false; // Await cut the connection for the time-out
    std::atomic<bool> FAbort = false;
    const std::atomic<bool>* FStopFlag = nullptr;
    std::atomic<qint64> FSent = 0;
    qint64 FTransferSize = 0;
    TWirelet* FConnector; // makes the TCP connection: name lookup, IPv6, time-out and cancel as for FTP
};
