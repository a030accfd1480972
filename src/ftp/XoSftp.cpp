// SFTP client: the helper-thread waits, connecting, the host key check and the log-in.
#include "ftp/XoSftp.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "common/VlxRegularFile.h"

namespace {

// Far above any key (a 16,384-bit RSA key takes 13 KB) and any user's list of known hosts.
constexpr qint64 kMaxKeyFileBytes = 1 << 20;
constexpr qint64 kMaxKnownHostsBytes = 64 << 20;
constexpr qint64 kMaxSshConfigBytes = 16 << 20;

// Milliseconds an abort waits for the call in progress to end by itself before its connection is cut.
constexpr int kAbortGrace = 300;

// For a key file's first reading: no passphrase, and none asked on the terminal. libssh asks only for an
// encrypted key, which is how a key that needs a passphrase is told from a file that holds no key.
int NoPassphrase(const char*, char*, size_t, int, int, void* asked) {
    *static_cast<bool*>(asked) = true;
    return -1;
}

QString KeyTypeOf(ssh_key key) {
    return QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key)));
}

QString HostWithoutBrackets(const QString& host) {
    return host.startsWith('[') && host.endsWith(']') ? host.mid(1, host.size() - 2) : host;
}

// An option libssh holds as text; empty when it holds none.
QString OptionText(ssh_session session, ssh_options_e option) {
    char* value = nullptr;
    if (ssh_options_get(session, option, &value) != SSH_OK || !value)
        return {};
    const QString text = QString::fromUtf8(value);
    ssh_string_free_char(value);
    return text;
}

} // namespace

TXoSftp::TXoSftp(QObject* owner) : QObject(owner), FConnector(new TWirelet(this)) {}

TXoSftp::~TXoSftp() {
    FAbort = true;
    FreeSession();
    for (QString& passphrase : FPassphrases)
        passphrase.fill(QChar(0));
}

// ---- Waiting on the helper thread

int TXoSftp::Await(const std::function<int()>& work, bool agent) {
    std::packaged_task<int()> task(work);
    std::future<int> result = task.get_future();
    std::thread helper(std::move(task));
    QElapsedTimer idle;
    idle.start();
    QElapsedTimer aborted;
    QElapsedTimer stopping; // since the call was to end
    bool byTimeOut = false; // it was to end for the time-out, not for an abort
    qint64 sent = FSent;
    bool cut = false;
    bool agentCut = !agent || FAgentSocket < 0;
    while (result.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
        QCoreApplication::processEvents();
        if (FSent != sent) {
            sent = FSent;
            idle.restart();
            if (OnPacketSent)
                OnPacketSent(this);
        }
        if (FStopFlag && FStopFlag->load())
            FAbort = true;
        if (FAbort && !aborted.isValid())
            aborted.start();
        const bool timedOut = FTimeOut > 0 && idle.elapsed() > FTimeOut;
        if (!stopping.isValid() && (timedOut || (aborted.isValid() && aborted.elapsed() > kAbortGrace))) {
            stopping.start();
            byTimeOut = !aborted.isValid();
        }
        if (!stopping.isValid())
            continue;
        // The helper is inside libssh; a socket shut down makes its wait end at once. The agent goes first:
        // when it was the one that kept silent, the connection to the server stays usable.
        if (!agentCut) {
            ::shutdown(FAgentSocket, SHUT_RDWR);
            agentCut = true;
            FAgentCut = true;
        } else if (!cut && FSocket >= 0 && (!agent || stopping.elapsed() > kAbortGrace)) {
            ::shutdown(FSocket, SHUT_RDWR);
            cut = true;
        }
    }
    helper.join();
    if (cut) {
        FLost = true;
        FCutByTimeOut = byTimeOut;
    }
    if (FSent != sent && OnPacketSent)
        OnPacketSent(this);
    return result.get();
}

bool TXoSftp::IsConnected() const {
    return FSftp != nullptr && !FLost && ssh_is_connected(FSession);
}

void TXoSftp::Abort() {
    FAbort = true;
    FConnector->Cancel();
}

void TXoSftp::SetStopFlag(const std::atomic<bool>* flag) {
    FStopFlag = flag;
    FConnector->SetStopFlag(flag);
}

void TXoSftp::ThrowIfAborted(const QString& what) const {
    if (FAbort)
        throw EAbortError(what + " aborted");
}

// ---- Connecting

