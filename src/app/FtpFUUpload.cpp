// The upload panel's work: connecting, the directory browser and the upload run, one file per posted message.
#include "app/FtpFU.h"

#include <algorithm>
#include <cassert>
#include <exception>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>

#include "app/VlxApplication.h"

namespace {

constexpr int kTimeOut = 15000; // milliseconds the client waits for any one answer
// Milliseconds the delete of a failed store's temporary file is waited for. After an abort or a stall the
// server may answer late or not at all, and the user is not kept waiting for it.
constexpr int kCleanUpWait = 400;

void ProcessMessages() {
    QCoreApplication::processEvents();
}

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Transfer type by extension, compared in lower case: pages and texts as ASCII, all else binary.
int TransferTypeOf(const QString& path) {
    const QString name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf('.');
    const QString extension = dot < 0 ? QString() : name.mid(dot).toLower();
    return extension == ".html" || extension == ".htm" || extension == ".txt" ? 1 : 2;
}

// 0: pictures and other files, 1: pages, 2: the gallery's entry page.
int UploadRank(const QString& path) {
    const QString name = FileNameOf(path).toLower();
    if (name == "index.html" || name == "index.htm")
        return 2;
    return name.endsWith(".html") || name.endsWith(".htm") ? 1 : 0;
}

const char* const kNoRenameText =
    "The server refused to rename: files were stored directly under their names";

} // namespace

QStringList TFtpF::UploadOrder(const QStringList& files) {
    QStringList ordered = files;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const QString& a, const QString& b) { return UploadRank(a) < UploadRank(b); });
    return ordered;
}

QString TFtpF::TempNameOf(const QString& name) {
    return name + ".part";
}

QString TFtpF::RemoteFolderOf(const QString& loginDir, const QString& typed) {
    if (typed.startsWith('/'))
        return QDir::cleanPath(typed);
    return loginDir.startsWith('/') ? QDir::cleanPath(loginDir + '/' + typed) : typed;
}

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
    if (UploadFilesLB->count() == 0) {
        ShowMessage(TMsgKind::Error, "No files to upload");
        return;
    }
    if (RemoteDirE->text().trimmed().isEmpty()) {
        ShowMessage(TMsgKind::Error, "Remote directory not defined");
        return;
    }
    FStarting = true;
    const auto started = qScopeGuard([this] { FStarting = false; });
    FSkipped.clear();
    FAbortRequested = false;
    FDirectStore = false;
    FRecord.reset();
    FRemoteSizes.clear();
    FStoredSha.clear();
    FUnchanged = 0;
    FStored = 0;
    FCompleted = false;
    FRecordError.clear();
    FRunNotes.clear();
    FNotEncryptedNote.clear();
    QStringList files;
    for (int i = 0; i < UploadFilesLB->count(); ++i)
        files << UploadFilesLB->item(i)->text();
    UploadFilesLB->clear();
    UploadFilesLB->addItems(UploadOrder(files));
    try {
        UploadBB->setEnabled(false);
        SetBrowsing(false);
        GetRemoteDirSB->setEnabled(false);
        ProcessMessages();
        ConnectToHost();
        ThrowIfAbortRequested();
        EnterRemoteDir();
        // Known by where the folder is, however it was typed; a record kept under the folder as typed, as
        // earlier versions kept it, still counts.
        const auto target = [this](const QString& dir) {
            return TUploadRecord::TargetOf(FXoFTP->Host(), FXoFTP->Port(), FXoFTP->UserID(), dir);
        };
        const QString folder = RemoteFolderOf(FLoginDir, RemoteDirE->text());
        const QString where = target(folder.startsWith('/') ? folder.mid(1) : folder);
        DeleteLeftovers(where);
        if (ChangedOnlyCB->isChecked() && !FRecordFileName.isEmpty()) {
            FRecord.emplace(FRecordFileName, where, target(RemoteDirE->text()));
            FRemoteSizes = RemoteFileSizes();
        }
        ThrowIfAbortRequested();
    } catch (...) {
        EndUploadQuietly();
        throw;
    }
    UploadBB->setEnabled(true);
    SetUploading(true);
    UploadFilesLB->setVisible(true);
    UploadFilesLB->setCurrentRow(0);
    ProcessMessages();
    PostUploadNext();
}

