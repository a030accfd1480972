// The further connections of an upload run that stores several files at once: each lives on a thread of its
// own (the clients are bound to the thread that made them), stores the files it is given by the same rules
// as the run's own connection, and tells the run how each went. The run keeps the queue, the record and
// the progress on its own thread.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include "upload/FtpSettings.h"

class QThread;
class TUploadLane;

// What a lane tells the run.
struct TLaneReport {
    enum class TKind { Opened, NotOpened, Stored, Failed, Status };
    TKind Kind = TKind::Opened;
    int Lane = 0;
    int Index = -1;           // Stored, Failed: the queue's file
    QString Message;          // NotOpened, Failed: why; Status: a reconnect or resume, to show
    std::exception_ptr Error; // Failed: what ended the store
    bool Lost = false;        // Failed: the connection is gone
    bool DirectStore = false; // the server refused a rename: the lane stores under final names
    bool Impostor = false;    // NotOpened: the server's host key or certificate is not the trusted one
    QStringList Leftovers;    // Failed: temporary files whose delete the lane did not wait for
};

// How the further connections log in: as the run's own did, with the answers its user already gave.
struct TLaneLogin {
    TFtpSettings Settings;
    QString Password;
    QString TrustFile;
    QString KnownHostsFile;        // SFTP; empty: the user's own
    QStringList AcceptedQuestions; // a question asked again is answered as the user did
    std::optional<QString> Secret; // the key file's passphrase, when one was given
    int ReconnectPauseMs = 1000;
};

class TUploadLanes {
public:
    TUploadLanes();
    ~TUploadLanes(); // aborts what is still stored and waits for the threads
    TUploadLanes(const TUploadLanes&) = delete;
    TUploadLanes& operator=(const TUploadLanes&) = delete;

    // Starts count lanes; each connects, logs in and enters the folder on its own thread, and says so.
    void Open(int count, const TLaneLogin& login);
    // A lane that is open and has no file; -1 when none.
    int FreeLane() const;
    // The lane stores the file (path, the queue's index) and reports when done.
    void Give(int lane, int index, const QString& path);
    // Lanes storing a file now.
    int Storing() const;
    // Lanes that have not said yet whether they opened.
    int Opening() const;
    // The reports since the last call, in the order they came; the lanes' states follow them.
    QList<TLaneReport> TakeReports();
    // Ends every wait of every lane at once: its store in progress (its temporary file left to the run) or
    // its log-in; a lane then closes without waiting for the server's goodbye.
    void Abort();
    // Logs each lane out and waits for its thread; a lane still logging in is stopped.
    void Close();

    // From the lanes' threads.
    void Post(const TLaneReport& report);
    // Called on the run's thread, from its event loop, after a lane reported.
    std::function<void()> OnReport;

private:
    enum class TState { Opening, Free, Storing, Gone };
    struct TSlot {
        QThread* Thread = nullptr;
        TUploadLane* Lane = nullptr;
        TState State = TState::Opening;
        // Read by the lane's waits; shared, so that it outlives a lane that ends late.
        std::shared_ptr<std::atomic<bool>> Stop;
    };
    std::vector<TSlot> FSlots;
    QObject FNotifier; // on the run's thread: where the lanes' reports are announced
    mutable QMutex FMutex;
    QList<TLaneReport> FReports;
};
