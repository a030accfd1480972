// Socket layer: TLS as the client over the non-blocking socket, with the same waits as plain reads and
// writes.
#include "ftp/Wlet.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>

namespace {

// Decrypted input kept ahead of the reader at most; beyond it the rest waits in the socket.
constexpr qsizetype kTlsInLimit = 65536;
// The close_notify waits at most this long for room in the socket when no time-out is set.
constexpr int kShutdownWait = 5000;

// One client context for the process: the system's trust store, TLS 1.2 or newer. The handshake does not
// stop on an unverified certificate: the verdict is read afterwards, so the user can be asked about it.
SSL_CTX* ClientContext() {
    static SSL_CTX* context = [] {
        // A peer that closes while TLS writes would otherwise end the program.
        std::signal(SIGPIPE, SIG_IGN);
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        if (!ctx)
            return ctx;
        SSL_CTX_set_default_verify_paths(ctx);
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        // Servers often close a data connection without a close_notify; the end of the data is its end.
        SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
        return ctx;
    }();
    return context;
}

// The last OpenSSL reason as a short phrase ("wrong version number"), without its error stack.
QString ReasonText(int sslError, int result) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code != 0) {
        const char* reason = ERR_reason_error_string(code);
        return reason ? QString::fromLatin1(reason) : QString("error %1").arg(code, 0, 16);
    }
    if (sslError == SSL_ERROR_SYSCALL)
        return result == 0 || errno == 0 ? QString("the connection was closed")
                                         : QString::fromLocal8Bit(std::strerror(errno));
    if (sslError == SSL_ERROR_ZERO_RETURN)
        return "the connection was closed";
    return QString("error %1").arg(sslError);
}

QString NameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    QString text = QString::fromUtf8(data, length);
    BIO_free(bio);
    return text;
}

TTlsPeer PeerOf(SSL* ssl) {
    TTlsPeer peer;
    X509* certificate = SSL_get0_peer_certificate(ssl);
    if (!certificate) {
        peer.Problem = "the server sent no certificate";
        return peer;
    }
    peer.Subject = NameText(X509_get_subject_name(certificate));
    peer.Issuer = NameText(X509_get_issuer_name(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(certificate, EVP_sha256(), digest, &length);
    peer.Sha256 = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(length)).toHex(':').toUpper());
    const long verdict = SSL_get_verify_result(ssl);
    if (verdict != X509_V_OK)
        peer.Problem = QString::fromLatin1(X509_verify_cert_error_string(verdict));
    return peer;
}

} // namespace

void TWirelet::StartTls(ssl_session_st* session) {
    Report(4, "Starting TLS");
    FreeTls();
    SSL_CTX* context = ClientContext();
    SSL* ssl = context ? SSL_new(context) : nullptr;
    if (!ssl)
        throw ESockError("TLS with " + FHost + " cannot start: " + ReasonText(SSL_ERROR_SSL, -1));
    SSL_set_fd(ssl, FSocket);
    const QByteArray name = FHost.toUtf8();
    in_addr numeric{};
    if (::inet_pton(AF_INET, name.constData(), &numeric) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.constData());
    } else {
        SSL_set_tlsext_host_name(ssl, name.constData());
        SSL_set1_host(ssl, name.constData());
    }
    if (session)
        SSL_set_session(ssl, session);
    FSsl = ssl;
    FTlsIn.clear();
    FTlsEof = false;
    FTlsBroken = false;
    FTlsPeer = {};
    // The handshake reads the socket itself; the idle read notification would only get in its way.
    FReadNotifier->setEnabled(false);
    try {
        Timed([&] {
            while (!FCanceled && !FTimedOut) {
                ERR_clear_error();
                const int result = SSL_connect(ssl);
                if (result == 1)
                    return;
                const int error = SSL_get_error(ssl, result);
                if (error == SSL_ERROR_WANT_READ)
                    WaitStep(POLLIN);
                else if (error == SSL_ERROR_WANT_WRITE)
                    WaitStep(POLLOUT);
                else
                    throw ESockError("TLS handshake with " + FHost + " failed: " + ReasonText(error, result));
            }
        });
        ThrowIfStopped("TLS handshake with " + FHost + " timed out", "TLS handshake aborted");
    } catch (...) {
        FTlsBroken = true;
        FreeTls();
        RearmRead();
        throw;
    }
    FTlsPeer = PeerOf(ssl);
    Report(4, TlsVersion() + " with " + FHost);
    RearmRead();
}

QString TWirelet::TlsVersion() const {
    if (!FSsl)
        return {};
    QString version = QString::fromLatin1(SSL_get_version(FSsl));
    return version.replace("TLSv", "TLS ");
}

bool TWirelet::TlsResumed() const {
    return FSsl && SSL_session_reused(FSsl) == 1;
}

ssl_session_st* TWirelet::TlsSession() const {
    return FSsl ? SSL_get1_session(FSsl) : nullptr;
}

void TWirelet::FreeTlsSession(ssl_session_st* session) {
    if (session)
        SSL_SESSION_free(session);
}

void TWirelet::AbandonTls() {
    FTlsBroken = true;
    FreeTls();
}

