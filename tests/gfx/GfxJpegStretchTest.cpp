// JPEG pictures that wait undecoded: stretching one decodes only the rows it samples, and must give exactly
// the pixels and the errors of a full decode followed by the same stretch. Shrinking one for the web decodes
// it at a reduced scale.
#include <cstdlib>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "gfx/GfxDecodeCount.h"
#include "gfx/GfxShrink.h"
#include "support/TestSupport.h"

namespace {

QString GfxData(const char* file) {
    return TestData(QStringLiteral("gfx/") + QString::fromUtf8(file));
}

// The stretch of a picture fully decoded first: what the fast path must give.
void ReferenceStretch(const QString& path, int w, int h, TGfxBaseIm& dest) {
    TGfxBaseIm full;
    full.LoadPicture(path);
    full.Bitmap();
    ASSERT_FALSE(full.PixelsWaiting());
    ResizePicture(w, h, full, dest);
}

// Stretches straight from the waiting JPEG and compares with the reference.
void ExpectSameStretch(const QString& path, int w, int h) {
    TGfxBaseIm waiting;
    waiting.LoadPicture(path);
    ASSERT_TRUE(waiting.PixelsWaiting());
    TGfxBaseIm fast;
    ResizePicture(w, h, waiting, fast);
    EXPECT_TRUE(waiting.PixelsWaiting()) << "the stretch decoded the whole picture";
    TGfxBaseIm reference;
    ReferenceStretch(path, w, h, reference);
    EXPECT_EQ(FirstPixelDifference(reference, fast), QString()) << w << " x " << h;
    // With a second stretch of other rows and columns, made in the same single pass over the data.
    TGfxBaseIm again;
    again.LoadPicture(path);
    const QSize other(std::max(1, w / 2), h + 1);
    TGfxBaseIm first;
    TGfxBaseIm second;
    const std::uint64_t decodes = PictureDecodeCount();
    ResizePictures(again, {{w, h, &first}, {other.width(), other.height(), &second}});
    EXPECT_EQ(PictureDecodeCount() - decodes, 1u);
    TGfxBaseIm otherReference;
    ReferenceStretch(path, other.width(), other.height(), otherReference);
    EXPECT_EQ(FirstPixelDifference(reference, first), QString()) << w << " x " << h << ", paired";
    EXPECT_EQ(FirstPixelDifference(otherReference, second), QString())
        << other.width() << " x " << other.height() << ", paired";
}

class StretchedJpeg : public testing::TestWithParam<const char*> {};

// Shrunk to a thumbnail, to one pixel, to odd sizes, kept at its size, and enlarged.
TEST_P(StretchedJpeg, EqualsAFullDecodeThenTheStretch) {
    const QString path = GfxData(GetParam());
    TGfxBaseIm header;
    header.LoadPicture(path);
    const int w = header.Width();
    const int h = header.Height();
    const QSize thumb = FitSize(w, h, 130, 100);
    ExpectSameStretch(path, thumb.width(), thumb.height());
    ExpectSameStretch(path, 1, 1);
    ExpectSameStretch(path, w / 3 + 1, h / 2 - 1);
    ExpectSameStretch(path, 5, h - 1);
    ExpectSameStretch(path, w, h);
    ExpectSameStretch(path, 2 * w + 3, 2 * h + 1);
}

// Every kind of JPEG the decoder takes: chroma subsampled 4:2:0 and 4:2:2 (odd size), 4:4:4, grey, CMYK,
// YCCK, progressive, with restart markers, arithmetic coded, and one whose end marker is missing.
INSTANTIATE_TEST_SUITE_P(Files, StretchedJpeg,
                         testing::Values("valid/jpeg_baseline_420.jpg", "valid/jpeg_422_odd_size.jpg",
                                         "valid/jpeg_444.jpg", "valid/jpeg_grey.jpg",
                                         "valid/jpeg_cmyk_adobe.jpg", "valid/jpeg_ycck_adobe.jpg",
                                         "valid/jpeg_progressive.jpg", "valid/jpeg_restart_markers.jpg",
                                         "valid/jpeg_exif_orientation6.jpg", "valid/ijg_testorig.jpg",
                                         "valid/ijg_testimgari.jpg", "seeds/seed.jpg",
                                         "malformed/jpeg_no_eoi.jpg"));

// Every EXIF orientation, 4:2:2 and 4:2:0, odd sizes: the fast path turns the picture as the full decode.
INSTANTIATE_TEST_SUITE_P(Orientations, StretchedJpeg,
                         testing::Values("valid/orient_422_2.jpg", "valid/orient_422_3.jpg",
                                         "valid/orient_422_4.jpg", "valid/orient_422_5.jpg",
                                         "valid/orient_422_6.jpg", "valid/orient_422_7.jpg",
                                         "valid/orient_422_8.jpg", "valid/orient_420_2.jpg",
                                         "valid/orient_420_3.jpg", "valid/orient_420_4.jpg",
                                         "valid/orient_420_5.jpg", "valid/orient_420_6.jpg",
                                         "valid/orient_420_7.jpg", "valid/orient_420_8.jpg"));

// A w x h picture whose colours change from pixel to pixel.
void MakeNoise(TGfxBaseIm& noise, int w, int h) {
    noise.SetSize(w, h);
    for (int y = 0; y < noise.Height(); ++y)
        for (int x = 0; x < noise.Width(); ++x) {
            uchar* p = noise.Bitmap().scanLine(y) + 3 * x;
            p[0] = static_cast<uchar>(x * 7 + y * 3);
            p[1] = static_cast<uchar>((x * y) >> 4);
            p[2] = static_cast<uchar>(y * 5 - x);
        }
}

// Every number of rows from 1 to 80 out of a 4:2:0 picture of 517 rows: skips that end inside a row
// group, on its border and past it, where the upsampling needs the rows around the one it makes.
TEST(StretchedJpeg, EveryRowCountOfASubsampledPicture) {
    TGfxBaseIm noise;
    MakeNoise(noise, 333, 517);
    TTempDir dir;
    const QString path = dir.File("noise.jpg");
    noise.SaveAsJpeg(path, 90);
    for (int h = 1; h <= 80; ++h)
        ExpectSameStretch(path, 1 + h % 7, h);
    for (const int h : {255, 258, 259, 516, 517, 1000})
        ExpectSameStretch(path, 333, h);
}

class SampledJpeg : public testing::TestWithParam<const char*> {};

// Noise pictures of several sizes, odd ones included, written by cjpeg with the luminance sampled HxV
// (the colour channels once): every sampling libjpeg takes, whether or not it can skip rows exactly.
TEST_P(SampledJpeg, EqualsAFullDecodeThenTheStretch) {
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    ASSERT_FALSE(cjpeg.isEmpty()) << "cjpeg (libjpeg-turbo-progs) is needed";
    TTempDir dir;
    for (const QSize size : {QSize(333, 517), QSize(61, 47), QSize(17, 9), QSize(4, 3)}) {
        TGfxBaseIm noise;
        MakeNoise(noise, size.width(), size.height());
        const QString ppm = dir.File("noise.ppm");
        const QString path = dir.File("noise.jpg");
        ASSERT_TRUE(noise.Bitmap().save(ppm, "PPM"));
        QProcess process;
        process.start(cjpeg, {"-sample", GetParam(), "-quality", "90", "-outfile", path, ppm});
        ASSERT_TRUE(process.waitForFinished(30000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const int w = size.width();
        const int h = size.height();
        for (int rows = 1; rows <= std::min(h, 40); ++rows)
            ExpectSameStretch(path, 1 + rows % 7, rows);
        ExpectSameStretch(path, w / 3 + 1, h / 2 + 1);
        ExpectSameStretch(path, w, h);
        ExpectSameStretch(path, 2 * w + 3, 2 * h + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Samplings, SampledJpeg,
                         testing::Values("1x2", "1x3", "1x4", "2x4", "3x1", "3x2", "4x1", "4x2"));

// What happened when the pixels were reached: the error message, or "" and the stretch.
struct TOutcome {
    QString Error;
    TGfxBaseIm Stretch;
};

void StretchFull(const QString& path, QSize size, TOutcome& out) {
    TGfxBaseIm holder;
    try {
        holder.LoadPicture(path);
        holder.Bitmap();
        ResizePicture(size.width(), size.height(), holder, out.Stretch);
    } catch (const EGfxException& e) {
        out.Error = e.Message();
    }
}

void StretchWaiting(const QString& path, QSize size, TOutcome& out) {
    TGfxBaseIm holder;
    try {
        holder.LoadPicture(path);
        ResizePicture(size.width(), size.height(), holder, out.Stretch);
    } catch (const EGfxException& e) {
        out.Error = e.Message();
    }
}

// Both ways end alike: the same error, or the same pixels. Returns whether they failed. Three rows are
// sampled well above the bottom, so the data below them is read only to find damage there.
bool ExpectSameOutcome(const QString& path, const QString& what) {
    bool failed = false;
    for (const QSize size : {QSize(130, 98), QSize(5, 3)}) {
        TOutcome full;
        TOutcome fast;
        StretchFull(path, size, full);
        StretchWaiting(path, size, fast);
        EXPECT_EQ(fast.Error, full.Error) << qPrintable(what);
        if (full.Error.isEmpty() && fast.Error.isEmpty()) {
            EXPECT_EQ(FirstPixelDifference(full.Stretch, fast.Stretch), QString()) << qPrintable(what);
        }
        failed = !full.Error.isEmpty();
    }
    return failed;
}

class CutJpeg : public testing::TestWithParam<const char*> {};

// A file cut anywhere, or with any byte of its scan damaged: the stretch fails with the message of a full
// decode (the skipped rows' data is read all the same), or both give the same picture.
TEST_P(CutJpeg, FailsAsAFullDecodeDoes) {
    const QByteArray bytes = ReadBytes(GfxData(GetParam()));
    ASSERT_FALSE(bytes.isEmpty());
    TTempDir dir;
    const QString path = dir.File("damaged.jpg");
    int failed = 0;
    for (qsizetype size = 0; size < bytes.size(); size += 1 + size / 16) {
        WriteBytes(path, bytes.left(size));
        failed += ExpectSameOutcome(path, QStringLiteral("cut to %1 bytes").arg(size)) ? 1 : 0;
    }
    for (qsizetype at = bytes.size() / 3; at < bytes.size() - 2; at += bytes.size() / 23) {
        QByteArray damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        WriteBytes(path, damaged);
        failed += ExpectSameOutcome(path, QStringLiteral("byte %1 changed").arg(at)) ? 1 : 0;
    }
    EXPECT_GT(failed, 20);
}

INSTANTIATE_TEST_SUITE_P(Files, CutJpeg,
                         testing::Values("valid/jpeg_baseline_420.jpg", "valid/jpeg_progressive.jpg",
                                         "valid/jpeg_restart_markers.jpg", "valid/jpeg_cmyk_adobe.jpg"));

class DamagedScan : public testing::TestWithParam<const char*> {};

// A file whose header reads but whose scan is damaged loads, waits, and fails where its pixels are reached,
// naming the file; the holder then holds what it held before that load, FileName included, and the
// stretch's destination is untouched.
TEST_P(DamagedScan, FoundLaterLeavesThePreviousContent) {
    const QString damaged = GfxData(GetParam());
    TGfxBaseIm before;
    before.LoadPicture(GfxData("seeds/seed24.bmp"));
    TGfxBaseIm holder;
    holder.LoadPicture(GfxData("seeds/seed24.bmp"));
    holder.SetFileName(QStringLiteral("previous.bmp"));
    TGfxBaseIm dest;
    MakeSolid(dest, 3, 2, Grey(9));

    holder.LoadPicture(damaged);
    ASSERT_TRUE(holder.PixelsWaiting());
    try {
        ResizePicture(130, 98, holder, dest);
        FAIL() << "stretched";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(damaged)) << e.what();
    }
    EXPECT_EQ(holder.FileName(), QStringLiteral("previous.bmp"));
    EXPECT_EQ(FirstPixelDifference(before, holder), QString());
    EXPECT_EQ(dest.Width(), 3);
    EXPECT_EQ(Px(dest, 2, 1), Grey(9));

    holder.LoadPicture(damaged);
    EXPECT_THROW(holder.Bitmap(), EGfxException);
    EXPECT_EQ(holder.FileName(), QStringLiteral("previous.bmp"));
    EXPECT_EQ(FirstPixelDifference(before, holder), QString());
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedScan,
                         testing::Values("malformed/jpeg_header_only.jpg", "malformed/jpeg_cut_mid_scan.jpg",
                                         "malformed/jpeg_corrupt_scan.jpg", "malformed/jpeg_no_dqt.jpg",
                                         "malformed/pillow_truncated_jpeg.jpg",
                                         "malformed/imagers_oss-fuzz-36829.jpeg"));

// The content before a damaged load may itself be a JPEG still waiting: it comes back, still waiting, and
// still decodes.
TEST(DamagedScan, BringsBackAWaitingJpeg) {
    const QString good = GfxData("valid/jpeg_444.jpg");
    TGfxBaseIm holder;
    holder.LoadPicture(good);
    holder.SetFileName(QStringLiteral("good"));
    holder.LoadPicture(GfxData("malformed/jpeg_corrupt_scan.jpg"));
    EXPECT_THROW(holder.Bitmap(), EGfxException);
    EXPECT_TRUE(holder.PixelsWaiting());
    EXPECT_EQ(holder.FileName(), QStringLiteral("good"));
    TGfxBaseIm reference;
    reference.LoadPicture(good);
    reference.Bitmap();
    EXPECT_EQ(FirstPixelDifference(reference, holder), QString());
}

// Two damaged loads in a row, neither ever decoded: the content before both comes back.
TEST(DamagedScan, TwoInARowBringBackTheContentBeforeBoth) {
    TGfxBaseIm holder;
    holder.LoadPicture(GfxData("seeds/seed24.bmp"));
    holder.LoadPicture(GfxData("malformed/jpeg_cut_mid_scan.jpg"));
    holder.LoadPicture(GfxData("malformed/jpeg_corrupt_scan.jpg"));
    try {
        holder.Bitmap();
        FAIL() << "decoded";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(GfxData("malformed/jpeg_corrupt_scan.jpg"))) << e.what();
    }
    EXPECT_FALSE(holder.PixelsWaiting());
    EXPECT_EQ(holder.Width(), 40);
}

// The renderer meets the damage in its stretch: the error names the file, the previous thumbnail stays.
TEST(DamagedScan, RenderKeepsThePreviousThumbnail) {
    TGfxThumbnail thumb;
    MakeSolid(thumb.Background(), 10, 10, Grey(128));
    thumb.Source().LoadPicture(GfxData("valid/jpeg_baseline_420.jpg"));
    thumb.Render();
    TGfxBaseIm previous;
    previous.AssignPicture(thumb);
    const QString damaged = GfxData("malformed/jpeg_corrupt_scan.jpg");
    thumb.Source().LoadPicture(damaged);
    try {
        thumb.Render();
        FAIL() << "rendered";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(damaged)) << e.what();
    }
    EXPECT_EQ(FirstPixelDifference(previous, thumb), QString());
}

// The pixels come from the bytes read at loading: a file replaced or removed afterwards changes nothing.
TEST(WaitingJpeg, DecodesTheBytesReadAtLoading) {
    const QString original = GfxData("valid/jpeg_baseline_420.jpg");
    TTempDir dir;
    const QString path = dir.File("photo.jpg");
    ASSERT_TRUE(QFile::copy(original, path));
    TGfxBaseIm stretched;
    stretched.LoadPicture(path);
    TGfxBaseIm full;
    full.LoadPicture(path);
    WriteBytes(path, ReadBytes(GfxData("valid/jpeg_444.jpg"))); // another picture of the same size
    TGfxBaseIm fast;
    ResizePicture(130, 81, stretched, fast);
    TGfxBaseIm reference;
    ReferenceStretch(original, 130, 81, reference);
    EXPECT_EQ(FirstPixelDifference(reference, fast), QString());
    ASSERT_TRUE(QFile::remove(path));
    TGfxBaseIm decoded;
    decoded.LoadPicture(original);
    EXPECT_EQ(FirstPixelDifference(decoded, full), QString());
}

// The size is known from the header; reading the bitmap decodes it, and then the pixels no longer wait.
TEST(WaitingJpeg, BitmapDecodesEverything) {
    TGfxBaseIm holder;
    holder.LoadPicture(GfxData("valid/jpeg_422_odd_size.jpg"));
    EXPECT_TRUE(holder.PixelsWaiting());
    EXPECT_TRUE(holder.HasImage());
    EXPECT_EQ(holder.Width(), 257);
    EXPECT_EQ(holder.Height(), 161);
    EXPECT_EQ(holder.Bitmap().size(), QSize(257, 161));
    EXPECT_FALSE(holder.PixelsWaiting());
    holder.LoadPicture(GfxData("valid/jpeg_grey.jpg"));
    holder.Clear();
    EXPECT_FALSE(holder.HasImage());
    EXPECT_FALSE(holder.PixelsWaiting());
}

// A web copy's shrink from a waiting JPEG: one decode at libjpeg's reduced scale, the holder still waiting,
// and the pixels close to the shrink of every pixel (turned, CMYK, grey, odd sizes). The scaled inverse DCT
// is a filter of its own, a few levels apart on these sharp small pictures; a misplaced or turned row would
// be tens of levels apart.
TEST(ShrunkJpeg, ComesFromAScaledDecodeCloseToTheExactShrink) {
    for (const char* file :
         {"valid/orient_420_6.jpg", "valid/jpeg_cmyk_adobe.jpg", "valid/jpeg_422_odd_size.jpg",
          "valid/jpeg_grey.jpg", "valid/jpeg_progressive.jpg"}) {
        TGfxBaseIm waiting;
        waiting.LoadPicture(GfxData(file));
        const int w = waiting.Width() * 3 / 8, h = waiting.Height() * 3 / 8;
        const std::uint64_t before = PictureDecodeCount();
        const QImage shrunk = ShrunkPicture(waiting, w, h);
        EXPECT_EQ(PictureDecodeCount() - before, 1u) << file;
        EXPECT_TRUE(waiting.PixelsWaiting()) << file;
        ASSERT_EQ(shrunk.size(), QSize(w, h)) << file;
        const QImage exact = AreaShrunk(waiting.Bitmap(), w, h);
        long long apart = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * 3; ++x)
                apart += std::abs(int(shrunk.constScanLine(y)[x]) - int(exact.constScanLine(y)[x]));
        EXPECT_LT(double(apart) / (3.0 * w * h), 6.0) << file;
    }
}

} // namespace
