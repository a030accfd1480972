// A scripted FTP server on 127.0.0.1: blocking sockets polled in short steps, so that Stop always ends it.
#include "ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QList>

namespace {

constexpr int kStepMs = 20;
// How long the server waits for the client at any one point before it gives up on the test.
constexpr int kPatienceMs = 10000;

int ListenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    port = ntohs(address.sin_port);
    return fd;
}

// Waits until fd is readable, the stop flag is raised or the patience runs out.
bool WaitReadable(int fd, const std::atomic<bool>& stop) {
    for (int waited = 0; waited < kPatienceMs && !stop; waited += kStepMs) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, kStepMs) > 0)
            return true;
    }
    return false;
}

void SendAll(int fd, const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

} // namespace

TScriptedFtpServer::TScriptedFtpServer() {
    FListener = ListenOnLoopback(FPort);
}

TScriptedFtpServer::~TScriptedFtpServer() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
    if (FListener >= 0)
        ::close(FListener);
    if (FPasvListener >= 0)
        ::close(FPasvListener);
}

void TScriptedFtpServer::Start() {
    FThread = std::thread([this] { Run(); });
}

void TScriptedFtpServer::Stop() {
    // The thread ends by itself after QUIT or the client's close; the stop flag only bounds a test gone
    // wrong.
    for (int waited = 0; waited < 3000 && !FDone; waited += kStepMs)
        ::usleep(kStepMs * 1000);
    FStop = true;
    if (FThread.joinable())
        FThread.join();
}

QStringList TScriptedFtpServer::Transcript() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FTranscript;
}

QByteArray TScriptedFtpServer::Stored() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FStored;
}

QString TScriptedFtpServer::Errors() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FErrors;
}

void TScriptedFtpServer::Note(const QString& problem) {
    std::lock_guard<std::mutex> lock(FMutex);
    FErrors += problem + "\n";
}

void TScriptedFtpServer::Run() {
    for (int served = 0; served < FConnections && FListener >= 0 && WaitReadable(FListener, FStop);
         ++served) {
        const int control = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0)
            break;
        Serve(control);
        ::close(control);
        FSilent.clear();
        FStallData = false;
    }
    FDone = true;
}

// Never blocks: a client that stops reading without closing still lets the patience end it.
void TScriptedFtpServer::SendEndlessly(int fd) {
    FEndlessStarted = true;
    for (int waited = 0; waited < kPatienceMs && !FStop;) {
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, kStepMs) <= 0) {
            waited += kStepMs;
            continue;
        }
        if ((entry.revents & (POLLERR | POLLHUP)) ||
            (::send(fd, FEndlessLine.constData(), static_cast<size_t>(FEndlessLine.size()),
                    MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
             errno != EAGAIN))
            return;
        if (FEndlessEveryMs > 0) {
            ::usleep(static_cast<useconds_t>(FEndlessEveryMs.load()) * 1000);
            waited += FEndlessEveryMs;
        }
    }
}

void TScriptedFtpServer::Serve(int control) {
    if (FEndlessVerb.isEmpty() && !FEndlessLine.isEmpty())
        SendEndlessly(control);
    else
        SendAll(control, FGreeting);
    QByteArray pending;
    QByteArray command;
    while (ReadCommand(control, pending, command)) {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FTranscript << QString::fromUtf8(command);
        }
        const qsizetype blank = command.indexOf(' ');
        const QByteArray verb = (blank < 0 ? command : command.left(blank)).toUpper();
        const QByteArray argument = blank < 0 ? QByteArray() : command.mid(blank + 1);
        if (FCloseOn.count(verb))
            return;
        if (FSilent.count(verb))
            continue;
        if (!FEndlessVerb.isEmpty() && verb == FEndlessVerb && verb != "LIST") {
            SendEndlessly(control);
            continue;
        }
        Answer(control, verb, argument);
        if (verb == "QUIT" || FCloseAfter.count(verb))
            return;
    }
}

