// Thumbnails every JPEG of a folder exactly as a generation run does, and prints the time per picture,
// the peak memory, and (when the tools are installed) the ratio to ImageMagick's -sample and to djpeg.
#include "gfx/GfxPic.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct TFigures {
    double Mean = 0;
    double Median = 0;
    double Total = 0;
};

TFigures Summarise(std::vector<double> ms)
{
    TFigures f;
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    f.Total = std::accumulate(ms.begin(), ms.end(), 0.0);
    f.Mean = f.Total / ms.size();
    f.Median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    return f;
}

// Milliseconds one external command takes per file, or an empty list when the tool is missing.
std::vector<double> TimeTool(const QString& tool, const QStringList& files,
                             const std::function<QStringList(const QString&)>& arguments)
{
    std::vector<double> ms;
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return ms;
    for (const QString& file : files) {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(tool, arguments(file));
        process.waitForFinished(-1);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [FOLDER...]\n(scripts/bench-corpus builds bench/corpus/)\n", argv[0]);
        return 2;
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
        QStringList files;
        for (const QFileInfo& info : QDir(argv[a]).entryInfoList({"*.jpg", "*.jpeg", "*.JPG"}, QDir::Files, QDir::Name))
            files << info.absoluteFilePath();
        if (files.isEmpty()) {
            std::printf("%s: no JPEG files\n", argv[a]);
            continue;
        }
        const long baseKiB = PeakKiB();
        std::vector<double> ours;
        for (const QString& file : files) {
            QElapsedTimer timer;
            timer.start();
            thumb.Source().LoadPicture(file);
            thumb.Render();
            thumb.SaveAsJpeg(out.filePath(converter.ThumbPrefix() + QFileInfo(file).fileName()),
                             converter.JpegQuality());
            ours.push_back(timer.nsecsElapsed() / 1e6);
        }
        const TFigures f = Summarise(ours);
        std::printf("%s: %lld pictures\n  veltrix: mean %.1f ms, median %.1f ms per picture; peak memory %ld KiB "
                    "(+%ld KiB during this folder)\n",
                    argv[a], static_cast<long long>(files.size()), f.Mean, f.Median, PeakKiB(), PeakKiB() - baseKiB);

        const TFigures magick = Summarise(TimeTool("convert", files, [&](const QString& file) {
            return QStringList{file, "-sample", "130x100", "-quality", "75", out.filePath("im.jpg")};
        }));
        if (magick.Total > 0)
            std::printf("  convert -sample: mean %.1f ms, median %.1f ms; veltrix takes %.2f of its time (%.1fx faster)\n",
                        magick.Mean, magick.Median, f.Total / magick.Total, magick.Total / f.Total);
        const TFigures djpeg = Summarise(TimeTool("djpeg", files, [&](const QString& file) {
            return QStringList{"-outfile", "/dev/null", file};
        }));
        if (djpeg.Total > 0)
            std::printf("  djpeg full decode: mean %.1f ms, median %.1f ms; veltrix / djpeg = %.2f\n", djpeg.Mean,
                        djpeg.Median, f.Total / djpeg.Total);
    }
    return 0;
}
