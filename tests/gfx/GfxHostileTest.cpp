// Hostile pictures: data that stop early are refused with the reason, pixels skipped on purpose are
// defined, and a JPEG that asks for unbounded work is refused. A picture must come out the same whatever
// the heap held before: each file is decoded with freshly allocated memory filled two different ways.
#include <gtest/gtest.h>

#include <malloc.h>

#include <QDir>

#include "gfx/GfxDecode.h"
#include "gfx/GfxError.h"
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

} // namespace