bool TScriptedFtpServer::ReadCommand(int control, QByteArray& pending, QByteArray& command) {
    for (;;) {
        const qsizetype end = pending.indexOf("\r\n");
        if (end >= 0) {
            command = pending.left(end);
            pending.remove(0, end + 2);
            return true;
        }
        if (!WaitReadable(control, FStop))
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(control, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        pending.append(buffer, n);
    }
}

void TScriptedFtpServer::Answer(int control, const QByteArray& verb, const QByteArray& argument) {
    static const std::map<QByteArray, QByteArray> kDefaults = {
        {"USER", "331 Password required.\r\n"},
        {"PASS", "230 Logged in.\r\n"},
        {"SYST", "215 UNIX Type: L8\r\n"},
        {"PWD", "257 \"/pub/site\" is the current directory.\r\n"},
        {"CWD", "250 Directory changed.\r\n"},
        {"MKD", "257 Directory created.\r\n"},
        {"TYPE", "200 Type set.\r\n"},
        {"PORT", "200 PORT command successful.\r\n"},
        {"ABOR", "226 ABOR command successful.\r\n"},
        {"QUIT", "221 Goodbye.\r\n"},
        {"RNFR", "350 Ready for RNTO.\r\n"},
        {"RNTO", "250 Rename successful.\r\n"},
        {"DELE", "250 File deleted.\r\n"},
        {"LIST", "150 Here comes the directory listing.\r\n"},
        {"STOR", "150 Ok to send data.\r\n"},
    };
    auto reply = FReplies.find(verb);
    QByteArray text = reply != FReplies.end() ? reply->second : QByteArray();
    if (reply == FReplies.end() && verb == "PASV") {
        int port = 0;
        if (FPasvListener >= 0)
            ::close(FPasvListener);
        FPasvListener = ListenOnLoopback(port);
        FPortArgument.clear();
        text = "227 Entering Passive Mode (" + FPasvAddress + "," + QByteArray::number(port >> 8) + "," +
               QByteArray::number(port & 0xFF) + ").\r\n";
    } else if (reply == FReplies.end()) {
        const auto fallback = kDefaults.find(verb);
        text =
            fallback != kDefaults.end() ? fallback->second : QByteArray("502 Command not implemented.\r\n");
    }
    if (verb == "PORT" && text.startsWith('2'))
        FPortArgument = argument;
    SendAll(control, text);
    if ((verb == "LIST" || verb == "STOR") && text.startsWith('1'))
        Transfer(control, verb, argument);
}

// The data connection: accepted after PASV, or made to the address PORT named.
int TScriptedFtpServer::OpenData() {
    if (!FPortArgument.isEmpty()) {
        const QList<QByteArray> parts = FPortArgument.split(',');
        if (parts.size() != 6) {
            Note("bad PORT argument " + QString::fromUtf8(FPortArgument));
            return -1;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(parts[4].toInt() * 256 + parts[5].toInt()));
        ::inet_pton(AF_INET, (parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3]).constData(),
                    &address.sin_addr);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Note("cannot connect to the PORT address");
            ::close(fd);
            return -1;
        }
        return fd;
    }
    if (FPasvListener < 0 || !WaitReadable(FPasvListener, FStop)) {
        Note("no data connection arrived");
        return -1;
    }
    return ::accept4(FPasvListener, nullptr, nullptr, SOCK_CLOEXEC);
}

void TScriptedFtpServer::Transfer(int control, const QByteArray& verb, const QByteArray& /*argument*/) {
    const int data = OpenData();
    if (data < 0)
        return;
    bool cut = false;
    if (verb == "STOR" && FStallData) {
        // Unread data keeps the socket readable: only the client's close or reset ends the wait.
        pollfd entry{data, POLLRDHUP, 0};
        while (!FStop && !(entry.revents & (POLLRDHUP | POLLHUP | POLLERR)))
            ::poll(&entry, 1, 50);
        ::close(data);
        return;
    }
    if (verb == "LIST" && FEndlessVerb == "LIST") {
        SendEndlessly(data);
    } else if (verb == "LIST") {
        cut = FCloseDataAfter >= 0 && FCloseDataAfter < FListing.size();
        SendAll(data, cut ? FListing.left(FCloseDataAfter) : FListing);
    } else {
        QByteArray received;
        while (!(cut = FCloseDataAfter >= 0 && received.size() >= FCloseDataAfter) &&
               WaitReadable(data, FStop)) {
            char buffer[65536];
            const ssize_t n = ::recv(data, buffer, sizeof buffer, 0);
            if (n < 0)
                cut = true;
            if (n <= 0)
                break;
            received.append(buffer, n);
        }
        std::lock_guard<std::mutex> lock(FMutex);
        FStored = received;
    }
    ::close(data);
    const auto final = FFinalReplies.find(verb);
    if (final != FFinalReplies.end())
        SendAll(control, final->second);
    else
        SendAll(control, cut ? "426 Connection closed; transfer aborted.\r\n" : "226 Transfer complete.\r\n");
}
