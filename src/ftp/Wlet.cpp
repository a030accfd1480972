// Socket layer: construction, notifications, name lookup, connecting, listening and accepting.
#include "ftp/Wlet.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QHostInfo>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

namespace {

// Instances using the socket layer, process-wide; the first one fills its StackInfo.
int gSocketUsers = 0;

constexpr int kBufferSize = 65537;

} // namespace

// ---- TThreadTimer

TThreadTimer::TThreadTimer(QObject* owner) : QObject(owner), FWindowTimer(new QTimer(this)) {
    QObject::connect(FWindowTimer, &QTimer::timeout, this, [this] {
        if (FOnTimer)
            FOnTimer(this);
    });
}

TThreadTimer::~TThreadTimer() {
    FEnabled = false;
    Rearm();
}

void TThreadTimer::SetInterval(unsigned value) {
    if (value == FInterval)
        return;
    FInterval = value;
    Rearm();
}

void TThreadTimer::SetEnabled(bool value) {
    if (value == FEnabled)
        return;
    FEnabled = value;
    Rearm();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler) {
    FOnTimer = std::move(handler);
    Rearm();
}

void TThreadTimer::Rearm() {
    FWindowTimer->stop();
    if (FInterval != 0 && FEnabled && FOnTimer)
        FWindowTimer->start(static_cast<int>(FInterval));
}

// ---- TWirelet: life cycle

TWirelet::TWirelet(QObject* owner)
    : QObject(owner), FBuffer(new char[kBufferSize]), FTimer(new TThreadTimer(this)),
      FReadNotifier(new QSocketNotifier(QSocketNotifier::Read, this)),
      FWriteNotifier(new QSocketNotifier(QSocketNotifier::Write, this)) {
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    QObject::connect(FReadNotifier, &QSocketNotifier::activated, this, [this] { ReadReady(); });
    QObject::connect(FWriteNotifier, &QSocketNotifier::activated, this, [this] { WriteReady(); });
    Report(8, "Create");
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](QObject*) { TimerTriggered(); });
    InitWinsock();
}

TWirelet::~TWirelet() {
    // Set first: handlers of an instance that is going away are not called any more.
    FClosing = true;
    Report(8, "Destroy");
    TWirelet::Abort();
    Cancel();
    FTimer->SetEnabled(false);
    if (FLookupId >= 0)
        QHostInfo::abortHostLookup(FLookupId);
    try {
        CloseSocket();
    } catch (const Exception&) {
        // Nothing can be done about a failing close while the instance goes away.
    }
    --gSocketUsers;
}

void TWirelet::InitWinsock() {
    Report(8, "Initializing Winsock");
    if (gSocketUsers == 0) {
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        FStackInfo << "Version= 1.1"
                   << "High Version= 2.2"
                   << "Description= POSIX sockets, Qt " + QString::fromLatin1(qVersion()) << "System= Running"
                   << "Max Sockets= " + QString::number(files.rlim_cur) << "Max Udp pack size= 65507";
    }
    ++gSocketUsers;
    try {
        NewSocket();
    } catch (const ESockError&) {
        --gSocketUsers;
        throw;
    }
}