// The directory as typed, blanks included. Only a refusal leads to creating it; a lost connection does not.
void TFtpF::EnterRemoteDir() {
    const QString dir = RemoteDirE->text();
    try {
        FXoFTP->ChangeDir(dir);
        return;
    } catch (const FTPException&) {
        if (!CreateDirCB->isChecked())
            throw;
    }
    try {
        FXoFTP->MakeDir(dir);
    } catch (const FTPException&) {
        // A folder whose parent is missing too: every missing level is made, one after the other.
        if (dir.split('/', Qt::SkipEmptyParts).size() < 2)
            throw;
        CreateRemoteDirLevels(dir);
        return;
    }
    FXoFTP->ChangeDir(dir);
}

// Walks down from the start of the path, making each level that cannot be entered; ends inside the folder.
void TFtpF::CreateRemoteDirLevels(const QString& dir) {
    if (dir.startsWith('/'))
        FXoFTP->ChangeDir("/");
    for (const QString& level : dir.split('/', Qt::SkipEmptyParts)) {
        try {
            FXoFTP->ChangeDir(level);
            continue;
        } catch (const FTPException&) {
        }
        FXoFTP->MakeDir(level);
        FXoFTP->ChangeDir(level);
    }
}

// ---- Connection

void TFtpF::ConnectToHost() {
    bool valid = false;
    const int port = PortE->text().trimmed().toInt(&valid);
    if (!valid || port <= 0 || port > 65535)
        throw Exception("Port \"" + PortE->text() + "\" is not a valid port number");
    FXoFTP->SetHost(HostE->text());
    FXoFTP->SetPort(port);
    FXoFTP->SetPassive(PassiveCB->isChecked());
    const TFtpEncryption encryptions[] = {TFtpEncryption::None, TFtpEncryption::Auto,
                                          TFtpEncryption::Require};
    FXoFTP->SetEncryption(encryptions[qBound(0, EncryptionCB->currentIndex(), 2)]);
    FXoFTP->SetTimeOut(kTimeOut);
    FXoFTP->SetUserID(UserIDE->text());
    FXoFTP->SetPassword(PassE->text());
    try {
        FXoFTP->Connect();
    } catch (...) {
        try {
            FXoFTP->Disconnect();
        } catch (const std::exception&) {
            // The failure to connect is the one to report.
        }
        throw;
    }
    for (QLineEdit* edit : {HostE, PortE, UserIDE, PassE})
        edit->setEnabled(false);
    PassiveCB->setEnabled(false);
    EncryptionCB->setEnabled(false);
    ChangedOnlyCB->setEnabled(false);
    FNotEncryptedNote = NotEncryptedText();
    const QString dir = FXoFTP->CurrentDir();
    FLoginDir = dir;
    if (FXoFTP->TlsActive())
        ShowStatus(dir + " (encrypted, " + FXoFTP->TlsVersion() + ")");
    else
        ShowStatus(FNotEncryptedNote.isEmpty() ? dir : dir + " (" + FNotEncryptedNote + ")");
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
    for (QLineEdit* edit : {HostE, PortE, UserIDE, PassE})
        edit->setEnabled(true);
    PassiveCB->setEnabled(true);
    EncryptionCB->setEnabled(true);
    ChangedOnlyCB->setEnabled(true);
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
    if (!FUploading && !FStarting)
        return;
    FAbortRequested = true;
    if (FUploading)
        FXoFTP->Abort();
    else
        FXoFTP->Cancel();
}

