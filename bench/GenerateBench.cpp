// A whole generation run of the real window over a folder of photos, into a fresh folder: prints the seconds
// per picture of each phase (placing into the grid, copies, thumbnails, picture pages, table page), the
// processor time, and the peak memory. A second run into the same folder shows the copies being reused.
#include "app/VeltrixU.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "BenchMemory.h"
#include "grid/GfxGrid.h"

namespace {

const char* const kPhaseNames[] = {"copies", "thumbnails", "picture pages", "table page"};

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Answers every question with Yes and prints what would have been shown.
class TBenchDialogs : public TDialogs {
public:
    TModalResult MessageBox(TMsgKind, const QString& text, TMsgButtons) override {
        std::printf("message: %s\n", qPrintable(text));
        return TModalResult::Yes;
    }
    void ShowError(const QString& text) override { std::printf("error: %s\n", qPrintable(text)); }
    bool OpenPicture(QString&) override { return false; }
    bool ChooseColor(TColor&) override { return false; }
    bool SelectDirectory(QString&) override { return false; }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    bool OpenUrl(const QUrl&) override { return true; }
};

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

// Places the pictures into a table just large enough, row by row.
double PlacePictures(TVeltrixF& window, const QStringList& files) {
    const int columns = int(std::ceil(std::sqrt(double(files.size()))));
    window.GfxGridColSE->setValue(columns);
    window.GfxGridRowSE->setValue((int(files.size()) + columns - 1) / columns);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < files.size(); ++i)
        window.Grid()->LoadCell(i % columns, i / columns, files[i]);
    QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e9;
}

bool TimedRun(TVeltrixF& window, const QString& dir, const char* title, int pictures) {
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
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    window.statusBar()->removeEventFilter(&clock);
    PrintRun(title, clock, pictures, CpuSeconds() - cpuBefore, seconds);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(VELTRIX_BENCH_CORPUS);
    const QStringList files = Pictures(folder);
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s: no pictures (scripts/bench-corpus builds bench/corpus/)\n",
                     qPrintable(folder));
        return 1;
    }
    QTemporaryDir config;
    QTemporaryDir temp;
    QTemporaryDir out;
    TVeltrixF window(std::make_unique<TBenchDialogs>(), TVeltrixPlaces{config.path(), temp.path()});
    window.show();
    QCoreApplication::processEvents();

    std::printf("%lld pictures from %s\n", qlonglong(files.size()), qPrintable(folder));
    const long baseKiB = StartPeak();
    const double placing = PlacePictures(window, files);
    std::printf("placing into the grid: %.4f s per picture (%.2f s)\n", placing / files.size(), placing);
    const int pictures = window.CountPictures();
    const QString dir = out.path() + "/gallery/";
    QDir().mkpath(dir);
    const long runBaseKiB = StartPeak();
    if (!TimedRun(window, dir, "first run into a fresh folder", pictures))
        return 1;
    const long runPeakKiB = StatusKiB("VmHWM");
    if (!TimedRun(window, dir, "second run into the same folder", pictures))
        return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("memory: %ld KiB before placing, %ld KiB before the run, run peak %ld KiB (+%ld KiB), "
                "process peak %ld KiB\n",
                baseKiB, runBaseKiB, runPeakKiB, runPeakKiB - runBaseKiB, usage.ru_maxrss);
    return 0;
}