void TXoSftp::Connect() {
    if (IsConnected())
        return;
    FreeSession();
    FAbort = false;
    FLost = false;
    FCutByTimeOut = false;
    FLoggedInBy.clear();
    FPosixRename = false;
    FFingerprint.clear();
    FTarget = ConfiguredTarget();
    // A host as typed keeps its brackets: the connector reads them.
    FConnector->SetHost(FTarget.Host == HostWithoutBrackets(FHost) ? FHost : FTarget.Host);
    FConnector->SetPort(FTarget.Port);
    FConnector->SetTimeOut(FTimeOut);
    try {
        FConnector->Connect();
        OpenSession(FConnector->TakeSocket());
        CheckHostKey();
        LogIn();
        OpenSftp();
    } catch (...) {
        FreeSession();
        throw;
    }
}

// Read by libssh on a session of its own that never connects; only the four options are taken from it, so
// that the settings stay what decides the rest. A port other than 22 and a user or key file set win.
TXoSftp::TSshTarget TXoSftp::ConfiguredTarget() const {
    TSshTarget target{HostWithoutBrackets(FHost), FPort, FUserID, FKeyFile};
    const QString file = QDir::homePath() + "/.ssh/config";
    // libssh opens it by name and would wait on a pipe for ever, or read a device without end.
    const TOpenedFile config = OpenRegularFile(file, O_RDONLY, kMaxSshConfigBytes);
    if (config.Fd < 0) {
        if (config.OpenErrno == ENOENT)
            return target;
        throw ESockError("The SSH configuration file " + file + " cannot be used: " + config.Problem +
                         "; the connection was stopped");
    }
    ::close(config.Fd);
    ssh_session probe = ssh_new();
    if (!probe)
        throw ESockError(QString("Cannot start an SSH session"));
    const auto freeProbe = qScopeGuard([probe] { ssh_free(probe); });
    const bool processConfig = false;
    ssh_options_set(probe, SSH_OPTIONS_PROCESS_CONFIG, &processConfig);
    ssh_options_set(probe, SSH_OPTIONS_HOST, target.Host.toUtf8().constData());
    if (ssh_options_parse_config(probe, QFile::encodeName(file).constData()) != SSH_OK)
        throw ESockError("The SSH configuration file " + file + " cannot be read: " +
                         QString::fromUtf8(ssh_get_error(probe)) + "; the connection was stopped");
    if (const QString host = OptionText(probe, SSH_OPTIONS_HOST); !host.isEmpty())
        target.Host = host;
    unsigned int port = 0;
    if (FPort == 22 && ssh_options_get_port(probe, &port) == SSH_OK && port > 0 && port <= 65535)
        target.Port = static_cast<int>(port);
    if (FUserID.isEmpty())
        target.User = OptionText(probe, SSH_OPTIONS_USER);
    // libssh lists its own defaults as "%d/id_..." behind any the file names.
    if (const QString identity = OptionText(probe, SSH_OPTIONS_IDENTITY);
        FKeyFile.isEmpty() && !identity.isEmpty() && !identity.startsWith("%d/"))
        target.KeyFile = identity;
    return target;
}

void TXoSftp::OpenSession(int socket) {
    FSession = ssh_new();
    if (!FSession) {
        ::close(socket);
        throw ESockError(QString("Cannot start an SSH session"));
    }
    // Kept to cut it and to close it at the end: libssh leaves a socket it was given open.
    FSocket = socket;
    struct stat status {};
    FSocketInode = ::fstat(socket, &status) == 0 ? status.st_ino : 0;
    // Each SFTP request is a small packet waiting for its answer: without this, delayed acknowledgements
    // hold every one back for tens of milliseconds.
    const int noDelay = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    ssh_options_set(FSession, SSH_OPTIONS_FD, &socket);
    ssh_options_set(FSession, SSH_OPTIONS_HOST, FTarget.Host.toUtf8().constData());
    const unsigned port = static_cast<unsigned>(FTarget.Port);
    ssh_options_set(FSession, SSH_OPTIONS_PORT, &port);
    ssh_options_set(FSession, SSH_OPTIONS_USER, FTarget.User.toUtf8().constData());
    // Only what ConfiguredTarget took from ~/.ssh/config counts: none of its other settings.
    const bool processConfig = false;
    ssh_options_set(FSession, SSH_OPTIONS_PROCESS_CONFIG, &processConfig);
    // The home folder is $HOME, where a key file's "~/" is looked for too, rather than the account's entry
    // that libssh would read: a session run with another HOME keeps its own known hosts.
    const QString knownHosts =
        FKnownHostsFile.isEmpty() ? QDir::homePath() + "/.ssh/known_hosts" : FKnownHostsFile;
    // libssh opens it by name and would wait on a pipe for ever, or read a device without end.
    const TOpenedFile hosts = OpenRegularFile(knownHosts, O_RDONLY, kMaxKnownHostsBytes);
    if (hosts.Fd >= 0)
        ::close(hosts.Fd);
    else if (hosts.OpenErrno == 0)
        throw ESockError("The known hosts file " + knownHosts + " cannot be used: " + hosts.Problem +
                         "; the connection was stopped");
    ssh_options_set(FSession, SSH_OPTIONS_KNOWNHOSTS, knownHosts.toUtf8().constData());
    if (FTimeOut > 0) {
        const long seconds = (FTimeOut + 999) / 1000;
        ssh_options_set(FSession, SSH_OPTIONS_TIMEOUT, &seconds);
    }
    const int rc = Await([session = FSession] { return ssh_connect(session); });
    ThrowIfAborted("Connection");
    if (rc != SSH_OK)
        throw ESockError("SSH connection to " + FHost + " port " + QString::number(FTarget.Port) +
                             " failed: " + QString::fromUtf8(ssh_get_error(FSession)),
                         FLost ? LostKind() : TNetFailure::Other);
}

