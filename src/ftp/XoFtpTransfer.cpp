// FTP client: data transfers (LIST and STOR) over a second connection, passive or active.
#include "ftp/XoFtp.h"

#include <poll.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "common/VlxRegularFile.h"

namespace {

// How long a transfer's closing reply is awaited after the transfer failed, when no time-out is set.
constexpr int kDrainTimeOut = 5000;
// The same after the user aborted it or the server stopped taking data: the user is not kept waiting.
constexpr int kLateReplyWait = 300;
// How long a given-up data connection may take to end its TLS properly.
constexpr int kTlsEndWait = 100;

// A listing stopped at its limits: the reason to report, whatever the server answers to the cut.
class EListingCut : public ESockError {
public:
    using ESockError::ESockError;
};

} // namespace

void TXoFTP::List() {
    if (FListing)
        throw Exception(QString("A list command is already being processed!"));
    FListing = true;
    const auto done = qScopeGuard([this] { FListing = false; });
    RunTransfer(TCmdType::List, {}, {});
}

void TXoFTP::Upload(const QString& localPath, const QString& remoteName) {
    try {
        RunTransfer(TCmdType::Upload, localPath, remoteName);
    } catch (...) {
        // Every failure of a store is offered to the handler, including one it was already told of.
        bool handled = false;
        if (OnFailure)
            OnFailure(handled, TCmdType::Upload);
        if (!handled)
            throw;
    }
}

void TXoFTP::UploadFrom(const QString& localPath, const QString& remoteName, qint64 offset) {
    FRestartAt = offset;
    const auto reset = qScopeGuard([this] { FRestartAt = 0; });
    Upload(localPath, remoteName);
}

qint64 TXoFTP::RemoteSize(const QString& name) {
    const auto refused = OnFailure;
    OnFailure = nullptr; // a server without SIZE is no failure to report
    const auto restore = qScopeGuard([&] { OnFailure = refused; });
    try {
        DoCommand("SIZE " + name);
    } catch (const ERemoteRefusal&) {
        return -1;
    }
    bool valid = false;
    const qint64 size = XoFtpReply::WithoutLineEnd(LastReplyText()).mid(4).trimmed().toLongLong(&valid);
    return ReplyCode() == 213 && valid ? size : -1;
}

void TXoFTP::RunTransfer(TCmdType type, const QString& localPath, const QString& remoteName) {
    // Handlers run inside the waits below and may start another transfer, which would pull the data
    // connection away from under this one: a second transfer is refused until this one ends.
    if (FLock)
        throw Exception(QString("A data transfer is already being processed!"));
    FLock = true;
    const auto unlock = qScopeGuard([this] { FLock = false; });
    FCanceled = false;
    CheckConnection();
    const TBusyScope busy(*this);
    DiscardPendingInput();
    MakeDataConnection(type);
    FTransferAborted = false;
    if (type != TCmdType::List) {
        QFile file;
        if (const QString problem = OpenRegularInput(file, localPath); !problem.isEmpty())
            throw Exception("Cannot open file \"" + localPath + "\": " + problem);
        SetTransferSize(file.size());
    }
    bool success = false;
    try {
        if (type == TCmdType::List && FParseList)
            PrepareParser();
        success = StartTransfer(type, localPath, remoteName);
    } catch (...) {
        EndTransfer(type, true);
        throw;
    }
    EndTransfer(type, false);
    if (success && OnSuccess)
        OnSuccess(type);
}

// One parser per connection, made at its first listing after asking the server what it is.
void TXoFTP::PrepareParser() {
    if (!FParser) {
        if (FVendor == kVendorUnknown) {
            try {
                DoCommand("SYST");
            } catch (const Exception&) {
                // Servers that do not say what they are still get the Unix-style parser.
            }
            FVendor = XoFtpReply::VendorFromSyst(FLastReplyText);
        }
        FParser = std::make_unique<TFTPUnixList>();
    }
    FParser->Clear();
}

