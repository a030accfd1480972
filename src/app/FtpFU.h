// The upload panel: the FTP fields, the directory browser, and the upload run (TUploadRun) of the last
// generated gallery driven one file per message, its queue and progress shown.
#pragma once

#include <exception>
#include <memory>

#include <QHash>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "app/VlxDialogs.h"
#include "ftp/XoFtp.h"
#include "upload/FtpTrust.h"
#include "upload/FtpUploadRecord.h"
#include "upload/PasswordKeyring.h"
#include "upload/UploadRun.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPainter;
class QProgressBar;
class QPushButton;
class QRect;
class QSpinBox;
class QStyleOptionViewItem;
class QToolButton;

// Posted window messages of the upload run, as custom event types of exactly these numbers.
inline constexpr int WM_FTPUPLOADNEXT = 0x5F0;    // panel -> itself: store the next file
inline constexpr int WM_FTPUPLOADREQUEST = 0x5F1; // panel -> main window: regenerate and upload

// The services of the main window the panel uses. The window outlives the panel.
class TFtpFWindow {
public:
    virtual ~TFtpFWindow() = default;

    // Puts a text into status panel 0 and repaints the status bar at once.
    virtual void ShowStatus(const QString& text) = 0;
    // A new progress bar over status panel 1, range 0 to max, position 0. The caller owns it.
    virtual QProgressBar* CreateStatusProgressBar(int max) = 0;
    // The window's message boxes.
    virtual TDialogs& Dialogs() const = 0;
    // Receives WM_FTPUPLOADREQUEST; none when there is no main window.
    virtual QObject* MainForm() = 0;
};

// The two looks of the upload button: idle (double check-mark, "&Upload") and uploading ("Abort").
enum class TBitBtnKind { bkAll, bkAbort };

class TFtpF : public QWidget {
public:
    explicit TFtpF(TFtpFWindow* window, QWidget* parent = nullptr);
    ~TFtpF() override;

    // Operations the main window calls.
    void SetUploadFiles(const QStringList& files);
    void StartUpload();

    // The fields the options file reads and writes, as one value. The password is never among them.
    TFtpSettings Settings() const;
    void SetSettings(const TFtpSettings& settings);
    // The same fields as text.
    QString FtpHost() const;
    void SetFtpHost(const QString& value);
    QString FtpPort() const;
    void SetFtpPort(const QString& value);
    QString FtpUserID() const;
    void SetFtpUserID(const QString& value);
    QString FtpRemoteDir() const;
    void SetFtpRemoteDir(const QString& value);
    bool FtpPassive() const;
    void SetFtpPassive(bool value);
    bool FtpChangedOnly() const;
    void SetFtpChangedOnly(bool value);
    // The file that records what was uploaded where; none: every file is stored every time.
    void SetUploadRecordFile(const QString& fileName) { FRecordFileName = fileName; }
    // Encryption as stored: "none", "auto" (TLS if the server offers it) or "require"; anything else reads
    // as "none".
    QString FtpEncryption() const;
    void SetFtpEncryption(const QString& value);
    // The file of trusted certificates; none: a certificate trusted by the user counts for one connection.
    void SetTrustFile(const QString& fileName) { FTrustFileName = fileName; }
    // The SSH host keys known; none: the user's ~/.ssh/known_hosts.
    void SetKnownHostsFile(const QString& fileName) { FKnownHostsFileName = fileName; }

    void ConnectToHost();
    void DisconnectFromHost();
    void SetUploading(bool v);
    // Abort: the store in progress is cancelled and its temporary file deleted, and the run ends.
    void AbortRun();
    void SetBrowsing(bool v);
    void UploadNext();
    void EndUpload();
    void FillDirList();
    void FreeProgressBar();

    bool Uploading() const { return FUploading; }
    // What the status bar said at the end of the last run beyond success (files skipped, left out...).
    const QString& RunNotes() const { return FRunNotes; }
    bool Browsing() const { return FBrowsing; }
    // While a run is connected to a server that does not offer the TLS wanted "if offered": says so.
    const QString& NotEncryptedNote() const { return FNotEncryptedNote; }
    TBitBtnKind UploadBBKind() const { return FUploadBBKind; }
    QProgressBar* ProgressBar() const;
    TXoFTP& XoFTP() { return *FXoFTP; }