// Only a key known for this host, or one the user accepts on seeing its fingerprint, is talked to; a key
// that changed is refused with no way past it here.
void TXoSftp::CheckHostKey() {
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(FSession, &key) != SSH_OK)
        throw ESockError("No host key from " + FHost);
    const auto freeKey = qScopeGuard([key] { ssh_key_free(key); });
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        throw ESockError("Cannot read the host key of " + FHost);
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    FFingerprint = QString::fromLatin1(text);
    ssh_string_free_char(text);
    const QString file = FKnownHostsFile.isEmpty() ? "~/.ssh/known_hosts" : FKnownHostsFile;
    switch (ssh_session_is_known_server(FSession)) {
    case SSH_KNOWN_HOSTS_OK:
        return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
        throw EIdentityError("WARNING: the host key of " + FHost + " has changed (it is now " + FFingerprint +
                             ", " + KeyTypeOf(key) +
                             "). Someone may be listening in, or the server was set up anew. The connection "
                             "was stopped. If the change is expected, remove the old key of " +
                             FHost + " from " + file);
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN:
        break;
    default:
        throw ESockError("Cannot check the host key of " + FHost + " against " + file + ": " +
                         QString::fromUtf8(ssh_get_error(FSession)));
    }
    const QString question = "The host key of " + FHost + " is not known yet.\nIts SHA-256 fingerprint is " +
                             FFingerprint + " (" + KeyTypeOf(key) + ").\nConnect and add it to " + file + "?";
    if (!OnHostKeyQuestion || !OnHostKeyQuestion(question))
        throw EIdentityError("The host key of " + FHost + " (" + FFingerprint +
                             ") is not known and was not accepted: the connection was stopped");
    if (ssh_session_update_known_hosts(FSession) != SSH_OK)
        throw ESockError("Cannot add the host key of " + FHost + " to " + file + ": " +
                         QString::fromUtf8(ssh_get_error(FSession)));
}

