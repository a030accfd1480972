// Picture measuring from headers, GetPictureInfo, and the thumbnail list that measures a run's files.
#include "gfx/GfxMeasure.h"

#include "gfx/GfxPic.h"
#include "html/GfxLists.h"
#include "html/HtmlTags.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include "HtmlTestUtil.h"

namespace {

std::optional<QSize> MeasureFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return MeasurePictureHeader(file);
}

} // namespace

struct MeasureRow {
    const char* file;
    int width; // 0: the header measure gives no answer and leaves the file to the loader
    int height;
};
void PrintTo(const MeasureRow& row, std::ostream* out) {
    *out << row.file;
}
class HeaderMeasureTest : public testing::TestWithParam<MeasureRow> {};

TEST_P(HeaderMeasureTest, GivesTheLoadersSizeOrLeavesTheFileToTheLoader) {
    const MeasureRow& row = GetParam();
    const std::optional<QSize> size = MeasureFile(TestData(QString("html/") + row.file));
    if (row.width == 0)
        EXPECT_FALSE(size.has_value()) << size->width() << " x " << size->height();
    else
        EXPECT_EQ(size, QSize(row.width, row.height));
}

// Sound files whose extension matches their content.
const MeasureRow kValidRows[] = {
    MeasureRow{"jpeg_baseline_420.jpg", 320, 200}, MeasureRow{"jpeg_progressive.jpg", 320, 200},
    MeasureRow{"jpeg_grey.jpg", 320, 213}, MeasureRow{"jpeg_exif_orientation6.jpg", 200, 320},
    MeasureRow{"../gfx/valid/orient_420_8.jpg", 161, 257},
    MeasureRow{"../gfx/valid/orient_420_3.jpg", 257, 161}, MeasureRow{"ijg_testimgari.jpg", 227, 149},
    MeasureRow{"jpeg_cmyk_adobe.jpg", 240, 150}, MeasureRow{"jpeg_422_odd_size.jpg", 257, 161},
    MeasureRow{"photo_640x480_57651_bytes.jpg", 640, 480}, MeasureRow{"bmp_1bpp.bmp", 129, 81},
    MeasureRow{"bmp_24bpp.bmp", 161, 100}, MeasureRow{"bmp_24bpp_topdown.bmp", 161, 100},
    MeasureRow{"bmp_rle8.bmp", 160, 100}, MeasureRow{"bmpsuite_pal8os2.bmp", 127, 64},
    MeasureRow{"bmpsuite_rgb16-565.bmp", 127, 64}, MeasureRow{"bmp_32bpp_alpha_v5.bmp", 150, 112},
    MeasureRow{"bmp_1x1_51_bytes.bmp", 1, 1}, MeasureRow{"ico_multi_png256.ico", 256, 256},
    MeasureRow{"ico_8bpp_mask.ico", 32, 32}, MeasureRow{"ico_32bpp_bmp.ico", 48, 48},
    MeasureRow{"seed.ico", 32, 32}, MeasureRow{"ico_tie_32x16_before_16x32.ico", 32, 16},
    // A directory's 0 (256) stands for the size the entry's bitmap gives.
    MeasureRow{"ico_dir256_dib48.ico", 48, 48}, MeasureRow{"ico_dir256_dib48_and_64.ico", 64, 64},
    MeasureRow{"../gfx/valid/kind_photo.png", 64, 40}, MeasureRow{"../gfx/valid/kind_two_frames.gif", 40, 30},
    MeasureRow{"../gfx/valid/kind_photo.webp", 64, 40},
    MeasureRow{"../gfx/valid/kind_alpha_gradient.webp", 64, 40},
    MeasureRow{"../gfx/valid/kind_two_pages.tif", 64, 40},
    MeasureRow{"../gfx/valid/kind_photo.heic", 64, 40}};
INSTANTIATE_TEST_SUITE_P(Valid, HeaderMeasureTest, testing::ValuesIn(kValidRows));

// The header gives the figures that loading the whole picture gives.
class HeaderAgreesWithLoaderTest : public testing::TestWithParam<MeasureRow> {};

