// Loading pictures: every valid kind ends as 24-bit BGR of the right size, every broken file fails cleanly.
#include <cstdlib>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTransform>
#include <QtEndian>

#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "gfx/GfxMeasure.h"
#include "support/TestSupport.h"

namespace {

struct TSizeCase {
    const char* File;
    int Width;
    int Height;
};

std::ostream& operator<<(std::ostream& os, const TSizeCase& c) {
    return os << c.File;
}

class ValidPicture : public testing::TestWithParam<TSizeCase> {};

TEST_P(ValidPicture, LoadsAt24BitsWithItsSize) {
    TGfxBaseIm holder;
    holder.LoadPicture(TestData(QStringLiteral("gfx/") + GetParam().File));
    EXPECT_EQ(holder.Width(), GetParam().Width);
    EXPECT_EQ(holder.Height(), GetParam().Height);
    EXPECT_EQ(holder.Bitmap().format(), QImage::Format_BGR888);
    EXPECT_TRUE(holder.FileName().isEmpty());
}

// Sizes from the test data's notes; a JPEG's size is that of the upright picture.
INSTANTIATE_TEST_SUITE_P(
    Files, ValidPicture,
    testing::Values(
        TSizeCase{"valid/jpeg_baseline_420.jpg", 320, 200}, TSizeCase{"valid/jpeg_progressive.jpg", 320, 200},
        TSizeCase{"valid/jpeg_grey.jpg", 320, 213}, TSizeCase{"valid/jpeg_444.jpg", 320, 200},
        TSizeCase{"valid/jpeg_422_odd_size.jpg", 257, 161},
        TSizeCase{"valid/jpeg_restart_markers.jpg", 320, 200},
        TSizeCase{"valid/jpeg_cmyk_adobe.jpg", 240, 150}, TSizeCase{"valid/jpeg_ycck_adobe.jpg", 240, 180},
        TSizeCase{"valid/jpeg_exif_orientation6.jpg", 200, 320},
        TSizeCase{"valid/ijg_testorig.jpg", 227, 149}, TSizeCase{"valid/ijg_testimgari.jpg", 227, 149},
        TSizeCase{"valid/bmp_1bpp.bmp", 129, 81}, TSizeCase{"valid/bmp_4bpp.bmp", 127, 80},
        TSizeCase{"valid/bmp_8bpp.bmp", 161, 100}, TSizeCase{"valid/bmp_24bpp.bmp", 161, 100},
        TSizeCase{"valid/bmp_24bpp_topdown.bmp", 161, 100}, TSizeCase{"valid/bmp_32bpp_rgb.bmp", 150, 112},
        TSizeCase{"valid/bmp_32bpp_alpha_v5.bmp", 150, 112}, TSizeCase{"valid/bmp_rle8.bmp", 160, 100},
        TSizeCase{"valid/bmpsuite_pal4rle.bmp", 127, 64}, TSizeCase{"valid/bmpsuite_pal8os2.bmp", 127, 64},
        TSizeCase{"valid/bmpsuite_rgb16-565.bmp", 127, 64}, TSizeCase{"valid/ico_multi_png256.ico", 256, 256},
        TSizeCase{"valid/ico_32bpp_bmp.ico", 48, 48}, TSizeCase{"valid/ico_8bpp_mask.ico", 32, 32},
        TSizeCase{"seeds/seed24.bmp", 40, 30}, TSizeCase{"seeds/seed8.bmp", 40, 30},
        TSizeCase{"seeds/seed_rle8.bmp", 40, 30}, TSizeCase{"seeds/seed.jpg", 48, 32},
        TSizeCase{"seeds/seed.ico", 32, 32}, TSizeCase{"valid/kind_photo.png", 64, 40},
        TSizeCase{"valid/kind_alpha_gradient.png", 64, 40}, TSizeCase{"valid/kind_two_frames.gif", 40, 30},
        TSizeCase{"valid/kind_photo.webp", 64, 40}, TSizeCase{"valid/kind_alpha_gradient.webp", 64, 40},
        TSizeCase{"valid/kind_two_pages.tif", 64, 40}, TSizeCase{"valid/kind_photo.heic", 64, 40}));

TGfxBaseIm& Loaded(TGfxBaseIm& holder, const char* file) {
    holder.LoadPicture(TestData(QStringLiteral("gfx/") + file));
    return holder;
}

void ExpectNear(const TBgr& actual, const TBgr& expected, int tolerance, const char* where) {
    for (int c = 0; c < 3; ++c)
        EXPECT_LE(std::abs(actual[c] - expected[c]), tolerance) << where << " channel " << c;
}

// Reference pixels in RGB from the data's notes; the Adobe files store inverted CMYK.
TEST(JpegDecode, CmykAndYcckUseTheAdobeInvertedConvention) {
    TGfxBaseIm cmyk;
    Loaded(cmyk, "valid/jpeg_cmyk_adobe.jpg");
    ExpectNear(Px(cmyk, 0, 0), {40, 134, 162}, 3, "cmyk (0,0)");
    ExpectNear(Px(cmyk, 120, 75), {0, 1, 161}, 3, "cmyk (120,75)");
    ExpectNear(Px(cmyk, 239, 0), {51, 132, 120}, 3, "cmyk (239,0)");
    TGfxBaseIm ycck;
    Loaded(ycck, "valid/jpeg_ycck_adobe.jpg");
    ExpectNear(Px(ycck, 0, 0), {1, 22, 133}, 3, "ycck (0,0)");
    ExpectNear(Px(ycck, 120, 75), {0, 24, 164}, 3, "ycck (120,75)");
    ExpectNear(Px(ycck, 239, 0), {25, 106, 154}, 3, "ycck (239,0)");
}

class OrientedJpeg : public testing::TestWithParam<int> {};

// Each EXIF orientation turns the picture upright as Qt's reader does; 1 gives the untagged file's pixels.
TEST_P(OrientedJpeg, ShowsUprightAsQtsReaderDoes) {
    const QString path = TestData(QStringLiteral("gfx/valid/orient_420_%1.jpg").arg(GetParam()));
    TGfxBaseIm ours;
    ours.LoadPicture(path);
    EXPECT_EQ(ours.Width(), GetParam() >= 5 ? 161 : 257);
    QImageReader reader(path, "jpeg");
    reader.setAutoTransform(true);
    TGfxBaseIm qts;
    qts.AssignPicture(reader.read());
    EXPECT_EQ(FirstPixelDifference(ours, qts), QString());
    if (GetParam() == 1) {
        TGfxBaseIm untagged;
        untagged.LoadPicture(TestData("gfx/valid/jpeg_422_odd_size.jpg"));
        TGfxBaseIm tagged;
        tagged.LoadPicture(TestData("gfx/valid/orient_422_1.jpg"));
        EXPECT_EQ(FirstPixelDifference(untagged, tagged), QString());
    }
}

INSTANTIATE_TEST_SUITE_P(Values, OrientedJpeg, testing::Range(1, 9));

TEST(JpegDecode, GreyBecomesEqualBlueGreenRed) {
    TGfxBaseIm grey;
    Loaded(grey, "valid/jpeg_grey.jpg");
    int levels = 0;
    for (int y = 0; y < grey.Height(); ++y)
        for (int x = 0; x < grey.Width(); ++x) {
            const TBgr p = Px(grey, x, y);
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << "at " << x << ", " << y;
            levels |= 1 << (p[0] >> 5);
        }
    EXPECT_GT(__builtin_popcount(levels), 3) << "a photo, not a flat grey";
}

// Qt's own JPEG reader runs the same libjpeg with the same defaults: the channels must come out in the
// same order and with the same values.
TEST(JpegDecode, ColourMatchesQtsReader) {
    for (const char* file :
         {"valid/jpeg_baseline_420.jpg", "valid/jpeg_progressive.jpg", "valid/jpeg_444.jpg"}) {
        TGfxBaseIm ours;
        Loaded(ours, file);
        TGfxBaseIm qts;
        qts.AssignPicture(QImage(TestData(QStringLiteral("gfx/") + file), "jpeg"));
        EXPECT_EQ(FirstPixelDifference(ours, qts), QString()) << file;
    }
}

// A file that only misses its closing marker holds the whole picture; anything cut shorter is refused.
TEST(JpegDecode, MissingEndMarkerLoadsTheWholePicture) {
    TGfxBaseIm whole;
    Loaded(whole, "seeds/seed.jpg");
    TGfxBaseIm noEoi;
    Loaded(noEoi, "malformed/jpeg_no_eoi.jpg");
    EXPECT_EQ(FirstPixelDifference(whole, noEoi), QString());
}

TEST(JpegDecode, EveryCutInsideTheScanIsRefused) {
    const QByteArray bytes = ReadBytes(TestData("gfx/valid/jpeg_baseline_420.jpg"));
    TTempDir dir;
    for (const qsizetype removed : {3, 4, 10, 50, 200, 1000, 5000}) {
        WriteBytes(dir.File("cut.jpg"), bytes.left(bytes.size() - removed));
        TGfxBaseIm holder;
        EXPECT_THROW((holder.LoadPicture(dir.File("cut.jpg")), holder.Bitmap()), EGfxException)
            << removed << " bytes removed";
    }
}

// A GIF gives its first frame (red, its left half transparent), not its last (blue).
TEST(GifDecode, FirstFrameOnly) {
    TGfxBaseIm gif;
    Loaded(gif, "valid/kind_two_frames.gif");
    EXPECT_EQ(Px(gif, 30, 15), (TBgr{0, 0, 255}));
    EXPECT_EQ(Px(gif, 5, 15), (TBgr{255, 255, 255}));
}

// A HEIC picture's own turning (irot, anti-clockwise) is applied, to its size and its pixels.
TEST(HeifDecode, TurnedAsTheFileSays) {
    TGfxBaseIm plain;
    Loaded(plain, "valid/kind_photo.heic");
    TGfxBaseIm turned;
    Loaded(turned, "valid/kind_turned_90.heic");
    TGfxBaseIm expected;
    expected.AssignPicture(plain.Bitmap().transformed(QTransform().rotate(-90)));
    EXPECT_EQ(FirstPixelDifference(expected, turned), QString());
    int width = 0, height = 0, fileSize = 0;
    EXPECT_EQ(MeasurePictureFile(TestData("gfx/valid/kind_turned_90.heic"), width, height, fileSize),
              QString());
    EXPECT_EQ(QSize(width, height), QSize(40, 64));
}

TEST(BmpDecode, TopDownRowsLookLikeBottomUp) {
    TGfxBaseIm bottomUp;
    TGfxBaseIm topDown;
    Loaded(bottomUp, "valid/bmp_24bpp.bmp");
    Loaded(topDown, "valid/bmp_24bpp_topdown.bmp");
    EXPECT_EQ(FirstPixelDifference(bottomUp, topDown), QString());
}

// A 40 x 30 24-bit BMP whose info header has the given size (12: OS/2 core, 64: OS/2 2.x).
QByteArray BmpWithHeader(quint32 headerSize) {
    QByteArray info(headerSize, '\0');
    qToLittleEndian<quint32>(headerSize, info.data());
    if (headerSize == 12) {
        qToLittleEndian<quint16>(40, info.data() + 4);
        qToLittleEndian<quint16>(30, info.data() + 6);
        qToLittleEndian<quint16>(1, info.data() + 8);
        qToLittleEndian<quint16>(24, info.data() + 10);
    } else {
        qToLittleEndian<qint32>(40, info.data() + 4);
        qToLittleEndian<qint32>(30, info.data() + 8);
        qToLittleEndian<quint16>(1, info.data() + 12);
        qToLittleEndian<quint16>(24, info.data() + 14);
    }
    QByteArray file("BM\0\0\0\0\0\0\0\0\0\0\0\0", 14);
    qToLittleEndian<quint32>(14 + headerSize, file.data() + 10);
    return file + info + QByteArray(120 * 30, '\x5A');
}

struct TBmpHeaderCase {
    quint32 Size;
    const char* Refusal; // "" when the picture loads
};

void PrintTo(const TBmpHeaderCase& c, std::ostream* out) {
    *out << c.Size << "-byte header";
}

class BmpHeader : public testing::TestWithParam<TBmpHeaderCase> {};

// The loader and the measure read a BMP's header by one rule: a header the decoder takes gives from itself
// alone the size the loaded picture has; one it refuses is not measured and its load names why.
TEST_P(BmpHeader, MeasuredAsLoadedOrRefused) {
    TTempDir dir;
    const QString path = dir.File("made.bmp");
    WriteBytes(path, BmpWithHeader(GetParam().Size));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::optional<QSize> measured = MeasurePictureHeader(file);
    TGfxBaseIm holder;
    QString refusal;
    try {
        holder.LoadPicture(path);
    } catch (const EGfxException& e) {
        refusal = e.Message();
    }
    if (*GetParam().Refusal) {
        EXPECT_EQ(measured, std::nullopt);
        EXPECT_TRUE(refusal.contains(GetParam().Refusal)) << refusal.toStdString();
        return;
    }
    EXPECT_EQ(refusal, QString());
    EXPECT_EQ(QSize(holder.Width(), holder.Height()), QSize(40, 30));
    EXPECT_EQ(measured, QSize(40, 30));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpHeader,
                         testing::Values(TBmpHeaderCase{12, ""}, TBmpHeaderCase{40, ""},
                                         TBmpHeaderCase{64, ""}, TBmpHeaderCase{108, ""},
                                         TBmpHeaderCase{124, ""},
                                         TBmpHeaderCase{52, "its header size of 52 bytes is not supported"}));

// Transparent pixels lie over white, the ground of a fresh bitmap; the fourth byte of a plain 32-bit BMP
// is no alpha.
TEST(BmpDecode, AlphaLiesOverWhite) {
    TGfxBaseIm rgb;
    TGfxBaseIm alpha;
    Loaded(rgb, "valid/bmp_32bpp_rgb.bmp");
    Loaded(alpha, "valid/bmp_32bpp_alpha_v5.bmp");
    for (int y = 0; y < rgb.Height(); y += 10) {
        ExpectNear(Px(alpha, 0, y), Px(rgb, 0, y), 1, "opaque left edge");
        EXPECT_EQ(Px(alpha, 149, y), Grey(255)) << "transparent right edge, row " << y;
        const TBgr wood = Px(rgb, 75, y);
        EXPECT_LT(wood[0] + wood[1] + wood[2], 3 * 250) << "the plain 32-bit picture shows, row " << y;
        EXPECT_GT(wood[0] + wood[1] + wood[2], 3 * 5) << "the plain 32-bit picture shows, row " << y;
    }
}

TEST(IcoDecode, LargestEntryWithTransparentCornersWhite) {
    TGfxBaseIm icon;
    Loaded(icon, "valid/ico_multi_png256.ico");
    EXPECT_EQ(Px(icon, 0, 0), Grey(255));
    EXPECT_EQ(Px(icon, 255, 255), Grey(255));
    EXPECT_NE(Px(icon, 128, 128), Grey(255));
}

// Broken and mislabelled files: refused with a message naming the file, or (where the file is damaged only
// in ways a reader may forgive) loaded at its declared size. Each outcome is pinned. A JPEG's scan is
// decoded when the pixels are first used, so that is where its damage shows.
struct TBrokenCase {
    const char* File;
    int Width; // 0: refused
    int Height;
    const char* Reason; // part of the message when refused
};

std::ostream& operator<<(std::ostream& os, const TBrokenCase& c) {
    return os << c.File;
}

class BrokenPicture : public testing::TestWithParam<TBrokenCase> {};

TEST_P(BrokenPicture, FailsCleanlyKeepingThePreviousPicture) {
    const TBrokenCase& c = GetParam();
    const QString path = TestData(QStringLiteral("gfx/malformed/") + c.File);
    TGfxBaseIm holder;
    holder.LoadPicture(TestData("gfx/seeds/seed24.bmp"));
    TGfxBaseIm before;
    before.AssignPicture(holder);
    holder.SetFileName(QStringLiteral("previous.bmp"));
    if (c.Width == 0) {
        try {
            holder.LoadPicture(path);
            holder.Bitmap();
            FAIL() << "loaded " << holder.Width() << " x " << holder.Height();
        } catch (const EGfxException& e) {
            EXPECT_TRUE(e.Message().contains(path)) << e.what();
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(c.Reason))) << e.what();
        }
        EXPECT_EQ(holder.FileName(), QStringLiteral("previous.bmp"));
        EXPECT_EQ(FirstPixelDifference(before, holder), QString());
    } else {
        holder.LoadPicture(path);
        EXPECT_EQ(holder.Width(), c.Width);
        EXPECT_EQ(holder.Height(), c.Height);
        EXPECT_EQ(holder.Bitmap().format(), QImage::Format_BGR888);
    }
}