void TWirelet::NewSocket() {
    FSocket = ::socket(FFamily, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (FSocket < 0)
        throw ESockError(QString("Initializaton of windows sockets failed"));
    SetLinger(true);
    FReadNotifier->setSocket(FSocket);
    FWriteNotifier->setSocket(FSocket);
    FListening = false;
    FConnecting = false;
}

// Closes the socket without making a new one; the notifiers let go of it first.
void TWirelet::DropSocket() {
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    AbandonTls();
    ::close(FSocket);
    FSocket = -1;
}

void TWirelet::SetLinger(bool on) {
    FLingerOn = on;
    const linger value{on ? 1 : 0, 0};
    ::setsockopt(FSocket, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

void TWirelet::Report(int level, const QString& text) {
    if (level > FReportLevel)
        return;
    FStatusText = text;
    if (FClosing || !OnStatus)
        return;
    try {
        OnStatus(this, text);
    } catch (...) {
        // A status display must never end the operation it reports on.
    }
}

// ---- Notifications

void TWirelet::ReadReady() {
    if (FListening) {
        SocketEvent(FListenMessage, FD_ACCEPT, 0);
        return;
    }
    char probe;
    ssize_t n = -1;
    try {
        n = Peek(&probe, 1);
    } catch (const ESockError&) {
        // A broken TLS layer: the connection is over, as with a reset.
        n = 0;
    }
    if (n > 0) {
        // One notification per arrival: unread data must not fire again on every pass of the event loop.
        // Reading re-arms the notifier (RearmRead).
        FReadNotifier->setEnabled(false);
        SocketEvent(WM_SOCKETEVENT, FD_READ, 0);
    } else if (n == 0) {
        SocketEvent(WM_SOCKETEVENT, FD_CLOSE, 0);
    } else if (errno != EAGAIN && errno != EINTR) {
        SocketEvent(WM_SOCKETEVENT, FD_CLOSE, SocketErrorOf(errno));
    }
}

void TWirelet::CloseByPeer() {
    FPeerClosed = true;
    const auto reset = qScopeGuard([this] { FPeerClosed = false; });
    CloseSocket();
}

void TWirelet::RearmRead() {
    if (FSocket >= 0 && FIsConnected && !FListening)
        FReadNotifier->setEnabled(true);
}

void TWirelet::WriteReady() {
    FWriteNotifier->setEnabled(false);
    if (!FConnecting)
        return;
    FConnecting = false;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &error, &length);
    SocketEvent(WM_SOCKETEVENT, FD_CONNECT, SocketErrorOf(error));
}

void TWirelet::SocketEvent(int message, int event, int error) {
    FEventOk = error == 0;
    try {
        if (message == WM_SOCKETLOOKUP) {
            FEventArrived = true;
            if (event == FD_ACCEPT) {
                FIsConnected = true;
                // Accept takes the connection; until then the pending arrival would keep firing.
                FReadNotifier->setEnabled(false);
            }
            return;
        }
        switch (event) {
        case FD_READ:
            if (FReadHook)
                FReadHook(this);
            break;
        case FD_ACCEPT:
            FIsConnected = true;
            FReadNotifier->setEnabled(false);
            if (FAcceptHook)
                FAcceptHook(this);
            break;
        case FD_CONNECT:
            // Only a connection that came about counts as one; a failed attempt leaves the socket
            // unconnected.
            if (FEventOk) {
                FIsConnected = true;
                FReadNotifier->setEnabled(true);
                if (OnConnect)
                    OnConnect(this);
            } else {
                FLastSocketError = error;
            }
            break;
        case FD_CLOSE:
            // While unread data remains the instance stays connected; the close is seen again once it is
            // read.
            if (!DataAvailable())
                CloseByPeer();
            break;
        default:
            break;
        }
    } catch (...) {
        // Notifications arrive from the event loop, which has no one to hand an error to.
    }
}

// ---- Waits and the time-out timer

void TWirelet::WaitStep(short events) {
    QCoreApplication::processEvents();
    if (FStopFlag && FStopFlag->load()) {
        FCanceled = true;
        return;
    }
    if (events != 0 && FSocket >= 0) {
        pollfd entry{FSocket, events, 0};
        ::poll(&entry, 1, 2);
    } else {
        ::usleep(2000);
    }
}

void TWirelet::TimerOn(int ms) {
    Report(8, "Timer On");
    FTimedOut = false;
    if (ms < 0)
        ms = FTimeOut;
    FTimer->SetInterval(static_cast<unsigned>(ms > 0 ? ms : 0));
    FTimer->SetEnabled(true);
}

void TWirelet::TimerOff() {
    Report(8, "Timer Off");
    FTimer->SetEnabled(false);
}

void TWirelet::TimerTriggered() {
    Report(8, "Timer Triggered");
    TimerOff();
    FTimedOut = true;
    FEventArrived = true;
    Abort();
}

void TWirelet::Cancel() {
    Report(8, "Canceling");
    FCanceled = true;
}

void TWirelet::Abort() {
    Report(8, "Abort");
    Cancel();
}

// ---- Errors

QString TWirelet::ErrorMessageFor(int errorNumber) {
    Report(8, "Looking Up Error Message " + QString::number(errorNumber));
    return ErrorText(errorNumber);
}

QString TWirelet::ErrorCheck(int ignoredErrno) {
    FLastSocketError = SocketErrorOf(errno);
    if (FLastSocketError == ignoredErrno || FLastSocketError <= 10000)
        return {};
    const QString text = ErrorMessageFor(FLastSocketError);
    if (OnError)
        OnError(this, static_cast<quint16>(FLastSocketError), text);
    throw ESockError(text, FailureOfSocketError(FLastSocketError));
}

// ---- Name lookup and connecting

void TWirelet::HostLookedUp(int error, const QHostAddress& address) {
    FLookupId = -1;
    FLookupAddress = address;
    SocketEvent(WM_SOCKETLOOKUP, 0, error);
}

namespace {

// A literal IPv6 address may be written in brackets, as in an address line: [::1].
QString WithoutBrackets(const QString& name) {
    if (name.startsWith('[') && name.endsWith(']'))
        return name.mid(1, name.size() - 2);
    return name;
}

// The address with a port as a socket address; its length, 0 for an address of neither family.
socklen_t SocketAddressOf(const QHostAddress& address, int port, sockaddr_storage& out) {
    out = sockaddr_storage{};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&out);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<quint16>(port));
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof(sockaddr_in);
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<quint16>(port));
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = address.scopeId().toUInt();
        return sizeof(sockaddr_in6);
    }
    return 0;
}

} // namespace

