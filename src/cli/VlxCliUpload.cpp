// `veltrix upload --out DIR`: the upload run with the options file's FTP settings, storing every file of a
// generated folder; no window and no widget.
#include "cli/VlxCliUpload.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include "cli/VlxCliProgress.h"
#include "gallery/GalleryOptions.h"
#include "upload/FtpTrust.h"
#include "upload/PasswordKeyring.h"
#include "upload/UploadRun.h"

namespace {

// Ctrl-C and SIGTERM while the upload runs act as the Abort button: the store in progress is cancelled and
// its temporary file deleted on the server. The handler only writes the signal's number into a pipe; the
// event loop, which every wait of the upload keeps running, reads it and aborts.
class TSignalAbort {
public:
    explicit TSignalAbort(std::function<void()> abort) {
        if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        gWriteEnd = FPipe[1];
        FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                         [this, abort = std::move(abort)] {
                             unsigned char number = 0;
                             while (::read(FPipe[0], &number, 1) == 1)
                                 FSignal = number;
                             abort();
                         });
        struct sigaction action {};
        action.sa_handler = Handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &FSavedInt);
        sigaction(SIGTERM, &action, &FSavedTerm);
    }
    ~TSignalAbort() {
        if (!FNotifier)
            return;
        sigaction(SIGINT, &FSavedInt, nullptr);
        sigaction(SIGTERM, &FSavedTerm, nullptr);
        gWriteEnd = -1;
        FNotifier.reset();
        ::close(FPipe[0]);
        ::close(FPipe[1]);
    }
    TSignalAbort(const TSignalAbort&) = delete;
    TSignalAbort& operator=(const TSignalAbort&) = delete;

    // The signal that stopped the run; 0 when none came.
    int Signal() const { return FSignal; }

private:
    static void Handler(int number) {
        const int saved = errno;
        const auto byte = static_cast<unsigned char>(number);
        if (gWriteEnd >= 0)
            (void)!::write(gWriteEnd, &byte, 1);
        errno = saved;
    }

    static inline volatile sig_atomic_t gWriteEnd = -1;
    int FPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> FNotifier;
    struct sigaction FSavedInt {};
    struct sigaction FSavedTerm {};
    int FSignal = 0;
};

// The terminal as it was before the password prompt turned its echo off. A signal that ends the program
// during the prompt (Ctrl-C, the terminal closing) gives it back first, or the shell is left typing blind.
class TQuietTerminal {
public:
    TQuietTerminal() {
        if (tcgetattr(STDIN_FILENO, &gSaved) != 0)
            return;
        FQuiet = true;
        struct sigaction action {};
        action.sa_handler = Handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        for (int k = 0; k < kSignals; ++k)
            sigaction(kSignal[k], &action, &FSaved[k]);
        termios silent = gSaved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    ~TQuietTerminal() {
        if (!FQuiet)
            return;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
        for (int k = 0; k < kSignals; ++k)
            sigaction(kSignal[k], &FSaved[k], nullptr);
    }
    TQuietTerminal(const TQuietTerminal&) = delete;
    TQuietTerminal& operator=(const TQuietTerminal&) = delete;

    bool Quiet() const { return FQuiet; }

private:
    // The handler was reset to the default by SA_RESETHAND: raising the signal again ends the program as it
    // would have ended, its status telling the signal.
    static void Handler(int number) {
        tcsetattr(STDIN_FILENO, TCSANOW, &gSaved);
        raise(number);
    }

    static constexpr int kSignals = 4;
    static constexpr int kSignal[kSignals] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    static inline termios gSaved{};
    bool FQuiet = false;
    struct sigaction FSaved[kSignals] {};
};

// Reads one line of standard input; on a terminal it asks for it and does not echo what is typed. False when
// the input ended before a line began (an empty line is a line).
bool ReadPasswordLine(const TCliStreams& streams, const QString& prompt, QString& line) {
    if (!streams.In)
        return false;
    if (!streams.InIsTerminal)
        return streams.In->readLineInto(&line);
    bool read = false;
    {
        // Quiet before the prompt shows: what is typed as soon as it is seen is not echoed.
        const TQuietTerminal terminal;
        streams.Err << prompt;
        streams.Err.flush();
        read = streams.In->readLineInto(&line);
    }
    streams.Err << '\n';
    streams.Err.flush();
    return read;
}

void Line(const TCliStreams& streams, const QString& text);

// The password from the environment when it is set there (even empty), else the one kept in the keyring
// for the server when the options say so, else a line of standard input; false when none gives one. SFTP
// logs in by the agent or a key file as well: without the others it goes without a password. kept tells
// whether the keyring gave it.
bool Password(const TFtpSettings& settings, const TCliStreams& streams, QString& password, bool& kept) {
    kept = false;
    if (qEnvironmentVariableIsSet(kFtpPasswordVariable)) {
        password = qEnvironmentVariable(kFtpPasswordVariable);
        return true;
    }
    if (settings.RememberPassword) {
        TPasswordKeyring keyring;
        if (const std::optional<QString> read = keyring.Read(KeyringKeyOf(settings))) {
            password = *read;
            kept = true;
            return true;
        }
        if (!keyring.Error().isEmpty())
            Line(streams, keyring.Error());
    }
    if (settings.Protocol == TUploadProtocol::Sftp)
        return true;
    return ReadPasswordLine(streams, "Password for " + settings.UserID + "@" + settings.Host + ": ",
                            password);
}

// Where the files went: "ftp://ann@host:21/www" for a folder below the log-in folder. An absolute one is
// said so ("ftp://ann@host:21, folder /www"): a double slash in an address reads as a typing error.
QString TargetText(const TFtpSettings& settings) {
    const QString server = ProtocolText(settings.Protocol) + "://" + settings.UserID + '@' + settings.Host +
                           ':' + QString::number(settings.Port);
    if (settings.RemoteDir.startsWith('/'))
        return server + ", folder " + settings.RemoteDir;
    return server + '/' + settings.RemoteDir;
}

QString SignalName(int number) {
    return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "signal " + QString::number(number);
}

// A message as one line, its lines after the first indented under it and its blank lines left out.
void Line(const TCliStreams& streams, const QString& text) {
    streams.Err << "veltrix: " << text.split('\r', Qt::SkipEmptyParts).join("\n    ") << '\n';
    streams.Err.flush();
}

// The plain files of the folder, hidden ones left out (the run's record of what it wrote is one). What is no
// regular file (a pipe, a device, a link to one) would be waited on or read without end: named and skipped.
QStringList FilesOf(const QString& dir, const TCliStreams& streams) {
    QStringList files;
    for (const QFileInfo& info : QDir(dir).entryInfoList(QDir::Files | QDir::System, QDir::Name)) {
        // Asked without opening it: opening some devices does something by itself.
        struct stat status {};
        const QString path = info.absoluteFilePath();
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)
            Line(streams, path + " is not uploaded: " + QString::fromLocal8Bit(std::strerror(errno)));
        else if (!S_ISREG(status.st_mode))
            Line(streams, path + " is not uploaded: it is a pipe or a device, not a regular file");
        else
            files << path;
    }
    return files;
}

