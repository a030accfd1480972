// FTP client on the socket layer, and the parsers of directory listing lines.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include "ftp/Wlet.h"

// Its message is the server's reply line (without its line end), or says what was refused before sending.
class FTPException : public ERemoteRefusal {
public:
    using ERemoteRefusal::ERemoteRefusal;
};

enum class TFirewallType { FTUser, FtOpen, FtSite };

// Explicit TLS: none (all in clear), when the server offers it (AUTH TLS accepted), or required (nothing of
// the log-in is sent in clear). Implicit: TLS from the first byte, before the greeting (port 990).
enum class TFtpEncryption { None, Auto, Require, Implicit };

// The kind of operation an event reports on.
enum class TCmdType : quint8 {
    ChangeDir,
    MakeDir,
    Delete,
    RemoveDir,
    List,
    Rename,
    UploadRestore,
    DownloadRestore,
    Download,
    Upload,
    UploadAppend,
    ReInit,
    Allocate,
    NList,
    DoCommand,
    CurrentDir
};

using TSuccessEvent = std::function<void(TCmdType Trans_Type)>;
using TFailureEvent = std::function<void(bool& Handled, TCmdType Trans_Type)>;
using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;
using TXoListItem = std::function<void(const QString& Listing)>;
// A server certificate that could not be verified: the handler sets Trusted to go on with it.
using TCertificateEvent = std::function<void(const TTlsPeer& Peer, bool& Trusted)>;

// A reply (all its lines) holds at most this many bytes; a listing at most kListingLimit, and takes at most
// kListingTimeOuts times the time-out.
inline constexpr qint64 kReplyLimit = 1 << 20;
inline constexpr qint64 kListingLimit = 64 << 20;
inline constexpr int kListingTimeOuts = 8;

// Server types for Vendor; 2411 asks the server (SYST) at the first listing.
inline constexpr int kVendorUnix = 2400;
inline constexpr int kVendorDos = 2401;
inline constexpr int kVendorVm = 2402;
inline constexpr int kVendorMacOs = 2404;
inline constexpr int kVendorVms = 2406;
inline constexpr int kVendorMvs = 2408;
inline constexpr int kVendorOther = 2410;
inline constexpr int kVendorUnknown = 2411;
inline constexpr int kVendorOs400 = 2414;
inline constexpr int kVendorNetWare = 2416;

// Splits a listing line into blank-separated fields; descendants turn the fields into an entry.
class TFTPDirectoryList {
public:
    static constexpr int kFieldSlots = 25;
    static constexpr int kFieldLength = 255;

    TFTPDirectoryList() = default;
    virtual ~TFTPDirectoryList() = default;

    virtual void ParseLine(const QString& line);
    void Clear();

    int FieldCount() const { return FFieldCount; }
    // Field 1 is the first; empty beyond FieldCount.
    QString Field(int n) const;

    QStringList AttrList;
    QStringList NameList;
    QStringList DateList;
    QStringList SizeList;

protected:
    std::array<QString, kFieldSlots + 1> FFields; // slot 0 unused, so slot numbers read as field numbers
    int FFieldCount = 0;
};

// Unix long listing: drwxr-xr-x 2 ann staff 4096 Jan 29 23:32 photos
class TFTPUnixList : public TFTPDirectoryList {
public:
    void ParseLine(const QString& line) override;
};

// Reply text helpers, free of sockets so that they can be checked on any input.
namespace XoFtpReply {
// A reply line without its line end, as it is shown and reported.
QString WithoutLineEnd(QString line);
// Field n (from 1) of text split at delimiter; empty when missing.
QString NthField(const QString& text, QChar delimiter, int n);
// True when the line after `first` (and `previous`) still belongs to a multi-line reply.
bool Continues(const QString& first, const QString& previous);
// Port of a PASV reply: high × 256 + low from its 5th and 6th comma-separated fields.
int PasvPort(const QString& reply);
// Port of an EPSV reply: the number between the last two '|' of "229 ... (|||6446|)"; 0 when none.
int EpsvPort(const QString& reply);
// The path of a 257 reply: the text between its first quote and the closing one, a doubled quote read as
// one quote character; empty when the reply holds no quote.
QString QuotedPath(const QString& reply);
// A code that ends a data transfer (225, 226, 425, 426, 450 to 452, 551, 552).
bool EndsTransfer(int code);
// Server type from the first line of a SYST reply.
int VendorFromSyst(const QString& reply);
// Transaction type of a command sent through DoCommand.
TCmdType TransTypeOf(const QString& command);
// Refuses (FTPException) a command whose text holds a line break or NUL: it would send commands of its own.
void CheckCommandText(const QString& command);
} // namespace XoFtpReply