void TWirelet::ResolveHost() {
    Report(8, "Resolve Host");
    const QString name = WithoutBrackets(FProxy.isEmpty() ? FHost : FProxy);
    const int port = FProxy.isEmpty() ? FPort : FProxyPort;
    FRemoteLength = 0;
    FAddresses.clear();
    if (const QHostAddress literal(name); !literal.isNull()) {
        FRemoteLength = SocketAddressOf(literal, port, FRemoteAddr);
        return;
    }
    TimerOn();
    FEventArrived = false;
    FLookupAddress.clear();
    FAddresses.clear();
    FLookupId = QHostInfo::lookupHost(name, this, [this](const QHostInfo& info) {
        // The addresses as the resolver orders them (getaddrinfo), IPv4 and IPv6.
        for (const QHostAddress& address : info.addresses())
            if (address.protocol() == QAbstractSocket::IPv4Protocol ||
                address.protocol() == QAbstractSocket::IPv6Protocol)
                FAddresses << address;
        HostLookedUp(FAddresses.isEmpty() ? kErrHostNotFound : 0,
                     FAddresses.isEmpty() ? QHostAddress() : FAddresses.first());
    });
    while (!FEventArrived && !FTimedOut && !FCanceled)
        WaitStep();
    TimerOff();
    if (FLookupId >= 0) {
        QHostInfo::abortHostLookup(FLookupId);
        FLookupId = -1;
    }
    if (FTimedOut || FCanceled) {
        const bool timedOut = FTimedOut;
        FCanceled = false;
        throw ESockError(QString(timedOut ? "Host Lookup Timed Out" : "Host Lookup Canceled"),
                         timedOut ? TNetFailure::TimedOut : TNetFailure::Aborted);
    }
    if (!FEventOk || FLookupAddress.isNull())
        throw ESockError(QString("Host Lookup Failed"));
    FRemoteLength = SocketAddressOf(FLookupAddress, port, FRemoteAddr);
    if (OnHostResolved)
        OnHostResolved(this);
}