int Fail(const TCliStreams& streams, const QString& text) {
    Line(streams, text);
    return kCliFailed;
}

// A question (whether to trust a server's certificate) is put to a person at a terminal; a script's answer
// is No.
bool AskYes(const TCliStreams& streams, const QString& question) {
    Line(streams, question);
    if (!streams.In || !streams.InIsTerminal)
        return false;
    streams.Err << "[y/N] ";
    streams.Err.flush();
    return streams.In->readLine().trimmed().toLower().startsWith('y');
}

// The client as the upload panel sets it up, its refusals told as the panel's message boxes tell them.
void SetUpClient(TXoFTP& client, const TCliStreams& streams) {
    client.setObjectName("XoFTP");
    client.SetReportLevel(0);
    client.SetVendor(kVendorUnknown);
    client.SetParseList(true);
    client.SetProxyPort(0);
    client.SetProxy({});
    client.SetFirewallType(TFirewallType::FTUser);
    client.SetFWAuthenticate(false);
    client.OnInvalidHost = [&streams](bool&) { Line(streams, "Invalid Host"); };
    client.OnConnectionFailed = [&streams](QObject*) { Line(streams, "Connection Failed"); };
    client.OnUnSupportedFunction = [&streams](TCmdType type) {
        // A refused rename or delete is dealt with by the run itself, which says so in its notes.
        if (type != TCmdType::Rename && type != TCmdType::Delete && !FtpUnsupportedText(type).isEmpty())
            Line(streams, FtpUnsupportedText(type));
    };
}

void EndQuietly(TUploadRun& run) {
    try {
        run.End();
    } catch (const std::exception&) {
        // The error that ended the run is the one to report.
    }
}

