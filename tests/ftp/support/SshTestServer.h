// OpenSSH's server and agent for the SFTP tests: keys made at test time, everything in the test's folder.
#pragma once

#include <atomic>
#include <thread>

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs an OpenSSH tool (ssh-keygen, ssh-add) with the environment given; false with error set on failure.
bool RunSshTool(const QString& program, const QStringList& arguments, QString& error,
                const QStringList& environment = {});

// Makes a key pair dir/name (private) and dir/name.pub, with a passphrase or none; false with error set.
bool MakeSshKey(const QString& dir, const QString& name, const QString& passphrase, QString& error);

// sshd on a loopback address and a free port, with a host key made for it. It lets the current user log in
// by the public keys in dir/authorized_keys only (no PAM, no system password), serves SFTP, and is stopped
// at the end. With passwords it also takes password log-ins, checked against the system's own password of
// the account (without PAM).
class TSshServer {
public:
    TSshServer(const QString& dir, const QString& address = "127.0.0.1", bool passwords = false);
    ~TSshServer();

    // 0 when the server did not start; Error() then says why.
    int Port() const { return FPort; }
    const QString& Error() const { return FError; }
    // The account the tests log in as.
    static QString User();
    // Lets the key dir/name.pub log in.
    bool Authorize(const QString& name);
    // A known_hosts line for this server with the given public key file's key, as ssh writes it.
    QString KnownHostsLine(const QString& publicKeyFile) const;

private:
    QString FDir;
    QString FAddress;
    QProcess FProcess;
    int FPort = 0;
    QString FError;
};

// ssh-agent listening in the test's folder; SSH_AUTH_SOCK points at it while it lives.
class TSshAgent {
public:
    explicit TSshAgent(const QString& dir);
    ~TSshAgent();

    bool Running() const { return FError.isEmpty(); }
    const QString& Error() const { return FError; }
    // Adds the private key file (without a passphrase) to the agent.
    bool Add(const QString& keyFile);

private:
    QProcess FProcess;
    QString FSocket;
    QByteArray FSavedSocket;
    bool FHadSocket = false;
    QString FError;
};

// An SSH agent gone silent: a socket in dir that takes connections, reads what is asked and never answers.
// SSH_AUTH_SOCK points at it while it lives.
class TSilentAgent {
public:
    explicit TSilentAgent(const QString& dir);
    ~TSilentAgent();
    TSilentAgent(const TSilentAgent&) = delete;
    TSilentAgent& operator=(const TSilentAgent&) = delete;

    const QString& Path() const { return FPath; }
    // A request has arrived (and will never be answered).
    bool Asked() const { return FAsked; }

private:
    QString FPath;
    int FListener = -1;
    std::atomic<bool> FStop = false;
    std::atomic<bool> FAsked = false;
    std::thread FThread;
    QByteArray FSavedSocket;
    bool FHadSocket = false;
};