// The key file first when it opens without a question, so that an agent with many keys does not use up the
// tries the server allows before it; then the agent, then the key file that needs its passphrase (without
// one, the default keys), then the password: the first that the server accepts.
void TXoSftp::LogIn() {
    if (Await([s = FSession] { return ssh_userauth_none(s, nullptr); }) == SSH_AUTH_SUCCESS) {
        FLoggedInBy = "none";
        return;
    }
    ThrowIfAborted("Log-in");
    const int methods = ssh_userauth_list(FSession, nullptr);
    QStringList tried;
    bool passwordTried = false;
    const bool keyFile = !FTarget.KeyFile.isEmpty() && (methods & SSH_AUTH_METHOD_PUBLICKEY);
    bool keyFileAsks = false;
    if (keyFile) {
        if (LogInWithKeyFile(FTarget.KeyFile, false, &keyFileAsks)) {
            FLoggedInBy = "key file";
            return;
        }
        if (!keyFileAsks)
            tried << "key file " + FTarget.KeyFile;
    }
    if (FUseAgent && (methods & SSH_AUTH_METHOD_PUBLICKEY) && qEnvironmentVariableIsSet("SSH_AUTH_SOCK")) {
        FAgentCut = false;
        FAgentSocket = ConnectAgent();
        const int rc = FAgentSocket < 0
                           ? SSH_AUTH_DENIED
                           : Await([s = FSession] { return ssh_userauth_agent(s, nullptr); }, true);
        tried << (FAgentCut ? QString("agent (no answer within %1 s)").arg(FTimeOut / 1000.0)
                            : QString(FAgentSocket < 0 ? "agent (cannot be reached)" : "agent"));
        if (rc == SSH_AUTH_SUCCESS) {
            FLoggedInBy = "agent";
            return;
        }
        ThrowIfAborted("Log-in");
    }
    if (keyFileAsks) {
        tried << "key file " + FTarget.KeyFile;
        if (LogInWithKeyFile(FTarget.KeyFile, false)) {
            FLoggedInBy = "key file";
            return;
        }
    } else if (!keyFile && (methods & SSH_AUTH_METHOD_PUBLICKEY)) {
        if (LogInWithDefaultKeys(tried)) {
            FLoggedInBy = "key file";
            return;
        }
    }
    if (!FPassword.isEmpty() && (methods & SSH_AUTH_METHOD_PASSWORD)) {
        tried << "password";
        passwordTried = true;
        const QByteArray password = FPassword.toUtf8();
        if (Await([s = FSession, &password] {
                return ssh_userauth_password(s, nullptr, password.constData());
            }) == SSH_AUTH_SUCCESS) {
            FLoggedInBy = "password";
            return;
        }
        ThrowIfAborted("Log-in");
    } else if (!FPassword.isEmpty() && (methods & SSH_AUTH_METHOD_INTERACTIVE)) {
        tried << "password";
        passwordTried = true;
        if (LogInInteractive()) {
            FLoggedInBy = "password";
            return;
        }
    }
    if (FLost)
        throw ESockError("Connection to " + FHost + " lost during the log-in", LostKind());
    throw ESockError("Log-in as " + FTarget.User + " at " + FHost + " refused (tried: " +
                         (tried.isEmpty() ? QString("nothing the server accepts") : tried.join(", ")) + ")",
                     passwordTried ? TNetFailure::PasswordRefused : TNetFailure::LogInRefused);
}

// libssh talks to the agent in blocking reads and writes: over a socket of ours, which Await can cut when the
// agent keeps silent. The connection itself is made at once or not at all (a local socket).
int TXoSftp::ConnectAgent() {
    const QByteArray path = qgetenv("SSH_AUTH_SOCK");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ssh_set_agent_socket(FSession, fd) != SSH_OK) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// As ssh does without a key named: each of the user's usual key files that is there, in ssh's order.
bool TXoSftp::LogInWithDefaultKeys(QStringList& tried) {
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const QString keyFile = QString("~/.ssh/") + name;
        if (!QFileInfo::exists(QDir::homePath() + keyFile.mid(1)))
            continue;
        tried << "key file " + keyFile;
        if (LogInWithKeyFile(keyFile, true))
            return true;
        if (FLost)
            return false;
    }
    return false;
}

// An encrypted key asks for its passphrase, again after a wrong one, until the user gives none (or the same
// wrong one again: a handler with one fixed answer would be asked for ever).
bool TXoSftp::LogInWithKeyFile(const QString& keyFile, bool optional, bool* wouldAsk) {
    const QString file = keyFile.startsWith("~/") ? QDir::homePath() + keyFile.mid(1) : keyFile;
    // Read here, not by libssh, which would wait on a pipe for ever or read a device without end.
    TReadFile read = ReadRegularFile(file, kMaxKeyFileBytes);
    const auto forget = qScopeGuard([&read] { read.Bytes.fill('\0'); });
    if (!read.Problem.isEmpty()) {
        if (optional)
            return false;
        throw ESockError("Key file " + keyFile + " cannot be read: " + read.Problem);
    }
    const QByteArray& text = read.Bytes;
    ssh_key key = nullptr;
    bool encrypted = false; // set when libssh asks for a passphrase: the file holds a key, encrypted
    int rc = ssh_pki_import_privkey_base64(text.constData(), nullptr, NoPassphrase, &encrypted, &key);
    if (rc != SSH_OK && !encrypted) {
        if (optional)
            return false;
        throw ESockError(
            "Key file " + keyFile +
            " holds no private key that can be read (OpenSSH or PEM format): the log-in was stopped");
    }
    const auto import = [&](const QString& passphrase) {
        return ssh_pki_import_privkey_base64(text.constData(), passphrase.toUtf8().constData(), nullptr,
                                             nullptr, &key);
    };
    if (const auto kept = FPassphrases.constFind(file); rc != SSH_OK && kept != FPassphrases.constEnd()) {
        rc = import(*kept);
        if (rc != SSH_OK)
            FPassphrases.remove(file);
    }
    if (rc != SSH_OK && wouldAsk) {
        *wouldAsk = true;
        return false;
    }
    QString prompt = "Passphrase for key file " + keyFile + ":";
    QString wrong;
    bool given = false;
    while (rc != SSH_OK) {
        QString passphrase;
        if (!OnPassphrase || !OnPassphrase(prompt, passphrase) || (given && passphrase == wrong)) {
            if (optional)
                return false;
            throw ESockError("Key file " + keyFile +
                             (given ? " did not take the passphrase given" : " needs its passphrase") +
                             ": the log-in was stopped");
        }
        given = true;
        rc = import(passphrase);
        if (rc == SSH_OK)
            FPassphrases.insert(file, passphrase);
        wrong = passphrase;
        prompt = "Wrong passphrase. Passphrase for key file " + keyFile + ":";
    }
    const auto freeKey = qScopeGuard([key] { ssh_key_free(key); });
    const int result = Await([s = FSession, key] { return ssh_userauth_publickey(s, nullptr, key); });
    ThrowIfAborted("Log-in");
    return result == SSH_AUTH_SUCCESS;
}

