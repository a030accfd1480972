// The upload panel's handlers of the client's events: status texts, message boxes and the progress bar.
#include "app/FtpFU.h"

#include <climits>

#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include "app/FtpTrust.h"
#include "app/VlxApplication.h"

namespace {

// Names of the transaction types 0 to 14, as the result texts use them.
const char* const kTransNames[] = {"ChangeDir", "MakeDir", "Delete",        "RemoveDir",
                                   "List",      "Rename",  "UploadRestore", "DownloadRestore",
                                   "Download",  "Upload",  "UploadAppend",  "ReInit",
                                   "Allocate",  "NList",   "DoCommand"};

QString TransText(TCmdType transType, const char* outcome) {
    const auto index = static_cast<size_t>(transType);
    if (index >= std::size(kTransNames))
        return {}; // the current-directory query and anything newer report nothing
    return QString(kTransNames[index]) + " " + outcome;
}

} // namespace

QString TFtpF::SuccessText(TCmdType transType) {
    return TransText(transType, "success");
}

QString TFtpF::FailureText(TCmdType transType) {
    return TransText(transType, "failure");
}

QString TFtpF::UnsupportedText(TCmdType transType) {
    return TransText(transType, "unsupported");
}

// With TLS wanted "if the server offers it", a server that does not offer it gets the files in clear: the
// user is told so, here and in the texts of the run.
QString TFtpF::NotEncryptedText() const {
    if (FXoFTP->Encryption() != TFtpEncryption::Auto || FXoFTP->TlsActive())
        return {};
    return "not encrypted: " + FXoFTP->Host() + " does not offer TLS";
}

void TFtpF::XoFTPConnect(QObject*) {
    if (!FXoFTP->TlsActive())
        ShowStatus(NotEncryptedText().isEmpty() ? "Connected" : "Connected, " + NotEncryptedText());
    else if (FXoFTP->DataEncrypted())
        ShowStatus("Connected, encrypted with " + FXoFTP->TlsVersion());
    else
        ShowStatus("Connected, encrypted with " + FXoFTP->TlsVersion() + "; files are sent unencrypted");
}

// A certificate the system cannot vouch for (self-signed, another name, expired): trusted when the user
// trusted its fingerprint for this host before, else the user decides, seeing who issued it.
void TFtpF::XoFTPCertificateCheck(const TTlsPeer& peer, bool& trusted) {
    const QString host = FXoFTP->Host();
    if (FtpTrust::IsTrusted(FTrustFileName, host, peer.Sha256)) {
        trusted = true;
        return;
    }
    if (!FWindow)
        return;
    const QString text = "The certificate of " + host + " could not be verified: " + peer.Problem +
                         ".\r\rIssued by: " + peer.Issuer + "\rIssued to: " + peer.Subject +
                         "\rSHA-256 fingerprint: " + peer.Sha256 + "\r\rTrust this certificate for " + host +
                         " from now on?";
    if (FWindow->Dialogs().MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNoDefaultNo) !=
        TModalResult::Yes)
        return;
    trusted = true;
    // The user's answer holds for this connection even when it cannot be kept for the next ones.
    try {
        if (!FTrustFileName.isEmpty())
            FtpTrust::Trust(FTrustFileName, host, peer.Sha256);
    } catch (const Exception& e) {
        ShowMessage(TMsgKind::Warning, e.Message());
    }
}

void TFtpF::XoFTPDisconnect(QObject*) {
    ShowStatus("Disconnected");
    // The server ended the connection (an idle time-out while browsing): once the handler that is
    // running returns, the panel goes back to idle and shows why.
    if (FXoFTP->PeerClosed())
        QTimer::singleShot(0, this, [this] { ServerClosed(); });
}

