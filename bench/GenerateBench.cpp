// A whole generation run of the real window over a folder of photos, into a fresh folder: prints the seconds
// per picture of each phase (placing into the grid, copies, thumbnails, picture pages, table page), the
// processor time, and the peak memory; then the shadow is turned on and the gallery made again into the same
// folder. Without --measure, the figures are taken in child processes and set beside the bare tools
// (GenerateReport.cpp).
#include "app/VeltrixU.h"

#include "app/VlxApplication.h"
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchDialogs.h"
#include "BenchMemory.h"
#include "GenerateReport.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"

namespace {

const char* const kPhaseNames[] = {"copies", "thumbnails", "picture pages", "table page"};

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Each phase of a run lays a progress bar over the status bar and removes it at the phase's end: the
// bar's life is the phase's time.
class TPhaseClock : public QObject {
public:
    std::vector<double> Seconds;

    // During a run the bars are the only children the status bar gains; a child being added is not
    // fully made yet, so it is known by when it comes, not by its class.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded && FRunning == nullptr) {
            FRunning = static_cast<QChildEvent*>(event)->child();
            FTimer.start();
        } else if (event->type() == QEvent::ChildRemoved &&
                   static_cast<QChildEvent*>(event)->child() == FRunning) {
            Seconds.push_back(double(FTimer.nsecsElapsed()) / 1e9);
            FRunning = nullptr;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QObject* FRunning = nullptr;
    QElapsedTimer FTimer;
};

QStringList Pictures(const QString& folder) {
    QStringList files;
    for (const QFileInfo& info :
         QDir(folder).entryInfoList({"*.jpg", "*.jpeg", "*.JPG", "*.bmp", "*.ico"}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    return files;
}

void PrintRun(const char* title, const TPhaseClock& clock, int pictures, double cpu, double wall) {
    std::printf("%s: %.2f s wall, %.2f s processor\n", title, wall, cpu);
    for (size_t i = 0; i < clock.Seconds.size() && i < std::size(kPhaseNames); ++i)
        std::printf("  %-14s %8.4f s per picture (%.2f s)\n", kPhaseNames[i], clock.Seconds[i] / pictures,
                    clock.Seconds[i]);
}

struct TSpent {
    double Wall = 0;
    double Cpu = 0;
};

// Places the pictures into a table just large enough, row by row, as one drop of them all would.
TSpent PlacePictures(TVeltrixF& window, const QStringList& files) {
    const int columns = int(std::ceil(std::sqrt(double(files.size()))));
    window.GfxGridColSE->setValue(columns);
    window.GfxGridRowSE->setValue((int(files.size()) + columns - 1) / columns);
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const std::vector<TRefusedFile> refused = window.Grid()->PlaceFiles(files, 0, 0);
    QCoreApplication::processEvents();
    for (const TRefusedFile& file : refused)
        std::printf("not placed: %s %s\n", qPrintable(file.Path), qPrintable(file.Reason));
    return {double(timer.nsecsElapsed()) / 1e9, CpuSeconds() - cpuBefore};
}

bool TimedRun(TVeltrixF& window, const QString& dir, const char* title, int pictures, TSpent& spent) {
    TPhaseClock clock;
    window.statusBar()->installEventFilter(&clock);
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    try {
        window.GenerateInto(dir);
    } catch (const Exception& e) {
        std::printf("run failed: %s\n", qPrintable(e.Message()));
        return false;
    }
    spent = {double(wall.nsecsElapsed()) / 1e9, CpuSeconds() - cpuBefore};
    window.statusBar()->removeEventFilter(&clock);
    PrintRun(title, clock, pictures, spent.Cpu, spent.Wall);
    return true;
}

// A change of effects only: the shadow goes on (or off, where the profile has one).
void ToggleShadow(TVeltrixF& window) {
    const bool on = window.ShadowSizSE->value() == 0;
    window.ShadowSizSE->setValue(on ? 6 : 0);
    window.ShadowDistSE->setValue(on ? 4 : window.ShadowDistSE->value());
    window.ShadowIntSE->setValue(on ? 60 : window.ShadowIntSE->value());
    QCoreApplication::processEvents();
}

// bench_generate --measure FOLDER [--first N]: one process, one folder; the last line holds the figures
// for the report.
int Measure(int argc, char** argv) {
    TVeltrixApp app(argc, argv);
    const QString folder =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString(VELTRIX_BENCH_CORPUS "/photos");
    QStringList files = Pictures(folder);
    if (argc > 4 && std::strcmp(argv[3], "--first") == 0)
        files = files.mid(0, std::atoi(argv[4]));
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s: no pictures (scripts/bench-corpus builds bench/corpus/)\n",
                     qPrintable(folder));
        return 1;
    }
    QTemporaryDir config;
    QTemporaryDir temp;
    QTemporaryDir out;
    TVeltrixF window(std::make_unique<TBenchDialogs>(TModalResult::Yes),
                     TVeltrixPlaces{config.path(), temp.path(), {}});
    window.show();
    QCoreApplication::processEvents();

    std::printf("%lld pictures from %s, %d threads\n", qlonglong(files.size()), qPrintable(folder),
                QThread::idealThreadCount());
    const long baseKiB = StartPeak();
    const TSpent placing = PlacePictures(window, files);
    std::printf("placing into the grid: %.4f s per picture (%.2f s wall, %.2f s processor)\n",
                placing.Wall / files.size(), placing.Wall, placing.Cpu);
    const int pictures = window.CountPictures();
    const QString dir = out.path() + "/gallery/";
    QDir().mkpath(dir);
    const long runBaseKiB = StartPeak();
    TSpent run;
    TSpent regen;
    if (!TimedRun(window, dir, "first run into a fresh folder", pictures, run))
        return 1;
    const long runPeakKiB = StatusKiB("VmHWM");
    ToggleShadow(window);
    if (!TimedRun(window, dir, "after a change of shadow, into the same folder", pictures, regen))
        return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("memory: %ld KiB before placing, %ld KiB before the run, run peak %ld KiB (+%ld KiB), "
                "process peak %ld KiB\n",
                baseKiB, runBaseKiB, runPeakKiB, runPeakKiB - runBaseKiB, usage.ru_maxrss);
    std::printf("%s %d %d %d %d %d %.4f %.4f %.4f %.4f %.4f %.4f\n", kFiguresTag, pictures,
                QThread::idealThreadCount(), window.ThumbWSE->value(), window.ThumbHSE->value(),
                TGfxBatchPicConverter().JpegQuality(), placing.Wall, placing.Cpu, run.Wall, run.Cpu,
                regen.Wall, regen.Cpu);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--measure") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return Measure(argc, argv);
    }
    return Report(argc, argv, VELTRIX_BENCH_CORPUS);
}