constexpr const char* kUnreadable = "Unable to read image data";
constexpr const char* kTooLarge = "more than the 100 megapixels allowed";

INSTANTIATE_TEST_SUITE_P(
    Corpus, BrokenPicture,
    testing::Values(
        TBrokenCase{"empty.bmp", 0, 0, "the file is empty"},
        TBrokenCase{"empty.jpg", 0, 0, "the file is empty"},
        TBrokenCase{"empty.ico", 0, 0, "the file is empty"},
        TBrokenCase{"garbage.jpg", 0, 0, "the file is not a readable JPEG picture"},
        TBrokenCase{"text_named.bmp", 0, 0, kUnreadable},
        // JPEG: a truncated or corrupt scan is an error, not a picture with grey in it.
        TBrokenCase{"jpeg_soi_only.jpg", 0, 0, "Premature end of JPEG file"},
        TBrokenCase{"jpeg_header_only.jpg", 0, 0, "Premature end of JPEG file"},
        TBrokenCase{"jpeg_cut_mid_scan.jpg", 0, 0, "Premature end of JPEG file"},
        TBrokenCase{"jpeg_no_eoi.jpg", 48, 32, ""},
        TBrokenCase{"jpeg_corrupt_scan.jpg", 0, 0, "Corrupt JPEG data"},
        TBrokenCase{"jpeg_sof_65535x65535.jpg", 0, 0, "Maximum supported image dimension"},
        TBrokenCase{"jpeg_sof_65500x65500.jpg", 0, 0, "65500 x 65500 pixels, more than the 100 megapixels"},
        TBrokenCase{"jpeg_sof_width0.jpg", 0, 0, "Empty JPEG image"},
        TBrokenCase{"jpeg_bad_huffman.jpg", 0, 0, "Bogus Huffman table"},
        TBrokenCase{"jpeg_no_dqt.jpg", 0, 0, "Quantization table 0x00 was not defined"},
        TBrokenCase{"jpeg_marker_length_past_end.jpg", 0, 0, "Premature end of JPEG file"},
        TBrokenCase{"pillow_truncated_jpeg.jpg", 0, 0, "Premature end of JPEG file"},
        TBrokenCase{"imagers_oss-fuzz-36829.jpeg", 0, 0, "Corrupt JPEG data"},
        TBrokenCase{"libjpeg-turbo_monkey12.jpg", 0, 0, "Unsupported JPEG data precision 12"},
        // BMP
        TBrokenCase{"bmp_header_only.bmp", 0, 0, "it is cut short: 0 of 30 rows present"},
        TBrokenCase{"bmp_offset_past_end.bmp", 0, 0, "it is cut short: 0 of 30 rows present"},
        TBrokenCase{"bmp_negative_width.bmp", 0, 0, "its size of -40 x 30 pixels is not valid"},
        TBrokenCase{"bmp_height0.bmp", 0, 0, "its size of 40 x 0 pixels is not valid"},
        TBrokenCase{"bmp_height_int_min.bmp", 0, 0, "40 x 2147483648 pixels"},
        TBrokenCase{"bmp_100000x100000.bmp", 0, 0, "100000 x 100000 pixels, more than the 100 megapixels"},
        TBrokenCase{"bmp_bitcount0.bmp", 0, 0, "(0 bits per pixel are not supported)"},
        TBrokenCase{"bmp_compression99.bmp", 0, 0, "compression 99 is not supported with 24 bits"},
        TBrokenCase{"bmp_infoheader_size7.bmp", 0, 0, "its header size of 7 bytes is not supported"},
        TBrokenCase{"bmp_bitfields_zero_masks.bmp", 40, 30, ""},
        TBrokenCase{"bmp_index_beyond_palette.bmp", 40, 30, ""},
        TBrokenCase{"bmp_rle8_run_overflow.bmp", 40, 30, ""},
        TBrokenCase{"bmp_rle8_delta_outside.bmp", 40, 30, ""},
        TBrokenCase{"bmp_rle8_absolute_past_end.bmp", 0, 0, "it is cut short: 0 of 30 rows present"},
        TBrokenCase{"bmp_rle8_on_24bit.bmp", 0, 0, "compression 1 is not supported with 24 bits"},
        TBrokenCase{"bmpsuite_badbitcount.bmp", 0, 0, "30000 bits per pixel are not supported"},
        TBrokenCase{"bmpsuite_reallybig.bmp", 0, 0, "3000000 x 2000000 pixels, more than the 100 megapixels"},
        TBrokenCase{"bmpsuite_shortfile.bmp", 0, 0, "it is cut short: 13 of 64 rows present"},
        TBrokenCase{"bmpsuite_badrle.bmp", 127, 64, ""},
        TBrokenCase{"bmpsuite_badpalettesize.bmp", 0, 0, "its palette count of 305402420 is more than 256"},
        // Run-length data are stored bottom-up only: top-down rows are refused, not read with undefined
        // pixels.
        TBrokenCase{"bmpsuite_rletopdown.bmp", 0, 0, "run-length data cannot be decoded (stored top-down"},
        TBrokenCase{"imagers_Bad_width.bmp", 0, 0, kTooLarge},
        TBrokenCase{"imagers_rle_overflow.bmp", 2, 2, ""},
        // ICO
        TBrokenCase{"ico_zero_entries.ico", 0, 0, kUnreadable},
        TBrokenCase{"ico_dir_truncated.ico", 0, 0, "not a readable ICO picture (its header is cut short)"},
        TBrokenCase{"ico_count_65535.ico", 0, 0, kUnreadable},
        TBrokenCase{"ico_offset_past_end.ico", 0, 0, "not a readable ICO picture (its header is cut short)"},
        TBrokenCase{"ico_size_past_end.ico", 0, 0, kUnreadable},
        TBrokenCase{"ico_offset_into_directory.ico", 32, 32, ""},
        TBrokenCase{"ico_png_truncated.ico", 0, 0, kUnreadable},
        TBrokenCase{"ico_png_bad_crc.ico", 0, 0, "not a readable PNG picture (its picture data are damaged"},
        TBrokenCase{"ico_bmp_bitcount3.ico", 0, 0, "3 bits per pixel are not supported"},
        TBrokenCase{"ico_bmp_huge_dims.ico", 32, 32, ""},
        TBrokenCase{"imagers_crash-981fee30.ico", 0, 0, kUnreadable},
        TBrokenCase{"imagers_oom-ff076e70.ico", 0, 0, kUnreadable},
        TBrokenCase{"imagers_truncated_mask_32bpp.ico", 0, 0,
                    "cut short: 32 of 64 rows of its transparency mask"},
        TBrokenCase{"pillow_decompression_bomb.ico", 16, 16, ""},
        // PNG, GIF, WebP, TIFF, HEIC
        TBrokenCase{"kind_truncated.png", 0, 0,
                    "not a readable PNG picture (its picture data are damaged or cut short)"},
        TBrokenCase{"kind_lying_size.png", 0, 0, "200000 x 200000 pixels, more than the 100 megapixels"},
        TBrokenCase{"kind_truncated.gif", 0, 0, "it is cut short"},
        TBrokenCase{"kind_zero_size.gif", 0, 0,
                    "not a readable GIF picture (its header is damaged or gives no size)"},
        TBrokenCase{"kind_truncated.webp", 0, 0, "not a readable WEBP picture"},
        TBrokenCase{"kind_zero_size.webp", 0, 0, "not a readable WEBP picture"},
        TBrokenCase{"kind_truncated.tif", 0, 0,
                    "not a readable TIFF picture (its header is damaged or gives no size)"},
        TBrokenCase{"kind_truncated.heic", 0, 0,
                    "not a readable HEIF picture (Invalid input: Unexpected end of file"},
        // The decoder follows the extension: content of another kind is refused.
        TBrokenCase{"bmp_named.jpg", 0, 0, "the file is not a readable JPEG picture"},
        TBrokenCase{"jpeg_named.bmp", 0, 0, kUnreadable}, TBrokenCase{"png_named.ico", 0, 0, kUnreadable}));