// Servers that ask for the password by keyboard-interactive prompts get it for each hidden prompt.
bool TXoSftp::LogInInteractive() {
    const QByteArray password = FPassword.toUtf8();
    const int rc = Await([s = FSession, &password] {
        int state = ssh_userauth_kbdint(s, nullptr, nullptr);
        for (int round = 0; state == SSH_AUTH_INFO && round < 4; ++round) {
            const int prompts = ssh_userauth_kbdint_getnprompts(s);
            for (int i = 0; i < prompts; ++i) {
                char echo = 0;
                ssh_userauth_kbdint_getprompt(s, static_cast<unsigned>(i), &echo);
                ssh_userauth_kbdint_setanswer(s, static_cast<unsigned>(i), echo ? "" : password.constData());
            }
            state = ssh_userauth_kbdint(s, nullptr, nullptr);
        }
        return state;
    });
    ThrowIfAborted("Log-in");
    return rc == SSH_AUTH_SUCCESS;
}

void TXoSftp::OpenSftp() {
    sftp_session sftp = nullptr;
    char* home = nullptr;
    bool posixRename = false;
    Await([s = FSession, &sftp, &home, &posixRename] {
        sftp = sftp_new(s);
        if (sftp && sftp_init(sftp) != SSH_OK) {
            sftp_free(sftp);
            sftp = nullptr;
        }
        if (sftp) {
            home = sftp_canonicalize_path(sftp, ".");
            posixRename = sftp_extension_supported(sftp, "posix-rename@openssh.com", "1") != 0;
        }
        return 0;
    });
    if (!sftp)
        throw ESockError("The SFTP service of " + FHost +
                             " is not available: " + QString::fromUtf8(ssh_get_error(FSession)),
                         FLost ? LostKind() : TNetFailure::Other);
    FSftp = sftp;
    FPosixRename = posixRename;
    FDir = home ? QString::fromUtf8(home) : QString("/");
    ssh_string_free_char(home);
    ThrowIfAborted("Connection");
}

void TXoSftp::Disconnect() {
    FreeSession();
}

// The socket shut down first: libssh's goodbye then fails at once instead of waiting on a full buffer.
void TXoSftp::DisconnectAtOnce() {
    if (FSession && FSocket >= 0) {
        ::shutdown(FSocket, SHUT_RDWR);
        FLost = true;
    }
    FreeSession();
}

// A connection still there is closed properly; one cut is only freed.
void TXoSftp::FreeSession() {
    if (!FSession)
        return;
    if (!FLost) {
        const bool aborted = FAbort;
        FAbort = false;
        Await([s = FSession, sftp = FSftp] {
            if (sftp)
                sftp_free(sftp);
            ssh_disconnect(s);
            return 0;
        });
        FAbort = aborted;
    } else if (FSftp) {
        sftp_free(FSftp);
    }
    FSftp = nullptr;
    ssh_free(FSession);
    FSession = nullptr;
    FAgentSocket = -1; // closed by libssh with the session
    // Unless libssh closed it after all (and the number names another file now).
    struct stat status {};
    if (::fstat(FSocket, &status) == 0 && status.st_ino == FSocketInode)
        ::close(FSocket);
    FSocket = -1;
}