void TWirelet::ConnectionFailed(const QString& message) {
    // A time-out ends the wait through a cancel too: it is told first.
    const TNetFailure kind = FTimedOut   ? TNetFailure::TimedOut
                             : FCanceled ? TNetFailure::Aborted
                                         : FailureOfSocketError(FLastSocketError);
    FCanceled = false;
    // A socket whose connect failed cannot be used again; the next attempt needs a fresh one.
    DropSocket();
    NewSocket();
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    throw ESockError(message, kind);
}

void TWirelet::Connect() {
    Report(8, "Connecting");
    FCanceled = false;
    if (FIsConnected)
        throw ESockError(QString("Already connected"));
    bool retried = false;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            // A name that cannot be found is asked about below; a wait that was ended is over.
            if (e.Kind() == TNetFailure::TimedOut || e.Kind() == TNetFailure::Aborted)
                throw;
        }
        if (FRemoteLength != 0)
            break;
        bool handled = false;
        if (!retried && OnInvalidHost)
            OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Unknown host: " + (FProxy.isEmpty() ? FHost : FProxy));
        retried = true;
    }
    // The port as it is now: a handler of OnHostResolved may have set it.
    const QHostAddress first(reinterpret_cast<const sockaddr*>(&FRemoteAddr));
    FRemoteLength = SocketAddressOf(first, FProxy.isEmpty() ? FPort : FProxyPort, FRemoteAddr);
    // Every address the name has, in the resolver's order, until one answers: "localhost" may name ::1
    // first while the server listens on 127.0.0.1 only.
    for (qsizetype next = 1;; ++next) {
        if (TryConnect())
            return;
        if (FCanceled || FTimedOut || next >= FAddresses.size())
            break;
        FRemoteLength = SocketAddressOf(FAddresses[next], FProxy.isEmpty() ? FPort : FProxyPort, FRemoteAddr);
        DropSocket();
        NewSocket();
    }
    FIsConnected = false;
    ConnectionFailed(FCanceled ? QString("Connection Canceled") : ConnectionFailureText());
}

bool TWirelet::TryConnect() {
    SetFamily(FRemoteAddr.ss_family);
    FLastSocketError = 0;
    FEventArrived = false;
    FEventOk = true;
    FConnecting = true;
    if (::connect(FSocket, reinterpret_cast<const sockaddr*>(&FRemoteAddr), FRemoteLength) == 0) {
        SocketEvent(WM_SOCKETEVENT, FD_CONNECT, 0);
    } else if (errno == EINPROGRESS) {
        FWriteNotifier->setEnabled(true);
    } else if (errno == ECONNREFUSED || errno == ENETUNREACH || errno == EHOSTUNREACH || errno == ETIMEDOUT) {
        // Refusals this system reports at once arrive as a failed connection, as they do when reported later.
        FEventOk = false;
        FLastSocketError = SocketErrorOf(errno);
    } else {
        FConnecting = false;
        ErrorCheck(kErrWouldBlock);
    }
    TimerOn();
    while (!FIsConnected && !FTimedOut && !FCanceled && FEventOk)
        WaitStep();
    TimerOff();
    FConnecting = false;
    FWriteNotifier->setEnabled(false);
    return FIsConnected && !FTimedOut && !FCanceled && FEventOk;
}

// Names the place and the reason, so that a typing error in the host or port is seen at once.
QString TWirelet::ConnectionFailureText() const {
    QString reason;
    if (FTimedOut) {
        reason = "timed out";
    } else {
        switch (FLastSocketError) {
        case 10061:
            reason = "connection refused";
            break;
        case 10051:
            reason = "network unreachable";
            break;
        case 10065:
            reason = "host unreachable";
            break;
        case 10060:
            reason = "timed out";
            break;
        default:
            reason = ErrorText(FLastSocketError);
            break;
        }
    }
    const bool proxied = !FProxy.isEmpty();
    return "Connection to " + (proxied ? FProxy : FHost) + " port " +
           QString::number(proxied ? FProxyPort : FPort) + " failed: " + reason;
}

void TWirelet::Disconnect() {
    Report(8, "Disconnecting");
    CloseSocket();
}

