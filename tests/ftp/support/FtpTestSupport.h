// Helpers of the network tests: the event loop, a raw loopback peer, and the real FTP server fixture.
#pragma once

#include <ostream>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Readable values in failed assertions.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << "{\"" << list.join("\", \"").toStdString() << "\"}";
}

// Socket notifiers and timers need an application object; made once, on first use.
void EnsureCoreApplication();

// Processes events for about `ms` milliseconds (lets a client's notifications arrive without waiting in it).
void PumpFor(int ms);

// The far end of a socket test: listens on 127.0.0.1, accepts one connection, sends and receives raw bytes.
class TLoopbackPeer {
public:
    TLoopbackPeer();
    ~TLoopbackPeer();

    int Port() const { return FPort; }
    // Accepts the pending connection (waits at most a few seconds); false when none came.
    bool AcceptNow();
    void Send(const QByteArray& bytes);
    // What arrived so far, waiting at most `ms` milliseconds for the first bytes.
    QByteArray Receive(int ms);
    void CloseConnection();
    // Connects to a port on 127.0.0.1 as a client would; the result is kept as the connection.
    bool ConnectTo(int port);
    // The port of the peer's end of the accepted connection (the client's local port).
    int RemotePort() const;

    // A port on 127.0.0.1 where nothing listens.
    static int FreePort();

private:
    int FListener = -1;
    int FConnection = -1;
    int FPort = 0;
};

// A self-signed certificate and its key made with the openssl command for name (an IPv4 address or a host
// name, put in the subject and the alternative names) as dir/name.pem and dir/name.key. Returns its SHA-256
// fingerprint as the openssl command prints it (AB:CD:...), empty with error set on failure.
QString MakeTestCertificate(const QString& dir, const QString& name, QString& error);

// The lines of a text file; none when it does not exist.
QStringList ReadLines(const QString& path);

// Adds these names, with a size and a SHA-256 of their own, to every target of an upload record file, as
// an edited or hostile record would name them.
void AddToUploadRecord(const QString& recordFile, const QStringList& names);

// pyftpdlib serving a folder on 127.0.0.1 on a free port to one user with a password, stopped at the end.
// With an idle time-out (seconds) the server closes a connection left idle that long, saying 421.
class TPyFtpServer {
public:
    // options: further arguments of the server script (--tls CERT KEY, --log FILE).
    TPyFtpServer(const QString& root, const QString& user, const QString& password, int idleTimeOut = 0,
                 const QStringList& options = {});
    ~TPyFtpServer();

    // 0 when the server did not start; Error() then says why.
    int Port() const { return FPort; }
    const QString& Error() const { return FError; }
    // Stops the server's process: its connections stay open and nothing is answered any more, as when the
    // whole server stalls; Resume lets it go on.
    void Pause();
    void Resume();

private:
    bool StartWith(const QString& python, const QStringList& arguments);

    QProcess FProcess;
    int FPort = 0;
    QString FError;
};
