// The upload run's files: each stored under a temporary name and renamed once the server confirmed it, or
// left out when the server holds it as last uploaded; the record of what was uploaded where.
#include "upload/UploadRun.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include "gallery/GalleryNames.h"

namespace {

constexpr int kTimeOut = 15000; // milliseconds the client waits for any one answer
// Milliseconds the delete of a failed store's temporary file is waited for. After an abort or a stall the
// server may answer late or not at all, and the user is not kept waiting for it.
constexpr int kCleanUpWait = 400;

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

QString FilesText(int count) {
    return QString::number(count) + (count == 1 ? " file" : " files");
}

} // namespace

bool TUploadRun::StoreNext() {
    if (FCurrent >= FQueue.size())
        return false;
    // A run that cannot go on ends with a reason; it never just stops.
    if (FAbortRequested) {
        Failed("Upload aborted", TNetFailure::Aborted);
        throw EAbortError(FResult.Failure);
    }
    if (!FClient.IsConnected()) {
        // The server's own reason, when it gave one (as on its idle time-out), says more than the state.
        const QString reason =
            FClient.ClosingReply().isEmpty() ? "not connected to " + FClient.Host() : FClient.ClosingReply();
        Failed("Upload ended: " + reason + " (" + FilesText(Left()) + " not uploaded)", TNetFailure::Lost);
        throw ESockError(FResult.Failure, TNetFailure::Lost);
    }
    if (FSettings.Connections > 1)
        return StorePhase();
    TUploadFile& file = FQueue[FCurrent];
    if (file.State != TUploadFileState::Unchanged && !SkippedAsGone(file))
        StoreCurrent(file.Path, FileNameOf(file.Path));
    Advance();
    return FCurrent < FQueue.size();
}

bool TUploadRun::SkippedAsGone(TUploadFile& file) {
    if (QFileInfo::exists(file.Path))
        return false;
    file.State = TUploadFileState::NotFound;
    FResult.NotFound << FileNameOf(file.Path);
    Status("File not found, skipped: " + file.Path);
    return true;
}

void TUploadRun::StoreCurrent(const QString& path, const QString& name) {
    QByteArray sha;
    if (FRecord) {
        sha = ShaToStore(FCurrent);
        if (FSettings.ChangedOnly && Unchanged(name, sha)) {
            ++FResult.Unchanged;
            FQueue[FCurrent].State = TUploadFileState::Unchanged;
            return;
        }
        FRecord->Remove(name); // the server's copy is about to change
    }
    StoreOverOwn(path, name);
    ++FResult.Stored;
    FQueue[FCurrent].State = TUploadFileState::Stored;
    if (FRecord && !sha.isEmpty()) {
        FStoredSha.insert(name, sha);
        RecordStored(name, QFileInfo(path).size(), sha);
    }
}

// Over the run's own connection, the status and the progress telling it; a failure ends the run naming the
// file.
void TUploadRun::StoreOverOwn(const QString& path, const QString& name) {
    try {
        ThrowIfAbortRequested();
        const QString& note = FResult.NotEncryptedNote;
        Status(note.isEmpty() ? "Uploading: " + name : "Uploading: " + name + " (" + note + ")");
        Report(name, 0, QFileInfo(path).size());
        StoreReconnecting(path, name);
    } catch (...) {
        StoreFailed(name);
    }
}

// The last file keeps the record with the server's sizes, while the connection is still there.
void TUploadRun::Advance() {
    ++FCurrent;
    PassUnchanged();
    Report();
}

// Files known to be unchanged are passed over, so that Current names the next file to store; past the last
// file the run is complete.
void TUploadRun::PassUnchanged() {
    while (FCurrent < FQueue.size() && FQueue[FCurrent].State == TUploadFileState::Unchanged)
        ++FCurrent;
    if (FCurrent == FQueue.size() && !FResult.Completed) {
        FResult.Completed = true;
        RemoveStale();
        SaveRecord();
    }
}

// However it showed (a TLS error, a data connection gone), the connection is lost now; a kind that says
// more (timed out, another server met while reconnecting) stays.
TNetFailure TUploadRun::LostKindOf(TNetFailure kind) {
    return kind == TNetFailure::Other ? TNetFailure::Lost : kind;
}

// The error that ended the store in progress ends the run. A lost connection says which file it cut.
void TUploadRun::StoreFailed(const QString& name) {
    const bool lost = !FClient.IsConnected() && !FAbortRequested;
    FResult.Failed = name;
    try {
        throw;
    } catch (const ESockError& e) {
        if (!lost || e.Kind() == TNetFailure::Aborted) {
            Failed(e.Message(), e.Kind());
            throw;
        }
        const TNetFailure kind = LostKindOf(e.Kind());
        Failed("Upload ended while storing " + name + ": " + e.Message() + " (" + FilesText(Left()) +
                   " not uploaded)",
               kind);
        throw ESockError(FResult.Failure, kind);
    } catch (const std::exception& e) {
        Failed(QString::fromUtf8(e.what()), FailureOf(e));
        throw;
    }
}

// Visitors never meet a half-written file: the store goes to a temporary name that becomes the final one
// only once the server has confirmed it. A failed or aborted store leaves the published file as it was.
void TUploadRun::StoreFile(const QString& path, const QString& name) {
    if (FResult.DirectStore) {
        StoreResuming(path, name);
        return;
    }
    const QString temp = TempNameOf(name);
    try {
        StoreResuming(path, temp);
        ThrowIfAbortRequested();
    } catch (...) {
        DeleteQuietly(temp, kCleanUpWait);
        throw;
    }
    try {
        FClient.Rename(temp, name);
    } catch (const ERemoteRefusal&) {
        // Some servers cannot rename: the rest of the run stores the plain way.
        DeleteQuietly(temp, kTimeOut);
        FResult.DirectStore = true;
        FClient.Store(path, name);
    }
}

