// Published cell names: the directory tag and where it goes.
#include "GridFixture.h"

namespace {

struct TNameCase {
    const char* Path;
    const char* Tagged;
};

class CellNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(CellNameTest, InsertsTheDirectoryTagBeforeTheFirstDot) {
    TGfxGrid grid;
    grid.SetPlainNames(false);
    EXPECT_EQ(grid.CellName(QString::fromUtf8(GetParam().Path)).toStdString(), GetParam().Tagged);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CellNameTest,
    ::testing::Values(
        // Pieces cp, ho, to, s: two summed, one single.
        TNameCase{R"(c:\photos\beach.jpg)", R"(c:\photos\beach_lpcs.jpg)"},
        // Under four characters the directory itself is the tag.
        TNameCase{R"(d:\a\pic.bmp)", R"(d:\a\pic_da.bmp)"}, TNameCase{R"(c:\beach.jpg)", R"(c:\beach_c.jpg)"},
        // A dotted folder takes the tag, so the file name keeps none.
        TNameCase{R"(c:\my.pics\a.jpg)", R"(c:\my_irro.pics\a.jpg)"},
        // Published names are lower case whatever the real path.
        TNameCase{R"(C:\Photos\Beach.JPG)", R"(c:\photos\beach_lpcs.jpg)"},
        // Slashes leave the directory part too: homeannphotos.
        TNameCase{"/home/ann/photos/beach.jpg", "/home/ann/photos/beach_aers.jpg"},
        TNameCase{"/home/ann/photos/archive.tar.jpg", "/home/ann/photos/archive_aers.tar.jpg"},
        // Length divisible by 3: the fourth piece is empty and gives "a".
        TNameCase{"/abc/def/x.jpg", "/abc/def/x_uyda.jpg"},
        // Characters after 4n take no part.
        TNameCase{"/abcde/x.jpg", "/abcde/x_abcd.jpg"},
        // Without a dot the tag is appended.
        TNameCase{"/home/ann/README", "/home/ann/readme_pkhn"}, TNameCase{"/x.jpg", "/x_.jpg"},
        TNameCase{"x.jpg", "x_.jpg"},
        // Non-ASCII folders: D counted and cut in UTF-8 bytes (homeänn is 8 bytes: ho, me, ä, nn); a
        // short D stays whole; a lone byte of a longer character is summed (abé: a, b, 0xC3, 0xA9).
        TNameCase{"/home/änn/x.jpg", "/home/änn/x_pkju.jpg"}, TNameCase{"/É/x.jpg", "/é/x_é.jpg"},
        TNameCase{"/ab/é/x.jpg", "/ab/é/x_abut.jpg"}));

TEST(CellNameTest, PlainNamesAreTheLowerCasedPath) {
    TGfxGrid grid;
    EXPECT_TRUE(grid.PlainNames());
    EXPECT_EQ(grid.CellName(R"(c:\photos\beach.jpg)"), R"(c:\photos\beach.jpg)");
    EXPECT_EQ(grid.CellName("/home/Ann/Beach.JPG"), "/home/ann/beach.jpg");
}

} // namespace
