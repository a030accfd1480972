// The upload run: a gallery's files stored on an FTP or SFTP server in upload order, below any window. The
// upload panel and `veltrix upload` both drive it and show what it reports.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "ftp/XoFtp.h"
#include "upload/FtpSettings.h"
#include "upload/FtpUploadRecord.h"
#include "upload/UploadConnection.h"

class TUploadLanes;
struct TLaneReport;

// Where each file of the queue stands.
enum class TUploadFileState {
    Waiting,   // not its turn yet, or being stored
    Stored,    // on the server under its own name
    Unchanged, // left out: the server holds it as last uploaded
    NotFound,  // gone from the local folder when its turn came
};

struct TUploadFile {
    QString Path;
    TUploadFileState State = TUploadFileState::Waiting;
};

// Told as the run goes: as it starts, once connected, before and after each file, and as the bytes of a store
// go out.
struct TUploadProgress {
    QString Phase; // "connect" while logging in and entering the folder, then "upload"
    int Done = 0;  // files stored or left out as unchanged
    int Total = 0; // files of the queue
    QString File;  // the name of the file being stored; empty between files
    qint64 Bytes = 0;
    qint64 FileBytes = 0;
};

struct TUploadResult {
    int Stored = 0;
    int Unchanged = 0;
    int Removed = 0;      // files an earlier upload stored that the gallery no longer has, deleted at the end
    QStringList NotFound; // names of the files that were gone when their turn came
    QString Failed;       // the file whose store ended the run
    QString Failure;      // why the run ended before its last file; empty when it reached it
    // What ended the run (Failure says it in words), for the decisions made on it.
    TNetFailure FailureKind = TNetFailure::Other;
    bool Completed = false;   // the run reached its last file
    bool DirectStore = false; // the server refused a rename: files were stored under their final names
    QString RecordError;      // why the upload record could not be kept
    QString NotEncryptedNote; // "not encrypted: HOST does not offer TLS" while TLS was wanted if offered
    // A further connection met a server other than the one the run's own connection trusted (another host
    // key, a certificate not trusted) and was stopped: someone may be listening in. Empty when none did.
    QString Warning;
    double Seconds = 0; // from the start of the run to its end

    // What the status bar says at the end beyond the failure: "Upload done: 3 files stored, 1 skipped,
    // 0 removed, in 2.4 s; ...".
    QString Notes() const;
};

// Temporary files whose delete got no answer in time, kept by the owner of the runs from one run to the
// next into the same folder, which deletes them first.
struct TUploadLeftovers {
    QStringList Names;
    QString Target; // server, account and remote folder of the last run
};

class TUploadRun {
public:
    // The files in any order; the run stores them in UploadOrder. The client is the caller's and outlives
    // the run; while the run is started, the run chains its own handlers to the client's progress events.
    // With SFTP settings the run connects through an SFTP client of its own instead.
    TUploadRun(TXoFTP& client, const TFtpSettings& settings, const QString& password,
               const QStringList& files);
    // Over a connection the caller owns and that outlives the run.
    TUploadRun(TUploadConnection& connection, const TFtpSettings& settings, const QString& password,
               const QStringList& files);
    ~TUploadRun();
    TUploadRun(const TUploadRun&) = delete;
    TUploadRun& operator=(const TUploadRun&) = delete;

    // The file that records what was uploaded where, read and kept when the settings ask for changed files
    // only; none: every file is stored every time.
    QString RecordFile;
    // The trusted certificates, used when OnTrustQuestion is set.
    QString TrustFile;
    // SFTP: the passphrase of the key file, asked with the prompt; false: none given.
    std::function<bool(const QString& prompt, QString& secret)> OnSecret;
    TUploadLeftovers* Leftovers = nullptr;
    // A remote folder that cannot be entered is created (every missing level of it).
    bool CreateDir = true;

    // The pause before the first attempt to reconnect after a lost connection; each further one doubles it.
    int ReconnectPauseMs = 1000;
    // Attempts to reconnect after a lost connection, and lost connections one file may meet.
    static constexpr int kReconnects = 3;

