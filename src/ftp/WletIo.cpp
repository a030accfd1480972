// Socket layer: sending text and files, reading lines and bytes, and the command/reply transaction.
#include "ftp/Wlet.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QFile>

#include "common/VlxRegularFile.h"

namespace {

// What one peek or one send of a file chunk handles: the buffer, less its terminating byte.
constexpr int kChunk = 65536;

} // namespace

// Sends all bytes unless cancelled or timed out; would-block waits for the socket to take more.
void TWirelet::Send(const char* data, qint64 length, bool countPackets) {
    qint64 sent = 0;
    while (sent < length && !FCanceled && !FTimedOut) {
        const ssize_t n = Put(data + sent, static_cast<size_t>(length - sent));
        if (n > 0) {
            sent += n;
            if (countPackets) {
                FSentCount += n;
                if (OnPacketSent)
                    OnPacketSent(this);
                // The stall limit counts from the last progress, not from the start of the file.
                TimerOff();
                TimerOn();
            }
            QCoreApplication::processEvents();
        } else if (n == 0) {
            throw ESockError(QString("Connection closed while sending"), TNetFailure::Lost);
        } else {
            ErrorCheck(kErrWouldBlock);
            WaitStep(POLLOUT);
        }
    }
}

void TWirelet::SendBuffer(const char* text, int length) {
    Report(4, "Sending Buffer");
    Timed([&] {
        if (!FCanceled) {
            if (length == 0)
                length = static_cast<int>(std::strlen(text));
            Send(text, qMin(length, kChunk - 1), false);
        }
    });
    ThrowIfStopped("Send timed out", "Socket send aborted");
}

// Sends the whole text: a command is never cut short at a buffer boundary or an embedded NUL.
void TWirelet::Write(const QString& text) {
    Report(8, "Write");
    const QByteArray bytes = text.toUtf8();
    for (qsizetype at = 0; at < bytes.size(); at += kChunk - 1) {
        const qsizetype length = qMin<qsizetype>(bytes.size() - at, kChunk - 1);
        std::memcpy(FBuffer.get(), bytes.constData() + at, static_cast<size_t>(length));
        SendBuffer(FBuffer.get(), static_cast<int>(length));
    }
}

void TWirelet::Writeln(const QString& text) {
    Report(8, "Writeln");
    Write(text + "\r\n");
}

QByteArray TWirelet::Read(int count) {
    Report(8, "Read( " + QString::number(count) + " )");
    count = qMin(count, kChunk);
    ssize_t pending = 0;
    for (;;) {
        pending = Peek(FBuffer.get(), kChunk);
        if (pending == 0)
            return {};
        if (pending < 0) {
            ErrorCheck(kErrWouldBlock);
            pending = 0;
        }
        if (count == 0 || pending >= count || FCanceled)
            break;
        WaitStep(POLLIN);
    }
    if (FCanceled) {
        FCanceled = false;
        throw EAbortError(QString("Socket send aborted"));
    }
    const ssize_t wanted = count == 0 ? pending : qMin<ssize_t>(count, pending);
    if (wanted <= 0)
        return {};
    const ssize_t got = Take(FBuffer.get(), static_cast<size_t>(wanted));
    RearmRead();
    return got > 0 ? QByteArray(FBuffer.get(), got) : QByteArray();
}

