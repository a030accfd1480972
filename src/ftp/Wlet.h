// Socket layer: one TCP socket (IPv4 or IPv6) with blocking-style operations that keep the event loop
// running.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include <netinet/in.h>
#include <sys/types.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include "common/VlxTypes.h"

class QSocketNotifier;
class QTimer;
struct ssl_st;
struct ssl_session_st;

// What a failure of a connection or a server was, set where the reply or the socket's state is read, so
// that callers decide on it rather than on the words of the message (which are for people).
enum class TNetFailure : quint8 {
    Other,
    Refused,         // the server refused an operation (a folder, a file); the connection stays
    PasswordRefused, // the log-in was refused with the password offered: FTP's 530 to PASS, SSH after it
    LogInRefused,    // the log-in was refused before any password was offered (530 to USER, SSH keys only)
    Lost,            // the connection ended under the operation: closed by the server, reset, cut
    Aborted,         // Abort or Cancel (the user, a signal)
    TimedOut,        // no answer, or no progress, within the time-out
    Identity,        // a host key that changed, or a host key or certificate that was not trusted
};

// The failures the network units throw carry their kind.
class ENetError : public Exception {
public:
    explicit ENetError(const QString& message, TNetFailure kind = TNetFailure::Other)
        : Exception(message), FKind(kind) {}

    TNetFailure Kind() const { return FKind; }

private:
    TNetFailure FKind;
};

// The kind of any failure: Other for one that is no ENetError (a local file that cannot be read).
TNetFailure FailureOf(const std::exception& error);
TNetFailure FailureOf(const std::exception_ptr& error);

// Socket and connection failures.
class ESockError : public ENetError {
public:
    using ENetError::ENetError;
};

// A server refused an operation (a folder that cannot be entered, a file it will not take); the connection
// stays usable. The message is the server's reason.
class ERemoteRefusal : public ENetError {
public:
    explicit ERemoteRefusal(const QString& message, TNetFailure kind = TNetFailure::Refused)
        : ENetError(message, kind) {}
};

// The server is not the one it should be: a host key other than the known one, or one (or a certificate)
// not trusted. Someone may be listening in.
class EIdentityError : public ESockError {
public:
    explicit EIdentityError(const QString& message) : ESockError(message, TNetFailure::Identity) {}
};

// An operation ended by a cancel request.
class EAbortError : public ESockError {
public:
    explicit EAbortError(const QString& message) : ESockError(message, TNetFailure::Aborted) {}
};

// The certificate a TLS peer presented, for the user to decide on one that could not be verified.
struct TTlsPeer {
    QString Subject;
    QString Issuer;
    QString Sha256;  // upper-case hex pairs joined by colons, as certificate viewers show it
    QString Problem; // why it could not be verified (trust store, host name); empty when it was
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TOnErrorEvent = std::function<void(QObject* Sender, quint16 Errno, const QString& Errmsg)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;
using TOnStatus = std::function<void(QObject* Sender, const QString& Status)>;
using THandlerEvent = std::function<void(bool& Handled)>;

// Notification kinds: socket events, and name-lookup completions (or arrivals at a socket listened on with
// them).
inline constexpr int WM_SOCKETEVENT = 1125;
inline constexpr int WM_SOCKETLOOKUP = 1126;
inline constexpr int FD_READ = 1;
inline constexpr int FD_OOB = 4;
inline constexpr int FD_ACCEPT = 8;
inline constexpr int FD_CONNECT = 16;
inline constexpr int FD_CLOSE = 32;

// The socket error numbers the error texts are keyed on.
inline constexpr int kErrWouldBlock = 10035;
inline constexpr int kErrNotConnected = 10057;
inline constexpr int kErrHostNotFound = 11001;

// Time-out timer: raises OnTimer every Interval milliseconds while enabled. Despite its name it uses no
// thread.
class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* owner = nullptr);
    ~TThreadTimer() override;

    unsigned Interval() const { return FInterval; }
    void SetInterval(unsigned value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    void SetOnTimer(TNotifyEvent handler);

private:
    void Rearm();

    unsigned FInterval = 1000;
    QTimer* FWindowTimer;
    TNotifyEvent FOnTimer;
    bool FEnabled = true;
};

// Owns one TCP socket; every wait sleeps up to 2 ms and processes pending events until a flag, the
// time-out or a cancel ends it, so callers on the user-interface thread keep the window alive.
class TWirelet : public QObject {
public:
    explicit TWirelet(QObject* owner = nullptr);
    ~TWirelet() override;

    virtual void Connect();
    virtual void Disconnect();
    virtual QString Transaction(const QString& command);
    virtual void Abort();
    virtual int Accept();