// Every broken file of the corpus is in the table above.
TEST(BrokenPicture, TableCoversTheCorpus) {
    const QStringList files = QDir(TestData("gfx/malformed")).entryList(QDir::Files);
    EXPECT_EQ(files.size(), 67);
}

class ExtensionCase : public testing::TestWithParam<std::pair<const char*, const char*>> {};

// The extension chooses the decoder, ignoring its letter case.
TEST_P(ExtensionCase, AnyLetterCaseLoads) {
    TTempDir dir;
    const QString copy = dir.File(QString::fromUtf8(GetParam().second));
    ASSERT_TRUE(QFile::copy(TestData(QStringLiteral("gfx/seeds/") + GetParam().first), copy));
    TGfxBaseIm holder;
    holder.LoadPicture(copy);
    EXPECT_TRUE(holder.HasImage());
}

INSTANTIATE_TEST_SUITE_P(Names, ExtensionCase,
                         testing::Values(std::pair{"seed.jpg", "a.JPG"}, std::pair{"seed.jpg", "b.JpEg"},
                                         std::pair{"seed24.bmp", "c.BMP"}, std::pair{"seed.ico", "d.Ico"},
                                         std::pair{"seed.jpg", "two.dots.jpg"},
                                         std::pair{"../valid/kind_photo.heic", "e.HEIC"},
                                         std::pair{"../valid/kind_two_pages.tif", "f.TIFF"}));