void TFtpF::ThrowIfAbortRequested() {
    if (FAbortRequested)
        throw EAbortError(QString("Upload aborted"));
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

void TFtpF::UploadNext() {
    if (!FUploading)
        return;
    QListWidgetItem* item = UploadFilesLB->currentItem();
    assert(item && "an upload run always has its current file selected");
    UploadFile(item->text());
}

void TFtpF::UploadFile(const QString& path) {
    // A run that cannot go on ends with a reason; it never just stops.
    if (FAbortRequested) {
        EndUploadQuietly();
        throw EAbortError(QString("Upload aborted"));
    }
    if (!FXoFTP->IsConnected()) {
        const int left = UploadFilesLB->count();
        EndUploadQuietly();
        // The server's own reason, when it gave one (as on its idle time-out), says more than the state.
        const QString reason =
            FXoFTP->ClosingReply().isEmpty() ? "not connected to " + FXoFTP->Host() : FXoFTP->ClosingReply();
        throw Exception("Upload ended: " + reason + " (" + QString::number(left) +
                        (left == 1 ? " file" : " files") + " not uploaded)");
    }
    if (!QFileInfo::exists(path)) {
        FSkipped << FileNameOf(path);
        ShowStatus("File not found, skipped: " + path);
        NextFileOrEnd();
        return;
    }
    const QString name = FileNameOf(path);
    QByteArray sha;
    if (FRecord) {
        sha = TUploadRecord::Sha256Of(path);
        if (Unchanged(name, sha)) {
            ++FUnchanged;
            FileStored();
            return;
        }
        FRecord->Remove(name); // the server's copy is about to change
    }
    try {
        FXoFTP->Mode(TransferTypeOf(path));
        ThrowIfAbortRequested();
        ShowStatus(FNotEncryptedNote.isEmpty() ? "Uploading: " + name
                                               : "Uploading: " + name + " (" + FNotEncryptedNote + ")");
        StoreFile(path, name);
    } catch (...) {
        StoreFailed(name);
    }
    ++FStored;
    if (FRecord && !sha.isEmpty()) {
        FStoredSha.insert(name, sha);
        RecordStored(name, QFileInfo(path).size(), sha);
    }
    FileStored();
}

// Ends the run on the error that ended the store in progress. A lost connection says which file it cut.
void TFtpF::StoreFailed(const QString& name) {
    const bool lost = !FXoFTP->IsConnected() && !FAbortRequested;
    const int left = UploadFilesLB->count();
    EndUploadQuietly();
    try {
        throw;
    } catch (const ESockError& e) {
        if (!lost || dynamic_cast<const EAbortError*>(&e))
            throw;
        throw ESockError("Upload ended while storing " + name + ": " + e.Message() + " (" +
                         QString::number(left) + (left == 1 ? " file" : " files") + " not uploaded)");
    }
}

// Kept at once, so that a run that fails later does not send this file again. The size is the one sent
// until the server's listing at the end of the run tells its own (a page sent as text may change size).
void TFtpF::RecordStored(const QString& name, qint64 size, const QByteArray& sha256) {
    FRecord->Set(name, {size, sha256});
    try {
        FRecord->Save();
    } catch (const std::exception& e) {
        FRecordError = QString::fromUtf8(e.what());
    }
}

// Left out only when the content is the one last uploaded and the server's copy still has the size it
// had then: a copy replaced or cut short on the server is stored again.
bool TFtpF::Unchanged(const QString& name, const QByteArray& sha256) const {
    const auto entry = FRecord->Find(name);
    const auto remote = FRemoteSizes.constFind(name);
    return entry && !sha256.isEmpty() && entry->Sha256 == sha256 && remote != FRemoteSizes.constEnd() &&
           *remote == entry->Size;
}

// The plain files of the current remote folder and their sizes; none when the server refuses to list.
QHash<QString, qint64> TFtpF::RemoteFileSizes() {
    FListingForRun = true;
    const auto listed = qScopeGuard([this] { FListingForRun = false; });
    try {
        FXoFTP->List();
    } catch (const FTPException&) {
        return {};
    }
    QHash<QString, qint64> sizes;
    const TFTPDirectoryList* parser = FXoFTP->Parser();
    if (!parser)
        return sizes;
    const qsizetype n = std::min({parser->AttrList.size(), parser->NameList.size(), parser->SizeList.size()});
    for (qsizetype i = 0; i < n; ++i) {
        bool valid = false;
        const qint64 size = parser->SizeList[i].toLongLong(&valid);
        if (valid && parser->AttrList[i].startsWith('-'))
            sizes.insert(parser->NameList[i], size);
    }
    return sizes;
}

// The sizes are the server's own (a page stored as text may change size on the way), so the folder is
// listed once more. A record that cannot be kept only means storing more next time: it is reported, never
// an error of the run.
void TFtpF::SaveRecord() {
    if (!FRecord || FStoredSha.isEmpty())
        return;
    try {
        const QHash<QString, qint64> sizes = RemoteFileSizes();
        for (auto it = FStoredSha.constBegin(); it != FStoredSha.constEnd(); ++it) {
            const auto size = sizes.constFind(it.key());
            if (size != sizes.constEnd())
                FRecord->Set(it.key(), {*size, it.value()});
        }
        FRecord->Save();
    } catch (const std::exception& e) {
        FRecordError = QString::fromUtf8(e.what());
    }
}

// Visitors never meet a half-written file: the store goes to a temporary name that becomes the final one
// only once the server has confirmed it. A failed or aborted store leaves the published file as it was.
void TFtpF::StoreFile(const QString& path, const QString& name) {
    if (FDirectStore) {
        FXoFTP->Upload(path, name);
        return;
    }
    const QString temp = TempNameOf(name);
    try {
        FXoFTP->Upload(path, temp);
        ThrowIfAbortRequested();
    } catch (...) {
        DeleteQuietly(temp, kCleanUpWait);
        throw;
    }
    try {
        FXoFTP->Rename(temp, name);
    } catch (const FTPException&) {
        // Some servers cannot rename: the rest of the run stores the plain way.
        DeleteQuietly(temp, kTimeOut);
        FDirectStore = true;
        FXoFTP->Upload(path, name);
    }
}

// The temporary file of a failed store; a server that cannot delete it leaves it, and the error that ended
// the store is the one to report. One whose answer does not come within waitMs is tried again at the start
// of the next run into the same folder (and the next store of that file replaces it anyway).
void TFtpF::DeleteQuietly(const QString& name, int waitMs) {
    if (!FXoFTP->IsConnected())
        return;
    const int timeOut = FXoFTP->TimeOut();
    FXoFTP->SetTimeOut(waitMs);
    const auto restore = qScopeGuard([&] { FXoFTP->SetTimeOut(timeOut); });
    try {
        FXoFTP->Delete(name);
        FLeftovers.removeAll(name);
    } catch (const FTPException&) {
        // Refused: gone already, or the server will not; nothing more to try.
        FLeftovers.removeAll(name);
    } catch (const std::exception&) {
        if (!FLeftovers.contains(name))
            FLeftovers << name;
    }
}

// Temporary files of an earlier run into this folder whose delete got no answer in time.
void TFtpF::DeleteLeftovers(const QString& target) {
    if (target != FLeftoverTarget) {
        FLeftovers.clear();
        FLeftoverTarget = target;
        return;
    }
    for (const QString& name : QStringList(FLeftovers))
        DeleteQuietly(name, kTimeOut);
}

// A stored file leaves the list; the next one moves into its place, and the last one ends the run.
void TFtpF::FileStored() {
    if (!FUploading)
        return;
    const int i = UploadFilesLB->currentRow();
    const int n = UploadFilesLB->count();
    delete UploadFilesLB->takeItem(i);
    if (n == i + 1) {
        FCompleted = true;
        SaveRecord();
        EndUpload();
    } else if (UploadFilesLB->count() > 0) {
        UploadFilesLB->setCurrentRow(i);
        PostUploadNext();
    }
}

void TFtpF::EndUpload() {
    // Messages still posted for this run are processed below and must find it over.
    FUploading = false;
    UploadBB->setEnabled(false);
    ProcessMessages();
    ProcessMessages();
    std::exception_ptr error;
    try {
        DisconnectFromHost();
    } catch (...) {
        error = std::current_exception();
    }
    SetBrowsing(false);
    GetRemoteDirSB->setEnabled(true);
    UploadBB->setEnabled(true);
    UploadFilesLB->setVisible(false);
    SetUploading(false);
    FreeProgressBar();
    FAbortRequested = false;
    QStringList notes;
    if (FCompleted)
        notes << QString("Upload done: %1 %2 stored").arg(FStored).arg(FStored == 1 ? "file" : "files");
    if (FDirectStore)
        notes << kNoRenameText;
    if (FUnchanged > 0)
        notes << QString("Skipped %1 unchanged %2").arg(FUnchanged).arg(FUnchanged == 1 ? "file" : "files");
    if (!FSkipped.isEmpty())
        notes << "Not found, not uploaded: " + FSkipped.join(", ");
    if (!FRecordError.isEmpty())
        notes << FRecordError;
    if (!FNotEncryptedNote.isEmpty())
        notes << "Not encrypted: " + FNotEncryptedNote.section(": ", 1);
    FRunNotes = notes.join("; ");
    if (!notes.isEmpty())
        ShowStatus(FRunNotes);
    FSkipped.clear();
    FDirectStore = false;
    FRecord.reset();
    FUnchanged = 0;
    FCompleted = false;
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
