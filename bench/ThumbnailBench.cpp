// Thumbnails every JPEG or HEIC of a folder exactly as a generation run does, and prints the time per
// picture, the peak memory, and (when the tools are installed) the ratio to ImageMagick's -sample and to
// djpeg, or for HEIC to heif-convert. A folder named NAME-rotated (turned by its EXIF tag) is also timed
// against the files of the same names in its sibling NAME, the unturned originals. With --check it instead
// compares, for every JPEG, the stretch made straight from the waiting JPEG with a full decode followed by
// the same stretch. With --web SIDE it times, for every JPEG, the web copy's shrink to long side SIDE from
// libjpeg's scaled decode against the shrink of the full decode, and prints how far their pixels differ.
#include "gfx/GfxPic.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "BenchMemory.h"
#include "gfx/GfxShrink.h"

namespace {

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QStringList FilesOf(const QString& folder, const QStringList& patterns) {
    QStringList files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(patterns, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    return files;
}

QStringList JpegFiles(const char* folder) {
    return FilesOf(QString::fromLocal8Bit(folder), {"*.jpg", "*.jpeg", "*.JPG"});
}

QStringList HeifFiles(const char* folder) {
    return FilesOf(QString::fromLocal8Bit(folder), {"*.heic", "*.heif", "*.HEIC", "*.HEIF"});
}

// The stretches the program makes of a picture: the thumbnail's, and a few odd ones.
int CheckFolder(const char* folder) {
    int compared = 0;
    int different = 0;
    for (const QString& file : JpegFiles(folder)) {
        TGfxBaseIm waiting;
        waiting.LoadPicture(file);
        TGfxBaseIm full;
        full.LoadPicture(file);
        full.Bitmap();
        const QSize thumb = FitSize(waiting.Width(), waiting.Height(), 130, 100);
        for (const QSize size : {thumb, QSize(61, 77), QSize(500, 375), QSize(7, 3)}) {
            TGfxBaseIm fast;
            TGfxBaseIm reference;
            ResizePicture(size.width(), size.height(), waiting, fast);
            ResizePicture(size.width(), size.height(), full, reference);
            ++compared;
            if (fast.Bitmap() != reference.Bitmap() || !waiting.PixelsWaiting()) {
                ++different;
                std::printf("  DIFFERENT: %s at %d x %d\n", qPrintable(file), size.width(), size.height());
            }
        }
    }
    std::printf("%s: %d stretches compared, %d different\n", folder, compared, different);
    return different;
}

// The processor milliseconds fn takes.
double CpuMsOf(const std::function<void()>& fn);

int CompareWebShrink(int side, const char* folder) {
    double exactMs = 0, scaledMs = 0, sumDiff = 0, sumSquares = 0;
    long long samples = 0;
    int maxDiff = 0, pictures = 0;
    for (const QString& file : JpegFiles(folder)) {
        TGfxBaseIm picture;
        picture.LoadPicture(file);
        const int w = picture.Width(), h = picture.Height();
        if (std::max(w, h) <= side)
            continue;
        const QSize size = w >= h ? QSize(side, std::max(1, qRound(double(h) * side / w)))
                                  : QSize(std::max(1, qRound(double(w) * side / h)), side);
        QImage scaled, exact;
        scaledMs += CpuMsOf([&] { scaled = ShrunkPicture(picture, size.width(), size.height()); });
        exactMs += CpuMsOf([&] { exact = AreaShrunk(picture.Bitmap(), size.width(), size.height()); });
        ++pictures;
        for (int y = 0; y < size.height(); ++y) {
            const uchar* a = scaled.constScanLine(y);
            const uchar* b = exact.constScanLine(y);
            for (int x = 0; x < size.width() * 3; ++x) {
                const int d = std::abs(int(a[x]) - int(b[x]));
                maxDiff = std::max(maxDiff, d);
                sumDiff += d;
                sumSquares += double(d) * d;
            }
        }
        samples += 3LL * size.width() * size.height();
    }
    if (pictures == 0) {
        std::printf("%s: no JPEG larger than %d\n", folder, side);
        return 0;
    }
    std::printf("%s: %d web copies of long side %d\n  from the scaled decode %.1f ms processor per picture, "
                "from the full decode %.1f ms (%.2fx)\n  levels apart: mean %.3f, at most %d; PSNR %.1f dB\n",
                folder, pictures, side, scaledMs / pictures, exactMs / pictures, scaledMs / exactMs,
                sumDiff / double(samples), maxDiff,
                10 * std::log10(255.0 * 255.0 * double(samples) / std::max(sumSquares, 1.0)));
    return 0;
}

struct TFigures {
    double Mean = 0;
    double Median = 0;
    double Total = 0;
};

TFigures Summarise(std::vector<double> ms) {
    TFigures f;
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    f.Total = std::accumulate(ms.begin(), ms.end(), 0.0);
    f.Mean = f.Total / ms.size();
    f.Median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    return f;
}

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double CpuMsOf(const std::function<void()>& fn) {
    const double start = ProcessCpuMs();
    fn();
    return ProcessCpuMs() - start;
}

double ChildrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Per picture: the wall-clock time, and the processor time, which other work on the machine disturbs less.
struct TTimes {
    std::vector<double> Wall;
    std::vector<double> Cpu;
};

// The times one external command takes per file; empty when the tool is missing.
TTimes TimeTool(const QString& tool, const QStringList& files,
                const std::function<QStringList(const QString&)>& arguments) {
    TTimes times;
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return times;
    for (const QString& file : files) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = ChildrenCpuMs();
        QProcess process;
        process.start(tool, arguments(file));
        process.waitForFinished(-1);
        times.Wall.push_back(timer.nsecsElapsed() / 1e6);
        times.Cpu.push_back(ChildrenCpuMs() - cpu);
    }
    return times;
}

// One line of figures for a tool, with veltrix's time as a part of the tool's.
void PrintTool(const char* what, const TTimes& tool, const TTimes& ours) {
    const TFigures wall = Summarise(tool.Wall);
    const TFigures cpu = Summarise(tool.Cpu);
    if (wall.Total <= 0)
        return;
    const double oursWall = Summarise(ours.Wall).Total;
    const double oursCpu = Summarise(ours.Cpu).Total;
    std::printf("  %s: mean %.1f ms, median %.1f ms (processor %.1f / %.1f); veltrix / it = %.2f (processor "
                "%.2f), it / veltrix = %.1f\n",
                what, wall.Mean, wall.Median, cpu.Mean, cpu.Median, oursWall / wall.Total,
                cpu.Total > 0 ? oursCpu / cpu.Total : 0.0, wall.Total / oursWall);
}

// Makes the thumbnail of every file as a generation run does, timing each.
TTimes TimeOurs(TGfxBatchPicConverter& converter, const QStringList& files, const QTemporaryDir& out) {
    TGfxThumbnail& thumb = converter.Thumbnail();
    TTimes ours;
    for (const QString& file : files) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = ProcessCpuMs();
        thumb.Source().LoadPicture(file);
        thumb.Render();
        thumb.SaveAsJpeg(out.filePath(converter.ThumbPrefix() + QFileInfo(file).completeBaseName() + ".jpg"),
                         converter.JpegQuality());
        ours.Wall.push_back(timer.nsecsElapsed() / 1e6);
        ours.Cpu.push_back(ProcessCpuMs() - cpu);
    }
    return ours;
}

