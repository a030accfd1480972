// FTP client: log-in, commands and their replies, and closing the session.
#include "ftp/XoFtp.h"

#include <exception>

#include <QCoreApplication>

TXoFTP::TXoFTP(QObject* owner) : TWirelet(owner) {
    Report(8, "Create");
    SetPort(21);
    // Pending input is read where a command needs it; between commands it is read at once (IdleInput).
    FReadHook = [this](QObject*) { IdleInput(); };
}

TXoFTP::~TXoFTP() {
    FClosing = true;
    Cancel();
    FDataConn.reset();
    FParser.reset();
}

TXoFTP::TBusyScope::~TBusyScope() {
    if (--FClient.FBusy == 0)
        FClient.RearmRead();
}

TXoFTP::TReplyScope::TReplyScope(TXoFTP& client, const QString& step)
    : FClient(client), FSavedDeadline(client.FReadDeadline), FSavedStep(client.FReadStep),
      FSavedBytes(client.FReplyBytes), FSavedInReply(client.FInReply),
      FExceptions(std::uncaught_exceptions()) {
    FClient.FReadDeadline =
        client.TimeOut() > 0 ? QDeadlineTimer(client.TimeOut()) : QDeadlineTimer(QDeadlineTimer::Forever);
    FClient.FReadStep = step;
    FClient.FReplyBytes = 0;
    FClient.FInReply = true;
}

TXoFTP::TReplyScope::~TReplyScope() {
    if (std::uncaught_exceptions() > FExceptions)
        FClient.FOutOfStep = true;
    FClient.FReadDeadline = FSavedDeadline;
    FClient.FReadStep = FSavedStep;
    FClient.FReplyBytes = FSavedBytes;
    FClient.FInReply = FSavedInReply;
}

QString TXoFTP::ReplyLine() {
    // Lines that come at full speed are read without a wait: the window, and an abort, get their turn here.
    QCoreApplication::processEvents();
    const QString line = ReadLn();
    FReplyBytes += line.size();
    if (FReplyBytes > kReplyLimit)
        throw ESockError("Reply too long: " + Host() + " sent more than " +
                         QString::number(kReplyLimit >> 20) + " MiB and did not " + FReadStep);
    return line;
}

QString TXoFTP::Transaction(const QString& command) {
    const TBusyScope busy(*this);
    SendAhead({command});
    return AwaitReply(command);
}

// One write for all: a server reads its commands from the stream in order and answers each in turn.
void TXoFTP::SendAhead(const QStringList& commands) {
    QString text;
    for (const QString& command : commands) {
        XoFtpReply::CheckCommandText(command);
        if (FOutOfStep)
            throw ESockError("Command " + command.section(' ', 0, 0).left(8) + " not sent: a reply of " +
                             Host() + " was cut off before its end, so the connection is out of step");
        text += command + "\r\n";
    }
    FReplyCode = 0;
    Write(text);
}

QString TXoFTP::AwaitReply(const QString& command) {
    const TBusyScope busy(*this);
    QString reply;
    {
        const TReplyScope scope(*this, "answer " + command.section(' ', 0, 0).left(8));
        reply = ReadLn();
        FLastReplyText = reply;
        if (!reply.isEmpty()) {
            Report(1, reply.trimmed());
            FReplyCode = ReplyCodeOf(reply);
        }
        // The closing reply of a transfer given up earlier may come first: it is no answer to this command.
        while (!reply.isEmpty() && FOwedReplies > 0 && XoFtpReply::EndsTransfer(FReplyCode)) {
            ReadRestOfReply(reply);
            --FOwedReplies;
            reply = ReadLn();
            FLastReplyText = reply;
            FReplyCode = ReplyCodeOf(reply);
            if (!reply.isEmpty())
                Report(1, XoFtpReply::WithoutLineEnd(reply));
        }
        if (!reply.isEmpty())
            ReadRestOfReply(reply);
    }
    // No reply at all means the server closed the connection: that is never an answer to the command. (Not
    // a reply cut off: the connection is over, not out of step.)
    if (reply.isEmpty())
        throw ESockError(ClosingReason(), TNetFailure::Lost);
    return reply;
}

QString TXoFTP::ClosingReason() const {
    return FClosingReply.isEmpty() ? "Connection closed by " + Host() : FClosingReply;
}

void TXoFTP::NoteClosingReply(const QString& text) {
    for (const QString& line : text.split('\n'))
        if (ReplyCodeOf(line) == 421)
            FClosingReply = XoFtpReply::WithoutLineEnd(line);
}