class RefusedName : public testing::TestWithParam<std::pair<const char*, const char*>> {};

// A file the program cannot take for what it is: the message names it and says why.
TEST_P(RefusedName, NamesTheFileAndTheReason) {
    TTempDir dir;
    const QString path = dir.File(QString::fromUtf8(GetParam().first));
    if (!path.endsWith(QLatin1String("missing.jpg"))) {
        ASSERT_TRUE(QFile::copy(TestData("gfx/seeds/seed.jpg"), path));
    }
    TGfxBaseIm holder;
    try {
        holder.LoadPicture(path);
        FAIL() << "loaded";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.what();
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(GetParam().second))) << e.what();
    }
    EXPECT_FALSE(holder.HasImage());
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedName,
                         testing::Values(std::pair{"missing.jpg", "does not exist"},
                                         std::pair{"photo.xcf", "unknown picture file extension \"xcf\""},
                                         // The extension chooses the decoder: JPEG bytes are no PNG.
                                         std::pair{"photo.png", "not a readable PNG picture"},
                                         std::pair{"photo", "unknown picture file extension \"\""},
                                         // A metafile's content is checked by its own decoder.
                                         std::pair{"drawing.wmf", "not a WMF or EMF metafile"},
                                         std::pair{"drawing.EMF", "not a WMF or EMF metafile"}));

TEST(RefusedName, FolderOrPipeNamedLikeAPicture) {
    TTempDir dir;
    ASSERT_TRUE(QDir(dir.Path()).mkdir("album.jpg"));
    ASSERT_EQ(mkfifo(dir.File("pipe.bmp").toLocal8Bit().constData(), 0600), 0);
    for (const char* name : {"album.jpg", "pipe.bmp"}) {
        TGfxBaseIm holder;
        try {
            holder.LoadPicture(dir.File(name));
            FAIL() << "loaded " << name;
        } catch (const EGfxException& e) {
            EXPECT_TRUE(e.Message().contains(dir.File(name))) << e.what();
        }
    }
}

} // namespace
