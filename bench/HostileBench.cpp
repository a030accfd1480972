// Loads every hostile picture (crafted to ask for unbounded time or memory) and prints, per file, the
// time, the peak resident memory and the outcome. The target: each under 2 s and 512 MiB in Release.
//   bench_hostile [FOLDER...]     default: the hostile folders of tests/data
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

#include "BenchMemory.h"
#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // text in metafiles needs fonts
    QStringList folders;
    for (int i = 1; i < argc; ++i)
        folders << QString::fromLocal8Bit(argv[i]);
    if (folders.isEmpty())
        folders << VELTRIX_BENCH_DATA "/gfxmeta/hostile" << VELTRIX_BENCH_DATA "/gfx/hostile";
    std::printf("%-36s %9s %9s  %s\n", "file", "ms", "peak MiB", "outcome");
    for (const QString& folder : folders) {
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
            if (file.suffix() == "md" || file.suffix() == "py")
                continue;
            StartPeak();
            QElapsedTimer timer;
            timer.start();
            QString outcome = "loaded";
            try {
                const QImage image = LoadPictureFile(file.absoluteFilePath());
                outcome += QString(" %1 x %2").arg(image.width()).arg(image.height());
            } catch (const EGfxException& e) {
                outcome = e.Message().section(": ", 1).left(70);
            }
            const double ms = timer.nsecsElapsed() / 1e6;
            std::printf("%-36s %9.0f %9.0f  %s\n", qPrintable(file.fileName()), ms,
                        StatusKiB("VmHWM") / 1024.0, qPrintable(outcome));
        }
    }
    return 0;
}
