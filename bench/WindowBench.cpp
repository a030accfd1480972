// The whole window with a large table: 10,000 small pictures (64 x 48 JPEGs) placed into a 100 x 100 grid
// of the real main window on the offscreen platform. Prints the process's resident memory before and after
// placing with its peak, the growth per picture, and the grid's waits: each repaint of the grid while it is
// scrolled a page at a time down and across, and a repaint of the whole window, as the slowest and the
// median; then the gallery saved and opened again, timed until its table shows. bench_window [--pictures N]
// [--picture-size W H] [--picture-box W H] [--one-heap]; the targets are under 600 MiB, no wait over
// 100 ms, and the table reopened within 1 s.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchDialogs.h"
#include "BenchMemory.h"
#include "app/VeltrixU.h"
#include "app/VlxDocumentCommands.h"
#include "app/VlxPagePanel.h"
#include "app/VlxRenderPanel.h"
#include "gallery/KeptStretch.h"
#include "gallery/Version.h"
#include "grid/GfxGrid.h"
#include "settings/VlxConfigDir.h"

namespace {

struct TWaits {
    double Slowest = 0;
    double Median = 0;
    int Count = 0;
};

TWaits Summary(std::vector<double> ms) {
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    return {ms.back(), ms[ms.size() / 2], int(ms.size())};
}

double Milliseconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

constexpr int kEdits = 60;

// Each page-sized step of a scroll bar, from its start to its end, and the grid repainted at each.
void ScrollThrough(TGfxGrid& grid, QScrollBar& bar, std::vector<double>& ms) {
    for (int value = bar.minimum();; value += std::max(bar.pageStep(), 1)) {
        bar.setValue(std::min(value, bar.maximum()));
        QElapsedTimer timer;
        timer.start();
        grid.viewport()->repaint();
        QCoreApplication::processEvents();
        ms.push_back(Milliseconds(timer));
        if (value >= bar.maximum())
            break;
    }
}

// Small flat pictures by default; at a size given, with gradients and grain, so that they decode as photos do.
QStringList MakePictures(const QString& dir, int count, QSize size) {
    QImage picture(size.isValid() ? size : QSize(64, 48), QImage::Format_BGR888);
    picture.fill(Qt::darkCyan);
    if (size.isValid())
        for (int y = 0; y < picture.height(); ++y) {
            uchar* row = picture.scanLine(y);
            for (int x = 0; x < picture.width(); ++x) {
                const int grain = (x * 7919 + y * 104729) % 23;
                row[3 * x] = uchar(x * 255 / picture.width() / 2 + grain * 4);
                row[3 * x + 1] = uchar(y * 255 / picture.height() / 2 + grain * 3);
                row[3 * x + 2] = uchar(96 + grain * 5);
            }
        }
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << dir + QString::asprintf("p%05d.jpg", i);
        // Pictures of their own, as a real folder holds: a band whose place tells them apart.
        QImage own = picture;
        own.setPixelColor(i % 64, (i / 64) % 48, Qt::yellow);
        own.save(files.back(), "JPEG", 75);
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    int pictures = 10000;
    bool oneHeap = false;
    int boxWidth = 0, boxHeight = 0; // the profile's picture box unless given
    QSize pictureSize;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pictures") == 0 && i + 1 < argc)
            pictures = std::clamp(std::atoi(argv[++i]), 1, 10000);
        else if (std::strcmp(argv[i], "--picture-box") == 0 && i + 2 < argc) {
            boxWidth = std::atoi(argv[++i]);
            boxHeight = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--picture-size") == 0 && i + 2 < argc) {
            const int w = std::atoi(argv[++i]);
            pictureSize = QSize(w, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--one-heap") == 0)
            oneHeap = true;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (oneHeap)
        UseOneHeap();
    QTemporaryDir folder, config, temp;
    const QStringList files = MakePictures(folder.path() + '/', pictures, pictureSize);

    const long startKiB = StartPeak();
    TVeltrixF window(std::make_unique<TBenchDialogs>(TModalResult::Ok),
                     {config.path() + '/', temp.path() + '/', {}});
    window.resize(1280, 900);
    window.show();
    QCoreApplication::processEvents();
    window.Html->GfxGridColSE->setValue(100);
    window.Html->GfxGridRowSE->setValue(100);
    if (boxWidth > 0 && boxHeight > 0) {
        window.Render->PicWSE->setValue(boxWidth);
        window.Render->PicHSE->setValue(boxHeight);
    }
    QCoreApplication::processEvents();
    const long windowKiB = StatusKiB("VmRSS");

    QElapsedTimer placing;
    placing.start();
    TGfxGrid& grid = *window.Grid();
    const std::vector<TRefusedFile> refused = grid.PlaceFiles(files, 0, 0);
    // Placing may finish in the background: the window counts what has arrived.
    while (window.CountPictures() + int(refused.size()) < pictures && placing.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    const double placingSeconds = Milliseconds(placing) / 1000;
    const long placedKiB = StatusKiB("VmRSS");

    std::vector<double> gridMs;
    ScrollThrough(grid, *grid.verticalScrollBar(), gridMs);
    ScrollThrough(grid, *grid.horizontalScrollBar(), gridMs);
    std::vector<double> windowMs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.repaint();
        QCoreApplication::processEvents();
        windowMs.push_back(Milliseconds(timer));
    }
    const TWaits gridWaits = Summary(gridMs);
    const TWaits windowWaits = Summary(windowMs);
    const long peakKiB = StatusKiB("VmHWM");
    // Each edit is a step of the history: 60 of them, two settings in turn, show what the history holds.
    for (int i = 0; i < kEdits; ++i) {
        QSpinBox* setting = i % 2 == 0 ? window.Render->ThumbWSE : window.Render->ThumbHSE;
        setting->setValue(setting->value() + (i % 4 < 2 ? 1 : -1));
        QCoreApplication::processEvents();
    }
    const long editedPeakKiB = StatusKiB("VmHWM");
    // The gallery saved and opened again: the time until its table shows, and the peak memory after.
    const QString galleryFile = folder.filePath("large.veltrix");
    window.Editor().Save(galleryFile, window.WorkDir());
    QElapsedTimer reopening;
    reopening.start();
    window.DocumentCmds->OpenGallery(galleryFile);
    QCoreApplication::processEvents();
    const double reopenSeconds = Milliseconds(reopening) / 1000;
    const int reopened = window.CountPictures();
    const long reopenedPeakKiB = StatusKiB("VmHWM");

    std::printf("%d pictures of %d x %d placed (%zu refused) in %.1f s into a 100 x 100 grid, picture box %d x "
                "%d%s\n",
                window.CountPictures(), QImage(files.first()).width(), QImage(files.first()).height(),
                refused.size(), placingSeconds, window.Render->PicWSE->value(),
                window.Render->PicHSE->value(), oneHeap ? ", one heap" : "");
    std::printf(
        "memory: %ld KiB before the window, %ld KiB with it, %ld KiB placed, peak %ld KiB (%.1f MiB)\n",
        startKiB, windowKiB, placedKiB, peakKiB, peakKiB / 1024.0);
    std::printf("kept stretches: %.1f MiB of a budget of %.1f MiB\n", KeptStretchBytes() / 1048576.0,
                KeptStretchBudget() / 1048576.0);
    std::printf("per picture: %.1f KiB\n",
                double(placedKiB - windowKiB) / std::max(window.CountPictures(), 1));
    std::printf("grid repaint while scrolling: slowest %.1f ms, median %.1f ms over %d pages\n",
                gridWaits.Slowest, gridWaits.Median, gridWaits.Count);
    std::printf("whole window repaint: slowest %.1f ms, median %.1f ms\n", windowWaits.Slowest,
                windowWaits.Median);
    std::printf("after %d edits, each a step of the history: peak %ld KiB (%.1f MiB)\n", kEdits,
                editedPeakKiB, editedPeakKiB / 1024.0);
    std::printf("reopening the saved gallery: %d pictures, table shown after %.2f s; peak %ld KiB (%.1f MiB)\n",
                reopened, reopenSeconds, reopenedPeakKiB, reopenedPeakKiB / 1024.0);
    std::printf("targets: peak under 600 MiB (edits included): %s; no wait over 100 ms: %s; reopened within "
                "1 s: %s\n",
                editedPeakKiB < 600 * 1024 ? "yes" : "NO",
                std::max(gridWaits.Slowest, windowWaits.Slowest) <= 100 ? "yes" : "NO",
                reopenSeconds < 1 ? "yes" : "NO");
    return 0;
}
