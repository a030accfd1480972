// A picture's own caption from each kind of metadata, and captions made one line.
#include <gtest/gtest.h>

#include "gfx/GfxCaption.h"
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

TEST(CaptionText, OneLineTrimmedAndCut) {
    EXPECT_EQ(CaptionText(QString::fromUtf8(" Two\r\nlines\tand\x01 a  gap ")), "Two lines and a gap");
    const QString longText = QString(kMaxCaptionLength - 1, 'a') + QString::fromUtf8("😀");
    EXPECT_EQ(CaptionText(longText).size(), kMaxCaptionLength - 1); // never half a character
}

} // namespace
