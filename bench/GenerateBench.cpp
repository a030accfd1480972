// A whole generation run of the gallery library over a folder of photos, into a fresh folder: prints the
// seconds per picture of each phase (placing into the table, copies, thumbnails, picture pages, table page),
// timed through the run's progress, the processor time, and the peak memory; then the shadow is turned on and
// the gallery made again into the same folder. Without --measure, the figures are taken in child processes
// and set beside the bare tools (GenerateReport.cpp). The run copies the pictures as the bare tools do, with
// the web size off; --measure FOLDER --web N measures it with web-sized pictures of long side N, and prints
// the page weight (bytes a visitor loads for a picture's page: the page and the picture it shows).
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchMemory.h"
#include "GenerateReport.h"
#include "gallery/Gallery.h"
#include "publish/GalleryRun.h"
#include "gallery/Version.h"
#include "html/WebFiles.h"
#include "settings/VlxConfigDir.h"
#include "settings/VlxProfileU.h"

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Each phase's time, from its first progress to the next phase's (the last one's to the run's end).
class TPhaseClock {
public:
    std::vector<std::pair<QString, double>> Seconds;

    void Tell(const TRunProgress& progress) {
        if (!Seconds.empty() && FPhase == int(progress.Phase))
            return;
        End();
        FPhase = int(progress.Phase);
        Seconds.push_back({RunPhaseName(progress.Phase), 0});
        FTimer.start();
    }
    void End() {
        if (!Seconds.empty() && FTimer.isValid())
            Seconds.back().second = double(FTimer.nsecsElapsed()) / 1e9;
        FTimer.invalidate();
    }

private:
    int FPhase = -1;
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
    for (const auto& [phase, seconds] : clock.Seconds)
        std::printf("  %-14s %8.4f s per picture (%.2f s)\n", qPrintable(phase), seconds / pictures, seconds);
}

struct TSpent {
    double Wall = 0;
    double Cpu = 0;
};

// Places the pictures into a table just large enough, row by row.
TSpent PlacePictures(TGallery& gallery, const QStringList& files) {
    const int columns = int(std::ceil(std::sqrt(double(files.size()))));
    gallery.SetTableSize(columns, (int(files.size()) + columns - 1) / columns);
    const double cpuBefore = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    for (const TRefusedFile& file : gallery.PlaceFiles(files))
        std::printf("not placed: %s %s\n", qPrintable(file.Path), qPrintable(file.Reason));
    return {double(timer.nsecsElapsed()) / 1e9, CpuSeconds() - cpuBefore};
}

bool TimedRun(TGallery& gallery, const QString& dir, const char* title, TSpent& spent) {
    TPhaseClock clock;
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    TGalleryRun run(gallery);
    const TRunResult result = run.Run(dir, [&clock](const TRunProgress& progress) { clock.Tell(progress); });
    clock.End();
    if (!result.Ok()) {
        std::printf("run failed: %s\n", qPrintable(result.Failure));
        return false;
    }
    spent = {double(wall.nsecsElapsed()) / 1e9, CpuSeconds() - cpuBefore};
    PrintRun(title, clock, result.Pictures, spent.Cpu, spent.Wall);
    return true;
}

// The mean bytes of a picture page and the picture it shows, over the gallery's pictures.
void PrintPageWeight(const TGallery& gallery, const QString& dir) {
    const bool web = gallery.Settings.Page.WebSize.Enabled;
    qint64 bytes = 0, largest = 0;
    int pages = 0;
    for (int row = 0; row < gallery.Rows(); ++row)
        for (int col = 0; col < gallery.Columns(); ++col) {
            const QString name = gallery.Cell(col, row).Name;
            if (name.isEmpty())
                continue;
            const QString shown = web && QFileInfo::exists(dir + WebPictureName(name))
                                      ? WebPictureName(name)
                                      : BrowserViewableName(name);
            const qint64 weight = QFileInfo(dir + PageName(name)).size() + QFileInfo(dir + shown).size();
            bytes += weight;
            largest = std::max(largest, weight);
            ++pages;
        }
    std::printf("page weight: %.0f KiB a picture page on average, %.0f KiB the largest (page and picture)\n",
                double(bytes) / std::max(pages, 1) / 1024, double(largest) / 1024);
}

// A change of effects only: the shadow goes on (or off, where the profile has one).
void ToggleShadow(TGallery& gallery) {
    TGfxThumbSettings& thumb = gallery.Settings.Thumb;
    const bool on = thumb.ShadowSize == 0;
    thumb.ShadowSize = on ? 6 : 0;
    thumb.ShadowDistance = on ? 4 : thumb.ShadowDistance;
    thumb.ShadowIntensity = on ? 60 : thumb.ShadowIntensity;
}

