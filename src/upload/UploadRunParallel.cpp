// The upload run over several connections at once. The order rule holds by phases: pictures and other
// files, then pages, then index.html alone; a phase begins only once every file of the one before is on
// the server. The run's own connection stores files too; the further ones live on threads of their own
// (UploadLanes) and report back, and only this thread touches the queue, the record and the progress.
#include "upload/UploadRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include "upload/UploadLanes.h"

namespace {

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

QString FilesText(int count) {
    return QString::number(count) + (count == 1 ? " file" : " files");
}

constexpr int kIndexPhase = 2; // index.html: stored last, alone, over the run's own connection

} // namespace

void TUploadRun::StoreOne(const QString& path) {
    ThrowIfAbortRequested();
    StoreReconnecting(path, FileNameOf(path));
}

bool TUploadRun::StorePhase() {
    const int phase = PhaseOf(FQueue[FCurrent].Path);
    int end = FCurrent;
    while (end < FQueue.size() && PhaseOf(FQueue[end].Path) == phase)
        ++end;
    FPhaseFiles = PhaseFiles(end);
    FPhaseNext = 0;
    FPhaseFailure = nullptr;
    FPhaseFailedIndex = -1;
    FPhaseShared = phase < kIndexPhase;
    const auto over = qScopeGuard([this] { FPhaseShared = false; });
    Report();
    if (FPhaseShared && FPhaseFiles.size() > 1 && !FLanes)
        OpenLanes();
    for (;;) {
        GiveToLanes();
        if (!FPhaseFailure && !FAbortRequested && FPhaseNext < FPhaseFiles.size()) {
            const int index = FPhaseFiles[FPhaseNext++];
            try {
                StoreOnMain(index);
            } catch (...) {
                KeepPhaseFailure(index, std::current_exception());
            }
            continue;
        }
        // The barrier: every file given out is done (stored, or failed) before the phase ends.
        if (!FLanes || FLanes->Storing() == 0)
            break;
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    if (FPhaseFailure) {
        FResult.Failed = FPhaseFailed;
        Failed(FPhaseFailureText, FailureOf(FPhaseFailure));
        std::rethrow_exception(FPhaseFailure);
    }
    if (FAbortRequested) {
        Failed("Upload aborted", TNetFailure::Aborted);
        throw EAbortError(FResult.Failure);
    }
    FCurrent = end - 1;
    Advance();
    return FCurrent < FQueue.size();
}

// What the lanes reported is taken in, and each free lane gets the phase's next file. Also called as a lane
// reports, from the waits of the run's own connection, so that no lane waits for its store to end.
void TUploadRun::GiveToLanes() {
    if (!FLanes || FGiving)
        return;
    FGiving = true;
    const auto given = qScopeGuard([this] { FGiving = false; });
    TakeLaneReports();
    if (!FPhaseShared || FPhaseFailure || FAbortRequested)
        return;
    for (int lane = FLanes->FreeLane(); lane >= 0 && FPhaseNext < FPhaseFiles.size();
         lane = FLanes->FreeLane()) {
        const int index = FPhaseFiles[FPhaseNext++];
        Status("Uploading: " + FileNameOf(FQueue[index].Path));
        FLanes->Give(lane, index, FQueue[index].Path);
    }
}

// The phase's files to store; the ones gone from the folder or unchanged are left out here, on this thread,
// before any is given to another connection.
QList<int> TUploadRun::PhaseFiles(int end) {
    QList<int> files;
    for (int i = FCurrent; i < end; ++i) {
        TUploadFile& file = FQueue[i];
        if (file.State == TUploadFileState::Unchanged || SkippedAsGone(file))
            continue;
        const QString name = FileNameOf(file.Path);
        if (FRecord) {
            const QByteArray sha = ShaToStore(i);
            if (FSettings.ChangedOnly && Unchanged(name, sha)) {
                ++FResult.Unchanged;
                file.State = TUploadFileState::Unchanged;
                continue;
            }
            FRecord->Remove(name); // the server's copy is about to change
            FPhaseSha.insert(i, sha);
        }
        files << i;
    }
    return files;
}

// The further connections log in as the run's own did, with the answers its user gave.
void TUploadRun::OpenLanes() {
    TLaneLogin login;
    login.Settings = FSettings;
    login.Password = FPassword;
    login.TrustFile = TrustFile;
    if (auto* sftp = dynamic_cast<TSftpUploadConnection*>(&FClient))
        login.KnownHostsFile = sftp->KnownHostsFile;
    login.AcceptedQuestions = FAcceptedQuestions;
    login.Secret = FGivenSecret;
    login.ReconnectPauseMs = ReconnectPauseMs;
    FLanes = std::make_unique<TUploadLanes>();
    FLanes->OnReport = [this] { GiveToLanes(); };
    FLanes->Open(kUploadConnectionsRange.Clamp(FSettings.Connections) - 1, login);
}

void TUploadRun::StoreOnMain(int index) {
    FMainFile = index;
    const auto done = qScopeGuard([this] { FMainFile = -1; });
    const QString& path = FQueue[index].Path;
    const QString name = FileNameOf(path);
    StoreOverOwn(path, name);
    StoredAt(index);
}

void TUploadRun::StoredAt(int index) {
    TUploadFile& file = FQueue[index];
    ++FResult.Stored;
    file.State = TUploadFileState::Stored;
    const QByteArray sha = FPhaseSha.take(index);
    if (FRecord && !sha.isEmpty()) {
        const QString name = FileNameOf(file.Path);
        FStoredSha.insert(name, sha);
        RecordStored(name, QFileInfo(file.Path).size(), sha);
    }
    Report();
}

void TUploadRun::TakeLaneReports() {
    for (const TLaneReport& report : FLanes->TakeReports()) {
        FResult.DirectStore = FResult.DirectStore || report.DirectStore;
        switch (report.Kind) {
        case TLaneReport::TKind::Opened:
            ++FLanesOpened;
            break;
        case TLaneReport::TKind::NotOpened:
            FLanesRefused << report.Message;
            // Told at the end, and not only in the status: the run's own connection trusted this server.
            if (report.Impostor && FResult.Warning.isEmpty())
                FResult.Warning = "WARNING: a further connection to " + FClient.Host() +
                                  " met another server than the first and was stopped (someone may be "
                                  "listening in): " +
                                  report.Message;
            break;
        case TLaneReport::TKind::Stored:
            StoredAt(report.Index);
            break;
        case TLaneReport::TKind::Status:
            Notice(report.Message);
            break;
        case TLaneReport::TKind::Failed: {
            for (const QString& name : report.Leftovers)
                if (!FLaneLeftovers.contains(name)) {
                    FLaneLeftovers << name;
                    if (!LeftoverNames().contains(name))
                        LeftoverNames() << name;
                }
            std::exception_ptr lane;
            LaneFailed(report, lane);
            KeepPhaseFailure(report.Index, lane);
            break;
        }
        }
    }
    // Servers limit the connections of one user: the run goes on with the ones that opened.
    if (!FLanesTold && !FAbortRequested && FLanes->Opening() == 0 && !FLanesRefused.isEmpty()) {
        FLanesTold = true;
        const int allowed = 1 + FLanesOpened;
        Notice(QString("Server allowed %1 %2 at once: %3")
                   .arg(allowed)
                   .arg(allowed == 1 ? "connection" : "connections")
                   .arg(FLanesRefused.first()));
    }
}

void TUploadRun::KeepPhaseFailure(int index, std::exception_ptr failure) {
    if (!FPhaseFailure || index < FPhaseFailedIndex) {
        FPhaseFailure = std::move(failure);
        FPhaseFailedIndex = index;
        FPhaseFailed = FResult.Failed;
        FPhaseFailureText = FResult.Failure;
    }
}

// Ends the run as a failure of the run's own connection would: the file, and a lost connection named.
void TUploadRun::LaneFailed(const TLaneReport& report, std::exception_ptr& failure) {
    const QString name = FileNameOf(FQueue[report.Index].Path);
    FResult.Failed = name;
    const TNetFailure kind = FailureOf(report.Error);
    if (report.Lost && kind != TNetFailure::Aborted && !FAbortRequested) {
        const TNetFailure lost = LostKindOf(kind);
        Failed("Upload ended while storing " + name + ": " + report.Message + " (" + FilesText(Left()) +
                   " not uploaded)",
               lost);
        failure = std::make_exception_ptr(ESockError(FResult.Failure, lost));
        return;
    }
    Failed(report.Message, kind);
    failure = report.Error;
}
