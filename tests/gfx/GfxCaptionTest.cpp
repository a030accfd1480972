// A picture's own caption from each kind of metadata, and captions made one line.
#include <gtest/gtest.h>

#include "gfx/GfxCaption.h"
#include "support/HostileFiles.h"
#include "support/TestSupport.h"

namespace {

struct TCaptionRow {
    const char* File;
    const char* Caption;
};

class PictureCaptionTest : public ::testing::TestWithParam<TCaptionRow> {};

TEST_P(PictureCaptionTest, ReadsTheTitleElseTheDescription) {
    EXPECT_EQ(PictureCaption(TestData("gfx/caption/") + GetParam().File), QString::fromUtf8(GetParam().Caption));
}

INSTANTIATE_TEST_SUITE_P(
    Metadata, PictureCaptionTest,
    ::testing::Values(TCaptionRow{"exif_description.jpg", "Harbour at dusk"},
                      TCaptionRow{"exif_description.tif", "Harbour at dusk"},
                      TCaptionRow{"xmp_description.jpg", "Harbour at dusk"},
                      TCaptionRow{"xmp_title_and_exif_description.jpg", "Harbour at dusk"},
                      TCaptionRow{"xmp_title.webp", "Harbour at dusk"},
                      TCaptionRow{"png_title.png", "Harbour at dusk"},
                      TCaptionRow{"png_description.png", "Harbour at dusk"},
                      TCaptionRow{"png_title_utf8_markup.png", "Kai <&> \"Ōtautahi\" at dusk"},
                      TCaptionRow{"camera_placeholder.jpg", ""},
                      // Without metadata, of a kind that carries none, or not a picture at all.
                      TCaptionRow{"../valid/kind_photo.png", ""},
                      TCaptionRow{"../valid/bmp_24bpp.bmp", ""},
                      TCaptionRow{"../malformed/garbage.jpg", ""},
                      TCaptionRow{"no_such_file.jpg", ""}));

struct TPngTextRow {
    const char* Label;
    const char* Type;
    QByteArray Data;
    bool AtEnd; // after the image data
    QString Caption;
};

void PrintTo(const TPngTextRow& row, std::ostream* os) {
    *os << row.Label;
}

class PngTextCaptionTest : public ::testing::TestWithParam<TPngTextRow> {};

// Text chunks are found wherever they stand, compressed or not; a compressed one is inflated only as far as
// a caption reaches, however far it would go.
TEST_P(PngTextCaptionTest, TitleOrDescriptionFromAnyTextChunk) {
    TTempDir dir;
    const QByteArray plain = ReadBytes(TestData("gfx/valid/kind_photo.png"));
    WriteBytes(dir.File("p.png"), PngWithChunk(plain, GetParam().Type, GetParam().Data, GetParam().AtEnd));
    EXPECT_EQ(PictureCaption(dir.File("p.png")), GetParam().Caption);
}

const QString kLongCaption = QString(kMaxCaptionLength, 'w');

INSTANTIATE_TEST_SUITE_P(
    Chunks, PngTextCaptionTest,
    ::testing::Values(TPngTextRow{"tEXt_title_after_pixels", "tEXt", QByteArray("Title\0Harbour at dusk", 21),
                                  true, "Harbour at dusk"},
                      TPngTextRow{"iTXt_compressed_title_after_pixels", "iTXt",
                                  QByteArray("Title\0\1\0en\0\0", 12) + ZlibStream("Kai \xC5\x8Ctautahi"),
                                  true, QString::fromUtf8("Kai \xC5\x8Ctautahi")},
                      TPngTextRow{"zTXt_description_before_pixels", "zTXt",
                                  QByteArray("Description\0\0", 13) + ZlibStream("Harbour at dusk"), false,
                                  "Harbour at dusk"},
                      // 16 MB of text from a chunk of 16 KB.
                      TPngTextRow{"zTXt_title_inflating_to_16_MB", "zTXt",
                                  QByteArray("Title\0\0", 7) + ZlibStream(QByteArray(16 << 20, 'w')), true,
                                  kLongCaption}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(CaptionText, OneLineTrimmedAndCut) {
    EXPECT_EQ(CaptionText(QString::fromUtf8(" Two\r\nlines\tand\x01 a  gap ")), "Two lines and a gap");
    const QString longText = QString(kMaxCaptionLength - 1, 'a') + QString::fromUtf8("😀");
    EXPECT_EQ(CaptionText(longText).size(), kMaxCaptionLength - 1); // never half a character
}

} // namespace