void TXoFTP::MakeDataConnection(TCmdType type) {
    FDataConn = std::make_unique<TWirelet>();
    FDataConn->SetTimeOut(TimeOut());
    FDataConn->SetStopFlag(FStopFlag);
    if (type == TCmdType::List)
        FDataConn->OnPacketRecvd = OnPacketRecvd;
    else
        FDataConn->OnPacketSent = OnPacketSent;
}

// Opens the data connection and sends LIST or STOR; returns whether the transfer succeeded.
bool TXoFTP::StartTransfer(TCmdType type, const QString& localPath, const QString& remoteName) {
    QString command = "LIST";
    if (type == TCmdType::Upload)
        command = "STOR " + (remoteName.isEmpty() ? QFileInfo(localPath).fileName() : remoteName);
    XoFtpReply::CheckCommandText(command);
    if (type == TCmdType::Upload && FPassive && FRestartAt == 0 && FStoreAhead) {
        const std::optional<bool> stored = StoreAhead(localPath, remoteName, command);
        if (stored)
            return *stored;
        MakeDataConnection(type);
    }
    if (!OpenDataConnection()) {
        Refuse(type, DataModeRefusal());
        return false;
    }
    if (type == TCmdType::Upload && FRestartAt > 0) {
        Transaction("REST " + QString::number(FRestartAt));
        if (FReplyCode != 350) {
            Refuse(TCmdType::UploadRestore);
            return false;
        }
    }
    if (type == TCmdType::Upload && remoteName.isEmpty())
        Report(1, "STOR " + localPath);
    else
        Report(1, command);
    Transaction(command);
    if (FReplyCode > 300 && FReplyCode < 600) {
        Refuse(type);
        return false;
    }
    return MoveData(type, localPath);
}

// STOR sent with the PASV before it, a round trip saved per file: the server takes it once the data
// connection is there. A server that refuses the STOR so (425, 503) gets the usual order from then on, and
// nullopt says to store the usual way now.
std::optional<bool> TXoFTP::StoreAhead(const QString& localPath, const QString& remoteName,
                                       const QString& command) {
    const QString passive = Family() == AF_INET6 ? "EPSV" : "PASV";
    Report(1, remoteName.isEmpty() ? "STOR " + localPath : command);
    SendAhead({passive, command});
    AwaitReply(passive);
    if (FReplyCode >= 400 && FReplyCode < 600) {
        const QString refusal = DataModeRefusal();
        AwaitReply(command); // refused too, with nowhere for its data to go
        Refuse(TCmdType::Upload, refusal);
        return false;
    }
    FDataConn->SetHost(Host());
    FDataConn->SetPort(Family() == AF_INET6 ? XoFtpReply::EpsvPort(FLastReplyText)
                                            : XoFtpReply::PasvPort(FLastReplyText));
    try {
        FDataConn->Connect();
    } catch (...) {
        ++FOwedReplies; // the STOR's, when the server gives up waiting for the data connection
        throw;
    }
    AwaitReply(command);
    if (FReplyCode == 425 || FReplyCode == 503) {
        FStoreAhead = false;
        FDataConn.reset();
        return std::nullopt;
    }
    if (FReplyCode > 300 && FReplyCode < 600) {
        Refuse(TCmdType::Upload);
        return false;
    }
    return MoveData(TCmdType::Upload, localPath);
}

// Frees the data connection; a listing cancelled on the control connection is aborted on the server too.
void TXoFTP::EndTransfer(TCmdType type, bool failing) {
    FDataConn.reset();
    if (type != TCmdType::List || !FCanceled)
        return;
    FCanceled = false;
    try {
        Transaction("ABOR");
    } catch (const Exception&) {
        if (!failing)
            throw;
        // A failing listing's own error is the one to report.
    }
}