    std::function<void(const TUploadProgress&)> OnProgress;
    // Status texts: where the server put the user, each file's "Uploading: " and skipped files.
    std::function<void(const QString& text)> OnStatus;
    // Of the statuses, the ones a user who sees only the end should hear of as well: a reconnect, a
    // resume, connections the server did not allow, files not replaced in one step.
    std::function<void(const QString& text)> OnNotice;
    // Set: the run answers the client's certificate question (see FtpTrust::Check) with it, and the
    // question about an unknown SSH host key.
    std::function<bool(const QString& question)> OnTrustQuestion;
    std::function<void(const QString& text)> OnWarning;

    // Why a run of these files with these settings cannot start ("No files to upload", "Remote directory
    // not defined"); empty when it can.
    static QString Refusal(const QStringList& files, const TFtpSettings& settings);

    // Connects, enters the remote folder (creating it when CreateDir allows) and reads what the server
    // holds. Throws on failure; the caller then calls End.
    void Start();
    // Stores the current file, or leaves it out (unchanged, not found), and moves on. Throws when the run
    // cannot go on (the reason is in the result); the caller then calls End. False when the queue is done.
    bool StoreNext();
    // Disconnects and gives the client its handlers back. Throws when the server refuses to quit; the
    // result stands as it is.
    void End();
    // The whole run: Start, every file, End. Never throws: a failure is the result's Failure.
    const TUploadResult& Run();
    // Cancels the store in progress (its temporary file is deleted) or the wait of Start; the run ends
    // before the next store.
    void Abort();
    // Stores one file outside the queue by the rules of the queue's files (temporary name, rename,
    // reconnect and resume): how a further connection of a run stores the files it is given. Throws as
    // StoreNext does.
    void StoreOne(const QString& path);

    const QList<TUploadFile>& Queue() const { return FQueue; }
    // What the files go over: the caller's, or the one the run made for its settings.
    TUploadConnection& Connection() { return FClient; }
    // Index of the file StoreNext takes next; the queue's size when it is done.
    int Current() const { return FCurrent; }
    // Files not uploaded (waiting, or not found).
    int Left() const;
    bool AbortRequested() const { return FAbortRequested; }
    // Temporary files whose delete got no answer in time, to be tried again by the next run.
    const QStringList& LeftoverNames() const { return (Leftovers ? *Leftovers : FOwnLeftovers).Names; }
    QStringList& LeftoverNames() { return (Leftovers ? *Leftovers : FOwnLeftovers).Names; }
    const TUploadResult& Result() const { return FResult; }
    // The run is listing the remote folder (its files' sizes), not someone browsing it.
    bool Listing() const { return FListing; }
    // Where the server put the user at log-in; empty when it did not say.
    const QString& LoginDir() const { return FLoginDir; }

    // Pictures and other files first, then the pages, index.html last, so that no page is published before
    // what it links to. Otherwise the order stays as given.
    static QStringList UploadOrder(const QStringList& files);
    // The name a file is stored under until the server confirms the store.
    static QString TempNameOf(const QString& name);
    // The remote folder an upload goes to, as a path from the server's root: the folder as typed, from the
    // folder the server put the user in at log-in unless it starts with '/'. Empty login dir: as typed.
    static QString RemoteFolderOf(const QString& loginDir, const QString& typed);

private:
    void AttachClient();
    void DetachClient();
    void Report(const QString& file = {}, qint64 bytes = 0, qint64 fileBytes = 0);
    void Status(const QString& text);
    void Notice(const QString& text);
    void Failed(const QString& text, TNetFailure kind);
    void ThrowIfAbortRequested() const;
    void EnterRemoteDir();
    void CreateRemoteDirLevels(const QString& dir);
    void StoreCurrent(const QString& path, const QString& name);
    // A file gone from the folder since the queue was made is skipped, and said so; true for such a file.
    bool SkippedAsGone(TUploadFile& file);
    void StoreOverOwn(const QString& path, const QString& name);
    [[noreturn]] void StoreFailed(const QString& name);
    // The kind of a failure that left the connection lost.
    static TNetFailure LostKindOf(TNetFailure kind);
    void StoreFile(const QString& path, const QString& name);
    void StoreReconnecting(const QString& path, const QString& name);
    void StoreResuming(const QString& path, const QString& remoteName);
    void Reconnect(const QString& name);
    bool ConnectionLost();
    void Pause(int ms) const;
    // False when the server did not answer in time.
    bool DeleteQuietly(const QString& name, int waitMs);
    void DeleteLeftovers(const QString& target);
    void DeleteLaneLeftovers();
    // Temporary files of this run's files that an earlier run, of this process or another, left in the
    // folder (a process ended while storing): found in the listing, deleted before the first store.
    void DeleteEarlierParts();
    // With the record: the files whose server copy is the one last uploaded are marked unchanged before the
    // first store, so that a stopped run counts only what was still to store.
    void MarkUnchanged();
    // The SHA-256 of a queued file to store: the one taken at the start, else read now.
    QByteArray ShaToStore(int index);
    bool Unchanged(const QString& name, const QByteArray& sha256) const;
    QHash<QString, qint64> RemoteFileSizes();
    void RecordStored(const QString& name, qint64 size, const QByteArray& sha256);
    void SaveRecord();
    void RemoveStale();
    void Advance();
    void PassUnchanged();
    // With more than one connection: StoreNext stores a whole phase (pictures and other files, pages,
    // index.html), its files side by side, and returns once all of them are done.
    bool StorePhase();
    static int PhaseOf(const QString& path);
    void OpenLanes();
    QList<int> PhaseFiles(int end);
    void GiveToLanes();
    void StoreOnMain(int index);
    void TakeLaneReports();
    void LaneFailed(const TLaneReport& report, std::exception_ptr& failure);
    void StoredAt(int index);