    // Controls, in their three groups.
    QLabel* RemoteHostL;
    QLineEdit* HostE;
    QLineEdit* UserIDE;
    QLineEdit* PassE;
    QLineEdit* PortE;
    QCheckBox* PassiveCB;
    // The password kept in the desktop's keyring; disabled without one.
    QCheckBox* RememberPasswordCB;
    QComboBox* EncryptionCB; // none, TLS if the server offers it, require TLS, implicit TLS
    QComboBox* ProtocolCB;   // FTP, SFTP
    QLineEdit* KeyFileE;     // SFTP: a private key to log in with
    QLabel* RemoteDirL;
    QLineEdit* RemoteDirE;
    QToolButton* GetRemoteDirSB;
    QCheckBox* CreateDirCB;
    QListWidget* DirLV;
    QLabel* UploadL;
    QPushButton* UploadBB;
    QCheckBox* ChangedOnlyCB;
    QCheckBox* RemoveStaleCB;
    QSpinBox* ConnectionsSE; // files stored at once
    QListWidget* UploadFilesLB;
    QList<QIcon> ImageList; // 0: the parent directory "..", 1: a folder

    // Client events.
    void XoFTPConnect(QObject* sender);
    void XoFTPDisconnect(QObject* sender);
    void XoFTPHostResolved(QObject* sender);
    void XoFTPInvalidHost(bool& handled);
    void XoFTPConnectionFailed(QObject* sender);
    void XoFTPError(QObject* sender, quint16 errorNumber, const QString& text);
    void XoFTPStatus(QObject* sender, const QString& text);
    void XoFTPTransactionStart(QObject* sender);
    void XoFTPPacketSent(QObject* sender);
    void XoFTPTransactionStop(QObject* sender);
    void XoFTPSuccess(TCmdType transType);
    void XoFTPFailure(bool& handled, TCmdType transType);
    void XoFTPUnSupportedFunction(TCmdType transType);
    void XoFTPCertificateCheck(const TTlsPeer& peer, bool& trusted);

    // Control events.
    void UploadBBClick();
    void GetRemoteDirSBClick();
    void DirLVDblClick();
    void UploadFilesLBDrawItem(QPainter* painter, const QStyleOptionViewItem& option, int index);

protected:
    void customEvent(QEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateHostGroup();
    QWidget* CreateDirGroup();
    QWidget* CreateUploadGroup();
    void ConnectControls();
    QWidget* CreateProtocolControls(QWidget* group);
    QWidget* CreateConnectionsControls(QWidget* parent);
    // A port field still holding the usual port of the last protocol and encryption takes the new one's.
    void ProtocolOrEncryptionChanged();
    QWidget* CreateKeyringControls(QWidget* group);
    // The password to log in with: the one typed, else the one kept in the keyring for the server when
    // "Remember password" is ticked (none: empty).
    QString LogInPassword(const TFtpSettings& settings);
    // After a log-in: a typed password is kept while the box is ticked.
    void KeepPassword(const TFtpSettings& settings);
    // A log-in failed: a kept password the server refused is removed from the keyring, and the user told.
    void ForgetRefusedPassword(const TFtpSettings& settings, const std::exception_ptr& error);
    void RememberPasswordCBClick(bool checked);
    // SFTP: the run's questions (host key, key passphrase) and its progress bar.
    void SetUpSftpRun();
    void ConnectClient();
    void DetachClient();
    TFtpSettings ConnectSettings() const;
    void ServerClosed();
    void ShowQueue();
    void EnableConnectionFields(bool enabled);
    void EndUploadQuietly();
    void PostUploadNext();
    void ShowStatus(const QString& text);
    void ShowMessage(TMsgKind kind, const QString& text);

    TFtpFWindow* FWindow;
    TXoFTP* FXoFTP;

    QPointer<QProgressBar> FProgressBar; // the status bar may go first; the pointer then reads as none
    bool FUploading = false;
    bool FBrowsing = false;
    bool FDirPicked = false; // the user entered a folder in the browser: it becomes the remote directory

    TBitBtnKind FUploadBBKind = TBitBtnKind::bkAll;
    int FProgressShift = 0; // bytes are shifted right by this much so that a huge file fits the bar's range
    bool FStarting = false; // an upload run is being started (connecting, entering the directory)
    QString FRecordFileName;
    QString FTrustFileName;
    QString FKnownHostsFileName;
    std::unique_ptr<TUploadRun> FRun; // the run in progress, or the last one
    TUploadLeftovers FLeftovers;      // temporary files of the last run the server did not delete in time
    QString FRunNotes;
    QString FNotEncryptedNote; // why this run's connection is not encrypted although TLS was wanted
    int FUsualPort = 21;       // the usual port of the protocol and encryption chosen
    TPasswordKeyring FKeyring;
    bool FKeptPasswordUsed = false; // the last log-in took its password from the keyring
};