// The upload run, with the signals that stop it; false when files are left (the reason is on the error
// stream; a log-in that failed says how in failure).
bool StoreFiles(TUploadRun& run, TXoFTP& client, const TCliStreams& streams, TNetFailure& failure) {
    TSignalAbort interrupt([&run] { run.Abort(); });
    // Once the run has started, a socket error it gets over (a reconnect's line tells of it) is not told;
    // one it ends on is told before the failure.
    bool started = false;
    QStringList held;
    client.OnError = [&](QObject*, quint16 number, const QString& text) {
        if (started)
            held << FtpErrorText(number, text);
        else
            Line(streams, FtpErrorText(number, text));
    };
    const auto tellHeld = [&] {
        for (const QString& text : std::as_const(held))
            Line(streams, text);
        held.clear();
    };
    run.OnNotice = [&](const QString& text) {
        held.clear();
        Line(streams, text);
    };
    const auto stopped = [&] {
        Fail(streams, "Upload stopped by " + SignalName(interrupt.Signal()) + " (" +
                          QString::number(run.Left()) + (run.Left() == 1 ? " file" : " files") +
                          " not uploaded)");
        return false;
    };
    TCliProgress progress(streams);
    progress.NewPhase(static_cast<int>(run.Queue().size()), "upload");
    run.OnProgress = [&progress](const TUploadProgress& p) { progress.Value(p.Done); };
    try {
        run.Start();
    } catch (const std::exception& e) {
        EndQuietly(run);
        if (interrupt.Signal() != 0)
            return stopped();
        failure = FailureOf(e);
        Fail(streams, QString::fromUtf8(e.what()));
        return false;
    }
    if (!run.Result().NotEncryptedNote.isEmpty())
        Line(streams, run.Result().NotEncryptedNote);
    started = true;
    bool failed = false;
    try {
        while (run.StoreNext()) {
        }
    } catch (const std::exception& e) {
        tellHeld();
        Fail(streams, QString::fromUtf8(e.what()));
        failed = true;
    }
    try {
        run.End();
    } catch (const std::exception& e) {
        tellHeld();
        Fail(streams, QString::fromUtf8(e.what()));
        failed = true;
    }
    held.clear();
    progress.EndPhase();
    if (!run.Result().Notes().isEmpty())
        Line(streams, run.Result().Notes());
    if (interrupt.Signal() != 0 && run.Left() > 0)
        return stopped();
    return !failed && run.Left() == 0;
}

} // namespace

int UploadFolder(const QString& outDir, const TVeltrixPlaces& places, const TCliStreams& streams,
                 int connections) {
    const QString dir = QDir::cleanPath(QFileInfo(outDir).absoluteFilePath());
    const auto fail = [&](const QString& text) { return Fail(streams, text); };
    if (!QFileInfo(dir).isDir())
        return fail("Folder " + dir + " does not exist");
    const QStringList files = FilesOf(dir, streams);
    if (files.isEmpty())
        return fail("Folder " + dir + " holds no files to upload");
    // The settings come from the options file whether or not the window reads it at start.
    const QString configDir = UseConfigDir(places);
    TFtpSettings settings;
    QString password;
    bool kept = false;
    try {
        const TOptions options = ReadOptions(configDir + kOptionsFileName);
        for (const QString& note : options.Notes)
            Line(streams, note);
        settings = options.Ftp;
        if (connections > 0)
            settings.Connections = connections;
        if (settings.Host.trimmed().isEmpty())
            return fail("No FTP server in the options file: set one on the FTP tab and save the options");
        // Without a user the server gets a bare USER and answers with a syntax error that names nothing.
        if (settings.UserID.trimmed().isEmpty())
            return fail(
                "No FTP user in the options file: set the User ID on the FTP tab and save the options");
        if (!Password(settings, streams, password, kept))
            return fail(QString("no password given: set the environment variable ") + kFtpPasswordVariable +
                        " (it may be empty) or give the password as a line on standard input");
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    if (const QString refusal = TUploadRun::Refusal(files, settings); !refusal.isEmpty())
        return fail(refusal);
    // A child of the application, where a test that stands in for a signal finds it.
    auto client = std::make_unique<TXoFTP>(QCoreApplication::instance());
    SetUpClient(*client, streams);
    TUploadRun run(*client, settings, password, files);
    run.RecordFile = configDir + kUploadRecordFileName;
    run.TrustFile = configDir + kTrustFileName;
    run.OnTrustQuestion = [&streams](const QString& question) { return AskYes(streams, question); };
    run.OnWarning = [&streams](const QString& text) { Line(streams, text); };
    // A key file's passphrase is read as the password is: from the variable when it is set, else from
    // standard input. The variable's is offered once a key: asked again, it was the wrong one.
    run.OnSecret = [&streams](const QString& prompt, QString& secret) {
        if (!qEnvironmentVariableIsSet(kFtpPasswordVariable))
            return ReadPasswordLine(streams, prompt + " ", secret);
        if (prompt.startsWith("Wrong passphrase"))
            return false;
        secret = qEnvironmentVariable(kFtpPasswordVariable);
        return true;
    };
    TNetFailure failure = TNetFailure::Other;
    if (!StoreFiles(run, *client, streams, failure)) {
        // As in the window: a kept password the server refuses is not offered again.
        if (kept && TPasswordKeyring().ForgetRefused(settings, failure))
            Line(streams, RefusedKeptPasswordText(settings) + "; give the password in " +
                              kFtpPasswordVariable + " or as a line on standard input");
        return kCliFailed;
    }
    streams.Out << TargetText(settings) << '\n';
    streams.Out.flush();
    return kCliOk;
}
