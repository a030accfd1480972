// The upload panel's handlers of the client's events: status texts, message boxes and the progress bar.
#include "app/FtpFU.h"

#include <climits>

#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include "app/VlxApplication.h"
#include "upload/FtpTrust.h"

void TFtpF::XoFTPConnect(QObject*) {
    const QString note = NotEncryptedText(*FXoFTP);
    if (!FXoFTP->TlsActive())
        ShowStatus(note.isEmpty() ? "Connected" : "Connected, " + note);
    else if (FXoFTP->DataEncrypted())
        ShowStatus("Connected, encrypted with " + FXoFTP->TlsVersion());
    else
        ShowStatus("Connected, encrypted with " + FXoFTP->TlsVersion() + "; files are sent unencrypted");
}

// A certificate the system cannot vouch for (self-signed, another name, expired): trusted when the user
// trusted its fingerprint for this host before, else the user decides, seeing who issued it.
void TFtpF::XoFTPCertificateCheck(const TTlsPeer& peer, bool& trusted) {
    const auto ask = [this](const QString& question) {
        return FWindow && FWindow->Dialogs().MessageBox(TMsgKind::Confirmation, question,
                                                        TMsgButtons::YesNoDefaultNo) == TModalResult::Yes;
    };
    trusted = FtpTrust::Check(FTrustFileName, FXoFTP->Host(), peer, ask,
                              [this](const QString& text) { ShowMessage(TMsgKind::Warning, text); });
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
    ShowMessage(TMsgKind::Information, FtpErrorText(errorNumber, text));
}

void TFtpF::XoFTPStatus(QObject*, const QString& text) {
    ShowStatus(text);
}

void TFtpF::XoFTPTransactionStart(QObject*) {
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
    const QString text = FtpSuccessText(transType);
    if (!text.isEmpty())
        ShowStatus(text);
    switch (transType) {
    case TCmdType::ChangeDir:
        DirLV->setEnabled(true);
        break;
    case TCmdType::List:
        if (FRun && FRun->Listing())
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
    const QString text = FtpFailureText(transType);
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
    const QString text = FtpUnsupportedText(transType);
    if (!text.isEmpty())
        ShowMessage(TMsgKind::Information, text);
}