// bench_generate --measure FOLDER [--first N]: one process, one folder; the last line holds the figures
// for the report.
int Measure(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    UseOneHeap();
    const QString folder =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString(VELTRIX_BENCH_CORPUS "/photos");
    QStringList files = Pictures(folder);
    TGallery gallery;
    gallery.Settings.Page.WebSize.Enabled = false;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--first") == 0)
            files = files.mid(0, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--web") == 0)
            gallery.Settings.Page.WebSize = {true, std::atoi(argv[i + 1]), false};
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s: no pictures (scripts/bench-corpus builds bench/corpus/)\n",
                     qPrintable(folder));
        return 1;
    }
    QTemporaryDir out;

    std::printf("%lld pictures from %s, %d threads\n", qlonglong(files.size()), qPrintable(folder),
                QThread::idealThreadCount());
    const long baseKiB = StartPeak();
    const TSpent placing = PlacePictures(gallery, files);
    std::printf("placing into the table: %.4f s per picture (%.2f s wall, %.2f s processor)\n",
                placing.Wall / files.size(), placing.Wall, placing.Cpu);
    const int pictures = gallery.CountPictures();
    const QString dir = out.path() + "/gallery/";
    QDir().mkpath(dir);
    const long runBaseKiB = StartPeak();
    TSpent run;
    TSpent regen;
    if (!TimedRun(gallery, dir, "first run into a fresh folder", run))
        return 1;
    const long runPeakKiB = StatusKiB("VmHWM");
    PrintPageWeight(gallery, dir);
    ToggleShadow(gallery);
    if (!TimedRun(gallery, dir, "after a change of shadow, into the same folder", regen))
        return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("memory: %ld KiB before placing, %ld KiB before the run, run peak %ld KiB (+%ld KiB), "
                "process peak %ld KiB\n",
                baseKiB, runBaseKiB, runPeakKiB, runPeakKiB - runBaseKiB, usage.ru_maxrss);
    std::printf("%s %d %d %d %d %d %.4f %.4f %.4f %.4f %.4f %.4f\n", kFiguresTag, pictures,
                QThread::idealThreadCount(), gallery.Settings.Thumb.ThumbWidth, gallery.Settings.Thumb.ThumbHeight,
                TGfxBatchPicConverter().JpegQuality(), placing.Wall, placing.Cpu, run.Wall, run.Cpu,
                regen.Wall, regen.Cpu);
    return 0;
}

// bench_generate --placing: small pictures placed into a 100 x 100 table, 100, 1,000 and 10,000 of them; the
// time per picture must not grow with the number already placed.
int Placing(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    UseOneHeap();
    QTemporaryDir folder;
    TGfxBaseIm picture;
    picture.SetSize(64, 48);
    picture.Bitmap().fill(Qt::darkCyan);
    QStringList files;
    for (int i = 0; i < 10000; ++i) {
        files << folder.filePath(QString::asprintf("p%05d.jpg", i));
        picture.SaveAsJpeg(files.back(), 75);
    }
    double perPictureAt100 = 0;
    for (const int count : {100, 1000, 10000}) {
        double best = 1e9;
        for (int round = 0; round < 3; ++round) {
            TGallery gallery;
            gallery.SetTableSize(100, 100);
            QElapsedTimer timer;
            timer.start();
            if (!gallery.PlaceFiles(files.mid(0, count)).empty())
                std::printf("not every picture was placed\n");
            best = std::min(best, double(timer.nsecsElapsed()) / 1e9 / count);
        }
        if (count == 100)
            perPictureAt100 = best;
        std::printf("placing %5d pictures: %8.1f us per picture (%.2fx of 100)\n", count, best * 1e6,
                    best / perPictureAt100);
    }
    return 0;
}

// The command line's runs take the profile kBenchProfile from a configuration folder of their own (the
// user's is left alone): the default look with the web size off, so that they copy the pictures as cp does.
bool WriteBenchProfile(const QTemporaryDir& config) {
    if (!config.isValid() || !QDir().mkpath(config.filePath(kApplicationName)))
        return false;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    TGallerySettings settings = StartUpSettings();
    settings.Page.WebSize.Enabled = false;
    TProfileRecord record = ProfileFromSettings(settings);
    record.Name = kBenchProfile;
    TProfileManager(config.filePath(kApplicationName) + '/' + kProfilesFileName).AddProfile(record);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--placing") == 0)
        return Placing(argc, argv);
    const QTemporaryDir config;
    if ((argc < 2 || std::strcmp(argv[1], "--measure") != 0) && !WriteBenchProfile(config)) {
        std::fprintf(stderr, "cannot write the benchmark's profile into %s\n", qPrintable(config.path()));
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[1], "--command-line") == 0) {
        // The default profile's thumbnails, for the bare tools beside it.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        const QGuiApplication app(argc, argv);
        const TGallery gallery;
        return CommandLineRuns(argv[2],
                               argc > 4 && std::strcmp(argv[3], "--repeat") == 0 ? std::atoi(argv[4]) : 3,
                               gallery.Settings.Thumb.ThumbWidth, gallery.Settings.Thumb.ThumbHeight,
                               TGfxBatchPicConverter().JpegQuality())
                   ? 0
                   : 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "--measure") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return Measure(argc, argv);
    }
    return Report(argc, argv, VELTRIX_BENCH_CORPUS);
}