// Input while no command runs. A server speaks on its own to announce that it closes the connection (421,
// as on an idle time-out), or with the late closing reply of a transfer given up. It is read at once, so
// that the close is seen now and its reason kept.
void TXoFTP::IdleInput() {
    if (FBusy > 0 || !IsConnected())
        return; // the command in progress reads it
    const TBusyScope busy(*this);
    try {
        while (IsConnected() && DataAvailable()) {
            const TReplyScope scope(*this, "end its reply");
            const QString line = ReadLn();
            if (line.isEmpty())
                break;
            Report(1, XoFtpReply::WithoutLineEnd(line));
            ReadRestOfReply(line);
            if (FOwedReplies > 0)
                --FOwedReplies;
            FLastReplyText = line;
            FReplyCode = ReplyCodeOf(line);
            if (FReplyCode == 421) {
                NoteClosingReply(line);
                CloseByPeer();
            }
        }
    } catch (const Exception&) {
        // Nobody waits for this input; a connection that failed meanwhile shows at the next command.
    }
}

void TXoFTP::ReadRestOfReply(const QString& line) {
    QString current = line;
    FReplyBytes = line.size();
    while (XoFtpReply::Continues(line, current)) {
        current = ReplyLine();
        if (!current.isEmpty())
            Report(1, XoFtpReply::WithoutLineEnd(current));
    }
}

void TXoFTP::Connect() {
    FCanceled = false;
    if (IsConnected())
        return;
    const TBusyScope busy(*this);
    FClosingReply.clear();
    FOwedReplies = 0;
    FOutOfStep = false;
    ClearInput();
    TWirelet::Connect();
    try {
        if (FEncryption == TFtpEncryption::Implicit) {
            StartTls();
            CheckCertificate();
            Report(1, "Encrypted with " + TlsVersion());
        }
        LogIn();
    } catch (...) {
        try {
            Disconnect();
        } catch (const Exception&) {
            // The log-in failure is the one to report; a failing close adds nothing to it.
        }
        Report(1, "Disconnected");
        throw;
    }
}

void TXoFTP::LogIn() {
    QString greeting;
    {
        const TReplyScope scope(*this, "send its greeting");
        greeting = ReadLn();
        FLastReplyText = greeting;
        FReplyCode = ReplyCodeOf(greeting);
        if (!greeting.isEmpty()) {
            Report(1, XoFtpReply::WithoutLineEnd(greeting));
            ReadRestOfReply(greeting);
        }
    }
    if (greeting.isEmpty())
        throw ESockError("Connection closed by " + Host(), TNetFailure::Lost);
    if (FReplyCode > 400) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FTPException(XoFtpReply::WithoutLineEnd(greeting));
    }
    FDataTls = false;
    if (FEncryption == TFtpEncryption::Auto || FEncryption == TFtpEncryption::Require)
        SecureControl();
    if (FFWAuthenticate) {
        Transaction("USER " + FFWUserID);
        CheckLogIn(false);
        if (FReplyCode == 331) {
            Report(1, "PASS ");
            Transaction("PASS " + FFWPassword);
            CheckLogIn(false); // the firewall's password, not the user's
        }
    }
    if ((FUserID.isEmpty() || FPassword.isEmpty()) && OnAuthenticationNeeded) {
        bool handled = false;
        OnAuthenticationNeeded(handled);
    }
    if (!Proxy().isEmpty()) {
        switch (FFirewallType) {
        case TFirewallType::FTUser:
            Transaction("USER " + FUserID + "@" + Host());
            break;
        case TFirewallType::FtOpen:
            Transaction("OPEN " + Host());
            break;
        case TFirewallType::FtSite:
            Transaction("SITE " + Host());
            break;
        }
    }
    if (Proxy().isEmpty() || FFirewallType != TFirewallType::FTUser) {
        Report(1, "USER " + FUserID);
        Transaction("USER " + FUserID);
        CheckLogIn(false);
    }
    if (FReplyCode == 331) {
        Report(1, "PASS "); // the password itself is never reported
        Transaction("PASS " + FPassword);
        CheckLogIn(true);
    }
    if (TlsActive())
        SecureData();
    if (OnConnect)
        OnConnect(this);
}

// 530 is "not logged in": to the user's PASS the password was refused, to USER the account (the password
// never went).
void TXoFTP::CheckLogIn(bool password) {
    if (FReplyCode > 400 && FReplyCode < 600) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        TNetFailure kind = TNetFailure::Refused;
        if (FReplyCode == 530)
            kind = password ? TNetFailure::PasswordRefused : TNetFailure::LogInRefused;
        throw FTPException(XoFtpReply::WithoutLineEnd(FLastReplyText), kind);
    }
}

void TXoFTP::Disconnect() {
    Quit(true);
}

void TXoFTP::DisconnectAtOnce() {
    Quit(false);
}