    void CheckConnection();
    void Cancel();
    // While the flag is set every wait ends as Cancel ends it. Set from another thread, it reaches a wait
    // whose thread is busy elsewhere: how the connections of one upload are all stopped at once. Not owned;
    // null: none.
    void SetStopFlag(const std::atomic<bool>* flag) { FStopFlag = flag; }
    const std::atomic<bool>* StopFlag() const { return FStopFlag; }
    void SendBuffer(const char* text, int length);
    void Write(const QString& text);
    void Writeln(const QString& text);
    QByteArray Read(int count);
    QString ReadLn();
    // From byte offset on: the rest of a file stored in part before.
    void SendFile(const QString& path, qint64 offset = 0);
    void Listen(bool useLookupMessage);
    // Makes a socket returned by Accept this instance's socket, closing the listening one.
    void UseSocket(int handle);
    bool DataAvailable();
    void ClearInput();
    void CloseSocket();
    // Linger on with 0 seconds makes a close reset the connection; off lets unsent data drain first.
    void SetLinger(bool on);
    QString ErrorMessageFor(int errorNumber);
    QString LocalAddressText();
    QString LocalPortText();
    // The address family of the socket: AF_INET, or AF_INET6 once connected to an IPv6 address.
    int Family() const { return FFamily; }
    // Makes a fresh unconnected socket of that family (for listening beside an IPv6 connection).
    void SetFamily(int family);
    // The local address as plain text ("::1", "127.0.0.1") and port, for EPRT.
    QString LocalAddress();
    int LocalPort();
    // Hands the connected socket over to the caller, who closes it; this instance is left unconnected with
    // a fresh socket.
    int TakeSocket();

    // TLS as the client on the connected socket, with the waits, time-out and cancel of the other
    // operations. The certificate is checked against the system's trust store and the host name; the outcome
    // is in TlsPeer, for the caller to decide on. session: one to resume (from another connection to the
    // same server), or none.
    void StartTls(ssl_session_st* session = nullptr);
    bool TlsActive() const { return FSsl != nullptr; }
    // "TLS 1.3"; empty without TLS.
    QString TlsVersion() const;
    const TTlsPeer& TlsPeer() const { return FTlsPeer; }
    bool TlsResumed() const;
    // The session to resume on another connection (the latest ticket of TLS 1.3); free with FreeTlsSession.
    ssl_session_st* TlsSession() const;
    static void FreeTlsSession(ssl_session_st* session);
    // Drops TLS without a close_notify: the peer sees the data cut short, not complete.
    void AbandonTls();
    // Ends TLS on a connection given up (a transfer aborted or stalled): completes a record cut short and
    // sends the close_notify, each within waitMs, then frees TLS; the session stays resumable either way.
    // Returns whether the close_notify went out; a close that lets it drain then reaches the peer.
    bool EndTls(int waitMs);

    const QString& Host() const { return FHost; }
    void SetHost(const QString& value) { FHost = value; }
    int Port() const { return FPort; }
    void SetPort(int value) { FPort = value; }
    int TimeOut() const { return FTimeOut; }
    void SetTimeOut(int value) { FTimeOut = value; }
    int ReportLevel() const { return FReportLevel; }
    void SetReportLevel(int value) { FReportLevel = value; }
    const QString& Proxy() const { return FProxy; }
    void SetProxy(const QString& value) { FProxy = value; }
    quint16 ProxyPort() const { return FProxyPort; }
    void SetProxyPort(quint16 value) { FProxyPort = value; }

    bool IsConnected() const { return FIsConnected; }
    qint64 SentCount() const { return FSentCount; }
    qint64 TransferSize() const { return FTransferSize; }
    void SetTransferSize(qint64 value) { FTransferSize = value; }
    const QString& LastReplyText() const { return FLastReplyText; }
    int ReplyCode() const { return FReplyCode; }
    int LastSocketError() const { return FLastSocketError; }
    const QString& StatusText() const { return FStatusText; }
    const QStringList& StackInfo() const { return FStackInfo; }
    // While OnDisconnect runs: the peer closed the connection (rather than this side).
    bool PeerClosed() const { return FPeerClosed; }
    // The last timed wait ended by the time-out.
    bool TimedOut() const { return FTimedOut; }
    // Lines read wait at most until this deadline, however steadily they come, so that a reply or a
    // listing of many lines is bounded as a whole; Forever: each line waits the time-out only.
    const QDeadlineTimer& ReadDeadline() const { return FReadDeadline; }
    void SetReadDeadline(const QDeadlineTimer& deadline) { FReadDeadline = deadline; }
    // What a line read waits for, as a time-out names it ("answer CWD"); empty: "Reply timed out" alone.
    void SetReadStep(const QString& step) { FReadStep = step; }

    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    TOnErrorEvent OnError;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    THandlerEvent OnConnectionRequired;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;