void TWirelet::CheckConnection() {
    Report(8, "Checking Connection");
    bool retried = false;
    while (!FIsConnected) {
        bool handled = false;
        if (!retried && OnConnectionRequired)
            OnConnectionRequired(handled);
        if (!handled)
            throw Exception(QString("Not Connected"));
        retried = true;
    }
}

void TWirelet::CloseSocket() {
    Report(4, "Request Close Socket");
    FIsConnected = false;
    if (FSocket < 0)
        return;
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    TlsShutdown();
    const int result = ::close(FSocket);
    FSocket = -1;
    if (result != 0 && errno != EINTR)
        ErrorCheck(kErrWouldBlock);
    if (FClosing)
        return;
    if (OnDisconnect)
        OnDisconnect(this);
    NewSocket();
}

// ---- Listening and accepting

void TWirelet::Listen(bool useLookupMessage) {
    Report(8, "Listening");
    FRemoteLength = SocketAddressOf(FFamily == AF_INET6 ? QHostAddress(QHostAddress::AnyIPv6)
                                                        : QHostAddress(QHostAddress::AnyIPv4),
                                    FPort, FRemoteAddr);
    FEventArrived = false;
    if (::bind(FSocket, reinterpret_cast<const sockaddr*>(&FRemoteAddr), FRemoteLength) != 0)
        ErrorCheck(kErrWouldBlock);
    FListenMessage = useLookupMessage ? WM_SOCKETLOOKUP : WM_SOCKETEVENT;
    if (::listen(FSocket, 1) != 0)
        ErrorCheck(kErrWouldBlock);
    FListening = true;
    FReadNotifier->setEnabled(true);
}

int TWirelet::Accept() {
    Report(4, "Accepting");
    // A server that never connects back must not hold the caller for ever: the time-out applies here too.
    TimerOn();
    int handle = -1;
    while (handle < 0) {
        while (!FEventArrived && !FCanceled && !FTimedOut)
            WaitStep();
        if (FTimedOut || FCanceled)
            break;
        if (!FEventOk) {
            TimerOff();
            throw ESockError(QString("Error creating Data Connection"));
        }
        socklen_t length = sizeof FRemoteAddr;
        handle = ::accept4(FSocket, reinterpret_cast<sockaddr*>(&FRemoteAddr), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (handle < 0) {
            ErrorCheck(kErrWouldBlock);
            FEventArrived = false;
            FReadNotifier->setEnabled(true);
        }
    }
    TimerOff();
    if (FTimedOut || FCanceled) {
        const bool timedOut = FTimedOut;
        FCanceled = false;
        if (handle >= 0)
            ::close(handle);
        throw ESockError(QString(timedOut ? "Accepting Timed out" : "Accepting Canceled"),
                         timedOut ? TNetFailure::TimedOut : TNetFailure::Aborted);
    }
    return handle;
}

void TWirelet::UseSocket(int handle) {
    DropSocket();
    FSocket = handle;
    FListening = false;
    FReadNotifier->setSocket(FSocket);
    FWriteNotifier->setSocket(FSocket);
    FReadNotifier->setEnabled(true);
    FIsConnected = true;
}

QString TWirelet::LocalAddressText() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&local), &length);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    return QString::fromLatin1(text).replace('.', ',');
}

QString TWirelet::LocalPortText() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&local), &length);
    const int port = ntohs(local.sin_port);
    return QString::asprintf(",%d,%d", port >> 8, port & 0xFF);
}

// ---- Address families

void TWirelet::SetFamily(int family) {
    if (family == FFamily || FIsConnected)
        return;
    DropSocket();
    FFamily = family;
    NewSocket();
}

QString TWirelet::LocalAddress() {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&local), &length);
    return QHostAddress(reinterpret_cast<const sockaddr*>(&local)).toString();
}

int TWirelet::LocalPort() {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&local), &length);
    return QHostAddress(reinterpret_cast<const sockaddr*>(&local)).isNull()
               ? 0
               : ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port
                                                   : reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

int TWirelet::TakeSocket() {
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    const int handle = FSocket;
    FIsConnected = false;
    NewSocket();
    return handle;
}
