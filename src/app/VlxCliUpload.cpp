// `veltrix upload --out DIR`: the upload panel of a window nobody sees, filled from the options file, storing
// every file of a generated folder.
#include "app/VlxCliWindow.h"

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QSocketNotifier>
#include <QTextStream>

namespace {

// Ctrl-C and SIGTERM while the upload runs act as the Abort button: the store in progress is cancelled and
// its temporary file deleted on the server. The handler only writes the signal's number into a pipe; the
// event loop, which every wait of the upload keeps running, reads it and aborts.
class TSignalAbort {
public:
    explicit TSignalAbort(TFtpF& panel) {
        if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        gWriteEnd = FPipe[1];
        FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(), [this, &panel] {
            unsigned char number = 0;
            while (::read(FPipe[0], &number, 1) == 1)
                FSignal = number;
            panel.AbortRun();
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
    streams.Err << prompt;
    streams.Err.flush();
    bool read = false;
    {
        const TQuietTerminal terminal;
        read = streams.In->readLineInto(&line);
    }
    streams.Err << '\n';
    streams.Err.flush();
    return read;
}

// The password from the environment when it is set there (even empty), else a line of standard input;
// false when neither gives one.
bool Password(const TFtpF& panel, const TCliStreams& streams, QString& password) {
    if (qEnvironmentVariableIsSet(kFtpPasswordVariable)) {
        password = qEnvironmentVariable(kFtpPasswordVariable);
        return true;
    }
    return ReadPasswordLine(streams, "Password for " + panel.FtpUserID() + "@" + panel.FtpHost() + ": ",
                            password);
}

QString SignalName(int number) {
    return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "signal " + QString::number(number);
}

// The plain files of the folder, hidden ones left out (a run writes none).
QStringList FilesOf(const QString& dir) {
    QStringList files;
    for (const QFileInfo& info : QDir(dir).entryInfoList(QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    return files;
}

// Lets the run go on until it ends; every wait inside it has its own time-out.
void WaitForRun(TFtpF& panel, TCliProgress& progress, int total) {
    while (panel.Uploading()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        progress.Value(total - panel.UploadFilesLB->count());
    }
    ProcessCliEvents();
}

int Fail(const TCliStreams& streams, const QString& text) {
    streams.Err << "veltrix: " << text << '\n';
    streams.Err.flush();
    return kCliFailed;
}

// The upload run, with the signals that stop it; false when files are left (the reason is on the error
// stream).
bool StoreFiles(TFtpF& panel, const QStringList& files, const TCliStreams& streams) {
    TSignalAbort interrupt(panel);
    const auto stopped = [&] {
        const int left = panel.UploadFilesLB->count();
        Fail(streams, "Upload stopped by " + SignalName(interrupt.Signal()) + " (" + QString::number(left) +
                          (left == 1 ? " file" : " files") + " not uploaded)");
        return false;
    };
    try {
        TCliProgress progress(streams);
        progress.NewPhase(static_cast<int>(files.size()), "upload");
        panel.SetUploadFiles(files);
        panel.StartUpload();
        if (!panel.NotEncryptedNote().isEmpty()) {
            streams.Err << "veltrix: " << panel.NotEncryptedNote() << '\n';
            streams.Err.flush();
        }
        WaitForRun(panel, progress, static_cast<int>(files.size()));
        progress.EndPhase();
    } catch (const std::exception& e) {
        if (interrupt.Signal() != 0)
            return stopped();
        Fail(streams, QString::fromUtf8(e.what()));
        return false;
    }
    if (!panel.RunNotes().isEmpty()) {
        streams.Err << "veltrix: " << panel.RunNotes() << '\n';
        streams.Err.flush();
    }
    if (interrupt.Signal() != 0 && panel.UploadFilesLB->count() > 0)
        return stopped();
    return panel.UploadFilesLB->count() == 0;
}

} // namespace

int UploadFolder(const TCliArgs& args, const TVeltrixPlaces& places, const TCliStreams& streams) {
    const TErrorDialogsScope errorDisplay;
    auto owned = std::make_unique<TCliDialogs>(streams.Err);
    TCliDialogs& dialogs = *owned;
    // A question (whether to trust a server's certificate) is put to a person at a terminal; a script's
    // answer is No.
    dialogs.AskYes = [&streams] {
        if (!streams.In || !streams.InIsTerminal)
            return false;
        streams.Err << "[y/N] ";
        streams.Err.flush();
        return streams.In->readLine().trimmed().toLower().startsWith('y');
    };
    TCliWindow window(std::move(owned), places);
    ProcessCliEvents();
    if (dialogs.Errors > 0)
        return kCliFailed;
    const QString dir = QDir::cleanPath(QFileInfo(args.OutDir).absoluteFilePath());
    const auto fail = [&](const QString& text) { return Fail(streams, text); };
    if (!QFileInfo(dir).isDir())
        return fail("Folder " + dir + " does not exist");
    const QStringList files = FilesOf(dir);
    if (files.isEmpty())
        return fail("Folder " + dir + " holds no files to upload");
    TFtpF& panel = *window.FtpF1;
    try {
        // The settings come from the options file whether or not the window reads it at start.
        window.LoadOptions();
        if (panel.FtpHost().trimmed().isEmpty())
            return fail("No FTP server in the options file: set one on the FTP tab and save the options");
        // Without a user the server gets a bare USER and answers with a syntax error that names nothing.
        if (panel.FtpUserID().trimmed().isEmpty())
            return fail(
                "No FTP user in the options file: set the User ID on the FTP tab and save the options");
        QString password;
        if (!Password(panel, streams, password))
            return fail(QString("no password given: set the environment variable ") + kFtpPasswordVariable +
                        " (it may be empty) or give the password as a line on standard input");
        panel.PassE->setText(password);
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    if (!StoreFiles(panel, files, streams))
        return kCliFailed;
    if (dialogs.Errors > 0 || dialogs.ErrorBoxes > 0)
        return kCliFailed;
    streams.Out << "ftp://" << panel.FtpUserID() << '@' << panel.FtpHost() << ':' << panel.FtpPort() << '/'
                << panel.FtpRemoteDir() << '\n';
    streams.Out.flush();
    return kCliOk;
}