    // The socket error numbering of the error texts for a POSIX errno value.
    static int SocketErrorOf(int posixErrno);
    // The kind of failure a socket error number is: a reset or a connection gone is Lost.
    static TNetFailure FailureOfSocketError(int errorNumber);
    // Error text of a socket error number: "10061:Connection refused", "Unknown Error No. 12345", "" for 0.
    static QString ErrorText(int errorNumber);
    // The number at the start of a reply line (at most 10 digits), 0 when there is none or it does not fit.
    static int ReplyCodeOf(const QString& line);

protected:
    void Report(int level, const QString& text);
    QString ErrorCheck(int ignoredErrno);
    void ResolveHost();
    // The time-out timer for ms milliseconds; -1: the time-out.
    void TimerOn(int ms = -1);
    void TimerOff();
    void TimerTriggered();
    // Processes pending events, then sleeps up to 2 ms or until the socket is ready for `events` (poll
    // flags).
    void WaitStep(short events = 0);
    // Lets the next arrival of data raise a read notification again; called once pending input was read.
    void RearmRead();
    // Closes a connection the peer gave up (or announced it gives up), telling OnDisconnect so.
    void CloseByPeer();

    std::function<void(QObject*)> FReadHook;
    std::function<void(QObject*)> FAcceptHook;
    bool FCanceled = false;
    bool FClosing = false;
    bool FTimedOut = false;
    QString FLastReplyText;
    int FReplyCode = 0;
    QDeadlineTimer FReadDeadline{QDeadlineTimer::Forever};
    QString FReadStep;
    const std::atomic<bool>* FStopFlag = nullptr;

private:
    void InitWinsock();
    void NewSocket();
    void DropSocket();
    void SocketEvent(int message, int event, int error);
    void ReadReady();
    void WriteReady();
    // recv and send on the socket, or on its TLS layer: > 0 bytes, 0 the peer closed, -1 with errno
    // (EAGAIN: nothing yet). A TLS failure throws.
    ssize_t Peek(char* data, size_t length);
    ssize_t Take(char* data, size_t length);
    ssize_t Put(const char* data, size_t length);
    // Decrypts what has arrived into FTlsIn; false when nothing could be added.
    bool TlsFill();
    // Sends the close_notify (bounded wait), then frees the TLS layer.
    void TlsShutdown();
    void FreeTls();
    void FailTls(const QString& what, int result);
    void HostLookedUp(int error, const QHostAddress& address);
    void ConnectionFailed(const QString& message);
    QString ConnectionFailureText() const;
    // One connection attempt to FRemoteAddr; true when it came about.
    bool TryConnect();
    void Send(const char* data, qint64 length, bool countPackets);
    // Runs work with the time-out timer on; the timer is off again however work ends.
    void Timed(const std::function<void()>& work);
    // The same for ms milliseconds (-1: the time-out).
    void Timed(int ms, const std::function<void()>& work);
    QString ReadTimedOutText() const;
    // After timed work: a time-out or a cancel ends it with an error, and the cancel is cleared.
    void ThrowIfStopped(const QString& timedOutMessage, const QString& abortedMessage);

    std::unique_ptr<char[]> FBuffer;
    QStringList FStackInfo;
    qint64 FSentCount = 0;
    int FLastSocketError = 0;
    int FTimeOut = 0;
    int FReportLevel = 0;
    QString FStatusText;
    QString FProxy;
    quint16 FProxyPort = 0;
    TThreadTimer* FTimer;
    bool FEventOk = true;
    int FPort = 0;
    qint64 FTransferSize = 0;
    bool FEventArrived = false;
    sockaddr_storage FRemoteAddr{};
    socklen_t FRemoteLength = 0; // 0: no remote address
    QString FHost;
    int FSocket = -1;
    QSocketNotifier* FReadNotifier;
    QSocketNotifier* FWriteNotifier;
    bool FIsConnected = false;
    bool FConnecting = false;
    bool FListening = false;
    bool FPeerClosed = false;
    int FListenMessage = WM_SOCKETEVENT;
    int FLookupId = -1;
    QHostAddress FLookupAddress;
    QList<QHostAddress> FAddresses; // what the name resolved to; none for a literal address
    int FFamily = AF_INET;
    ssl_st* FSsl = nullptr;
    QByteArray FTlsIn; // decrypted bytes not read yet
    bool FTlsEof = false;
    bool FLingerOn = true;
    bool FTlsBroken = false;             // a fatal TLS error: no close_notify can follow
    const char* FTlsRetryData = nullptr; // a send TLS could not finish, which it must be given again
    int FTlsRetryLength = 0;
    TTlsPeer FTlsPeer;
};
