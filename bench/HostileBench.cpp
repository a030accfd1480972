// Loads and measures every hostile picture (crafted to ask for unbounded time or memory) and prints, per
// file, the time to load, the peak resident memory above what the process held before, the time to measure
// the size a page gives it, and the outcome. The target: each under 2 s and 512 MiB beyond its pixels in
// Release.
//   bench_hostile [FOLDER...]     default: the hostile folders of tests/data, and the pictures the tests
//                                 make (at the sizes of the files that found the faults)
//   bench_hostile --seeds FOLDER  writes small pictures of the same kinds, the fuzz corpus's seeds
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include "BenchMemory.h"
#include "GfxHostileMake.h"
#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxMeasure.h"

namespace {

void Bench(const QFileInfo& file) {
    const long before = StartPeak();
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
    const double peak = (StatusKiB("VmHWM") - before) / 1024.0;
    timer.restart();
    int w = 0, h = 0, size = 0;
    try {
        if (MeasurePictureFile(file.absoluteFilePath(), w, h, size).isEmpty())
            outcome += QString(", measured %1 x %2").arg(w).arg(h);
    } catch (const EGfxException&) {
    }
    std::printf("%-36s %8.0f %9.0f %8.0f  %s\n", qPrintable(file.fileName()), ms, peak,
                timer.nsecsElapsed() / 1e6, qPrintable(outcome));
}

// The pictures the tests make, at the sizes of the files that found the faults.
void MakeHostile(const QDir& dir) {
    constexpr qint64 kZeros = 1536LL << 20;
    const auto write = [&dir](const char* name, const QByteArray& bytes, qint64 zeros = 0) {
        WriteWithTrailingZeros(dir.filePath(name), bytes, zeros);
    };
    write("made_png_60_text_bombs.png", PngWithTextBombs(60));
    write("made_ico_png_60_text_bombs.ico", IconOfPng(PngWithTextBombs(60), 40, 30));
    write("made_jpeg_trailing_1536mib.jpg", ValidPicture("jpeg_444.jpg"), kZeros);
    write("made_webp_trailing_1536mib.webp", ValidPicture("kind_photo.webp"), kZeros);
    write("made_heic_trailing_1536mib.heic", ValidPicture("kind_photo.heic"), kZeros);
    write("made_jpeg_491_scans_10000.jpg", ManyScanJpeg(10000, 10000, 490));
    write("made_jpeg_883_scans_10000.jpg", ManyScanJpeg(10000, 10000, 882));
    write("made_jpeg_1_scan_10000.jpg", ManyScanJpeg(10000, 10000, 0));
    write("made_jpeg_10_scans_10000.jpg", ManyScanJpeg(10000, 10000, 9));
    write("made_jpeg_20_scans_10000.jpg", ManyScanJpeg(10000, 10000, 19));
    write("made_jpeg_21_scans_10000.jpg", ManyScanJpeg(10000, 10000, 20));
    write("made_heic_65280_tiles.heic", HeicGrid(256, 255, 1, 1, 1, 1));
    write("made_heic_ispe_10000.heic", HeicGrid(1, 1, 64, 40, 10000, 10000));
    write("made_gif_screen_10000.gif", GifWithScreen(10000, 10000));
    write("made_gif_cut.gif", CutGif());
    write("made_tiff_palette_cut.tif", PaletteTiff(12));
    write("made_jpeg_exif_after_frame.jpg", JpegWithExifAfterFrame());
}

// Small ones of each kind, for the fuzz corpus of pictures.
void MakeSeeds(const QDir& dir) {
    const auto write = [&dir](const char* name, const QByteArray& bytes, qint64 zeros = 0) {
        WriteWithTrailingZeros(dir.filePath(name), bytes, zeros);
    };
    write("made_png_text_bomb.png", PngWithTextBombs(1));
    write("made_ico_png_text_bomb.ico", IconOfPng(PngWithTextBombs(1), 40, 30));
    write("made_jpeg_trailing_zeros.jpg", ValidPicture("jpeg_grey.jpg"), 64);
    write("made_webp_trailing_zeros.webp", ValidPicture("kind_photo.webp"), 64);
    write("made_jpeg_45_scans.jpg", ManyScanJpeg(64, 48, 44));
    write("made_heic_grid_4_tiles.heic", HeicGrid(2, 2, 100, 60, 100, 60));
    write("made_heic_ispe_lies.heic", HeicGrid(1, 1, 64, 40, 640, 400));
    write("made_gif_screen_larger.gif", GifWithScreen(300, 200));
    write("made_gif_cut.gif", CutGif());
    write("made_tiff_palette_cut.tif", PaletteTiff(12));
    write("made_jpeg_exif_after_frame.jpg", JpegWithExifAfterFrame());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // text in metafiles needs fonts
    if (argc == 3 && QByteArray(argv[1]) == "--seeds") {
        MakeSeeds(QDir(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    QStringList folders;
    for (int i = 1; i < argc; ++i)
        folders << QString::fromLocal8Bit(argv[i]);
    QTemporaryDir made;
    if (folders.isEmpty()) {
        folders << VELTRIX_BENCH_DATA "/gfxmeta/hostile" << VELTRIX_BENCH_DATA "/gfx/hostile" << made.path();
        MakeHostile(QDir(made.path()));
    }
    std::printf("%-36s %8s %9s %8s  %s\n", "file", "load ms", "peak MiB", "size ms", "outcome");
    for (const QString& folder : folders)
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files, QDir::Name))
            if (file.suffix() != "md" && file.suffix() != "py")
                Bench(file);
    return 0;
}
