// The command line: arguments, the window driven on the offscreen platform, and progress on a stream.
#include "app/VlxCommandLine.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QTextStream>

#include "app/VeltrixU.h"
#include "app/VlxApplication.h"
#include "grid/GfxGrid.h"

namespace {

const char* const kUsage =
    "Usage: veltrix generate --profile NAME --columns C [--rows R] --out DIR FILE...\n"
    "       veltrix --help | --version\n"
    "\n"
    "Writes the gallery of the pictures FILE..., placed row by row into a table of C columns and R rows\n"
    "(by default as many rows as the pictures need), with the look of the profile NAME, into DIR.\n"
    "Reads the same profiles file and options file as the window. Files already in DIR are overwritten.\n"
    "Progress and errors go to standard error, the written folder to standard output.\n"
    "Exit status: 0 written, 1 failed, 2 bad arguments.\n";

const int kMaxTableSize = 100; // the largest table the window offers

// The value after an option, or an error naming the option.
QString TakeValue(const QStringList& args, int& i, QString& value) {
    if (i + 1 >= args.size() || args[i + 1].startsWith("--"))
        return "Option " + args[i] + " needs a value";
    value = args[++i];
    return {};
}

QString TakeCount(const QStringList& args, int& i, int& count) {
    QString value;
    if (QString error = TakeValue(args, i, value); !error.isEmpty())
        return error;
    bool ok = false;
    count = value.toInt(&ok);
    if (!ok || count < 1 || count > kMaxTableSize)
        return QString("Option %1: \"%2\" is not a number from 1 to %3")
            .arg(args[i - 1], value)
            .arg(kMaxTableSize);
    return {};
}

QString ParseGenerate(const QStringList& args, TCliArgs& parsed) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        QString error;
        if (arg == "--profile")
            error = TakeValue(args, i, parsed.Profile);
        else if (arg == "--columns")
            error = TakeCount(args, i, parsed.Columns);
        else if (arg == "--rows")
            error = TakeCount(args, i, parsed.Rows);
        else if (arg == "--out")
            error = TakeValue(args, i, parsed.OutDir);
        else if (arg == "--")
            parsed.Files << args.mid(i + 1), i = static_cast<int>(args.size());
        else if (arg.startsWith("--"))
            error = "Unknown option " + arg;
        else
            parsed.Files << arg;
        if (!error.isEmpty())
            return error;
    }
    if (parsed.Profile.isEmpty())
        return "Missing --profile NAME";
    if (parsed.Columns == 0)
        return "Missing --columns C";
    if (parsed.OutDir.isEmpty())
        return "Missing --out DIR";
    if (parsed.Files.isEmpty())
        return "No picture files given";
    const int rows =
        parsed.Rows > 0 ? parsed.Rows : (parsed.Files.size() + parsed.Columns - 1) / parsed.Columns;
    if (parsed.Files.size() > qsizetype(parsed.Columns) * rows || rows > kMaxTableSize)
        return QString("%1 pictures do not fit a table of %2 columns and %3 rows")
            .arg(parsed.Files.size())
            .arg(parsed.Columns)
            .arg(rows);
    parsed.Rows = rows;
    return {};
}

// Message boxes and errors become lines on the error stream: nothing waits for a person.
class TCliDialogs : public TDialogs {
public:
    explicit TCliDialogs(QTextStream& err) : FErr(err) {}

    TModalResult MessageBox(TMsgKind, const QString& text, TMsgButtons buttons) override {
        Line(text);
        return buttons == TMsgButtons::Ok ? TModalResult::Ok : TModalResult::Cancel;
    }
    void ShowError(const QString& text) override {
        Line(text);
        ++Errors;
    }
    bool OpenPicture(QString&) override { return false; }
    bool ChooseColor(TColor&) override { return false; }
    bool SelectDirectory(QString&) override { return false; }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    bool OpenUrl(const QUrl&) override { return false; }

    int Errors = 0;

private:
    void Line(QString text) {
        text.replace('\r', ' ');
        FErr << "veltrix: " << text << '\n';
        FErr.flush();
    }
    QTextStream& FErr;
};

// The run's progress bars turned into progress on the error stream: a bar redrawn in place on a terminal,
// else one line per phase with its counter once the phase is over.
class TCliProgress {
public:
    explicit TCliProgress(const TCliStreams& streams) : FStreams(streams) {}

    // The run made its next phase's bar.
    void NewPhase(int total) {
        static const char* const names[] = {"copy", "thumbnails", "pages", "index"};
        EndPhase();
        FPhase = FPhaseIndex < 4 ? names[FPhaseIndex] : "phase";
        ++FPhaseIndex;
        FTotal = total;
        FCount = 0;
    }
    void Value(int value) {
        FCount = value;
        if (FStreams.ErrIsTerminal)
            Draw();
    }
    // Ends the current phase's line; a phase that counted nothing has none.
    void EndPhase() {
        if (FPhase.isEmpty() || FCount == 0)
            return;
        if (!FStreams.ErrIsTerminal)
            FStreams.Err << FPhase << ' ' << FCount << '/' << FTotal;
        FStreams.Err << '\n';
        FStreams.Err.flush();
        FPhase.clear();
    }

private:
    void Draw() {
        const int width = 30;
        const int filled = FTotal > 0 ? std::min(FCount, FTotal) * width / FTotal : width;
        FStreams.Err << '\r' << FPhase.leftJustified(11) << '[' << QString(filled, '#')
                     << QString(width - filled, ' ') << "] " << FCount << '/' << FTotal;
        FStreams.Err.flush();
    }