// A command in progress reports a lost connection itself, and a run ends on its own; only the browser waits
// for the user without one.
void TFtpF::ServerClosed() {
    if (FXoFTP->IsConnected() || FXoFTP->Busy() || !FBrowsing || FUploading || FStarting)
        return;
    const QString reason = FXoFTP->ClosingReason();
    RunGuarded([this] { SetBrowsing(false); });
    ShowStatus(reason);
}

void TFtpF::XoFTPHostResolved(QObject*) {
    ShowStatus("Host resolved");
}

// Leaves the event unhandled, so that the connection attempt fails.
void TFtpF::XoFTPInvalidHost(bool&) {
    ShowMessage(TMsgKind::Information, "Invalid Host");
}

void TFtpF::XoFTPConnectionFailed(QObject*) {
    ShowMessage(TMsgKind::Information, "Connection Failed");
}

void TFtpF::XoFTPError(QObject*, quint16 errorNumber, const QString& text) {
    ShowMessage(TMsgKind::Information, "Error " + QString::number(errorNumber) + ": " + text);
}

void TFtpF::XoFTPStatus(QObject*, const QString& text) {
    ShowStatus(text);
}

void TFtpF::XoFTPTransactionStart(QObject*) {
    // Abort pressed while the store was being set up: the data connection exists only from here on.
    if (FAbortRequested)
        FXoFTP->Abort();
    FreeProgressBar();
    // The bar's range is an int; a file beyond it is counted in larger steps.
    const qint64 total = qMax<qint64>(0, FXoFTP->TransferSize());
    FProgressShift = 0;
    while ((total >> FProgressShift) > INT_MAX)
        ++FProgressShift;
    if (FWindow)
        FProgressBar = FWindow->CreateStatusProgressBar(static_cast<int>(total >> FProgressShift));
}

void TFtpF::XoFTPPacketSent(QObject*) {
    if (!FXoFTP->IsConnected() || !FProgressBar)
        return;
    FProgressBar->setValue(static_cast<int>(FXoFTP->DataSentCount() >> FProgressShift));
    FProgressBar->repaint();
}

void TFtpF::XoFTPTransactionStop(QObject*) {
    FreeProgressBar();
}

QProgressBar* TFtpF::ProgressBar() const {
    return FProgressBar;
}

void TFtpF::FreeProgressBar() {
    delete FProgressBar.data();
    FProgressBar = nullptr;
}

void TFtpF::XoFTPSuccess(TCmdType transType) {
    const QString text = SuccessText(transType);
    if (!text.isEmpty())
        ShowStatus(text);
    switch (transType) {
    case TCmdType::ChangeDir:
        DirLV->setEnabled(true);
        break;
    case TCmdType::List:
        if (FListingForRun)
            break;
        FillDirList();
        DirLV->setEnabled(true);
        break;
    default:
        break;
    }
}

// Never takes the failure over: the client raises it as an error afterwards.
void TFtpF::XoFTPFailure(bool&, TCmdType transType) {
    const QString text = FailureText(transType);
    if (!text.isEmpty())
        ShowStatus(text);
    switch (transType) {
    case TCmdType::ChangeDir:
    case TCmdType::List:
        DirLV->setEnabled(true);
        break;
    default:
        break;
    }
}

void TFtpF::XoFTPUnSupportedFunction(TCmdType transType) {
    // A refused rename or delete is dealt with by the run itself, which says so in the status bar.
    if (transType == TCmdType::Rename || transType == TCmdType::Delete)
        return;
    const QString text = UnsupportedText(transType);
    if (!text.isEmpty())
        ShowMessage(TMsgKind::Information, text);
}

// Moves the run past the selected file: the last one ends it, any other posts the next store.
void TFtpF::NextFileOrEnd() {
    const int i = UploadFilesLB->currentRow();
    if (i + 1 >= UploadFilesLB->count()) {
        FCompleted = true;
        SaveRecord();
        EndUpload();
        return;
    }
    UploadFilesLB->setCurrentRow(i + 1);
    PostUploadNext();
}