void TXoFTP::Quit(bool awaitReply) {
    FCanceled = false;
    // Also when the server closed first: the next connection may reach another server and asks again.
    FParser.reset();
    FVendor = kVendorUnknown;
    if (!IsConnected())
        return;
    const TBusyScope busy(*this);
    Report(1, "QUIT");
    QString reply;
    int code = 0;
    // After a reply timed out or was cut off the server is out of step; a QUIT would only wait once more.
    const bool inClear =
        !TlsActive() && (FEncryption == TFtpEncryption::Require || FEncryption == TFtpEncryption::Implicit);
    if (!FTimedOut && !FOutOfStep && !inClear) {
        try {
            DiscardPendingInput();
            // The answer to a QUIT would queue behind a given-up transfer's reply: it is not waited for.
            if (FOwedReplies > 0 || !awaitReply) {
                Writeln("QUIT");
            } else {
                reply = Transaction("QUIT");
                code = FReplyCode;
            }
        } catch (const ESockError&) {
            // The connection is closed below whatever happened to the QUIT.
        }
    }
    FOwedReplies = 0;
    TWirelet::Disconnect();
    if (code > 300 && code < 600)
        throw FTPException(XoFtpReply::WithoutLineEnd(reply));
}

// A transfer in progress ends on its data connection, and the control connection then reads its closing
// reply; a reply being waited for ends at once, however long the server would drag it out.
void TXoFTP::Abort() {
    Report(8, "Abort");
    if (FDataConn) {
        FDataConn->Cancel();
        FTransferAborted = true;
    }
    if (FInReply)
        Cancel();
}

// Input before a command is no answer to it; a 421 among it still tells why the connection ends.
void TXoFTP::DiscardPendingInput() {
    if (!DataAvailable())
        return;
    NoteClosingReply(QString::fromUtf8(Read(0)));
    if (FOwedReplies > 0)
        --FOwedReplies;
}

// A refused command: unsupported-function news for 500 to 502, then the failure handler, then the reply as
// an FTPException unless the handler took the failure over.
void TXoFTP::Refuse(TCmdType type, const QString& text) {
    const QString reply = text.isEmpty() ? XoFtpReply::WithoutLineEnd(FLastReplyText) : text;
    if (FReplyCode >= 500 && FReplyCode <= 502 && OnUnSupportedFunction)
        OnUnSupportedFunction(type);
    if (OnFailure) {
        bool handled = false;
        OnFailure(handled, type);
        if (handled)
            return;
    }
    throw FTPException(reply);
}

void TXoFTP::DoCommand(const QString& command) {
    const TCmdType type = XoFtpReply::TransTypeOf(command);
    FCanceled = false;
    CheckConnection();
    const TBusyScope busy(*this);
    Report(1, command);
    DiscardPendingInput();
    Transaction(command);
    if (FReplyCode >= 400 && FReplyCode <= 599) {
        Refuse(type);
        return;
    }
    if (OnSuccess)
        OnSuccess(type);
}

void TXoFTP::ChangeDir(const QString& dir) {
    DoCommand("CWD " + dir);
}

void TXoFTP::MakeDir(const QString& dir) {
    DoCommand("MKD " + dir);
}

// Both commands go at once and their replies are read as they come: a refused RNFR makes the server refuse
// the RNTO after it too, and the first refusal is the one told.
void TXoFTP::Rename(const QString& from, const QString& to) {
    XoFtpReply::CheckCommandText(from);
    XoFtpReply::CheckCommandText(to);
    FCanceled = false;
    CheckConnection();
    const TBusyScope busy(*this);
    DiscardPendingInput();
    const QStringList commands{"RNFR " + from, "RNTO " + to};
    for (const QString& command : commands)
        Report(1, command);
    SendAhead(commands);
    AwaitReply(commands[0]);
    const QString fromReply = FLastReplyText;
    const int fromCode = FReplyCode;
    AwaitReply(commands[1]);
    if (fromCode >= 400 && fromCode <= 599) {
        FLastReplyText = fromReply;
        FReplyCode = fromCode;
    }
    if (FReplyCode >= 400 && FReplyCode <= 599) {
        Refuse(TCmdType::Rename);
        return;
    }
    if (OnSuccess)
        OnSuccess(TCmdType::Rename);
}

void TXoFTP::Delete(const QString& name) {
    DoCommand("DELE " + name);
}

QString TXoFTP::CurrentDir() {
    DoCommand("PWD");
    return XoFtpReply::QuotedPath(FLastReplyText);
}

void TXoFTP::Mode(int transferType) {
    switch (transferType) {
    case 1:
        DoCommand("TYPE A");
        break;
    case 2:
        DoCommand("TYPE I");
        break;
    case 3:
        DoCommand("TYPE L 8");
        break;
    default:
        break;
    }
}

qint64 TXoFTP::DataSentCount() const {
    return FDataConn ? FDataConn->SentCount() : 0;
}