    std::unique_ptr<TUploadConnection> FOwnConnection;
    TUploadConnection& FClient;
    TFtpSettings FSettings;
    QString FPassword;
    QList<TUploadFile> FQueue;
    int FCurrent = 0;
    bool FStarting = false;
    bool FStarted = false;
    bool FEnding = false;
    bool FAbortRequested = false;
    bool FAttached = false;
    bool FListing = false;
    bool FReconnecting = false;
    bool FResumable = false; // the file's store was cut short by a lost connection
    TUploadResult FResult;
    QElapsedTimer FRunTime;
    QString FLoginDir;
    std::optional<TUploadRecord> FRecord;  // what this run's target holds; none: store every file
    QHash<QString, qint64> FRemoteSizes;   // the remote folder's files and sizes when the run started
    QHash<QString, QByteArray> FStoredSha; // files this run stored, with the SHA-256 of what was sent
    bool FRecordChanged = false;           // files left the record
    TUploadLeftovers FOwnLeftovers;        // when the owner keeps none
    QStringList FLaneLeftovers;            // temporary files the further connections left
    bool FServerSilent = false;            // a delete got no answer in time
    QHash<int, QByteArray> FQueueSha;      // the SHA-256 of each queued file to store, taken at the start
    // Storing several files at once: the further connections, the file the run's own connection stores,
    // what the user already answered (asked once for all connections), the SHA-256 of each file given out.
    std::unique_ptr<TUploadLanes> FLanes;
    int FMainFile = -1;
    QStringList FAcceptedQuestions;
    std::optional<QString> FGivenSecret;
    QHash<int, QByteArray> FPhaseSha;
    int FLanesOpened = 0;
    QStringList FLanesRefused; // why further connections did not open
    bool FLanesTold = false;   // the status said how many connections the server allowed
    QList<int> FPhaseFiles;    // the phase's files to store, given out from FPhaseNext on
    qsizetype FPhaseNext = 0;
    std::exception_ptr FPhaseFailure;
    // The failure told is the one of the earliest file in the queue, whichever connection met it first.
    int FPhaseFailedIndex = -1;
    QString FPhaseFailed, FPhaseFailureText;
    void KeepPhaseFailure(int index, std::exception_ptr failure);
    bool FPhaseShared = false; // the phase's files go over every connection (not so index.html)
    bool FGiving = false;
};

// The texts of a finished client command by transaction type ("Upload success", "List failure",
// "MakeDir unsupported"); empty for types nobody reports (the current-directory query).
QString FtpSuccessText(TCmdType transType);
QString FtpFailureText(TCmdType transType);
QString FtpUnsupportedText(TCmdType transType);
// The client's error event as shown: "Error 10061: ...".
QString FtpErrorText(quint16 errorNumber, const QString& text);
