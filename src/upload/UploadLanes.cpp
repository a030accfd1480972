// The further connections of an upload run, each on its own thread.
#include "upload/UploadLanes.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>

#include "ftp/XoFtp.h"
#include "upload/UploadRun.h"

// Lives on its lane's thread: everything of its connection is made, used and freed there. The run's side
// reaches it only through calls queued to that thread; the connection's waits process them, which is how
// Abort reaches a store in progress.
class TUploadLane : public QObject {
public:
    TUploadLane(TUploadLanes& lanes, int lane) : FLanes(lanes), FLane(lane) {}

    void Open(const TLaneLogin& login, const std::shared_ptr<std::atomic<bool>>& stop);
    void Store(int index, const QString& path);
    void Abort();
    void Close();

private:
    void CloseNow();

    TUploadLanes& FLanes;
    int FLane;
    std::unique_ptr<TXoFTP> FClient;
    std::unique_ptr<TUploadRun> FRun;
    std::shared_ptr<std::atomic<bool>> FStop;
    bool FBusy = false; // opening or storing: a close asked for meanwhile waits for the end
    bool FCloseWanted = false;
};

void TUploadLane::Open(const TLaneLogin& login, const std::shared_ptr<std::atomic<bool>>& stop) {
    FBusy = true;
    FStop = stop;
    TLaneReport report;
    report.Lane = FLane;
    try {
        FClient = std::make_unique<TXoFTP>();
        TFtpSettings settings = login.Settings;
        settings.Connections = 1;
        FRun = std::make_unique<TUploadRun>(*FClient, settings, login.Password, QStringList());
        FRun->Connection().SetStopFlag(FStop.get());
        if (auto* sftp = dynamic_cast<TSftpUploadConnection*>(&FRun->Connection()))
            sftp->KnownHostsFile = login.KnownHostsFile;
        FRun->TrustFile = login.TrustFile;
        FRun->ReconnectPauseMs = login.ReconnectPauseMs;
        // The user is not asked again: what was said Yes to for the run's own connection holds here too.
        const QStringList accepted = login.AcceptedQuestions;
        FRun->OnTrustQuestion = [accepted](const QString& question) { return accepted.contains(question); };
        const std::optional<QString> given = login.Secret;
        FRun->OnSecret = [given](const QString&, QString& secret) {
            if (given)
                secret = *given;
            return given.has_value();
        };
        FRun->Start();
        // What the lane's connection goes through while storing (a reconnect, a resume) shows where the
        // run's own does.
        FRun->OnStatus = [this](const QString& text) {
            TLaneReport status;
            status.Kind = TLaneReport::TKind::Status;
            status.Lane = FLane;
            status.Message = text;
            FLanes.Post(status);
        };
    } catch (const std::exception& e) {
        report.Kind = TLaneReport::TKind::NotOpened;
        report.Message = QString::fromUtf8(e.what());
        report.Impostor = FailureOf(e) == TNetFailure::Identity;
        FRun.reset();
    }
    FBusy = false;
    FLanes.Post(report);
    if (FCloseWanted)
        CloseNow();
}

void TUploadLane::Store(int index, const QString& path) {
    FBusy = true;
    TLaneReport report;
    report.Kind = TLaneReport::TKind::Stored;
    report.Lane = FLane;
    report.Index = index;
    try {
        FRun->StoreOne(path);
    } catch (const std::exception& e) {
        report.Kind = TLaneReport::TKind::Failed;
        report.Message = QString::fromUtf8(e.what());
        report.Error = std::current_exception();
        report.Lost = !FRun->Connection().IsConnected();
        report.Leftovers = FRun->LeftoverNames();
    }
    report.DirectStore = FRun->Result().DirectStore;
    FBusy = false;
    FLanes.Post(report);
    if (FCloseWanted)
        CloseNow();
}

void TUploadLane::Abort() {
    if (FRun)
        FRun->Abort();
}

void TUploadLane::Close() {
    FCloseWanted = true;
    if (!FBusy)
        CloseNow();
}

void TUploadLane::CloseNow() {
    if (FRun) {
        // Stopped: the goodbye is not waited for.
        if (FStop && *FStop)
            FRun->Abort();
        try {
            FRun->End();
        } catch (const std::exception&) {
            // A server that will not say goodbye leaves nothing to do.
        }
    }
    FRun.reset();
    FClient.reset();
    QThread::currentThread()->quit();
}

