// Web-sized pictures through the real run: which file a picture's page shows, at what size, upright, with
// or without its original; pictures not larger than the limit are published exactly as before.
#include <algorithm>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QTransform>

#include "gallery/Gallery.h"
#include "gfx/GfxPic.h"
#include "gfx/GfxShrink.h"
#include "publish/GalleryRun.h"
#include "support/TestSupport.h"

namespace {

// A 600 x 400 photograph-like picture: smooth gradients, so that JPEG keeps it close.
void MakeWidePicture(const QString& path) {
    TGfxBaseIm picture;
    picture.SetSize(600, 400);
    for (int y = 0; y < 400; ++y) {
        uchar* row = picture.Bitmap().scanLine(y);
        for (int x = 0; x < 600; ++x) {
            row[3 * x] = uchar(x * 255 / 599);
            row[3 * x + 1] = uchar(y * 255 / 399);
            row[3 * x + 2] = 128;
        }
    }
    picture.SaveAsJpeg(path, 90);
}

TRunResult RunGallery(const QString& picture, const TWebSize& web, const QString& out) {
    TGallery gallery;
    gallery.SetPlainNames(true);
    gallery.SetTableSize(1, 1);
    gallery.Settings.Page.WebSize = web;
    EXPECT_TRUE(gallery.PlaceFiles({picture}).empty());
    TGalleryRun run(gallery);
    run.Threads = 2;
    return run.Run(out);
}

QSize SizeOf(const QString& path) {
    TGfxBaseIm picture;
    picture.LoadPicture(path);
    return QSize(picture.Width(), picture.Height());
}

struct TWebRow {
    const char* Label;
    const char* Source; // test data, or "" for the 600 x 400 picture made here (wide.jpg)
    const char* Name;   // its published name
    TWebSize Web;
    const char* Shown; // the file its page shows
    QSize ShownSize;
};

void PrintTo(const TWebRow& row, std::ostream* os) {
    *os << row.Label;
}

class WebSize : public testing::TestWithParam<TWebRow> {
protected:
    void SetUp() override { EnsureGuiApplication(); }
};

TEST_P(WebSize, PageShowsThePictureAtMostTheSizeUpright) {
    const TWebRow& row = GetParam();
    TTempDir in, out;
    const QString source = in.File(row.Name);
    if (*row.Source)
        WriteBytes(source, ReadBytes(TestData(row.Source)));
    else
        MakeWidePicture(source);
    const TRunResult result = RunGallery(source, row.Web, out.Path());
    ASSERT_TRUE(result.Ok()) << result.Failure.toStdString();

    const QString page =
        QString::fromUtf8(ReadBytes(out.File(QFileInfo(row.Name).completeBaseName() + ".html")));
    EXPECT_TRUE(page.contains(QString(R"(<img SRC="%1" BORDER=0 HEIGHT=%2 WIDTH=%3>)")
                                  .arg(row.Shown)
                                  .arg(row.ShownSize.height())
                                  .arg(row.ShownSize.width())))
        << page.toStdString();
    EXPECT_EQ(SizeOf(out.File(row.Shown)), row.ShownSize);
    EXPECT_TRUE(result.Written.contains(out.File(row.Shown)));
    const bool web = QString(row.Shown) != row.Name;
    // The original goes out beside a smaller copy only when asked for, and is then linked as "Original".
    const bool original = !web || row.Web.PublishOriginal;
    EXPECT_EQ(QFileInfo::exists(out.File(row.Name)), original);
    EXPECT_EQ(page.contains(QString(R"(<a href="%1"><div align="Right">Original</div></a>)").arg(row.Name)),
              web && original);
    EXPECT_EQ(QFileInfo::exists(out.File(QString(row.Name) + ".png")), false); // no rendering beside it
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, WebSize,
    testing::Values(
        TWebRow{"larger", "", "wide.jpg", {true, 300, false}, "wide.web.jpg", {300, 200}},
        TWebRow{"larger_with_original", "", "wide.jpg", {true, 300, true}, "wide.web.jpg", {300, 200}},
        TWebRow{"as_large_not_enlarged", "", "wide.jpg", {true, 600, true}, "wide.jpg", {600, 400}},
        TWebRow{"exif_turned",
                "gfx/valid/orient_420_6.jpg",
                "turned.jpg",
                {true, 100, false},
                "turned.web.jpg",
                {63, 100}},
        TWebRow{"heic_turned",
                "gfx/valid/kind_turned_90.heic",
                "turned.heic",
                {true, 32, false},
                "turned.web.jpg",
                {20, 32}}),
    [](const auto& info) { return std::string(info.param.Label); });

// A picture not larger than the limit is published exactly as with the setting off.
TEST(WebSizeBytes, NoLargerPictureKeepsEveryByte) {
    EnsureGuiApplication();
    TTempDir in, off, on;
    MakeWidePicture(in.File("wide.jpg"));
    ASSERT_TRUE(RunGallery(in.File("wide.jpg"), {false, 2048, false}, off.Path()).Ok());
    ASSERT_TRUE(RunGallery(in.File("wide.jpg"), {true, 600, false}, on.Path()).Ok());
    for (const char* file : {"wide.jpg", "vl_wide.jpg", "wide.html", "index.html"})
        EXPECT_EQ(ReadBytes(off.File(file)), ReadBytes(on.File(file))) << file;
}

// The web picture is the upright picture: the same pixels as a picture stored upright, shrunk alike.
TEST(WebSizeBytes, ExifOrientationIsApplied) {
    EnsureGuiApplication();
    TTempDir in, upright, turned;
    WriteBytes(in.File("a.jpg"), ReadBytes(TestData("gfx/valid/orient_420_1.jpg")));
    WriteBytes(in.File("b.jpg"), ReadBytes(TestData("gfx/valid/orient_420_6.jpg")));
    ASSERT_TRUE(RunGallery(in.File("a.jpg"), {true, 100, false}, upright.Path()).Ok());
    ASSERT_TRUE(RunGallery(in.File("b.jpg"), {true, 100, false}, turned.Path()).Ok());
    // Orientation 6 is shown turned a quarter clockwise.
    const QImage expected = QImage(upright.File("a.web.jpg")).transformed(QTransform().rotate(90));
    const QImage actual(turned.File("b.web.jpg"));
    ASSERT_EQ(actual.size(), expected.size());
    long long difference = 0;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            difference += std::abs(qGray(actual.pixel(x, y)) - qGray(expected.pixel(x, y)));
    EXPECT_LT(difference / (actual.width() * actual.height()), 4);
}

// A later run keeps the web picture while it is what the run would make, and makes it again at a new size.
TEST(WebSizeBytes, LaterRunKeepsOrRemakes) {
    EnsureGuiApplication();
    TTempDir in, out;
    MakeWidePicture(in.File("wide.jpg"));
    ASSERT_TRUE(RunGallery(in.File("wide.jpg"), {true, 300, false}, out.Path()).Ok());
    const QDateTime made = QFileInfo(out.File("wide.web.jpg")).lastModified();
    ASSERT_TRUE(RunGallery(in.File("wide.jpg"), {true, 300, false}, out.Path()).Ok());
    EXPECT_EQ(QFileInfo(out.File("wide.web.jpg")).lastModified(), made);
    ASSERT_TRUE(RunGallery(in.File("wide.jpg"), {true, 150, false}, out.Path()).Ok());
    EXPECT_EQ(SizeOf(out.File("wide.web.jpg")), QSize(150, 100));
}

// Area averaging, not a nearest-pixel stretch: a one-pixel checkerboard halved is an even grey.
TEST(AreaShrunk, AveragesEverySourcePixel) {
    QImage board(8, 6, QImage::Format_BGR888);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            board.setPixel(x, y, (x + y) % 2 ? 0xFFFFFF : 0);
    const QImage half = AreaShrunk(board, 4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(half.pixel(x, y), qRgb(128, 128, 128)) << x << "," << y;
    // 3 to 2: each destination pixel covers one and a half source pixels.
    QImage line(3, 1, QImage::Format_BGR888);
    line.setPixel(0, 0, 0), line.setPixel(1, 0, 0xFFFFFF), line.setPixel(2, 0, 0);
    const QImage shrunk = AreaShrunk(line, 2, 1);
    EXPECT_EQ(qGray(shrunk.pixel(0, 0)), 85);
    EXPECT_EQ(qGray(shrunk.pixel(1, 0)), 85);
}

// Against the mean written out pixel by pixel, on noise of sizes that take every length of window across
// and down (one pixel to more than six, the last window ending at the picture's edge).
TEST(AreaShrunk, IsTheExactMeanOfWhatEachPixelCovers) {
    struct TCase {
        QSize From, To;
    };
    for (const TCase& c : {TCase{{7, 5}, {3, 2}}, TCase{{50, 41}, {7, 3}}, TCase{{31, 29}, {30, 28}},
                           TCase{{640, 2}, {1, 1}}, TCase{{1001, 3}, {999, 2}}, TCase{{9, 300}, {4, 61}}}) {
        const int sw = c.From.width(), sh = c.From.height(), w = c.To.width(), h = c.To.height();
        QImage noise(sw, sh, QImage::Format_BGR888);
        quint32 seed = 12345;
        for (int y = 0; y < sh; ++y)
            for (int x = 0; x < sw * 3; ++x)
                noise.scanLine(y)[x] = uchar((seed = seed * 1103515245 + 12345) >> 23);
        const QImage shrunk = AreaShrunk(noise, w, h);
        // Units of 1/w of a pixel across, 1/h down: overlaps are whole numbers.
        const auto overlap = [](long long d, long long s, long long srcSize, long long destSize) {
            return std::max(0LL, std::min((d + 1) * srcSize, (s + 1) * destSize) -
                                     std::max(d * srcSize, s * destSize));
        };
        const unsigned long long total = 1ULL * sw * sh;
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    unsigned long long sum = 0;
                    for (int sy = 0; sy < sh; ++sy)
                        for (int sx = 0; sx < sw; ++sx)
                            sum += overlap(x, sx, sw, w) * overlap(y, sy, sh, h) *
                                   noise.constScanLine(sy)[3 * sx + ch];
                    wrong += shrunk.constScanLine(y)[3 * x + ch] != (sum + total / 2) / total;
                }
        EXPECT_EQ(wrong, 0) << sw << "x" << sh << " to " << w << "x" << h;
    }
}

} // namespace
