// Places 40 photos of 12 megapixels (4000 x 3000 JPEG) into the real window on the offscreen platform and
// prints how long placing took and the longest the window's event loop went without running a 5 ms timer:
// the window must stay responsive (no event waiting more than 100 ms) while the pictures are read.
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchDialogs.h"
#include "app/VeltrixU.h"
#include "app/VlxPagePanel.h"
#include "app/VlxPlaceCommands.h"
#include "grid/GfxGrid.h"

namespace {

constexpr int kPictures = 40;

// A photo-like picture: gradients and noise, so that it neither compresses to nothing nor decodes for free.
QImage Photo(int seed) {
    QImage picture(4000, 3000, QImage::Format_RGB888);
    quint32 noise = 2463534242u + seed;
    for (int y = 0; y < picture.height(); ++y) {
        uchar* line = picture.scanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            line[3 * x] = uchar(x / 16 + seed * 7 + (noise & 15));
            line[3 * x + 1] = uchar(y / 12 + (noise >> 8 & 15));
            line[3 * x + 2] = uchar((x + y) / 28);
        }
    }
    return picture;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList paths;
    std::printf("writing %d photos of 4000 x 3000...\n", kPictures);
    for (int i = 0; i < kPictures; ++i) {
        paths << dir.filePath(QString("photo%1.jpg").arg(i, 2, 10, QChar('0')));
        Photo(i).save(paths.last(), "JPEG", 90);
    }
    QDir().mkpath(dir.filePath("config"));
    TVeltrixPlaces places{dir.filePath("config"), dir.path(), {}};
    TVeltrixF window(std::make_unique<TBenchDialogs>(TModalResult::Yes), places);
    window.show();
    window.Html->GfxGridColSE->setValue(8);
    window.Html->GfxGridRowSE->setValue(5);

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    bool done = false;
    window.PlaceCmds->OnPlacingDone = [&](TVeltrixF*, bool) { done = true; };
    clock.start();
    tick.start();
    window.PlaceCmds->PlacePictures(paths, 0, 0);
    while (!done)
        app.processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 total = clock.elapsed();
    std::printf("placed %d of %d photos in %lld ms; longest gap between 5 ms ticks: %lld ms\n",
                window.CountPictures(), kPictures, static_cast<long long>(total),
                static_cast<long long>(longest));
    return 0;
}