// For NAME-rotated: the turned files and the unturned files of the same names in NAME, timed in turns (three
// rounds) so that other work on the machine weighs on both alike.
void PrintRotatedRatio(TGfxBatchPicConverter& converter, const QString& folder, const QStringList& files,
                       const QTemporaryDir& out) {
    const QString suffix = "-rotated";
    const QString dir = QDir::cleanPath(folder);
    if (!dir.endsWith(suffix))
        return;
    const QDir plainDir(dir.left(dir.size() - suffix.size()));
    TTimes turned;
    TTimes plain;
    for (int round = 0; round < 3; ++round) {
        for (const QString& file : files) {
            const QString original = plainDir.filePath(QFileInfo(file).fileName());
            if (!QFileInfo::exists(original)) {
                std::printf("  unturned: %s is missing\n", qPrintable(original));
                return;
            }
            for (auto [name, times] : {std::pair{original, &plain}, std::pair{file, &turned}}) {
                const TTimes one = TimeOurs(converter, {name}, out);
                times->Wall.push_back(one.Wall.front());
                times->Cpu.push_back(one.Cpu.front());
            }
        }
    }
    const TFigures tWall = Summarise(turned.Wall);
    const TFigures tCpu = Summarise(turned.Cpu);
    const TFigures pWall = Summarise(plain.Wall);
    const TFigures pCpu = Summarise(plain.Cpu);
    std::printf(
        "  in turns with the unturned files of %s: turned mean %.1f ms, median %.1f ms (processor %.1f / "
        "%.1f), unturned mean %.1f ms, median %.1f ms (processor %.1f / %.1f); turned / unturned = %.2f "
        "(processor %.2f)\n",
        qPrintable(plainDir.path()), tWall.Mean, tWall.Median, tCpu.Mean, tCpu.Median, pWall.Mean,
        pWall.Median, pCpu.Mean, pCpu.Median, tWall.Total / pWall.Total, tCpu.Total / pCpu.Total);
}