class TXoFTP : public TWirelet {
public:
    explicit TXoFTP(QObject* owner = nullptr);
    ~TXoFTP() override;

    void Connect() override;
    // Says goodbye (QUIT, its reply awaited) and closes. Where TLS is required and not yet in place nothing
    // is sent: the connection is only closed.
    void Disconnect() override;
    // As Disconnect, without waiting for the goodbye's reply: after an abort the user is not kept waiting.
    void DisconnectAtOnce();
    QString Transaction(const QString& command) override;
    // Commands sent together, without waiting for the replies between them; AwaitReply reads each in turn.
    void SendAhead(const QStringList& commands);
    // The reply to the command sent, read as a whole.
    QString AwaitReply(const QString& command);
    void Abort() override;

    void DoCommand(const QString& command);
    void ChangeDir(const QString& dir);
    void MakeDir(const QString& dir);
    QString CurrentDir();
    void Mode(int transferType);
    // RNFR then RNTO, reported as one operation of type Rename.
    void Rename(const QString& from, const QString& to);
    void Delete(const QString& name);
    void List();
    void Upload(const QString& localPath, const QString& remoteName);
    // The rest of a file the server holds the first offset bytes of (REST, then STOR).
    void UploadFrom(const QString& localPath, const QString& remoteName, qint64 offset);
    // The size the server gives for a file (SIZE); -1 when it does not say.
    qint64 RemoteSize(const QString& name);
    qint64 DataSentCount() const;
    void ReadRestOfReply(const QString& line);

    const QString& UserID() const { return FUserID; }
    void SetUserID(const QString& value) { FUserID = value; }
    const QString& Password() const { return FPassword; }
    void SetPassword(const QString& value) { FPassword = value; }
    bool Passive() const { return FPassive; }
    void SetPassive(bool value) { FPassive = value; }
    int Vendor() const { return FVendor; }
    void SetVendor(int value) { FVendor = value; }
    bool ParseList() const { return FParseList; }
    void SetParseList(bool value) { FParseList = value; }
    TFirewallType FirewallType() const { return FFirewallType; }
    void SetFirewallType(TFirewallType value) { FFirewallType = value; }
    const QString& FWUserID() const { return FFWUserID; }
    void SetFWUserID(const QString& value) { FFWUserID = value; }
    const QString& FWPassword() const { return FFWPassword; }
    void SetFWPassword(const QString& value) { FFWPassword = value; }
    TFtpEncryption Encryption() const { return FEncryption; }
    void SetEncryption(TFtpEncryption value) { FEncryption = value; }
    // Data connections are encrypted too (PROT P accepted).
    bool DataEncrypted() const { return FDataTls; }
    bool FWAuthenticate() const { return FFWAuthenticate; }
    void SetFWAuthenticate(bool value) { FFWAuthenticate = value; }
    // The parsed entries of the last listing; none before the first listing on a connection.
    const TFTPDirectoryList* Parser() const { return FParser.get(); }
    // A command or transfer is in progress (its handlers may run meanwhile).
    bool Busy() const { return FBusy > 0; }
    // Why the server ended the connection: its closing reply (421) when it sent one, else a plain text.
    QString ClosingReason() const;
    // The server's closing reply (421) on this connection; empty when it sent none.
    const QString& ClosingReply() const { return FClosingReply; }
    // A reply was cut off before its end (time-out, abort, too long): what the server sends next belongs
    // to it, so no further command is sent on this connection.
    bool OutOfStep() const { return FOutOfStep; }