bool TXoFTP::OpenDataConnection() {
    // PASV and PORT carry IPv4 addresses only: over IPv6 their extended forms (EPSV, EPRT) are used.
    const bool ipv6 = Family() == AF_INET6;
    if (FPassive) {
        Transaction(ipv6 ? "EPSV" : "PASV");
        if (FReplyCode >= 400 && FReplyCode < 600)
            return false;
        // The address inside the reply is not used: behind address translation it is often unreachable.
        FDataConn->SetHost(Host());
        FDataConn->SetPort(ipv6 ? XoFtpReply::EpsvPort(FLastReplyText)
                                : XoFtpReply::PasvPort(FLastReplyText));
        FDataConn->Connect();
        return true;
    }
    FDataConn->SetHost(Host()); // the name the certificate is checked against
    FDataConn->SetPort(0);
    if (ipv6) {
        FDataConn->SetFamily(AF_INET6);
        FDataConn->Listen(true);
        Transaction("EPRT |2|" + LocalAddress() + "|" + QString::number(FDataConn->LocalPort()) + "|");
        return !(FReplyCode > 300 && FReplyCode < 600);
    }
    FDataConn->Listen(true);
    Transaction("PORT " + LocalAddressText() + FDataConn->LocalPortText());
    return !(FReplyCode > 300 && FReplyCode < 600);
}

// Moves the data of an accepted LIST or STOR, then reads the transfer's closing reply. Returns whether the
// server confirmed the transfer.
bool TXoFTP::MoveData(TCmdType type, const QString& localPath) {
    try {
        if (!FPassive)
            FDataConn->UseSocket(FDataConn->Accept());
        // After the server's preliminary reply: many servers start their side of the handshake only then.
        if (FDataTls)
            SecureDataConnection();
        if (OnTransactionStart)
            OnTransactionStart(this);
        if (!FCanceled && !FTimedOut) {
            if (type == TCmdType::List)
                ReadListing();
            else
                FDataConn->SendFile(localPath, FRestartAt);
        }
    } catch (...) {
        TransferFailed(std::current_exception());
    }
    if (OnTransactionStop)
        OnTransactionStop(this);
    // Made with linger on and 0 seconds; off, the close lets the stored data drain before the FIN.
    if (type == TCmdType::Upload)
        FDataConn->SetLinger(false);
    FDataConn->CloseSocket();
    if (FCanceled || FTimedOut)
        return true;
    // Aborted as the data's end was being sent (its TLS close awaited): the server's verdict is not waited
    // for either.
    if (FTransferAborted) {
        DrainTransferReply(kLateReplyWait);
        throw EAbortError(QString("Socket send aborted"));
    }
    bool closed = false;
    {
        const TReplyScope scope(*this,
                                QString("confirm the end of ") + (type == TCmdType::List ? "LIST" : "STOR"));
        const QString reply = ReadLn();
        closed = reply.isEmpty();
        if (!closed) {
            FLastReplyText = reply;
            FReplyCode = ReplyCodeOf(reply);
            Report(1, XoFtpReply::WithoutLineEnd(reply));
            if (!FCanceled && !FTimedOut)
                ReadRestOfReply(reply);
        }
    }
    if (closed)
        throw ESockError("Connection closed by " + Host(), TNetFailure::Lost);
    // A transfer the server could not complete (cut short, disk full) is a failure, not a success.
    if (FReplyCode >= 400 && FReplyCode <= 599) {
        Refuse(type);
        return false;
    }
    return true;
}

// Lines until the server closes the data connection; each waits at most the time-out, and the whole listing
// is bounded in size and time, however steadily a server keeps sending.
void TXoFTP::ReadListing() {
    const int limitMs = TimeOut() > 0 ? TimeOut() * kListingTimeOuts : 0;
    FDataConn->SetReadDeadline(limitMs > 0 ? QDeadlineTimer(limitMs)
                                           : QDeadlineTimer(QDeadlineTimer::Forever));
    qint64 size = 0;
    for (int lines = 1;; ++lines) {
        QString raw;
        try {
            raw = FDataConn->ReadLn();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError&) {
            if (!FDataConn->ReadDeadline().hasExpired())
                throw;
            throw EListingCut("Listing from " + Host() + " stopped: it took longer than " +
                              QString::number(limitMs / 1000.0) + " s");
        }
        if (raw.isEmpty())
            break;
        size += raw.size();
        if (size > kListingLimit)
            throw EListingCut("Listing from " + Host() + " stopped: it is longer than " +
                              QString::number(kListingLimit >> 20) + " MiB");
        // Lines that come at full speed are read without a wait: the window, and an abort, get their turn.
        if (lines % 64 == 0)
            QCoreApplication::processEvents();
        const QString line = XoFtpReply::WithoutLineEnd(raw);
        if (FParseList && FParser)
            FParser->ParseLine(line);
        if (OnListItem)
            OnListItem(line);
    }
}

