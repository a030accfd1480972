// The program's entry: the command line when the first argument is a command, else the main window until
// it closes.
#include <cstdio>

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <QTimer>
#include <QtGlobal>

#include "app/VeltrixU.h"
#include "app/VlxApplication.h"
#include "app/VlxDocumentCommands.h"
#include "app/VlxPlaceCommands.h"
#include "cli/VlxCommandLine.h"
#include "common/VlxNativePath.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryDocument.h"
#include "gallery/Version.h"

namespace {

QtMessageHandler QtMessages = nullptr;

// A command's standard error is its own messages; Qt's notice that it chose a runtime folder itself (as it
// must where no session set one, as under cron or ssh) is not one of them.
void CommandMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set"))
        return;
    if (QtMessages)
        QtMessages(type, context, text);
}

// Without a session's runtime folder (XDG_RUNTIME_DIR, unset under cron or ssh) Qt makes one of its own in the
// temporary folder. A command leaves the temporary folder as it found it: such a folder that it made and left
// empty goes when the command ends.
class TRuntimeFolderScope {
public:
    TRuntimeFolderScope() : FBefore(RuntimeFolders()) {}
    ~TRuntimeFolderScope() {
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            return;
        for (const QString& name : RuntimeFolders())
            if (!FBefore.contains(name))
                QDir(QDir::tempPath()).rmdir(name); // only when empty
    }
    TRuntimeFolderScope(const TRuntimeFolderScope&) = delete;
    TRuntimeFolderScope& operator=(const TRuntimeFolderScope&) = delete;

private:
    static QStringList RuntimeFolders() {
        return QDir(QDir::tempPath()).entryList({"runtime-*"}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    }
    const QStringList FBefore;
};

} // namespace

int main(int argc, char** argv) {
    if (IsCommandLine(argc, argv)) {
        // A command needs no display and must work where there is none.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QtMessages = qInstallMessageHandler(CommandMessages);
        const TRuntimeFolderScope runtimeFolder;
        // Before the first thread: the readers below share the one heap.
        UseOneHeap();
        QGuiApplication::setApplicationName(kApplicationName);
        // The pictures are read on every core while the application object starts up (its platform and
        // fonts, one-threaded); the arguments are taken again after it, once it has removed its own.
        // Until the application object is made, only JPEGs are read (their decoder needs no plugin of Qt's).
        HoldPluginReads();
        // The program's folder as the application object would tell it, which is not there yet to ask.
        TVeltrixPlaces places;
        places.ProgramDir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
        const std::shared_ptr<TGenerateStart> started =
            StartCommandLine(ArgumentsFromNative(argc, argv), places);
        // A command opens no window: no widgets, only pictures and fonts. The application object is never
        // taken down: that would load the font configuration only to drop it (a sixth of a second at the end
        // of every command that drew no text); kept in a static, it is not a leak either.
        static QGuiApplication* const app = new QGuiApplication(argc, argv);
        Q_UNUSED(app);
        ReleasePluginReads();
        QTextStream out(stdout);
        QTextStream err(stderr);
        QTextStream in(stdin);
        // By their bytes: a picture whose name is not UTF-8 is still found.
        return RunCommandLine(ArgumentsFromNative(argc, argv), {},
                              {out, err, isatty(fileno(stderr)) != 0, &in, isatty(fileno(stdin)) != 0},
                              started.get());
    }
    TVeltrixApp app(argc, argv);
    TVeltrixF window;
    window.show();
    // `veltrix FILE.veltrix` (the desktop opening a gallery file): the window opens with it, once shown.
    // Other files and folders named (as the desktop's file manager passes them) are placed once the window
    // is up. The application has taken its own options out of argv by now.
    if (const QStringList args = ArgumentsFromNative(argc, argv);
        args.size() == 1 && args[0].endsWith(kGalleryFileExtension))
        QTimer::singleShot(0, &window,
                           Guarded([&window, file = args[0]] { window.DocumentCmds->OpenGallery(file); }));
    else
        window.PlaceCmds->OpenFiles(args);
    return app.exec();
}
