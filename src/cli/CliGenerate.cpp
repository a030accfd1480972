// `veltrix generate`: the profile read without writing the profiles file, the pictures placed as the window
// places them, and the run's phases printed as they go.
#include "cli/CliGenerate.h"

#include <csignal>
#include <exception>
#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include "cli/VlxCliProgress.h"
#include "cli/VlxCommandLine.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryCaptions.h"
#include "gallery/GalleryDocument.h"
#include "publish/GalleryRun.h"
#include "publish/RunRecord.h"
#include "gfx/GfxKind.h"
#include "settings/VlxConfigDir.h"
#include "settings/VlxProfileU.h"

namespace {

const char* const kDefaultProfile = "default";

// The named profile of the profiles file, read only. Without a file, or without "default" in it, "default" is
// what a fresh start would store under that name.
TGallerySettings ReadSettings(const QString& name, const TVeltrixPlaces& places) {
    const QString configDir = UseConfigDir(places, {}, TConfigDirUse::Read);
    TProfileManager store(configDir + kProfilesFileName, TProfileAccess::ReadOnly);
    const int index = store.FindProfile(name);
    if (index >= 0) {
        TProfileRecord record;
        store.ReadProfile(index, record);
        return SettingsFromProfile(record);
    }
    if (name.compare(kDefaultProfile, Qt::CaseInsensitive) == 0)
        return StartUpSettings();
    throw EGalleryException("Profile \"" + name + "\" not found in " + store.FileName());
}

// Named from the absolute, cleaned path, as the window's dialog and drops give it: the same file gets the
// same published name however it was typed.
QStringList PictureFiles(const TCliArgs& args) {
    QStringList files;
    for (const QString& file : args.Files)
        files << QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    return files;
}

// Places the pictures in order from the top-left cell; a file that cannot be placed fails the command. A
// picture the last run into dir read as it is now is not decoded again: unchanged, it is not written.
bool PlacePictures(TGallery& gallery, const TCliArgs& args, const QString& dir, TPictureReads* reads,
                   QTextStream& err) {
    const TRunRecord record(dir);
    const auto readBefore = [&record](const QString& path, const TFileStamp& stamp) {
        return record.WasPictureRead(path, stamp);
    };
    const std::vector<TRefusedFile> refused =
        reads ? gallery.PlaceFiles(*reads) : gallery.PlaceFiles(PictureFiles(args), 0, 0, readBefore);
    for (const TRefusedFile& file : refused)
        err << "veltrix: " << (file.Reason.isEmpty() ? "Cannot place " + file.Path : file.Reason) << '\n';
    return refused.empty();
}

// The captions file's captions over the pictures' own; a line that names no picture fails the command.
bool ApplyCaptionsFile(TGallery& gallery, const QString& path, QTextStream& err) {
    if (path.isEmpty())
        return true;
    QStringList problems;
    try {
        problems = ApplyCaptions(gallery, ReadCaptionsFile(path), path);
    } catch (const std::exception& e) {
        problems << QString::fromUtf8(e.what());
    }
    for (const QString& problem : problems)
        err << "veltrix: " << problem << '\n';
    return problems.isEmpty();
}

// Ctrl-C or SIGTERM stop the run before its next file, so that no temporary file is left in the folder.
TRunCancel* SignalledRun = nullptr;

extern "C" void CancelRunOnSignal(int) {
    if (SignalledRun != nullptr)
        SignalledRun->Cancel(); // an atomic store: safe in a signal handler
}

class TCancelOnSignals {
public:
    explicit TCancelOnSignals(TRunCancel& cancel) {
        SignalledRun = &cancel;
        struct sigaction action {};
        action.sa_handler = CancelRunOnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &FOldInt);
        sigaction(SIGTERM, &action, &FOldTerm);
    }
    ~TCancelOnSignals() {
        sigaction(SIGINT, &FOldInt, nullptr);
        sigaction(SIGTERM, &FOldTerm, nullptr);
        SignalledRun = nullptr;
    }
    TCancelOnSignals(const TCancelOnSignals&) = delete;
    TCancelOnSignals& operator=(const TCancelOnSignals&) = delete;

private:
    struct sigaction FOldInt {};
    struct sigaction FOldTerm {};
};

int Fail(QTextStream& err, const QString& text) {
    err << "veltrix: " << text << '\n';
    err.flush();
    return kCliFailed;
}

} // namespace

struct TGenerateStart {
    QStringList Args;
    TGallerySettings Settings;
    std::exception_ptr Failure; // the profile could not be read
    std::unique_ptr<TRunRecord> Record;
    std::unique_ptr<TPictureReads> Reads; // goes before the record it asks
};

