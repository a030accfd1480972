// The upload panel's work: connecting, the directory browser, and the upload run driven one file per posted
// message.
#include "app/FtpFU.h"

#include <cassert>
#include <climits>
#include <exception>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QToolButton>

#include "app/VlxApplication.h"

namespace {

void ProcessMessages() {
    QCoreApplication::processEvents();
}

} // namespace

// ---- Operations of the main window

void TFtpF::SetUploadFiles(const QStringList& files) {
    // The list of a run in progress is the run's own record of what is left; it is not replaced under it.
    if (FStarting || FUploading)
        return;
    UploadFilesLB->clear();
    UploadFilesLB->addItems(files);
}

void TFtpF::StartUpload() {
    // A second request while one runs (a double click on Upload) adds nothing.
    if (FStarting || FUploading)
        return;
    QStringList files;
    for (int i = 0; i < UploadFilesLB->count(); ++i)
        files << UploadFilesLB->item(i)->text();
    if (const QString refusal = TUploadRun::Refusal(files, Settings()); !refusal.isEmpty()) {
        ShowMessage(TMsgKind::Error, refusal);
        return;
    }
    FStarting = true;
    const auto started = qScopeGuard([this] { FStarting = false; });
    FRunNotes.clear();
    FNotEncryptedNote.clear();
    FRun.reset();
    TFtpSettings settings;
    try {
        UploadBB->setEnabled(false);
        SetBrowsing(false);
        GetRemoteDirSB->setEnabled(false);
        ProcessMessages();
        settings = ConnectSettings();
        FRun = std::make_unique<TUploadRun>(*FXoFTP, settings, LogInPassword(settings), files);
        FRun->RecordFile = FRecordFileName;
        // The further connections check the server's certificate against what the user trusted here.
        FRun->TrustFile = FTrustFileName;
        FRun->Leftovers = &FLeftovers;
        FRun->CreateDir = CreateDirCB->isChecked();
        FRun->OnStatus = [this](const QString& text) { ShowStatus(text); };
        // Between files, not at every packet: the bytes go to the progress bar.
        FRun->OnProgress = [this](const TUploadProgress& progress) {
            if (progress.File.isEmpty() && FUploading)
                ShowQueue();
        };
        if (Settings().Protocol == TUploadProtocol::Sftp)
            SetUpSftpRun();
        UploadFilesLB->clear();
        for (const TUploadFile& file : FRun->Queue())
            UploadFilesLB->addItem(file.Path);
        EnableConnectionFields(false);
        FRun->Start();
        FNotEncryptedNote = FRun->Result().NotEncryptedNote;
        KeepPassword(settings);
    } catch (...) {
        if (FRun)
            FNotEncryptedNote = FRun->Result().NotEncryptedNote;
        EndUploadQuietly();
        ForgetRefusedPassword(settings, std::current_exception());
        throw;
    }
    UploadBB->setEnabled(true);
    SetUploading(true);
    UploadFilesLB->setVisible(true);
    UploadFilesLB->setCurrentRow(0);
    ShowQueue(); // the files known to be unchanged leave the list at once
    ProcessMessages();
    PostUploadNext();
}

// ---- Connection

// The port as typed: a field left empty has no port to connect to.
TFtpSettings TFtpF::ConnectSettings() const {
    TFtpSettings settings = Settings();
    bool valid = false;
    settings.Port = PortE->text().trimmed().toInt(&valid);
    if (!valid || !kFtpPortRange.Contains(settings.Port))
        throw Exception("Port \"" + PortE->text() + "\" is not a valid port number");
    return settings;
}

void TFtpF::EnableConnectionFields(bool enabled) {
    for (QLineEdit* edit : {HostE, PortE, UserIDE, PassE})
        edit->setEnabled(enabled);
    ProtocolCB->setEnabled(enabled);
    ChangedOnlyCB->setEnabled(enabled);
    RemoveStaleCB->setEnabled(enabled);
    ConnectionsSE->setEnabled(enabled);
    ProtocolOrEncryptionChanged(); // the fields of the protocol chosen
}