TEST_P(HeaderAgreesWithLoaderTest, SameSizeAsTheLoadedPicture) {
    const QString path = TestData(QString("html/") + GetParam().file);
    TGfxBaseIm picture;
    picture.LoadPicture(path);
    EXPECT_EQ(MeasureFile(path), QSize(picture.Width(), picture.Height()));
}

INSTANTIATE_TEST_SUITE_P(Valid, HeaderAgreesWithLoaderTest, testing::ValuesIn(kValidRows));

// The content decides, not the name.
INSTANTIATE_TEST_SUITE_P(Mislabelled, HeaderMeasureTest,
                         testing::Values(MeasureRow{"jpeg_named.bmp", 48, 32},
                                         MeasureRow{"bmp_named.jpg", 40, 30},
                                         MeasureRow{"png_named.ico", 32, 32},
                                         MeasureRow{"seed.wmf", 320, 240}, MeasureRow{"seed.emf", 320, 240},
                                         MeasureRow{"../gfx/malformed/kind_lying_size.png", 0, 0},
                                         MeasureRow{"../gfx/malformed/kind_zero_size.gif", 0, 0},
                                         MeasureRow{"../gfx/malformed/kind_truncated.heic", 0, 0}));

// Sound headers over damaged data are measured (the thumbnail renderer's load has refused such a picture
// before any page is written); icons are measured by their directory, never by an embedded DIB's claim.
INSTANTIATE_TEST_SUITE_P(LenientHeaders, HeaderMeasureTest,
                         testing::Values(MeasureRow{"jpeg_no_dqt.jpg", 48, 32},
                                         MeasureRow{"ico_bmp_huge_dims.ico", 32, 32},
                                         MeasureRow{"pillow_decompression_bomb.ico", 16, 16}));

INSTANTIATE_TEST_SUITE_P(
    Doubtful, HeaderMeasureTest,
    testing::Values(MeasureRow{"empty.jpg", 0, 0}, MeasureRow{"garbage.jpg", 0, 0},
                    MeasureRow{"text_named.bmp", 0, 0}, MeasureRow{"jpeg_soi_only.jpg", 0, 0},
                    MeasureRow{"jpeg_sof_65500x65500.jpg", 0, 0},
                    MeasureRow{"jpeg_sof_65535x65535.jpg", 0, 0}, MeasureRow{"jpeg_sof_width0.jpg", 0, 0},
                    MeasureRow{"jpeg_marker_length_past_end.jpg", 0, 0},
                    MeasureRow{"libjpeg-turbo_monkey12.jpg", 0, 0}, MeasureRow{"bmp_header_only.bmp", 0, 0},
                    MeasureRow{"bmp_height0.bmp", 0, 0}, MeasureRow{"bmp_height_int_min.bmp", 0, 0},
                    MeasureRow{"bmp_negative_width.bmp", 0, 0}, MeasureRow{"bmp_100000x100000.bmp", 0, 0},
                    MeasureRow{"bmp_bitcount0.bmp", 0, 0}, MeasureRow{"bmp_compression99.bmp", 0, 0},
                    MeasureRow{"bmp_infoheader_size7.bmp", 0, 0}, MeasureRow{"bmp_offset_past_end.bmp", 0, 0},
                    MeasureRow{"bmp_rle8_on_24bit.bmp", 0, 0}, MeasureRow{"bmpsuite_reallybig.bmp", 0, 0},
                    MeasureRow{"imagers_Bad_width.bmp", 0, 0}, MeasureRow{"ico_zero_entries.ico", 0, 0},
                    MeasureRow{"ico_dir_truncated.ico", 0, 0}, MeasureRow{"ico_count_65535.ico", 0, 0},
                    MeasureRow{"ico_offset_past_end.ico", 0, 0}, MeasureRow{"ico_size_past_end.ico", 0, 0},
                    MeasureRow{"ico_offset_into_directory.ico", 0, 0},
                    MeasureRow{"ico_bmp_bitcount3.ico", 0, 0}, MeasureRow{"ico_png_truncated.ico", 0, 0}));