    TNotifyEvent OnTransactionStart;
    TNotifyEvent OnTransactionStop;
    TSuccessEvent OnSuccess;
    TFailureEvent OnFailure;
    THandlerEvent OnAuthenticationNeeded;
    THandlerEvent OnAuthenticationFailed;
    TXoListItem OnListItem;
    // The client's own: log-in completed. The socket's connection event stays unused by the client.
    TNotifyEvent OnConnect;
    TUnsupportedEvent OnUnSupportedFunction;
    TCertificateEvent OnCertificateCheck;

private:
    void LogIn();
    // After USER or PASS (password: the reply is to the user's password).
    void CheckLogIn(bool password);
    void Quit(bool awaitReply);
    // AUTH TLS and the handshake; in clear on when the server refuses and TLS is not required.
    void SecureControl();
    // PBSZ 0 and PROT P after log-in, so that data connections are encrypted too.
    void SecureData();
    void CheckCertificate();
    // The data connection's handshake, resuming the control connection's session.
    void SecureDataConnection();
    void DiscardPendingInput();
    // The error's text is the reply line unless another is given.
    void Refuse(TCmdType type, const QString& text = {});
    void RunTransfer(TCmdType type, const QString& localPath, const QString& remoteName);
    void PrepareParser();
    bool StartTransfer(TCmdType type, const QString& localPath, const QString& remoteName);
    std::optional<bool> StoreAhead(const QString& localPath, const QString& remoteName,
                                   const QString& command);
    void EndTransfer(TCmdType type, bool failing);
    void MakeDataConnection(TCmdType type);
    bool OpenDataConnection();
    bool MoveData(TCmdType type, const QString& localPath);
    void ReadListing();
    void TransferFailed(const std::exception_ptr& error);
    QString DrainTransferReply(int waitMs);
    void IdleInput();
    void NoteClosingReply(const QString& text);
    void DropLateReplies(const QString& command);
    QString DataModeRefusal() const;
    // A line of the reply being read, counted against its size limit.
    QString ReplyLine();
    // One reply read as a whole: its lines share one deadline (the time-out, from the first line on) and
    // one size limit, a time-out names the step waited for ("answer CWD"), and Abort ends the wait. A reply
    // left unfinished by an error leaves the connection out of step.
    class TReplyScope {
    public:
        TReplyScope(TXoFTP& client, const QString& step);
        ~TReplyScope();
        TReplyScope(const TReplyScope&) = delete;
        TReplyScope& operator=(const TReplyScope&) = delete;

    private:
        TXoFTP& FClient;
        QDeadlineTimer FSavedDeadline;
        QString FSavedStep;
        qint64 FSavedBytes;
        bool FSavedInReply;
        int FExceptions;
    };
    // Marks a command in progress; the outermost one re-arms the idle read notification at its end.
    class TBusyScope {
    public:
        explicit TBusyScope(TXoFTP& client) : FClient(client) { ++FClient.FBusy; }
        ~TBusyScope();
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TXoFTP& FClient;
    };

    qint64 FRestartAt = 0; // the offset of the store being set up
    bool FLock = false;
    int FBusy = 0;
    int FOwedReplies = 0;  // closing replies of given-up transfers that have not arrived yet
    QString FClosingReply; // the server's 421, from when it announced closing the connection
    bool FInReply = false; // a reply is being read
    // Abort came while the current transfer's data connection was there.
    bool FTransferAborted = false;
    qint64 FReplyBytes = 0;
    QString FReplyStep;
    bool FOutOfStep = false;
    bool FListing = false;
    QString FUserID;
    QString FPassword;
    bool FPassive = false;
    bool FStoreAhead = true; // STOR goes with PASV until the server refuses it so
    std::unique_ptr<TWirelet> FDataConn;
    int FVendor = kVendorUnknown;
    std::unique_ptr<TFTPDirectoryList> FParser;
    bool FParseList = false;
    TFirewallType FFirewallType = TFirewallType::FTUser;
    QString FFWUserID;
    QString FFWPassword;
    bool FFWAuthenticate = false;
    TFtpEncryption FEncryption = TFtpEncryption::None;
    bool FDataTls = false;
};
