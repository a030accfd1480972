// The upload run after a lost connection: connected again after a growing pause, and the file cut short
// resumed where the server supports it.
#include "upload/UploadRun.h"

#include <exception>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

namespace {

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// How long a connection still said to be up may take to show it was cut with the store's data.
constexpr int kLossShowsMs = 300;

// Failures no further connection gets past: the user stopped the run, the server is not the one trusted,
// or it does not let the user in.
bool EndsReconnecting(TNetFailure kind) {
    switch (kind) {
    case TNetFailure::Aborted:
    case TNetFailure::Identity:
    case TNetFailure::PasswordRefused:
    case TNetFailure::LogInRefused:
        return true;
    case TNetFailure::Other:
    case TNetFailure::Refused:
    case TNetFailure::Lost:
    case TNetFailure::TimedOut:
        break;
    }
    return false;
}

} // namespace

// Whether the connection is lost. A server cut off closes a store's data connection as well as the
// connection it was told over, and the data's error may come first: the other is given a moment to show.
bool TUploadRun::ConnectionLost() {
    QElapsedTimer waited;
    waited.start();
    while (FClient.IsConnected() && !FAbortRequested && waited.elapsed() < kLossShowsMs) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return !FClient.IsConnected();
}

// A connection lost while the file was stored is made again and the file stored on; a file that meets more
// lost connections than that ends the run as before, and so does a new connection that meets another
// server or a refused log-in.
void TUploadRun::StoreReconnecting(const QString& path, const QString& name) {
    FResumable = false;
    for (int lost = 0;; ++lost) {
        std::exception_ptr loss;
        try {
            // Each connection, a new one too, is told the file's transfer type first. A connection found
            // lost there (one the server closed while it waited for its next file) is made again, as one
            // lost during the store is.
            FClient.PrepareStore(path);
            StoreFile(path, name);
            return;
        } catch (const ESockError& e) {
            if (EndsReconnecting(e.Kind()) || FAbortRequested || lost == kReconnects || !ConnectionLost())
                throw;
            loss = std::current_exception();
        }
        try {
            Reconnect(name);
        } catch (const std::exception& e) {
            // Another server, or a refused log-in, is what the user must hear of.
            if (EndsReconnecting(FailureOf(e)))
                throw;
            ThrowIfAbortRequested();
            // The lost connection is what ended the store; the attempts after it were told as they went.
            std::rethrow_exception(loss);
        }
        FResumable = true;
    }
}

// Only what the server holds of a store cut short is kept, and only when it checks out at the end: a file
// whose size then differs is stored again whole.
void TUploadRun::StoreResuming(const QString& path, const QString& remoteName) {
    const qint64 size = QFileInfo(path).size();
    const qint64 held = FResumable && FClient.CanResume(path) ? FClient.RemoteSize(remoteName) : -1;
    if (held > 0 && held < size) {
        Notice(QString("Resuming: %1 from byte %2 of %3").arg(FileNameOf(path)).arg(held).arg(size));
        try {
            FClient.StoreFrom(path, remoteName, held);
            if (FClient.RemoteSize(remoteName) == size)
                return;
        } catch (const ERemoteRefusal&) {
            // A server that will not resume takes the whole file instead.
        }
        Notice("Storing again: " + FileNameOf(path));
    }
    FClient.Store(path, remoteName);
}

// Up to kReconnects attempts, each after twice the pause of the one before; Abort ends the wait.
void TUploadRun::Reconnect(const QString& name) {
    FReconnecting = true;
    const auto done = qScopeGuard([this] { FReconnecting = false; });
    const QString folder = RemoteFolderOf(FLoginDir, FSettings.RemoteDir);
    for (int attempt = 1;; ++attempt) {
        const int pause = ReconnectPauseMs << (attempt - 1);
        Notice(QString("Connection lost while storing %1: reconnecting in %2 s (attempt %3 of %4)")
                   .arg(name, QString::number(pause / 1000.0))
                   .arg(attempt)
                   .arg(kReconnects));
        Pause(pause);
        ThrowIfAbortRequested();
        try {
            try {
                FClient.Close();
            } catch (const std::exception&) {
                // What is left of the lost connection has nothing more to say.
            }
            FClient.Open(FSettings, FPassword);
            FClient.ChangeDir(folder);
            Notice("Reconnected to " + FClient.Host());
            return;
        } catch (const ESockError& e) {
            if (EndsReconnecting(e.Kind()) || attempt == kReconnects || FAbortRequested)
                throw;
        }
    }
}

void TUploadRun::Pause(int ms) const {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && !FAbortRequested) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}