TEST(HeaderMeasure, EveryCutOfAValidHeaderIsRefusedOrMeasuredRight) {
    // Truncations anywhere in the headers: never a read past the end, never a wrong size.
    for (const char* name : {"jpeg_exif_orientation6.jpg", "bmp_24bpp.bmp", "ico_multi_png256.ico"}) {
        const QByteArray whole = ReadBytes(TestData(QString("html/") + name));
        const std::optional<QSize> full = [&] {
            QBuffer buffer;
            buffer.setData(whole);
            buffer.open(QIODevice::ReadOnly);
            return MeasurePictureHeader(buffer);
        }();
        ASSERT_TRUE(full.has_value()) << name;
        for (qsizetype length = 0; length < std::min<qsizetype>(whole.size(), 2048); ++length) {
            QBuffer buffer;
            buffer.setData(whole.left(length));
            buffer.open(QIODevice::ReadOnly);
            const std::optional<QSize> size = MeasurePictureHeader(buffer);
            if (size) {
                EXPECT_EQ(*size, *full) << name << " cut at " << length;
            }
        }
    }
}

TEST(GetPictureInfo, MeasuresAJpegAndItsByteSize) {
    int width = 0, height = 0, fileSize = 0;
    GetPictureInfo(TestData("html/photo_640x480_57651_bytes.jpg"), width, height, fileSize);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(fileSize, 57651);
}

TEST(GetPictureInfo, MissingFileNamesThePathUnchanged) {
    int width = 0, height = 0, fileSize = 0;
    const QString windowsLike = QStringLiteral("C:\\out\\a.jpg");
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { GetPictureInfo(windowsLike, width, height, fileSize); }),
              "File: C:\\out\\a.jpg not found");
    TTempDir dir;
    const QString missing = dir.File("no such/../a b.jpg");
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { GetPictureInfo(missing, width, height, fileSize); }),
              "File: " + missing + " not found");
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { GetPictureInfo("", width, height, fileSize); }),
              "File:  not found");
}

// What the header measure leaves alone is loaded: the figures, or the error, are the loader's.
TEST(GetPictureInfo, UnmeasuredHeaderGivesTheLoadersAnswer) {
    for (const char* name : {"seed.wmf", "seed.emf", "bmp_offset_past_end.bmp",
                             "ico_offset_into_directory.ico", "jpeg_sof_65500x65500.jpg", "text_named.bmp"}) {
        const QString path = TestData(QString("html/") + name);
        QString loaderError;
        TGfxBaseIm picture;
        try {
            picture.LoadPicture(path);
        } catch (const EGfxException& e) {
            loaderError = e.Message();
        }
        int width = 0, height = 0, fileSize = 0;
        const QString error =
            MessageOf<EGfxException>([&] { GetPictureInfo(path, width, height, fileSize); });
        EXPECT_EQ(error, loaderError) << name;
        if (loaderError.isEmpty()) {
            EXPECT_EQ(QSize(width, height), QSize(picture.Width(), picture.Height())) << name;
        }
    }
}

TEST(GetPictureInfo, UnreadablePictureRaisesAnErrorNamingTheFile) {
    int width = 0, height = 0, fileSize = 0;
    for (const char* name : {"text_named.bmp", "empty.jpg"}) {
        const QString path = TestData(QString("html/") + name);
        const QString message = MessageOf<Exception>([&] { GetPictureInfo(path, width, height, fileSize); });
        EXPECT_TRUE(message.contains(name)) << message.toStdString();
        EXPECT_FALSE(message.endsWith("not found")) << message.toStdString();
    }
}

