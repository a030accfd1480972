// Hostile pictures: data that stop early are refused with the reason, pixels skipped on purpose are
// defined, and a JPEG that asks for unbounded work is refused. A picture must come out the same whatever
// the heap held before: each file is decoded with freshly allocated memory filled two different ways.
#include <gtest/gtest.h>

#include <malloc.h>

#include <QDir>

#include <fstream>
#include <functional>
#include <string>

#include "GfxHostileMake.h"
#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
#include "gfx/GfxMeasure.h"
#include "support/TestSupport.h"

namespace {

struct THostileCase {
    const char* File;
    const char* Reason; // part of the refusal; "" when the file loads
};

void PrintTo(const THostileCase& c, std::ostream* out) {
    *out << c.File;
}

// The picture's bytes, or the error's text.
QByteArray Outcome(const QString& path) {
    try {
        const QImage image = LoadPictureFile(path);
        return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    } catch (const EGfxException& e) {
        return e.Message().toUtf8();
    }
}

// Every allocation filled with the complement of fill (glibc; the sanitizers' allocator ignores it).
QByteArray OutcomeWithHeapFilled(const QString& path, int fill) {
    mallopt(M_PERTURB, fill);
    const QByteArray outcome = Outcome(path);
    mallopt(M_PERTURB, 0);
    return outcome;
}

class HostilePicture : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostilePicture, IsRefusedWithTheReasonOrLoadsTheSameWhateverTheHeapHeld) {
    const QString path = TestData(QString("gfx/hostile/") + GetParam().File);
    const QByteArray first = OutcomeWithHeapFilled(path, 0x11);
    EXPECT_EQ(first, OutcomeWithHeapFilled(path, 0xEE));
    (void)Outcome(TestData("gfx/valid/bmp_24bpp.bmp")); // other pictures' pixels freed before
    EXPECT_EQ(first, Outcome(path));
    const QString message = QString::fromUtf8(first);
    if (*GetParam().Reason) {
        EXPECT_TRUE(message.startsWith("Cannot load " + path + ": ")) << message.toStdString();
        EXPECT_TRUE(message.contains(GetParam().Reason)) << message.toStdString();
    } else {
        EXPECT_FALSE(message.startsWith("Cannot load")) << message.toStdString();
    }
}

const THostileCase kCases[] = {
    {"bmp24_rows_missing.bmp", "it is cut short: 15 of 30 rows present"},
    {"bmp8_offset_near_end.bmp", "it is cut short: 0 of 30 rows present"},
    {"bmp_rle8_stops_early.bmp", "it is cut short: 12 of 30 rows present"},
    {"bmp_rle8_skips.bmp", ""},
    {"ico_rows_missing.ico", "it is cut short: 16 of 32 rows present"},
    {"ico_mask_missing.ico", "it is cut short: 5 of 32 rows of its transparency mask present"},
    {"jpeg_many_scans.jpg", "more than 500 scans"},
    {"jpeg_arith_one_row_cut.jpg", "Premature end of JPEG file"},
    {"jpeg_arith_last_row_cut.jpg", "Premature end of JPEG file"},
};

INSTANTIATE_TEST_SUITE_P(Files, HostilePicture, ::testing::ValuesIn(kCases));

TEST(HostilePicture, TableCoversEveryFile) {
    EXPECT_EQ(QDir(TestData("gfx/hostile")).entryList(QDir::Files).size(), qsizetype(std::size(kCases)));
}

// Pixels an RLE picture skips on purpose take its first palette colour (black here).
TEST(HostilePicture, PixelsSkippedByRleTakeTheFirstPaletteColour) {
    const QImage image = LoadPictureFile(TestData("gfx/hostile/bmp_rle8_skips.bmp"));
    ASSERT_EQ(image.size(), QSize(40, 30));
    const uchar* bottom = image.constScanLine(29);
    const uchar* top = image.constScanLine(0);
    EXPECT_EQ(bottom[0], 50) << "written";
    EXPECT_EQ(bottom[3 * 20], 0) << "skipped";
    EXPECT_EQ(top[3 * 39 + 2], 0) << "after the end of the bitmap";
}

// Pictures made by the test: memory bombs, work without end, data cut short, headers that lie. Each either
// loads at the size its page is measured at, or is refused with the reason; neither takes 512 MiB beyond its
// pixels (these are small), where the faults took gigabytes.
struct TMadeCase {
    const char* File;
    std::function<void(const QString&)> Make;
    const char* Reason; // part of the refusal; "" when the file loads
    QSize Size = QSize();
};

void PrintTo(const TMadeCase& c, std::ostream* out) {
    *out << c.File;
}

