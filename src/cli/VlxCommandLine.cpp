// The command line: its arguments, and the command they ask for.
#include "cli/VlxCommandLine.h"

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "cli/CliGenerate.h"
#include "cli/VlxCliUpload.h"
#include "upload/FtpSettings.h"
#include "gallery/GallerySettings.h"
#include "gallery/Version.h"

namespace {

const char* const kUsage =
    "Usage: veltrix generate --profile NAME --columns C [--rows R] [--captions FILE] --out DIR FILE...\n"
    "       veltrix generate --gallery FILE.veltrix [--captions FILE] [--out DIR]\n"
    "       veltrix upload --out DIR [--connections N]\n"
    "       veltrix --help | --version\n"
    "\n"
    "generate writes the gallery of the pictures FILE..., placed row by row into a table of C columns and\n"
    "R rows (by default as many rows as the pictures need), with the look of the profile NAME, into DIR.\n"
    "Reads the profiles file the window writes, and writes nothing outside DIR. A run into DIR again\n"
    "writes only what changed, and removes the files the last run wrote that it no longer writes.\n"
    "Ctrl-C or SIGTERM stop it before its next file, leaving only whole files in DIR.\n"
    "A picture's caption is its own title or description; --captions FILE gives others, one line\n"
    "per picture: its file name or path, a tab, the caption (empty for none). A name that is not\n"
    "among the pictures fails the command before anything is written.\n"
    "With --gallery it writes the gallery file saved by the window, as the window writes it: its table,\n"
    "pictures, names and settings; pictures not found are named and left out. DIR defaults to a folder\n"
    "named after the gallery file, beside it.\n"
    "\n"
    "upload stores the files of the folder DIR on the FTP or SFTP server of the options file (protocol,\n"
    "host, port, user, remote directory, passive mode, only changed files, removing files no longer in\n"
    "the gallery), as the FTP tab does. The password is read from the environment variable\n"
    "VELTRIX_FTP_PASSWORD, else from the system keyring when \"Remember password\" kept it there, else\n"
    "(over FTP) from the first line of standard input; without any of them an FTP upload refuses.\n"
    "Ctrl-C or SIGTERM abort the upload as the tab's Abort button does.\n"
    "--connections N stores up to N files at once (1 to 8; by default as the options file says).\n"
    "\n"
    "Progress and errors go to standard error; the written folder or the upload's target to standard\n"
    "output. Exit status: 0 done, 1 failed, 2 bad arguments.\n";

// The value after an option, or an error naming the option.
QString TakeValue(const QStringList& args, int& i, QString& value) {
    if (i + 1 >= args.size() || args[i + 1].startsWith("--"))
        return "Option " + args[i] + " needs a value";
    value = args[++i];
    return {};
}

// A table size in the range the window's table takes.
QString TakeCount(const QStringList& args, int& i, const TSettingRange& range, int& count) {
    QString value;
    if (QString error = TakeValue(args, i, value); !error.isEmpty())
        return error;
    bool ok = false;
    count = value.toInt(&ok);
    if (!ok || !range.Contains(count))
        return QString("Option %1: \"%2\" is not a number from %3 to %4")
            .arg(args[i - 1], value)
            .arg(range.Min)
            .arg(range.Max);
    return {};
}

// A gallery file brings its own table, pictures and look; the folder is the one beside it by default.
QString ParseGalleryFile(TCliArgs& parsed) {
    if (!parsed.Profile.isEmpty() || parsed.Columns != 0 || parsed.Rows != 0 || !parsed.Files.isEmpty())
        return "--gallery takes no --profile, --columns, --rows or picture files: the gallery file has them";
    if (parsed.OutDir.isEmpty()) {
        const QFileInfo file(parsed.Gallery);
        parsed.OutDir = file.absoluteDir().filePath(file.completeBaseName());
    }
    return {};
}

QString ParseGenerate(const QStringList& args, TCliArgs& parsed) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        QString error;
        if (arg == "--profile")
            error = TakeValue(args, i, parsed.Profile);
        else if (arg == "--columns")
            error = TakeCount(args, i, SettingRange(TSetting::Columns), parsed.Columns);
        else if (arg == "--rows")
            error = TakeCount(args, i, SettingRange(TSetting::Rows), parsed.Rows);
        else if (arg == "--out")
            error = TakeValue(args, i, parsed.OutDir);
        else if (arg == "--captions")
            error = TakeValue(args, i, parsed.CaptionsFile);
        else if (arg == "--gallery")
            error = TakeValue(args, i, parsed.Gallery);
        else if (arg == "--")
            parsed.Files << args.mid(i + 1), i = static_cast<int>(args.size());
        else if (arg.startsWith("--"))
            error = "Unknown option " + arg;
        else
            parsed.Files << arg;
        if (!error.isEmpty())
            return error;
    }
    if (!parsed.Gallery.isEmpty())
        return ParseGalleryFile(parsed);
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
    if (parsed.Files.size() > qsizetype(parsed.Columns) * rows || rows > SettingRange(TSetting::Rows).Max)
        return QString("%1 pictures do not fit a table of %2 columns and %3 rows")
            .arg(parsed.Files.size())
            .arg(parsed.Columns)
            .arg(rows);
    parsed.Rows = rows;
    return {};
}

QString ParseUpload(const QStringList& args, TCliArgs& parsed) {
    for (int i = 1; i < args.size(); ++i) {
        QString error;
        if (args[i] == "--out")
            error = TakeValue(args, i, parsed.OutDir);
        else if (args[i] == "--connections")
            error = TakeCount(args, i, kUploadConnectionsRange, parsed.Connections);
        else if (args[i] == "--password" || args[i].startsWith("--password="))
            // A password on the command line is visible to every user of the machine.
            error = "No --password: give it in VELTRIX_FTP_PASSWORD or on standard input";
        else
            error = (args[i].startsWith("--") ? "Unknown option " : "Unexpected argument ") + args[i];
        if (!error.isEmpty())
            return error;
    }
    return parsed.OutDir.isEmpty() ? "Missing --out DIR" : QString();
}

} // namespace

bool IsCommandLine(int argc, char** argv) {
    if (argc < 2)
        return false;
    for (const char* command : {"generate", "upload", "--help", "-h", "--version"})
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
    if (args[0] != "generate" && args[0] != "upload")
        return "Unknown command " + args[0];
    if (args.contains("--help") || args.contains("-h")) {
        parsed.Command = "help";
        return {};
    }
    parsed.Command = args[0];
    return parsed.Command == "upload" ? ParseUpload(args, parsed) : ParseGenerate(args, parsed);
}

std::shared_ptr<TGenerateStart> StartCommandLine(const QStringList& args, const TVeltrixPlaces& places) {
    TCliArgs parsed;
    if (!ParseCliArgs(args, parsed).isEmpty())
        return nullptr;
    return StartGenerate(args, parsed, places);
}

int RunCommandLine(const QStringList& args, const TVeltrixPlaces& places, const TCliStreams& streams,
                   TGenerateStart* started) {
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
        streams.Out << "veltrix " << kVeltrixVersion << '\n';
        streams.Out.flush();
        return kCliOk;
    }
    return parsed.Command == "upload"
               ? UploadFolder(parsed.OutDir, places, streams, parsed.Connections)
               : GenerateGallery(parsed, places, streams,
                                 started && StartedArgs(*started) == args ? started : nullptr);
}