TEST(GetPictureInfo, DirectoryOrPipeIsNoPicture) {
    TTempDir dir;
    const QString pipe = dir.File("pipe.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    int width = 0, height = 0, fileSize = 0;
    for (const QString& path : {dir.Path(), pipe}) {
        const QString message = MessageOf<Exception>([&] { GetPictureInfo(path, width, height, fileSize); });
        EXPECT_TRUE(message.contains(path)) << message.toStdString();
        EXPECT_FALSE(message.endsWith("not found")) << message.toStdString();
    }
}

// ---- TThumbnailList

class ThumbListTest : public testing::Test {
protected:
    void SetUp() override {
        WriteBytes(FDir.File("a.jpg"), ReadBytes(TestData("html/photo_640x480_57651_bytes.jpg")));
        WriteBytes(FDir.File("vl_a.jpg"), ReadBytes(TestData("html/thumb_150x120.jpg")));
        WriteBytes(FDir.File("b.bmp"), ReadBytes(TestData("html/bmp_24bpp.bmp")));
        WriteBytes(FDir.File("vl_b.bmp"), ReadBytes(TestData("html/thumb_150x120.jpg")));
        FList.SetBaseDir(FDir.Path());
    }
    TThumbListItem* Entry(const QString& pic, const QString& thumb) {
        TThumbListItem* item = FList.Add();
        item->SetPicName(pic);
        item->SetThumbName(thumb);
        return item;
    }

    TTempDir FDir;
    TThumbnailList FList;
};

TEST_F(ThumbListTest, MeasuresFilledEntriesAndSkipsEmptyOnes) {
    QStringList progress;
    FList.SetOnProgress([&](TThumbnailList* sender, const QString& fileName) {
        EXPECT_EQ(sender, &FList);
        progress << fileName;
    });
    Entry("a.jpg", "vl_a.jpg");
    TThumbListItem* empty = Entry("", "");
    empty->SetWidth(7);
    Entry("b.bmp", "vl_b.bmp");
    FList.UpdateInfo();
    EXPECT_EQ(FList.Items(0)->Width(), 640);
    EXPECT_EQ(FList.Items(0)->Height(), 480);
    EXPECT_EQ(FList.Items(0)->FileSize(), 57651);
    EXPECT_EQ(empty->Width(), 7);
    EXPECT_EQ(FList.Items(2)->Width(), 161);
    EXPECT_EQ(FList.Items(2)->Height(), 100);
    EXPECT_EQ(progress, QStringList({FDir.File("a.jpg"), FDir.Path(), FDir.File("b.bmp")}));
}

TEST_F(ThumbListTest, MissingThumbnailStopsAtItsEntry) {
    Entry("a.jpg", "vl_a.jpg");
    Entry("b.bmp", "vl_missing.bmp");
    TThumbListItem* after = Entry("a.jpg", "vl_a.jpg");
    EXPECT_EQ(MessageOf<EGfxListsException>([&] { FList.UpdateInfo(); }),
              "File: " + FDir.File("vl_missing.bmp") + " not found");
    EXPECT_EQ(FList.Items(0)->Width(), 640);
    EXPECT_EQ(FList.Items(1)->Width(), 161); // the picture before its thumbnail was measured
    EXPECT_EQ(after->Width(), 0);
}

// An entry that names a folder is refused in the list's own exception, naming it.
TEST_F(ThumbListTest, FolderEntryRaisesTheListsException) {
    ASSERT_TRUE(QDir(FDir.Path()).mkdir("folder.jpg"));
    Entry("folder.jpg", "vl_a.jpg");
    EXPECT_EQ(MessageOf<EGfxListsException>([&] { FList.UpdateInfo(); }),
              "Cannot read the picture size of " + FDir.File("folder.jpg") + ": not a file");
}

TEST_F(ThumbListTest, ProgressHandlerThatEmptiesTheListEndsTheRun) {
    Entry("a.jpg", "vl_a.jpg");
    Entry("b.bmp", "vl_b.bmp");
    FList.SetOnProgress([&](TThumbnailList* sender, const QString&) { sender->Clear(); });
    FList.UpdateInfo();
    EXPECT_EQ(FList.Count(), 0);
}

// A metafile is measured by its own header, recognised by content: a wrong extension does not matter.
TEST(GetPictureInfo, MetafileMeasuredByContent) {
    TTempDir dir;
    struct TRow {
        const char* Source;
        QSize Size;
    };
    for (const TRow& row : {TRow{"gfxmeta/metafiles/wmf/gdi_shapes.wmf", QSize(400, 300)},
                            TRow{"gfxmeta/metafiles/wmf/inkscape_polys.wmf", QSize(256, 256)}}) {
        const QByteArray bytes = ReadBytes(TestData(row.Source));
        ASSERT_FALSE(bytes.isEmpty()) << row.Source;
        for (const QString& name : {QString("drawing.wmf"), QString("drawing.bmp")}) {
            WriteBytes(dir.File(name), bytes);
            int width = 0, height = 0, fileSize = 0;
            GetPictureInfo(dir.File(name), width, height, fileSize);
            EXPECT_EQ(QSize(width, height), row.Size) << row.Source << " as " << name.toStdString();
            EXPECT_EQ(fileSize, bytes.size());
        }
    }
}