// The temporary file of a failed store; a server that cannot delete it leaves it, and the error that ended
// the store is the one to report. One whose answer does not come within waitMs is tried again at the start
// of the next run into the same folder (and the next store of that file replaces it anyway).
bool TUploadRun::DeleteQuietly(const QString& name, int waitMs) {
    if (!FClient.IsConnected())
        return false;
    QStringList& leftovers = LeftoverNames();
    const int timeOut = FClient.TimeOut();
    FClient.SetTimeOut(waitMs);
    const auto restore = qScopeGuard([&] { FClient.SetTimeOut(timeOut); });
    try {
        FClient.Delete(name);
        leftovers.removeAll(name);
    } catch (const ERemoteRefusal&) {
        // Refused: gone already, or the server will not; nothing more to try.
        leftovers.removeAll(name);
    } catch (const std::exception&) {
        if (!leftovers.contains(name))
            leftovers << name;
        FServerSilent = true;
        return false;
    }
    return true;
}

// After an abort, over the run's own connection while the server answers; what is left is tried at the
// start of the next run into the folder.
void TUploadRun::DeleteLaneLeftovers() {
    for (const QString& name : std::as_const(FLaneLeftovers))
        if (FServerSilent || !DeleteQuietly(name, kCleanUpWait))
            return;
}

// Temporary files of an earlier run into this folder whose delete got no answer in time.
void TUploadRun::DeleteLeftovers(const QString& target) {
    TUploadLeftovers& leftovers = Leftovers ? *Leftovers : FOwnLeftovers;
    if (target != leftovers.Target) {
        leftovers.Names.clear();
        leftovers.Target = target;
        return;
    }
    for (const QString& name : QStringList(leftovers.Names))
        DeleteQuietly(name, kTimeOut);
}

void TUploadRun::MarkUnchanged() {
    if (!FRecord || !FSettings.ChangedOnly)
        return;
    for (int i = 0; i < FQueue.size(); ++i) {
        QCoreApplication::processEvents(); // an abort is heard while large files are read
        ThrowIfAbortRequested();
        TUploadFile& file = FQueue[i];
        const QByteArray sha = TUploadRecord::Sha256Of(file.Path);
        if (Unchanged(FileNameOf(file.Path), sha)) {
            ++FResult.Unchanged;
            file.State = TUploadFileState::Unchanged;
        } else if (!sha.isEmpty()) {
            FQueueSha.insert(i, sha);
        }
    }
}

QByteArray TUploadRun::ShaToStore(int index) {
    return FQueueSha.contains(index) ? FQueueSha.take(index) : TUploadRecord::Sha256Of(FQueue[index].Path);
}

void TUploadRun::DeleteEarlierParts() {
    QSet<QString> parts;
    for (const TUploadFile& file : std::as_const(FQueue))
        parts.insert(TempNameOf(FileNameOf(file.Path)));
    for (const QString& name : FRemoteSizes.keys()) {
        if (!parts.contains(name))
            continue;
        ThrowIfAbortRequested();
        if (!DeleteQuietly(name, kTimeOut))
            return;
        FRemoteSizes.remove(name);
    }
}

// Kept at once, so that a run that fails later does not send this file again. The size is the one sent
// until the server's listing at the end of the run tells its own (a page sent as text may change size).
void TUploadRun::RecordStored(const QString& name, qint64 size, const QByteArray& sha256) {
    FRecord->Set(name, {size, sha256});
    try {
        FRecord->Save();
    } catch (const std::exception& e) {
        FResult.RecordError = QString::fromUtf8(e.what());
    }
}

// Left out only when the content is the one last uploaded and the server's copy still has the size it
// had then: a copy replaced or cut short on the server is stored again.
bool TUploadRun::Unchanged(const QString& name, const QByteArray& sha256) const {
    const auto entry = FRecord->Find(name);
    const auto remote = FRemoteSizes.constFind(name);
    return entry && !sha256.isEmpty() && entry->Sha256 == sha256 && remote != FRemoteSizes.constEnd() &&
           *remote == entry->Size;
}

// The plain files of the current remote folder and their sizes; none when the server refuses to list.
QHash<QString, qint64> TUploadRun::RemoteFileSizes() {
    FListing = true;
    const auto listed = qScopeGuard([this] { FListing = false; });
    try {
        return FClient.FileSizes();
    } catch (const ERemoteRefusal&) {
        return {};
    }
}

// After the whole gallery, index.html last, is on the server: nothing links to these files any more. A
// delete the server refuses (the file is gone already, or may not be deleted) forgets the file too. Only
// plain names of the remote folder are ever deleted (the record leaves out any other).
void TUploadRun::RemoveStale() {
    if (!FRecord || !FSettings.RemoveStale)
        return;
    QSet<QString> inGallery;
    for (const TUploadFile& file : FQueue)
        inGallery.insert(FileNameOf(file.Path));
    for (const QString& name : FRecord->Names()) {
        if (inGallery.contains(name) || !PlainFileName(name))
            continue;
        Status("Removing: " + name);
        try {
            FClient.Delete(name);
            ++FResult.Removed;
        } catch (const ERemoteRefusal&) {
        }
        FRecord->Remove(name);
        FRecordChanged = true;
    }
}

// The sizes are the server's own (a page stored as text may change size on the way), so the folder is
// listed once more. A record that cannot be kept only means storing more next time: it is reported, never
// an error of the run.
void TUploadRun::SaveRecord() {
    if (!FRecord || (FStoredSha.isEmpty() && !FRecordChanged))
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
        FResult.RecordError = QString::fromUtf8(e.what());
    }
}