// A line of /proc/self/status in MiB ("VmRSS", "VmHWM").
long StatusMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kib = 0;
    while (status >> key && key != std::string(field) + ":")
        status.ignore(1 << 12, '\n');
    status >> kib;
    return kib / 1024;
}

std::function<void(const QString&)> Bytes(std::function<QByteArray()> make, qint64 trailingZeros = 0) {
    return
        [make, trailingZeros](const QString& path) { WriteWithTrailingZeros(path, make(), trailingZeros); };
}

constexpr qint64 kTrailing = 1536LL << 20;

class MadePicture : public ::testing::TestWithParam<TMadeCase> {};

TEST_P(MadePicture, LoadsAtItsMeasuredSizeOrIsRefusedWithoutExcess) {
    TTempDir dir;
    const QString path = dir.File(GetParam().File);
    GetParam().Make(path);
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts from here
    const long before = StatusMiB("VmRSS");
    QString message;
    QSize loaded;
    try {
        loaded = LoadPictureFile(path).size();
    } catch (const EGfxException& e) {
        message = e.Message();
    }
    int width = 0, height = 0, fileSize = 0;
    QString measured;
    try {
        measured = MeasurePictureFile(path, width, height, fileSize);
    } catch (const EGfxException& e) {
        measured = e.Message();
    }
    EXPECT_LT(StatusMiB("VmHWM") - before, 512) << "MiB beyond the picture's own";
    if (*GetParam().Reason) {
        EXPECT_TRUE(message.startsWith("Cannot load " + path + ": ")) << message.toStdString();
        EXPECT_TRUE(message.contains(GetParam().Reason)) << message.toStdString();
        return;
    }
    EXPECT_EQ(message, QString());
    EXPECT_EQ(loaded, GetParam().Size);
    EXPECT_EQ(measured, QString());
    EXPECT_EQ(QSize(width, height), GetParam().Size) << "measured";
}

const TMadeCase kMadeCases[] = {
    {"png_text_bombs.png", Bytes([] { return PngWithTextBombs(20); }), "", {40, 30}},
    {"ico_png_text_bombs.ico", Bytes([] { return IconOfPng(PngWithTextBombs(20), 40, 30); }), "", {40, 30}},
    {"jpeg_trailing_zeros.jpg",
     Bytes([] { return ValidPicture("jpeg_444.jpg"); }, kTrailing),
     "",
     {320, 200}},
    {"webp_trailing_zeros.webp",
     Bytes([] { return ValidPicture("kind_photo.webp"); }, kTrailing),
     "",
     {64, 40}},
    {"webp_animated_trailing_zeros.webp", Bytes(AnimatedWebp, kTrailing), "", {64, 40}},
    {"heic_trailing_zeros.heic",
     Bytes([] { return ValidPicture("kind_photo.heic"); }, kTrailing),
     "",
     {64, 40}},
    {"heic_65280_tiles.heic", Bytes([] { return HeicGrid(256, 255, 1, 1, 1, 1); }),
     "its grid of 65280 tiles is too much work for a 1 x 1 picture"},
    {"heic_ispe_lies.heic", Bytes([] { return HeicGrid(1, 1, 64, 40, 10000, 10000); }),
     "its header says 10000 x 10000 pixels, its data hold 64 x 40"},
    {"jpeg_no_end_trailing_zeros.jpg",
     Bytes([] { return ValidPicture("jpeg_444.jpg").chopped(2); }, kTrailing),
     "its data are more than the 64 MiB a 320 x 200 picture may take"},
    {"jpeg_491_scans.jpg", Bytes([] { return ManyScanJpeg(10000, 10000, 490); }),
     "its 491 scans over 10000 x 10000 pixels are too much work"},
    {"jpeg_883_scans.jpg", Bytes([] { return ManyScanJpeg(10000, 10000, 882); }), "more than 500 scans"},
    {"gif_cut.gif", Bytes(CutGif), "it is cut short"},
    {"tiff_palette_cut.tif", Bytes([] { return PaletteTiff(12); }),
     "it is cut short: 12 of 30 strips present"},
    {"tiff_palette.tif", Bytes([] { return PaletteTiff(30); }), "", {40, 30}},
    {"gif_screen_larger.gif", Bytes([] { return GifWithScreen(3000, 2000); }), "", {3000, 2000}},
    {"heic_grid.heic", Bytes([] { return HeicGrid(1, 1, 64, 40, 64, 40); }), "", {64, 40}},
    {"jpeg_exif_after_frame.jpg", Bytes(JpegWithExifAfterFrame), "", {200, 320}},
};

INSTANTIATE_TEST_SUITE_P(Files, MadePicture, ::testing::ValuesIn(kMadeCases));

} // namespace
