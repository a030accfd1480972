// `veltrix upload --out DIR`: the upload panel of a window nobody sees, filled from the options file, storing
// every file of a generated folder.
#include "app/VlxCliWindow.h"

#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTextStream>

namespace {

// Reads one line of standard input; on a terminal it asks for it and does not echo what is typed.
QString ReadPasswordLine(const TCliStreams& streams, const QString& prompt) {
    if (!streams.In)
        return {};
    termios saved{};
    const bool quiet = streams.InIsTerminal && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        streams.Err << prompt;
        streams.Err.flush();
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const QString line = streams.In->readLine();
    if (quiet) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        streams.Err << '\n';
        streams.Err.flush();
    }
    return line;
}

QString Password(const TFtpF& panel, const TCliStreams& streams) {
    if (qEnvironmentVariableIsSet(kFtpPasswordVariable))
        return qEnvironmentVariable(kFtpPasswordVariable);
    return ReadPasswordLine(streams, "Password for " + panel.FtpUserID() + "@" + panel.FtpHost() + ": ");
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
    const auto fail = [&](const QString& text) {
        streams.Err << "veltrix: " << text << '\n';
        streams.Err.flush();
        return kCliFailed;
    };
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
        panel.PassE->setText(Password(panel, streams));
        TCliProgress progress(streams);
        progress.NewPhase(static_cast<int>(files.size()), "upload");
        panel.SetUploadFiles(files);
        panel.StartUpload();
        WaitForRun(panel, progress, static_cast<int>(files.size()));
        progress.EndPhase();
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    if (dialogs.Errors > 0 || dialogs.ErrorBoxes > 0 || panel.UploadFilesLB->count() > 0)
        return kCliFailed;
    if (!panel.RunNotes().isEmpty()) {
        streams.Err << "veltrix: " << panel.RunNotes() << '\n';
        streams.Err.flush();
    }
    streams.Out << "ftp://" << panel.FtpUserID() << '@' << panel.FtpHost() << ':' << panel.FtpPort() << '/'
                << panel.FtpRemoteDir() << '\n';
    streams.Out.flush();
    return kCliOk;
}