// A refused PORT or PASV reads like a file permission problem ("550 Permission denied"); the user is told
// that the data connection mode was refused, and which mode to try instead.
QString TXoFTP::DataModeRefusal() const {
    const QString reply = XoFtpReply::WithoutLineEnd(FLastReplyText);
    if (Family() == AF_INET6)
        return FPassive ? "Passive mode (EPSV) refused by the server (" + reply + "): try active mode"
                        : "Active mode (EPRT) refused by the server (" + reply + "): try passive mode";
    return FPassive ? "Passive mode (PASV) refused by the server (" + reply + "): try active mode"
                    : "Active mode (PORT) refused by the server (" + reply + "): try passive mode";
}

// The data connection closes at once. Its TLS ends with a close_notify when one can be sent in a moment: a
// server that sees TLS cut off may refuse to let the next data connection resume the session. The cut-short
// file is a temporary one its caller deletes. Without TLS (or without a close_notify) the close is a reset,
// which tells the server the transfer was given up. The server's reason, when it gave one, is the error to
// report; a user's abort stays an abort.
void TXoFTP::TransferFailed(const std::exception_ptr& error) {
    const bool stalled = FDataConn->TimedOut();
    if (FDataConn->EndTls(kTlsEndWait))
        FDataConn->SetLinger(false);
    FDataConn->CloseSocket();
    if (OnTransactionStop)
        OnTransactionStop(this);
    bool aborted = false;
    try {
        std::rethrow_exception(error);
    } catch (const EAbortError&) {
        aborted = true;
    } catch (const EListingCut&) {
        aborted = true; // our own stop, with its own reason
    } catch (...) {
    }
    // After an abort or a stall the server may be slow to answer, if at all: its reply is not waited for.
    const int waitMs = aborted || stalled ? kLateReplyWait : (TimeOut() > 0 ? TimeOut() : kDrainTimeOut);
    const QString reply = DrainTransferReply(waitMs);
    const int code = ReplyCodeOf(reply);
    if (!aborted && code >= 400 && code <= 599)
        throw FTPException(XoFtpReply::WithoutLineEnd(reply));
    std::rethrow_exception(error);
}

// The server answers a transfer that failed on our side on the control connection; reading that answer
// keeps the next command's reply in step. One that has not come within waitMs is owed: it is dropped when
// it comes. Returns the reply's first line, or empty.
QString TXoFTP::DrainTransferReply(int waitMs) {
    if (!IsConnected() || FTimedOut)
        return {};
    QElapsedTimer waited;
    waited.start();
    {
        // An abort ends this wait too: the reply is then owed.
        const TReplyScope scope(*this, "confirm the end of the transfer");
        while (IsConnected() && !DataAvailable() && !FCanceled && waited.elapsed() < waitMs)
            WaitStep(POLLIN);
    }
    if (!IsConnected() || !DataAvailable() || FCanceled) {
        ++FOwedReplies;
        return {};
    }
    try {
        const TReplyScope scope(*this, "confirm the end of the transfer");
        const QString reply = ReadLn();
        if (!reply.isEmpty()) {
            Report(1, XoFtpReply::WithoutLineEnd(reply));
            ReadRestOfReply(reply);
        }
        return reply;
    } catch (const Exception&) {
        // The transfer's own failure is the one to report.
        return {};
    }
}