// The client's own events show FTP's progress; an SFTP run tells it through the run.
void TFtpF::SetUpSftpRun() {
    if (auto* sftp = dynamic_cast<TSftpUploadConnection*>(&FRun->Connection()))
        sftp->KnownHostsFile = FKnownHostsFileName;
    FRun->OnTrustQuestion = [this](const QString& question) {
        return FWindow && FWindow->Dialogs().MessageBox(TMsgKind::Confirmation, question,
                                                        TMsgButtons::YesNoDefaultNo) == TModalResult::Yes;
    };
    FRun->OnSecret = [this](const QString& prompt, QString& secret) {
        return FWindow && FWindow->Dialogs().PasswordQuery("SSH key", prompt, secret);
    };
    FRun->OnProgress = [this](const TUploadProgress& progress) {
        if (progress.File.isEmpty()) {
            FreeProgressBar();
            if (FUploading)
                ShowQueue();
            return;
        }
        if (!FProgressBar && FWindow) {
            FProgressShift = 0;
            while ((progress.FileBytes >> FProgressShift) > INT_MAX)
                ++FProgressShift;
            FProgressBar =
                FWindow->CreateStatusProgressBar(static_cast<int>(progress.FileBytes >> FProgressShift));
        }
        if (FProgressBar) {
            FProgressBar->setValue(static_cast<int>(progress.Bytes >> FProgressShift));
            FProgressBar->repaint();
        }
    };
}

// The browser's connection; an upload run connects itself.
void TFtpF::ConnectToHost() {
    const TFtpSettings settings = ConnectSettings();
    try {
        ConnectFtp(*FXoFTP, settings, LogInPassword(settings));
    } catch (...) {
        ForgetRefusedPassword(settings, std::current_exception());
        throw;
    }
    KeepPassword(settings);
    EnableConnectionFields(false);
    const QString note = NotEncryptedText(*FXoFTP);
    const QString dir = FXoFTP->CurrentDir();
    if (FXoFTP->TlsActive())
        ShowStatus(dir + " (encrypted, " + FXoFTP->TlsVersion() + ")");
    else
        ShowStatus(note.isEmpty() ? dir : dir + " (" + note + ")");
}

// The panel returns to idle even when the server refuses the QUIT; that refusal is reported afterwards.
void TFtpF::DisconnectFromHost() {
    std::exception_ptr error;
    try {
        if (FXoFTP->IsConnected())
            FXoFTP->Disconnect();
    } catch (...) {
        error = std::current_exception();
    }
    EnableConnectionFields(true);
    SetBrowsing(false);
    SetUploading(false);
    if (error)
        std::rethrow_exception(error);
}

// ---- The upload run

void TFtpF::UploadBBClick() {
    if (FUploadBBKind != TBitBtnKind::bkAll) {
        AbortRun();
        return;
    }
    QObject* mainForm = FWindow ? FWindow->MainForm() : nullptr;
    if (mainForm)
        QCoreApplication::postEvent(mainForm, new QEvent(static_cast<QEvent::Type>(WM_FTPUPLOADREQUEST)));
}

// Cancels a store in progress; between two stores the run ends before the next one starts. While the run
// is starting, the wait for the server's answer ends at once.
void TFtpF::AbortRun() {
    if ((FUploading || FStarting) && FRun)
        FRun->Abort();
}

void TFtpF::PostUploadNext() {
    QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_FTPUPLOADNEXT)));
}

void TFtpF::customEvent(QEvent* event) {
    if (static_cast<int>(event->type()) == WM_FTPUPLOADNEXT) {
        RunGuarded([this] { UploadNext(); });
        return;
    }
    QWidget::customEvent(event);
}

// One file of the run per message, so that the window stays alive between files.
void TFtpF::UploadNext() {
    if (!FUploading)
        return;
    if (FRun->Current() >= FRun->Queue().size()) {
        EndUpload(); // every file was unchanged
        return;
    }
    assert(FRun && UploadFilesLB->currentItem() && "an upload run always has its current file selected");
    try {
        FRun->StoreNext();
    } catch (...) {
        EndUploadQuietly();
        throw;
    }
    if (!FUploading)
        return;
    if (FRun->Current() >= FRun->Queue().size())
        EndUpload();
    else
        PostUploadNext();
}