// The reference tools, timed per file the same way.
void PrintTools(const QStringList& files, bool heif, const TTimes& ours, const QTemporaryDir& out) {
    if (heif) {
        PrintTool("heif-convert to JPEG",
                  TimeTool("heif-convert", files,
                           [&](const QString& file) {
                               return QStringList{"--quiet", "-q", "75", file, out.filePath("hc.jpg")};
                           }),
                  ours);
        PrintTool("heif-convert to y4m (decode only)",
                  TimeTool("heif-convert", files,
                           [&](const QString& file) {
                               return QStringList{"--quiet", file, out.filePath("hc.y4m")};
                           }),
                  ours);
        return;
    }
    // ImageMagick by its Debian path: a convert earlier on PATH may be something else.
    PrintTool("convert -sample",
              TimeTool("/usr/bin/convert", files,
                       [&](const QString& file) {
                           return QStringList{file,       "-sample", "130x100",
                                              "-quality", "75",      out.filePath("im.jpg")};
                       }),
              ours);
    PrintTool("djpeg full decode",
              TimeTool("djpeg", files,
                       [&](const QString& file) {
                           return QStringList{"-outfile", "/dev/null", file};
                       }),
              ours);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s [--check | --web SIDE] FOLDER [FOLDER...]\n"
                     "(scripts/bench-corpus builds bench/corpus/)\n",
                     argv[0]);
        return 2;
    }
    if (std::string(argv[1]) == "--check") {
        int different = 0;
        for (int a = 2; a < argc; ++a)
            different += CheckFolder(argv[a]);
        return different == 0 ? 0 : 1;
    }
    if (std::string(argv[1]) == "--web" && argc > 3) {
        for (int a = 3; a < argc; ++a)
            CompareWebShrink(std::atoi(argv[2]), argv[a]);
        return 0;
    }
    QTemporaryDir out;
    TGfxBatchPicConverter converter;
    TGfxThumbnail& thumb = converter.Thumbnail();

    // The program's default background: a 100 x 100 grey tile saved as JPEG and loaded back.
    TGfxBaseIm tile;
    tile.AssignPicture([] {
        QImage grey(100, 100, QImage::Format_BGR888);
        grey.fill(QColor(128, 128, 128));
        return grey;
    }());
    tile.SaveAsJpeg(out.filePath("clgray.jpg"), converter.JpegQuality());
    thumb.Background().LoadPicture(out.filePath("clgray.jpg"));

    for (int a = 1; a < argc; ++a) {
        QStringList files = JpegFiles(argv[a]);
        const bool heif = files.isEmpty();
        if (heif)
            files = HeifFiles(argv[a]);
        if (files.isEmpty()) {
            std::printf("%s: no JPEG or HEIC files\n", argv[a]);
            continue;
        }
        const long baseKiB = StartPeak();
        const TTimes ours = TimeOurs(converter, files, out);
        const TFigures f = Summarise(ours.Wall);
        const TFigures fCpu = Summarise(ours.Cpu);
        const long folderPeakKiB = StatusKiB("VmHWM");
        std::printf(
            "%s: %lld pictures\n  veltrix: mean %.1f ms, median %.1f ms per picture (processor %.1f / %.1f); "
            "peak memory %ld KiB, %ld KiB above the %ld KiB before this folder\n",
            argv[a], static_cast<long long>(files.size()), f.Mean, f.Median, fCpu.Mean, fCpu.Median,
            PeakKiB(), folderPeakKiB - baseKiB, baseKiB);
        PrintRotatedRatio(converter, QString::fromLocal8Bit(argv[a]), files, out);
        PrintTools(files, heif, ours, out);
    }
    return 0;
}