// ---- The run's side

TUploadLanes::TUploadLanes() = default;

TUploadLanes::~TUploadLanes() {
    OnReport = nullptr; // the run may be going away with it
    Abort();
    Close();
}

void TUploadLanes::Open(int count, const TLaneLogin& login) {
    for (int i = 0; i < count; ++i) {
        TSlot slot;
        slot.Thread = new QThread;
        slot.Lane = new TUploadLane(*this, static_cast<int>(FSlots.size()));
        slot.Lane->moveToThread(slot.Thread);
        slot.Stop = std::make_shared<std::atomic<bool>>(false);
        FSlots.push_back(slot);
        slot.Thread->start();
        TUploadLane* lane = slot.Lane;
        QMetaObject::invokeMethod(
            lane, [lane, login, stop = slot.Stop] { lane->Open(login, stop); }, Qt::QueuedConnection);
    }
}

int TUploadLanes::FreeLane() const {
    for (size_t i = 0; i < FSlots.size(); ++i)
        if (FSlots[i].State == TState::Free)
            return static_cast<int>(i);
    return -1;
}

void TUploadLanes::Give(int lane, int index, const QString& path) {
    TSlot& slot = FSlots[static_cast<size_t>(lane)];
    slot.State = TState::Storing;
    TUploadLane* worker = slot.Lane;
    QMetaObject::invokeMethod(
        worker, [worker, index, path] { worker->Store(index, path); }, Qt::QueuedConnection);
}

int TUploadLanes::Storing() const {
    return static_cast<int>(std::count_if(FSlots.begin(), FSlots.end(),
                                          [](const TSlot& s) { return s.State == TState::Storing; }));
}

int TUploadLanes::Opening() const {
    return static_cast<int>(std::count_if(FSlots.begin(), FSlots.end(),
                                          [](const TSlot& s) { return s.State == TState::Opening; }));
}

void TUploadLanes::Post(const TLaneReport& report) {
    {
        QMutexLocker lock(&FMutex);
        FReports << report;
    }
    QMetaObject::invokeMethod(
        &FNotifier,
        [this] {
            if (OnReport)
                OnReport();
        },
        Qt::QueuedConnection);
}

QList<TLaneReport> TUploadLanes::TakeReports() {
    QList<TLaneReport> reports;
    {
        QMutexLocker lock(&FMutex);
        reports.swap(FReports);
    }
    for (const TLaneReport& report : reports) {
        TState& state = FSlots[static_cast<size_t>(report.Lane)].State;
        switch (report.Kind) {
        case TLaneReport::TKind::Opened:
        case TLaneReport::TKind::Stored:
            state = TState::Free;
            break;
        case TLaneReport::TKind::NotOpened:
            state = TState::Gone;
            break;
        case TLaneReport::TKind::Failed:
            // A lane whose store failed ends the run; it takes no further file.
            state = TState::Gone;
            break;
        case TLaneReport::TKind::Status:
            break; // the lane goes on with what it does
        }
    }
    return reports;
}

void TUploadLanes::Abort() {
    for (const TSlot& slot : FSlots) {
        if (!slot.Thread || slot.Thread->isFinished())
            continue;
        *slot.Stop = true;
        TUploadLane* lane = slot.Lane;
        QMetaObject::invokeMethod(
            lane, [lane] { lane->Abort(); }, Qt::QueuedConnection);
    }
}

// The lanes still logging in are not waited for: the run is over.
void TUploadLanes::Close() {
    for (TSlot& slot : FSlots) {
        if (!slot.Thread)
            continue;
        TUploadLane* lane = slot.Lane;
        if (slot.State == TState::Opening) {
            *slot.Stop = true;
            QMetaObject::invokeMethod(
                lane, [lane] { lane->Abort(); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            lane, [lane] { lane->Close(); }, Qt::QueuedConnection);
    }
    for (TSlot& slot : FSlots) {
        if (!slot.Thread)
            continue;
        // Events go on meanwhile: an abort still reaches a lane that says goodbye to a slow server.
        while (!slot.Thread->wait(QDeadlineTimer(5)))
            QCoreApplication::processEvents();
        delete slot.Lane;
        delete slot.Thread;
        slot = TSlot{nullptr, nullptr, TState::Gone, nullptr};
    }
}
