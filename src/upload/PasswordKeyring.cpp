// Upload passwords in the keyring: each asynchronous keyring job waited for in a local event loop.
#include "upload/PasswordKeyring.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace {

constexpr char kProbeKey[] = "veltrix-keyring-probe";

struct TJobOutcome {
    bool Finished = false;
    QKeychain::Error Error = QKeychain::NoError;
    QString ErrorText;
    QString Text;
};

// Runs the job and waits for it, at most timeOut ms. A finished job goes at once (a deferred delete would
// wait for an event loop that may never run again); one that does not finish in time is left to delete
// itself whenever it does: nothing here is waiting for it any more.
TJobOutcome RunJob(QKeychain::Job* job, int timeOut) {
    TJobOutcome outcome;
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        outcome.Finished = true;
        outcome.Error = done->error();
        outcome.ErrorText = done->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
            outcome.Text = read->textData();
        loop.quit();
    });
    QTimer::singleShot(timeOut, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome.Finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (outcome.Finished)
        delete job;
    else
        job->setAutoDelete(true);
    return outcome;
}

bool NoKeyring(QKeychain::Error error) {
    return error == QKeychain::NoBackendAvailable || error == QKeychain::NotImplemented;
}

QString FailureText(const TJobOutcome& outcome, int timeOut) {
    if (!outcome.Finished)
        return QString(kNoKeyringText) + " (the keyring did not answer within " +
               QString::number(timeOut / 1000.0) + " s)";
    if (NoKeyring(outcome.Error))
        return QString(kNoKeyringText) + " (" + outcome.ErrorText + ")";
    return "The system keyring refused: " + outcome.ErrorText;
}

} // namespace

QString KeyringKeyOf(const TFtpSettings& settings) {
    return ProtocolText(settings.Protocol) + "://" + settings.UserID + "@" + settings.Host.trimmed() + ":" +
           QString::number(settings.Port);
}

QString RefusedKeptPasswordText(const TFtpSettings& settings) {
    return "The server refused the password kept in the system keyring for " + KeyringKeyOf(settings) +
           ": it was removed from the keyring";
}

bool TPasswordKeyring::ForgetRefused(const TFtpSettings& settings, TNetFailure failure) {
    if (failure != TNetFailure::PasswordRefused)
        return false;
    Remove(KeyringKeyOf(settings));
    return true;
}

bool TPasswordKeyring::Available() {
    if (!FAvailable) {
        auto* job = new QKeychain::ReadPasswordJob(kService);
        job->setKey(kProbeKey);
        const TJobOutcome outcome = RunJob(job, TimeOut);
        FAvailable = outcome.Finished &&
                     (outcome.Error == QKeychain::NoError || outcome.Error == QKeychain::EntryNotFound);
        if (*FAvailable)
            FError.clear();
        else if (!outcome.Finished)
            FError = FailureText(outcome, TimeOut);
        else
            FError = QString(kNoKeyringText) + " (" + outcome.ErrorText + ")";
    }
    return *FAvailable;
}

std::optional<QString> TPasswordKeyring::Read(const QString& key) {
    if (!Available())
        return std::nullopt;
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(key);
    const TJobOutcome outcome = RunJob(job, TimeOut);
    if (outcome.Finished && outcome.Error == QKeychain::NoError) {
        FError.clear();
        return outcome.Text;
    }
    FError = outcome.Error == QKeychain::EntryNotFound ? QString() : FailureText(outcome, TimeOut);
    return std::nullopt;
}

bool TPasswordKeyring::Write(const QString& key, const QString& password) {
    if (!Available())
        return false;
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(key);
    job->setTextData(password);
    const TJobOutcome outcome = RunJob(job, TimeOut);
    const bool kept = outcome.Finished && outcome.Error == QKeychain::NoError;
    FError = kept ? QString() : FailureText(outcome, TimeOut);
    return kept;
}

bool TPasswordKeyring::Remove(const QString& key) {
    if (!Available())
        return false;
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(key);
    const TJobOutcome outcome = RunJob(job, TimeOut);
    const bool gone = outcome.Finished &&
                      (outcome.Error == QKeychain::NoError || outcome.Error == QKeychain::EntryNotFound);
    FError = gone ? QString() : FailureText(outcome, TimeOut);
    return gone;
}