// The record an aborted send left half written goes out first: a close_notify cannot follow half a record.
// The waits poll the socket only; no events run, so nothing can start on this connection meanwhile.
bool TWirelet::EndTls(int waitMs) {
    if (!FSsl)
        return false;
    bool notified = false;
    if (!FTlsBroken && !FPeerClosed) {
        QElapsedTimer waited;
        waited.start();
        const auto ready = [&](int error) {
            if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ)
                return false;
            pollfd entry{FSocket, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
            ::poll(&entry, 1, 2);
            return true;
        };
        bool flushed = FTlsRetryLength == 0;
        while (!flushed && waited.elapsed() < waitMs) {
            ERR_clear_error();
            const int result = SSL_write(FSsl, FTlsRetryData, FTlsRetryLength);
            flushed = result > 0;
            if (!flushed && !ready(SSL_get_error(FSsl, result)))
                break;
        }
        while (flushed && !notified && waited.elapsed() < waitMs) {
            ERR_clear_error();
            const int result = SSL_shutdown(FSsl);
            notified = result >= 0;
            if (!notified && !ready(SSL_get_error(FSsl, result)))
                break;
        }
        ERR_clear_error();
    }
    FreeTls();
    return notified;
}

void TWirelet::FreeTls() {
    if (FSsl) {
        // Freed without a close_notify sent, the session would be marked as not to be resumed; the control
        // connection's session then could not be resumed by the next data connection, which many servers
        // demand. How this connection ended says nothing against the session.
        SSL_set_shutdown(FSsl, SSL_get_shutdown(FSsl) | SSL_SENT_SHUTDOWN);
        SSL_free(FSsl);
    }
    FSsl = nullptr;
    FTlsIn.clear();
    FTlsEof = false;
    FTlsRetryData = nullptr;
    FTlsRetryLength = 0;
}

void TWirelet::FailTls(const QString& what, int result) {
    const int socketErrno = errno;
    const int error = SSL_get_error(FSsl, result);
    FTlsBroken = true;
    // Under TLS a reset shows as a failed system call: the connection is lost, TLS did nothing wrong.
    const TNetFailure kind =
        error == SSL_ERROR_SYSCALL ? FailureOfSocketError(SocketErrorOf(socketErrno)) : TNetFailure::Other;
    throw ESockError("TLS " + what + " with " + FHost + " failed: " + ReasonText(error, result), kind);
}

bool TWirelet::TlsFill() {
    bool added = false;
    char chunk[16384];
    while (!FTlsEof && FTlsIn.size() < kTlsInLimit) {
        ERR_clear_error();
        const int result = SSL_read(FSsl, chunk, sizeof chunk);
        if (result > 0) {
            FTlsIn.append(chunk, result);
            added = true;
            continue;
        }
        const int error = SSL_get_error(FSsl, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            errno = EAGAIN;
            break;
        }
        if (error == SSL_ERROR_ZERO_RETURN) {
            FTlsEof = true;
            break;
        }
        FailTls("reading", result);
    }
    return added;
}

ssize_t TWirelet::Peek(char* data, size_t length) {
    if (!FSsl)
        return ::recv(FSocket, data, length, MSG_PEEK);
    if (FTlsIn.isEmpty())
        TlsFill();
    if (FTlsIn.isEmpty()) {
        if (FTlsEof)
            return 0;
        errno = EAGAIN;
        return -1;
    }
    const auto n = static_cast<size_t>(qMin<qsizetype>(FTlsIn.size(), static_cast<qsizetype>(length)));
    std::memcpy(data, FTlsIn.constData(), n);
    return static_cast<ssize_t>(n);
}

ssize_t TWirelet::Take(char* data, size_t length) {
    if (!FSsl)
        return ::recv(FSocket, data, length, 0);
    const ssize_t n = Peek(data, length);
    if (n > 0)
        FTlsIn.remove(0, n);
    return n;
}

ssize_t TWirelet::Put(const char* data, size_t length) {
    if (!FSsl)
        return ::send(FSocket, data, length, MSG_NOSIGNAL);
    ERR_clear_error();
    const int length32 = static_cast<int>(qMin<size_t>(length, 1 << 20));
    const int result = SSL_write(FSsl, data, length32);
    FTlsRetryData = nullptr;
    FTlsRetryLength = 0;
    if (result > 0)
        return result;
    const int error = SSL_get_error(FSsl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        // A record may be half written: TLS must be given the same data again before anything else.
        FTlsRetryData = data;
        FTlsRetryLength = length32;
        errno = EAGAIN;
        return -1;
    }
    FailTls("sending", result);
    return -1;
}

// Many servers take a TLS data connection as complete only after its close_notify. Where the close is to
// let the data drain (linger off), the peer's end is awaited too: what it sent after the handshake (TLS 1.3
// session tickets) and lies unread would make the close a reset, which can cost the peer the last data.
void TWirelet::TlsShutdown() {
    if (!FSsl)
        return;
    if (FClosing && !FTlsBroken && !FPeerClosed) {
        // Going away: the close_notify is offered once, without waiting (no events run any more).
        ERR_clear_error();
        SSL_shutdown(FSsl);
        ERR_clear_error();
    } else if (!FTlsBroken && !FPeerClosed) {
        QElapsedTimer waited;
        waited.start();
        const int limit = FTimeOut > 0 ? FTimeOut : kShutdownWait;
        while (!FCanceled && waited.elapsed() < limit) {
            ERR_clear_error();
            const int result = SSL_shutdown(FSsl);
            if (result >= 0)
                break;
            const int error = SSL_get_error(FSsl, result);
            if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ)
                break;
            WaitStep(error == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN);
        }
        ERR_clear_error();
        if (!FLingerOn) {
            ::shutdown(FSocket, SHUT_WR);
            char sink[4096];
            while (!FCanceled && waited.elapsed() < limit) {
                const ssize_t n = ::recv(FSocket, sink, sizeof sink, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    break;
                if (n < 0)
                    WaitStep(POLLIN);
            }
        }
    }
    FreeTls();
}