std::shared_ptr<TGenerateStart> StartGenerate(const QStringList& rawArgs, const TCliArgs& args,
                                              const TVeltrixPlaces& places) {
    if (!args.Gallery.isEmpty() || args.Command != "generate")
        return nullptr;
    if (const QFileInfo out(args.OutDir); out.exists() && !out.isDir())
        return nullptr;
    auto started = std::make_shared<TGenerateStart>();
    started->Args = rawArgs;
    try {
        started->Settings = ReadSettings(args.Profile, places);
    } catch (...) {
        started->Failure = std::current_exception();
        return started;
    }
    started->Record =
        std::make_unique<TRunRecord>(QDir::cleanPath(QFileInfo(args.OutDir).absoluteFilePath()) + '/');
    const TRunRecord* record = started->Record.get();
    started->Reads = std::make_unique<TPictureReads>(PictureFiles(args), started->Settings.Thumb.PictureBox(),
                                                     [record](const QString& path, const TFileStamp& stamp) {
                                                         return record->WasPictureRead(path, stamp);
                                                     });
    return started;
}

const QStringList& StartedArgs(const TGenerateStart& started) {
    return started.Args;
}

int GenerateGallery(const TCliArgs& args, const TVeltrixPlaces& places, const TCliStreams& streams,
                    TGenerateStart* started) {
    if (const QFileInfo out(args.OutDir); out.exists() && !out.isDir())
        return Fail(streams.Err, "--out " + args.OutDir + " is a file, not a folder");
    const QString dir = QDir::cleanPath(QFileInfo(args.OutDir).absoluteFilePath());
    // From here: a signal while the pictures are read stops the run before it writes anything.
    TRunCancel cancel;
    const TCancelOnSignals cancelOnSignals(cancel);
    TGallery gallery;
    // Runs of the command line into one folder are one gallery; a gallery file's is its own.
    QString galleryId = "command line";
    // The background picture is read before anything is written: one that is gone fails the command.
    TGfxBaseIm background;
    try {
        if (!args.Gallery.isEmpty()) {
            // As the window shows the file: pictures not found keep their cells and are not published.
            const TGalleryDocument document = ReadGalleryFile(QFileInfo(args.Gallery).absoluteFilePath());
            for (const TDocumentCell& missing : document.MissingCells())
                streams.Err << "veltrix: " << missing.Cell.Source << " not found; it is not published\n";
            if (const QStringList texts = ScriptTexts(document.Settings); !texts.isEmpty())
                streams.Err << "veltrix: warning: " << ScriptTextsWarning(args.Gallery, texts) << '\n';
            gallery = GalleryOf(document);
            galleryId = GalleryIdOf(document, QFileInfo(args.Gallery).absoluteFilePath());
            // As the window leaves out what it cannot read when it opens the file.
            for (const TDocumentCell& stored : document.Cells)
                if (!gallery.Cell(stored.Column, stored.Row).IsEmpty())
                    if (const QString problem = PictureKindProblem(stored.Cell.Source); !problem.isEmpty()) {
                        streams.Err << "veltrix: " << stored.Cell.Source << " cannot be read (" << problem
                                    << "); it is not published\n";
                        gallery.ClearCell(stored.Column, stored.Row);
                    }
        } else if (started) {
            if (started->Failure)
                std::rethrow_exception(started->Failure);
            gallery.Settings = started->Settings;
        } else {
            gallery.Settings = ReadSettings(args.Profile, places);
        }
        if (!gallery.Settings.Background.IsColor() && !gallery.Settings.Background.File.isEmpty())
            LoadBackgroundPicture(background, gallery.Settings.Background.File);
    } catch (const std::exception& e) {
        return Fail(streams.Err, QString::fromUtf8(e.what()));
    }
    if (args.Gallery.isEmpty()) {
        gallery.SetTableSize(args.Columns, args.Rows);
        if (!PlacePictures(gallery, args, dir + '/', started ? started->Reads.get() : nullptr, streams.Err))
            return kCliFailed;
    }
    if (!ApplyCaptionsFile(gallery, args.CaptionsFile, streams.Err))
        return kCliFailed;
    TGalleryRun run(gallery);
    run.LoadedBackground = &background;
    run.GalleryId = galleryId;
    TCliProgress progress(streams);
    int phase = -1;
    const TRunResult result = run.Run(
        dir + '/',
        [&](const TRunProgress& at) {
            if (int(at.Phase) != phase) {
                progress.NewPhase(at.Total, RunPhaseName(at.Phase));
                phase = int(at.Phase);
            }
            progress.Value(at.Done);
        },
        &cancel);
    progress.EndPhase();
    if (!result.Ok()) {
        if (!result.Cancelled)
            streams.Err << "Stopped at: " << result.StoppedAt << '\n';
        return Fail(streams.Err, result.Failure);
    }
    streams.Err << result.FilesText() << '\n';
    streams.Out << dir << '\n';
    streams.Out.flush();
    return kCliOk;
}
