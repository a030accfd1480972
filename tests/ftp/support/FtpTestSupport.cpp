// Helpers of the network tests: the event loop, a raw loopback peer, and the real FTP server fixture.
#include "FtpTestSupport.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

void EnsureCoreApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "veltrix-test";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives for the whole test program
}

void PumpFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        ::usleep(1000);
    }
}

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

bool Readable(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
}

} // namespace

// ---- TLoopbackPeer

TLoopbackPeer::TLoopbackPeer() {
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(FListener, 4);
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
}

TLoopbackPeer::~TLoopbackPeer() {
    CloseConnection();
    ::close(FListener);
}

bool TLoopbackPeer::AcceptNow() {
    // The client's connect completes in the kernel; its notification needs the client's event loop.
    for (int waited = 0; waited < 5000; waited += 10) {
        if (Readable(FListener, 0)) {
            FConnection = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
            return FConnection >= 0;
        }
        PumpFor(10);
    }
    return false;
}

void TLoopbackPeer::Send(const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(FConnection, bytes.constData() + sent,
                                 static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

QByteArray TLoopbackPeer::Receive(int ms) {
    QByteArray bytes;
    if (!Readable(FConnection, ms))
        return bytes;
    char buffer[65536];
    while (Readable(FConnection, 20)) {
        const ssize_t n = ::recv(FConnection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

void TLoopbackPeer::CloseConnection() {
    if (FConnection >= 0)
        ::close(FConnection);
    FConnection = -1;
}

bool TLoopbackPeer::ConnectTo(int port) {
    CloseConnection();
    FConnection = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    return ::connect(FConnection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

int TLoopbackPeer::RemotePort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getpeername(FConnection, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int TLoopbackPeer::FreePort() {
    // Bound and closed again at once: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// ---- Certificates and logs

namespace {

bool RunOpenssl(const QStringList& arguments, QByteArray& output, QString& error) {
    QProcess process;
    process.start("openssl", arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        error = "openssl " + arguments.join(' ') + ": " + process.errorString() + " " +
                QString::fromUtf8(process.readAllStandardError());
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    output = process.readAllStandardOutput();
    return true;
}

} // namespace

QString MakeTestCertificate(const QString& dir, const QString& name, QString& error) {
    const bool numeric = QHostAddress(name).protocol() == QAbstractSocket::IPv4Protocol;
    const QString pem = dir + "/" + name + ".pem";
    QByteArray output;
    if (!RunOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-keyout", dir + "/" + name + ".key", "-out", pem, "-days", "2", "-subj", "/CN=" + name,
                     "-addext", QString(numeric ? "subjectAltName=IP:" : "subjectAltName=DNS:") + name},
                    output, error) ||
        !RunOpenssl({"x509", "-noout", "-fingerprint", "-sha256", "-in", pem}, output, error))
        return {};
    // "sha256 Fingerprint=AB:CD:..." (older versions: "SHA256 Fingerprint=")
    return QString::fromLatin1(output).section('=', 1).trimmed();
}

QStringList ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void AddToUploadRecord(const QString& recordFile, const QStringList& names) {
    QFile file(recordFile);
    if (!file.open(QIODevice::ReadWrite))
        return;
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QJsonObject targets = root.value("targets").toObject();
    for (auto target = targets.begin(); target != targets.end(); ++target) {
        QJsonObject files = target->toObject();
        for (const QString& name : names)
            files.insert(name, QJsonObject{{"size", 5}, {"sha256", QString(64, 'a')}});
        *target = files;
    }
    root.insert("targets", targets);
    file.resize(0);
    file.seek(0);
    file.write(QJsonDocument(root).toJson());
}

// ---- TPyFtpServer

TPyFtpServer::TPyFtpServer(const QString& root, const QString& user, const QString& password, int idleTimeOut,
                           const QStringList& options) {
    QStringList arguments = {QStringLiteral(VELTRIX_FTP_SUPPORT_DIR) + "/ftpserver.py", root, user, password};
    if (idleTimeOut > 0)
        arguments << QString::number(idleTimeOut);
    arguments << options;
    // The configured interpreter first; the system one where that lacks pyftpdlib (a private Python on PATH).
    if (StartWith(QStringLiteral(VELTRIX_PYTHON), arguments))
        return;
    const QString firstError = FError;
    if (QFileInfo::exists("/usr/bin/python3") && StartWith("/usr/bin/python3", arguments))
        return;
    FError = firstError + "\n" + FError;
}

bool TPyFtpServer::StartWith(const QString& python, const QStringList& arguments) {
    FProcess.start(python, arguments);
    if (!FProcess.waitForStarted(5000)) {
        FError = python + ": " + FProcess.errorString();
        return false;
    }
    QByteArray output;
    for (int waited = 0; waited < 10000 && !output.contains('\n'); waited += 100) {
        if (FProcess.state() != QProcess::Running)
            break;
        FProcess.waitForReadyRead(100);
        output += FProcess.readAllStandardOutput();
    }
    if (output.startsWith("PORT ")) {
        FPort = output.mid(5).trimmed().toInt();
        return FPort > 0;
    }
    FError = python + ": no port announced: " + QString::fromUtf8(output + FProcess.readAllStandardError());
    FProcess.kill();
    FProcess.waitForFinished(2000);
    return false;
}

void TPyFtpServer::Pause() {
    ::kill(static_cast<pid_t>(FProcess.processId()), SIGSTOP);
}

void TPyFtpServer::Resume() {
    ::kill(static_cast<pid_t>(FProcess.processId()), SIGCONT);
}

TPyFtpServer::~TPyFtpServer() {
    if (FProcess.state() == QProcess::NotRunning)
        return;
    Resume();
    FProcess.closeWriteChannel(); // the server ends when its input closes
    if (!FProcess.waitForFinished(3000)) {
        FProcess.kill();
        FProcess.waitForFinished(3000);
    }
}
