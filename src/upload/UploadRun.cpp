// The upload run: its queue, starting (log-in, the remote folder, what the server holds), the end and the
// texts it reports.
#include "upload/UploadRun.h"

#include <algorithm>

#include <QDir>
#include <QScopeGuard>

#include "upload/UploadLanes.h"

namespace {

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
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

QString FtpSuccessText(TCmdType transType) {
    return TransText(transType, "success");
}

QString FtpFailureText(TCmdType transType) {
    return TransText(transType, "failure");
}

QString FtpUnsupportedText(TCmdType transType) {
    return TransText(transType, "unsupported");
}

QString FtpErrorText(quint16 errorNumber, const QString& text) {
    return "Error " + QString::number(errorNumber) + ": " + text;
}

QString TUploadResult::Notes() const {
    QStringList notes;
    if (!Warning.isEmpty())
        notes << Warning;
    // A run that reached its end says it all in one line; one that did not, what it left out.
    if (Completed)
        notes << QString("Upload done: %1 %2 stored, %3 skipped, %4 removed, in %5 s")
                     .arg(Stored)
                     .arg(Stored == 1 ? "file" : "files")
                     .arg(Unchanged)
                     .arg(Removed)
                     .arg(Seconds, 0, 'f', 1);
    if (DirectStore)
        notes << kNoRenameText;
    if (Unchanged > 0 && !Completed)
        notes << QString("Skipped %1 unchanged %2").arg(Unchanged).arg(Unchanged == 1 ? "file" : "files");
    if (!NotFound.isEmpty())
        notes << "Not found, not uploaded: " + NotFound.join(", ");
    if (!RecordError.isEmpty())
        notes << RecordError;
    if (!NotEncryptedNote.isEmpty())
        notes << "Not encrypted: " + NotEncryptedNote.section(": ", 1);
    return notes.join("; ");
}

TUploadRun::TUploadRun(TXoFTP& client, const TFtpSettings& settings, const QString& password,
                       const QStringList& files)
    : TUploadRun(*MakeUploadConnection(client, settings).release(), settings, password, files) {
    FOwnConnection.reset(&FClient);
}

TUploadRun::TUploadRun(TUploadConnection& connection, const TFtpSettings& settings, const QString& password,
                       const QStringList& files)
    : FClient(connection), FSettings(settings), FPassword(password) {
    for (const QString& path : UploadOrder(files))
        FQueue << TUploadFile{path};
}

TUploadRun::~TUploadRun() {
    DetachClient();
}

QStringList TUploadRun::UploadOrder(const QStringList& files) {
    QStringList ordered = files;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const QString& a, const QString& b) { return UploadRank(a) < UploadRank(b); });
    return ordered;
}

int TUploadRun::PhaseOf(const QString& path) {
    return UploadRank(path);
}

QString TUploadRun::TempNameOf(const QString& name) {
    return name + ".part";
}

QString TUploadRun::RemoteFolderOf(const QString& loginDir, const QString& typed) {
    if (typed.startsWith('/'))
        return QDir::cleanPath(typed);
    return loginDir.startsWith('/') ? QDir::cleanPath(loginDir + '/' + typed) : typed;
}

QString TUploadRun::Refusal(const QStringList& files, const TFtpSettings& settings) {
    if (files.isEmpty())
        return "No files to upload";
    if (settings.RemoteDir.trimmed().isEmpty())
        return "Remote directory not defined";
    return {};
}

int TUploadRun::Left() const {
    return static_cast<int>(std::count_if(FQueue.begin(), FQueue.end(), [](const TUploadFile& file) {
        return file.State == TUploadFileState::Waiting || file.State == TUploadFileState::NotFound;
    }));
}

// ---- The client's events while the run is started

void TUploadRun::AttachClient() {
    if (FAttached)
        return;
    FAttached = true;
    FClient.OnStoreProgress = [this](qint64 sent, qint64 total) {
        const int file = FMainFile >= 0 ? FMainFile : FCurrent;
        if (FStarted && file < FQueue.size() && FClient.IsConnected())
            Report(FileNameOf(FQueue[file].Path), sent, total);
    };
    // Kept, so that further connections of the run do not ask the user again.
    FClient.OnQuestion = nullptr;
    if (OnTrustQuestion)
        FClient.OnQuestion = [this](const QString& question) {
            const bool yes = OnTrustQuestion(question);
            if (yes)
                FAcceptedQuestions << question;
            return yes;
        };
    FClient.OnWarning = OnWarning;
    FClient.OnSecret = nullptr;
    if (OnSecret)
        FClient.OnSecret = [this](const QString& prompt, QString& secret) {
            const bool given = OnSecret(prompt, secret);
            if (given)
                FGivenSecret = secret;
            return given;
        };
    FClient.TrustFile = TrustFile;
}

// The connection's handlers are the ones of the run, which may go before the connection.
void TUploadRun::DetachClient() {
    if (!FAttached)
        return;
    FAttached = false;
    FClient.OnStoreProgress = nullptr;
    FClient.OnQuestion = nullptr;
    FClient.OnWarning = nullptr;
    FClient.OnSecret = nullptr;
}

void TUploadRun::Report(const QString& file, qint64 bytes, qint64 fileBytes) {
    if (!OnProgress)
        return;
    TUploadProgress progress;
    progress.Phase = FStarted ? "upload" : "connect";
    progress.Total = static_cast<int>(FQueue.size());
    progress.Done = progress.Total - Left();
    progress.File = file;
    progress.Bytes = bytes;
    progress.FileBytes = fileBytes;
    OnProgress(progress);
}