QString TWirelet::ReadLn() {
    Report(8, "ReadLn");
    QByteArray line;
    bool complete = false;
    // Past the deadline nothing more is read, even lines that keep coming at once; before it a line waits
    // only for what is left of it.
    if (FReadDeadline.hasExpired()) {
        FTimedOut = true;
        ThrowIfStopped(ReadTimedOutText(), "Socket readln aborted");
    }
    int waitMs = FTimeOut;
    if (const qint64 left = FReadDeadline.remainingTime(); left >= 0 && (waitMs <= 0 || left < waitMs))
        waitMs = static_cast<int>(qMax<qint64>(left, 1));
    Timed(waitMs, [&] {
        while (!complete && !FCanceled && !FTimedOut) {
            const ssize_t peeked = Peek(FBuffer.get(), kChunk);
            // The peer closed, or the close was already seen and the socket renewed: the line ends here.
            if (peeked == 0 || (peeked < 0 && SocketErrorOf(errno) == kErrNotConnected))
                break;
            if (peeked < 0) {
                ErrorCheck(kErrWouldBlock);
                WaitStep(POLLIN);
                continue;
            }
            const void* lf = std::memchr(FBuffer.get(), '\n', static_cast<size_t>(peeked));
            const ssize_t take = lf ? static_cast<const char*>(lf) - FBuffer.get() + 1 : peeked;
            if (line.size() + take > kChunk)
                throw ESockError("Line longer than " + QString::number(kChunk) + " bytes from " + FHost);
            const ssize_t got = Take(FBuffer.get(), static_cast<size_t>(take));
            if (got > 0)
                line.append(FBuffer.get(), got);
            complete = lf != nullptr && got == take;
            if (!complete)
                WaitStep(POLLIN);
        }
    });
    RearmRead();
    if (!complete)
        ThrowIfStopped(ReadTimedOutText(), "Socket readln aborted");
    return QString::fromUtf8(line);
}

QString TWirelet::ReadTimedOutText() const {
    if (FReadStep.isEmpty())
        return "Reply timed out";
    return "Reply timed out: " + FHost + " did not " + FReadStep + " within " +
           QString::number(FTimeOut / 1000.0) + " s";
}

QString TWirelet::Transaction(const QString& command) {
    Report(8, "Transaction");
    FReplyCode = 0;
    Writeln(command);
    const QString reply = ReadLn();
    FLastReplyText = reply;
    if (!reply.isEmpty()) {
        Report(1, reply.trimmed());
        FReplyCode = ReplyCodeOf(reply);
    }
    return reply;
}

void TWirelet::SendFile(const QString& path, qint64 offset) {
    Report(8, "SendFile");
    QFile file;
    if (const QString problem = OpenRegularInput(file, path); !problem.isEmpty())
        throw ESockError("Cannot open file \"" + path + "\": " + problem);
    if (!file.seek(offset))
        throw ESockError("Cannot open file \"" + path + "\": " + file.errorString());
    // Stores have no overall limit, but a peer that stops taking data for the time-out ends the store.
    Timed([&] {
        while (!file.atEnd() && !FCanceled && !FTimedOut) {
            const qint64 got = file.read(FBuffer.get(), kChunk);
            if (got < 0)
                throw ESockError("Cannot read file \"" + path + "\": " + file.errorString());
            if (got == 0)
                break;
            Send(FBuffer.get(), got, true);
            QCoreApplication::processEvents();
        }
    });
    ThrowIfStopped("Send timed out: " + path, "Socket send aborted");
}

void TWirelet::Timed(const std::function<void()>& work) {
    Timed(-1, work);
}

void TWirelet::Timed(int ms, const std::function<void()>& work) {
    TimerOn(ms);
    try {
        work();
    } catch (...) {
        TimerOff();
        throw;
    }
    TimerOff();
}

// A time-out is told apart from a user's cancel, even where the time-out works through Abort.
void TWirelet::ThrowIfStopped(const QString& timedOutMessage, const QString& abortedMessage) {
    if (!FCanceled && !FTimedOut)
        return;
    const bool timedOut = FTimedOut;
    FCanceled = false;
    if (timedOut)
        throw ESockError(timedOutMessage, TNetFailure::TimedOut);
    throw EAbortError(abortedMessage);
}

bool TWirelet::DataAvailable() {
    Report(8, "Data Available");
    char probe;
    return FSocket >= 0 && Peek(&probe, 1) > 0;
}

void TWirelet::ClearInput() {
    Report(8, "Clearing Input");
    if (FSocket >= 0)
        (void)Take(FBuffer.get(), kChunk);
    RearmRead();
}