// The run's queue as the list shows it: a stored file, or one left out as unchanged, leaves the list and
// the next one moves into its place; a file not found stays. The file the run takes next is selected.
void TFtpF::ShowQueue() {
    QStringList pending;
    int current = -1;
    const QList<TUploadFile>& queue = FRun->Queue();
    for (int i = 0; i < queue.size(); ++i) {
        if (queue[i].State == TUploadFileState::Stored || queue[i].State == TUploadFileState::Unchanged)
            continue;
        if (i == FRun->Current())
            current = static_cast<int>(pending.size());
        pending << queue[i].Path;
    }
    // The list holds the pending files and the ones that left since it was last shown, in the run's order.
    for (int row = 0; row < UploadFilesLB->count();) {
        if (row < pending.size() && UploadFilesLB->item(row)->text() == pending[row])
            ++row;
        else
            delete UploadFilesLB->takeItem(row);
    }
    if (current >= 0)
        UploadFilesLB->setCurrentRow(current);
}

void TFtpF::EndUpload() {
    // Messages still posted for this run are processed below and must find it over.
    FUploading = false;
    UploadBB->setEnabled(false);
    ProcessMessages();
    ProcessMessages();
    std::exception_ptr error;
    try {
        if (FRun)
            FRun->End();
    } catch (...) {
        error = std::current_exception();
    }
    try {
        DisconnectFromHost();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    SetBrowsing(false);
    GetRemoteDirSB->setEnabled(true);
    UploadBB->setEnabled(true);
    UploadFilesLB->setVisible(false);
    SetUploading(false);
    FreeProgressBar();
    FRunNotes = FRun ? FRun->Result().Notes() : QString();
    if (!FRunNotes.isEmpty())
        ShowStatus(FRunNotes);
    // As loud as the same refusal of the run's own connection would have been.
    if (FRun && !FRun->Result().Warning.isEmpty())
        ShowMessage(TMsgKind::Warning, FRun->Result().Warning);
    if (error)
        std::rethrow_exception(error);
}

// On a path that already has an error to report: a second one from closing adds nothing.
void TFtpF::EndUploadQuietly() {
    try {
        EndUpload();
    } catch (const std::exception&) {
    }
}

// ---- Directory browser

void TFtpF::GetRemoteDirSBClick() {
    if (Settings().Protocol == TUploadProtocol::Sftp) {
        ShowMessage(TMsgKind::Information, "Browsing is available over FTP only: type the remote directory");
        return;
    }
    SetBrowsing(true);
}

void TFtpF::SetBrowsing(bool v) {
    if (v == FBrowsing)
        return;
    FBrowsing = v;
    GetRemoteDirSB->setEnabled(!v);
    DirLV->setVisible(v);
    ProcessMessages();
    if (!v) {
        DisconnectFromHost();
        return;
    }
    FDirPicked = false;
    try {
        ConnectToHost();
        DirLV->setEnabled(false);
        FXoFTP->List();
    } catch (const std::exception& e) {
        // The browser closes; the reason stays in the status bar, as not every failure has a message box.
        const QString text = QString::fromUtf8(e.what());
        try {
            SetBrowsing(false);
        } catch (const std::exception&) {
        }
        ShowStatus(text);
    }
}

// The remote directory typed stays until the user picks one in the browser.
void TFtpF::FillDirList() {
    if (FDirPicked)
        RemoteDirE->setText(FXoFTP->CurrentDir());
    DirLV->clear();
    DirLV->addItem(new QListWidgetItem(ImageList[0], ".."));
    const TFTPDirectoryList* parser = FXoFTP->Parser();
    if (!parser)
        return;
    for (qsizetype i = 0; i < parser->AttrList.size() && i < parser->NameList.size(); ++i) {
        const QString& attr = parser->AttrList[i];
        if (!attr.isEmpty() && attr[0].toLower() == 'd')
            DirLV->addItem(new QListWidgetItem(ImageList[1], parser->NameList[i]));
    }
}

void TFtpF::DirLVDblClick() {
    QListWidgetItem* item = DirLV->currentItem();
    if (!item || !item->isSelected())
        return;
    const QString dir = item->text().trimmed();
    FDirPicked = true;
    try {
        DirLV->setEnabled(false);
        FXoFTP->ChangeDir(dir);
        DirLV->setEnabled(false);
        FXoFTP->List();
    } catch (...) {
        // A refusal leaves the browser usable; a lost connection closes it.
        if (FXoFTP->IsConnected()) {
            DirLV->setEnabled(true);
        } else {
            try {
                SetBrowsing(false);
            } catch (const std::exception&) {
            }
        }
        throw;
    }
}