    const TCliStreams& FStreams;
    int FPhaseIndex = 0;
    QString FPhase;
    int FTotal = 0;
    int FCount = 0;
};

// The main window, its progress bars also reported as progress.
class TCliWindow : public TVeltrixF {
public:
    TCliWindow(std::unique_ptr<TDialogs> dialogs, const TVeltrixPlaces& places)
        : TVeltrixF(std::move(dialogs), places) {}
    QProgressBar* CreateStatusProgressBar(int max) override {
        QProgressBar* bar = TVeltrixF::CreateStatusProgressBar(max);
        if (Progress) {
            Progress->NewPhase(max);
            QObject::connect(bar, &QProgressBar::valueChanged, bar, [this](int value) {
                if (Progress)
                    Progress->Value(value);
            });
        }
        return bar;
    }
    TCliProgress* Progress = nullptr;
};

// Puts the error display back as it was found, whatever way the command ends.
class TErrorDialogsScope {
public:
    TErrorDialogsScope() : FSaved(TVeltrixApp::ErrorDialogs()) {}
    ~TErrorDialogsScope() { TVeltrixApp::SetErrorDialogs(FSaved); }
    TErrorDialogsScope(const TErrorDialogsScope&) = delete;
    TErrorDialogsScope& operator=(const TErrorDialogsScope&) = delete;

private:
    TDialogs* FSaved;
};

void ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Places the pictures in order from the top-left cell; a file that cannot be placed fails the command.
bool PlacePictures(TCliWindow& window, const TCliArgs& args, QTextStream& err) {
    const std::vector<TRefusedFile> refused = window.Grid()->PlaceFiles(args.Files, 0, 0);
    ProcessEvents();
    for (const TRefusedFile& file : refused)
        err << "veltrix: " << (file.Reason.isEmpty() ? "Cannot place " + file.Path : file.Reason) << '\n';
    return refused.empty();
}

int Generate(const TCliArgs& args, const TVeltrixPlaces& places, const TCliStreams& streams) {
    const TErrorDialogsScope errorDisplay;
    auto owned = std::make_unique<TCliDialogs>(streams.Err);
    TCliDialogs& dialogs = *owned;
    TCliWindow window(std::move(owned), places);
    ProcessEvents();
    if (dialogs.Errors > 0)
        return kCliFailed;
    const QString dir = QDir::cleanPath(QFileInfo(args.OutDir).absoluteFilePath());
    try {
        window.UseProfile(args.Profile);
        window.GfxGridColSE->setValue(args.Columns);
        window.GfxGridRowSE->setValue(args.Rows);
        ProcessEvents();
        if (!PlacePictures(window, args, streams.Err) || dialogs.Errors > 0)
            return kCliFailed;
        TCliProgress progress(streams);
        window.Progress = &progress;
        try {
            window.GenerateInto(dir + '/');
        } catch (...) {
            progress.EndPhase();
            window.Progress = nullptr;
            streams.Err << window.StatusP0->text() << '\n';
            throw;
        }
        progress.EndPhase();
        window.Progress = nullptr;
    } catch (const std::exception& e) {
        streams.Err << "veltrix: " << QString::fromUtf8(e.what()) << '\n';
        streams.Err.flush();
        return kCliFailed;
    }
    streams.Out << dir << '\n';
    streams.Out.flush();
    return kCliOk;
}

} // namespace

bool IsCommandLine(int argc, char** argv) {
    if (argc < 2)
        return false;
    for (const char* command : {"generate", "--help", "-h", "--version"})
        if (std::strcmp(argv[1], command) == 0)
            return true;
    return false;
}

QString ParseCliArgs(const QStringList& args, TCliArgs& parsed) {
    parsed = {};
    if (args.isEmpty())
        return "No command given";
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        parsed.Command = "help";
        return {};
    }
    if (args.size() == 1 && args[0] == "--version") {
        parsed.Command = "version";
        return {};
    }
    if (args[0] != "generate")
        return "Unknown command " + args[0];
    if (args.contains("--help") || args.contains("-h")) {
        parsed.Command = "help";
        return {};
    }
    parsed.Command = "generate";
    return ParseGenerate(args, parsed);
}

int RunCommandLine(const QStringList& args, const TVeltrixPlaces& places, const TCliStreams& streams) {
    TCliArgs parsed;
    if (const QString error = ParseCliArgs(args, parsed); !error.isEmpty()) {
        streams.Err << "veltrix: " << error << '\n' << kUsage;
        streams.Err.flush();
        return kCliBadArguments;
    }
    if (parsed.Command == "help") {
        streams.Out << kUsage;
        streams.Out.flush();
        return kCliOk;
    }
    if (parsed.Command == "version") {
        streams.Out << "veltrix " << VeltrixVersion() << '\n';
        streams.Out.flush();
        return kCliOk;
    }
    return Generate(parsed, places, streams);
}
