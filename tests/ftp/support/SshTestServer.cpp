// OpenSSH's server and agent for the SFTP tests.
#include "support/SshTestServer.h"

#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include "support/FtpTestSupport.h"

namespace {

constexpr int kStartWait = 10000; // milliseconds a server or agent gets to come up

bool WriteText(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

bool RunSshTool(const QString& program, const QStringList& arguments, QString& error,
                const QStringList& environment) {
    QProcess process;
    if (!environment.isEmpty())
        process.setEnvironment(QProcess::systemEnvironment() + environment);
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        error = program + " " + arguments.join(' ') + ": " + process.errorString() + " " +
                QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    return true;
}

bool MakeSshKey(const QString& dir, const QString& name, const QString& passphrase, QString& error) {
    QFile::remove(dir + name);
    QFile::remove(dir + name + ".pub");
    return RunSshTool("ssh-keygen", {"-q", "-t", "ed25519", "-N", passphrase, "-C", name, "-f", dir + name},
                      error);
}

// ---- TSshServer

QString TSshServer::User() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

TSshServer::TSshServer(const QString& dir, const QString& address, bool passwords)
    : FDir(dir), FAddress(address) {
    if (!MakeSshKey(FDir, "host_key", "", FError))
        return;
    WriteText(FDir + "authorized_keys", "");
    // Run as root, sshd needs its privilege separation folder, which the system's own service makes at
    // boot; a container that never started the service lacks it.
    if (::getuid() == 0 && !QFileInfo::exists("/run/sshd"))
        QDir().mkpath("/run/sshd");
    const int port = TLoopbackPeer::FreePort();
    const QString config =
        QString("Port %1\nListenAddress %2\nHostKey %3host_key\nPidFile %3sshd.pid\n"
                "AuthorizedKeysFile %3authorized_keys\nStrictModes no\nUsePAM no\n"
                "PasswordAuthentication %4\nKbdInteractiveAuthentication no\n"
                "PermitRootLogin %5\nSubsystem sftp internal-sftp\nLogLevel ERROR\n")
            .arg(port)
            .arg(FAddress, FDir, passwords ? "yes" : "no", passwords ? "yes" : "prohibit-password");
    WriteText(FDir + "sshd_config", config);
    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    FProcess.start("/usr/sbin/sshd", {"-D", "-e", "-f", FDir + "sshd_config"});
    if (!FProcess.waitForStarted(kStartWait)) {
        FError = "/usr/sbin/sshd: " + FProcess.errorString();
        return;
    }
    for (int waited = 0; waited < kStartWait; waited += 50) {
        QTcpSocket probe;
        probe.connectToHost(FAddress, static_cast<quint16>(port));
        if (probe.waitForConnected(200)) {
            FPort = port;
            return;
        }
        if (FProcess.state() != QProcess::Running)
            break;
        QThread::msleep(50);
    }
    FError = "sshd did not start: " + QString::fromLocal8Bit(FProcess.readAll());
}

TSshServer::~TSshServer() {
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(3000)) {
        FProcess.kill();
        FProcess.waitForFinished(3000);
    }
}

bool TSshServer::Authorize(const QString& name) {
    QFile file(FDir + "authorized_keys");
    return file.open(QIODevice::Append) && file.write(ReadText(FDir + name + ".pub").toUtf8()) > 0;
}

QString TSshServer::KnownHostsLine(const QString& publicKeyFile) const {
    const QStringList fields = ReadText(publicKeyFile).split(' ');
    return QString("[%1]:%2 %3 %4\n").arg(FAddress).arg(FPort).arg(fields.value(0), fields.value(1));
}

// ---- TSshAgent

TSshAgent::TSshAgent(const QString& dir) : FSocket(dir + "agent.sock") {
    FHadSocket = qEnvironmentVariableIsSet("SSH_AUTH_SOCK");
    FSavedSocket = qgetenv("SSH_AUTH_SOCK");
    FProcess.start("ssh-agent", {"-D", "-a", FSocket});
    if (!FProcess.waitForStarted(kStartWait)) {
        FError = "ssh-agent: " + FProcess.errorString();
        return;
    }
    for (int waited = 0; waited < kStartWait && !QFileInfo::exists(FSocket); waited += 50)
        QThread::msleep(50);
    if (!QFileInfo::exists(FSocket)) {
        FError = "ssh-agent made no socket";
        return;
    }
    qputenv("SSH_AUTH_SOCK", FSocket.toLocal8Bit());
}

TSshAgent::~TSshAgent() {
    if (FHadSocket)
        qputenv("SSH_AUTH_SOCK", FSavedSocket);
    else
        qunsetenv("SSH_AUTH_SOCK");
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(3000)) {
        FProcess.kill();
        FProcess.waitForFinished(3000);
    }
}

bool TSshAgent::Add(const QString& keyFile) {
    return RunSshTool("ssh-add", {"-q", keyFile}, FError, {"SSH_AUTH_SOCK=" + FSocket});
}

// ---- TSilentAgent

TSilentAgent::TSilentAgent(const QString& dir) : FPath(QDir(dir).filePath("silent-agent.sock")) {
    QFile::remove(FPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(FPath);
    std::memcpy(address.sun_path, path.constData(), qMin<size_t>(path.size(), sizeof address.sun_path - 1));
    FListener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(FListener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FListener, 8) != 0)
        return;
    FHadSocket = qEnvironmentVariableIsSet("SSH_AUTH_SOCK");
    FSavedSocket = qgetenv("SSH_AUTH_SOCK");
    qputenv("SSH_AUTH_SOCK", path);
    // Bounded steps, so that the destructor always ends it.
    FThread = std::thread([this] {
        std::vector<int> taken;
        while (!FStop) {
            std::vector<pollfd> polled{{FListener, POLLIN, 0}};
            for (const int fd : taken)
                polled.push_back({fd, POLLIN, 0});
            if (::poll(polled.data(), polled.size(), 20) <= 0)
                continue;
            if (polled[0].revents & POLLIN) {
                const int fd = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    taken.push_back(fd);
            }
            for (size_t i = 1; i < polled.size(); ++i) {
                if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[4096];
                if (::recv(polled[i].fd, buffer, sizeof buffer, 0) > 0) {
                    FAsked = true;
                } else {
                    // The client let go: nothing more to hold.
                    ::close(polled[i].fd);
                    std::erase(taken, polled[i].fd);
                }
            }
        }
        for (const int fd : taken)
            ::close(fd);
    });
}

TSilentAgent::~TSilentAgent() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    if (FListener >= 0)
        ::close(FListener);
    QFile::remove(FPath);
    if (FHadSocket)
        qputenv("SSH_AUTH_SOCK", FSavedSocket);
    else
        qunsetenv("SSH_AUTH_SOCK");
}