void TUploadRun::Status(const QString& text) {
    if (OnStatus)
        OnStatus(text);
}

void TUploadRun::Notice(const QString& text) {
    Status(text);
    if (OnNotice)
        OnNotice(text);
}

// ---- Start, end, abort

void TUploadRun::Start() {
    FRunTime.start();
    FStarting = true;
    const auto started = qScopeGuard([this] { FStarting = false; });
    AttachClient();
    Report();
    FClient.Open(FSettings, FPassword);
    FResult.NotEncryptedNote = FClient.NotEncryptedNote();
    const QString dir = FClient.CurrentDir();
    FLoginDir = dir;
    const QString& note = FResult.NotEncryptedNote;
    if (const QString security = FClient.Security(); !security.isEmpty())
        Status(dir + " (" + security + ")");
    else
        Status(note.isEmpty() ? dir : dir + " (" + note + ")");
    if (const QString replace = FClient.ReplaceNote(); !replace.isEmpty())
        Notice(replace);
    ThrowIfAbortRequested();
    EnterRemoteDir();
    // Known by where the folder is, however it was typed; a record kept under the folder as typed, as
    // earlier versions kept it, still counts.
    const auto target = [this](const QString& folder) {
        const QString ftp = TUploadRecord::TargetOf(FClient.Host(), FClient.Port(), FClient.UserID(), folder);
        return FClient.Scheme() == "ftp" ? ftp : FClient.Scheme() + ftp.mid(3);
    };
    const QString folder = RemoteFolderOf(FLoginDir, FSettings.RemoteDir);
    const QString where = target(folder.startsWith('/') ? folder.mid(1) : folder);
    DeleteLeftovers(where);
    // Removing stale files needs the record too: it alone tells which files of the folder are the program's.
    if ((FSettings.ChangedOnly || FSettings.RemoveStale) && !RecordFile.isEmpty()) {
        FRecord.emplace(RecordFile, where, target(FSettings.RemoteDir));
        FRemoteSizes = RemoteFileSizes();
        DeleteEarlierParts();
        MarkUnchanged();
    }
    ThrowIfAbortRequested();
    FStarted = true;
    PassUnchanged();
    Report();
}

void TUploadRun::Abort() {
    // While the run ends, what is waited for is the servers' goodbye.
    if (FEnding) {
        if (FLanes)
            FLanes->Abort();
        FClient.Cancel();
        return;
    }
    if (FAbortRequested || (!FStarted && !FStarting))
        return;
    FAbortRequested = true;
    if (FLanes)
        FLanes->Abort();
    // While reconnecting, what is to be ended is the wait of the log-in.
    if (FStarted && !FReconnecting)
        FClient.Abort();
    else
        FClient.Cancel();
}

void TUploadRun::Failed(const QString& text, TNetFailure kind) {
    FResult.Failure = text;
    FResult.FailureKind = kind;
}

void TUploadRun::ThrowIfAbortRequested() const {
    if (FAbortRequested)
        throw EAbortError(QString("Upload aborted"));
}

// The record was kept as the last file was done, while the connection was still there.
void TUploadRun::End() {
    FStarted = false;
    FEnding = true;
    const auto detach = qScopeGuard([this] {
        FResult.Seconds = FRunTime.isValid() ? FRunTime.elapsed() / 1000.0 : 0;
        FEnding = false;
        DetachClient();
        FRecord.reset();
    });
    if (FLanes) {
        FLanes->Close();
        // A lane that said how it opened only now (the phases ended without it) is heard too.
        TakeLaneReports();
        FLanes.reset();
    }
    // The user asked to stop: what the further connections left is deleted while the server answers, and
    // its goodbye is not waited for.
    if (FAbortRequested) {
        DeleteLaneLeftovers();
        FClient.CloseAtOnce();
        return;
    }
    FClient.Close();
}

const TUploadResult& TUploadRun::Run() {
    try {
        Start();
        while (StoreNext()) {
        }
    } catch (const std::exception& e) {
        if (FResult.Failure.isEmpty())
            Failed(QString::fromUtf8(e.what()), FailureOf(e));
    }
    try {
        End();
    } catch (const std::exception& e) {
        if (FResult.Failure.isEmpty())
            Failed(QString::fromUtf8(e.what()), FailureOf(e));
    }
    return FResult;
}

// ---- The remote folder

// The directory as typed, blanks included. Only a refusal leads to creating it; a lost connection does not.
void TUploadRun::EnterRemoteDir() {
    const QString& dir = FSettings.RemoteDir;
    try {
        FClient.ChangeDir(dir);
        return;
    } catch (const ERemoteRefusal&) {
        if (!CreateDir)
            throw;
    }
    try {
        FClient.MakeDir(dir);
    } catch (const ERemoteRefusal&) {
        // A folder whose parent is missing too: every missing level is made, one after the other.
        if (dir.split('/', Qt::SkipEmptyParts).size() < 2)
            throw;
        CreateRemoteDirLevels(dir);
        return;
    }
    FClient.ChangeDir(dir);
}

// Walks down from the start of the path, making each level that cannot be entered; ends inside the folder.
void TUploadRun::CreateRemoteDirLevels(const QString& dir) {
    if (dir.startsWith('/'))
        FClient.ChangeDir("/");
    for (const QString& level : dir.split('/', Qt::SkipEmptyParts)) {
        try {
            FClient.ChangeDir(level);
            continue;
        } catch (const ERemoteRefusal&) {
        }
        FClient.MakeDir(level);
        FClient.ChangeDir(level);
    }
}
