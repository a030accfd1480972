// Gallery files: every setting and cell comes back, pictures below the file move with it, and files that are
// damaged or from a newer version are refused and left as they are.
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "gallery/GalleryDocument.h"
#include "support/TestSupport.h"

namespace {

TGalleryDocument Sample(const QString& folder) {
    TGalleryDocument document;
    document.Settings = StartUpSettings();
    document.Settings.ProfileName = "summer";
    document.Settings.Thumb.ThumbWidth = 200;
    document.Settings.Thumb.PicBevel = {3, gbLowered, 70};
    document.Settings.Thumb.MaskStyle = gmEllipse;
    document.Settings.Page.Frame.Title = QString::fromUtf8("Été <b>\"quoted\"</b>");
    document.Settings.Page.Frame.LinkColor = 0x0080FF;
    document.Settings.Page.TableTitleColor = 0x12345678; // not an RGB value: kept as its number
    document.Settings.Page.PicInfo = 5;
    document.Settings.Background = {folder + "bkg/tile.png", clNone};
    document.Columns = 4;
    document.Rows = 3;
    document.Settings.Page.Columns = 4;
    document.Settings.Page.Rows = 3;
    document.Cells = {{0, 0, {"beach_a.jpg", folder + "photos/beach.jpg", {}, {}}},
                      {3, 2, {"far.jpg", "/elsewhere/far.jpg", {}, {}}}};
    return document;
}

} // namespace

TEST(GalleryDocumentTest, KeepsEverySettingAndCellAndMovesWithItsFolder) {
    TTempDir dir;
    const QString file = dir.File("trip.veltrix");
    const TGalleryDocument saved = Sample(dir.Path());
    WriteGalleryFile(file, saved);
    const QByteArray bytes = ReadBytes(file);
    EXPECT_TRUE(bytes.contains("\"picture\": \"photos/beach.jpg\"")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("\"picture\": \"/elsewhere/far.jpg\""));
    EXPECT_TRUE(bytes.contains("\"linkColor\": \"#FF8000\""));

    // The folder moved with its gallery: what was below it is found below the new place.
    TTempDir moved;
    WriteBytes(moved.File("trip.veltrix"), bytes);
    const TGalleryDocument read = ReadGalleryFile(moved.File("trip.veltrix"));
    EXPECT_EQ(read.Settings, InRange(Sample(moved.Path()).Settings));
    ASSERT_EQ(read.Cells.size(), 2u);
    EXPECT_EQ(read.Cells[0].Cell.Source, moved.File("photos/beach.jpg"));
    EXPECT_EQ(read.Cells[1].Cell.Source, "/elsewhere/far.jpg");
    EXPECT_EQ(read.Cells[1].Cell.Name, "far.jpg");
    EXPECT_EQ(std::tuple(read.Columns, read.Rows, read.Cells[1].Column, read.Cells[1].Row),
              std::tuple(4, 3, 3, 2));
    // Written again, the same bytes.
    WriteGalleryFile(moved.File("again.veltrix"), read);
    EXPECT_EQ(ReadBytes(moved.File("again.veltrix")), bytes);
}

TEST(GalleryDocumentTest, KeysAFileLacksTakeTheStartUpSettings) {
    TTempDir dir;
    WriteBytes(dir.File("old.veltrix"), R"({"format": "veltrix-gallery", "version": 1,
        "table": {"columns": 2, "rows": 1}, "cells": [], "settings": {"thumbnail": {"width": 9999}}})");
    const TGalleryDocument read = ReadGalleryFile(dir.File("old.veltrix"));
    TGallerySettings expected = StartUpSettings();
    expected.Thumb.ThumbWidth = SettingRange(TSetting::ThumbWidth).Max;
    expected.Page.Columns = 2;
    expected.Page.Rows = 1;
    EXPECT_EQ(read.Settings, expected);
}

struct TRefusedGallery {
    const char* Quirk;
    const char* Text;
    const char* Says;
};

class TRefusedGalleryTest : public testing::TestWithParam<TRefusedGallery> {};

TEST_P(TRefusedGalleryTest, IsRefusedWithItsReasonAndLeftUntouched) {
    TTempDir dir;
    const QString file = dir.File(QString(GetParam().Quirk) + ".veltrix");
    WriteBytes(file, GetParam().Text);
    try {
        ReadGalleryFile(file);
        ADD_FAILURE() << "read";
    } catch (const EGalleryFileException& e) {
        EXPECT_TRUE(e.Message().contains(file)) << e.what();
        EXPECT_TRUE(e.Message().contains(GetParam().Says)) << e.what();
    }
    EXPECT_EQ(ReadBytes(file), QByteArray(GetParam().Text));
}

#define TEN "xxxxxxxxxx"
#define HUNDRED TEN TEN TEN TEN TEN TEN TEN TEN TEN TEN
#define THOUSAND HUNDRED HUNDRED HUNDRED HUNDRED HUNDRED HUNDRED HUNDRED HUNDRED HUNDRED HUNDRED
#define TITLE_5000 THOUSAND THOUSAND THOUSAND THOUSAND THOUSAND

#define GALLERY(cells)                                                                                       \
    R"({"format": "veltrix-gallery", "version": 1, "table": {"columns": 2, "rows": 2}, "cells": )" cells "}"

INSTANTIATE_TEST_SUITE_P(
    Files, TRefusedGalleryTest,
    testing::Values(
        TRefusedGallery{"newer_version", R"({"format": "veltrix-gallery", "version": 2, "cells": []})",
                        "newer version of Veltrix (gallery file version 2)"},
        TRefusedGallery{"cut_short", R"({"format": "veltrix-gallery", "vers)",
                        "damaged: it is not valid JSON"},
        TRefusedGallery{"other_json", R"({"format": 1, "hosts": {}})", "not a Veltrix gallery"},
        TRefusedGallery{"cell_outside_table",
                        GALLERY(R"([{"column": 2, "row": 0, "picture": "a.jpg", "name": "a.jpg"}])"),
                        "cell 2, 0 is not a cell of the 2 x 2 table"},
        TRefusedGallery{"name_with_folder",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.jpg", "name": "../a.jpg"}])"),
                        "is not a file name"},
        TRefusedGallery{"name_of_table_page",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.jpg", "name": "index.jpg"}])"),
                        "would be published as the table page"},
        TRefusedGallery{"two_pictures_one_name",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a/p.jpg", "name": "p.jpg"},
                                    {"column": 1, "row": 0, "picture": "b/p.jpg", "name": "P.JPG"}])"),
                        "two pictures would be published as"},
        // A file from elsewhere may name any file under any name: only a picture, under a visible name of
        // its own kind that fits the file system, is ever published.
        TRefusedGallery{"picture_as_script",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.jpg", "name": "shell.php"}])"),
                        "is not a name of the picture's kind (.jpg)"},
        TRefusedGallery{"picture_as_page",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.png", "name": "x.html"}])"),
                        "is not a name of the picture's kind (.png)"},
        TRefusedGallery{"text_as_picture",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "/etc/passwd", "name": "p_x.jpg"}])"),
                        "it is no picture file"},
        TRefusedGallery{"hidden_name",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.jpg", "name": ".htaccess"}])"),
                        "is a hidden file's name"},
        TRefusedGallery{"name_too_long",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.jpg", "name": ")"
                                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                                "aaaaaaaaaaaaaaaaaaaa"
                                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                                "aaaaaaaaaaaaaaaaaaaa"
                                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.jpg\"}]"),
                        "is too long"},
        TRefusedGallery{"title_of_megabytes",
                        R"({"format": "veltrix-gallery", "version": 1, "table": {"columns": 2, "rows": 2},
                            "settings": {"page": {"title": ")" TITLE_5000 R"("}}, "cells": []})",
                        "\"page.title\" is not a text of at most 4,096 characters"},
        TRefusedGallery{"cell_twice",
                        GALLERY(R"([{"column": 0, "row": 0, "picture": "a.jpg", "name": "a.jpg"},
                                    {"column": 0, "row": 0, "picture": "b.jpg", "name": "b.jpg"}])"),
                        "cell 0, 0 is given twice"},
        TRefusedGallery{"more_cells_than_table", GALLERY(R"([{}, {}, {}, {}, {}])"),
                        "it holds 5 cells, more than its 2 x 2 table has"}),
    [](const testing::TestParamInfo<TRefusedGallery>& info) { return std::string(info.param.Quirk); });

// Numbers are checked before they are narrowed (256 once wrapped to "keep all metadata" and published the
// place), captions follow the one-line rule wherever they come from, and the gallery's id and output folder
// come back.
TEST(GalleryDocumentTest, HostileValuesAreBroughtIntoRangeAndTheFolderKept) {
    TTempDir dir;
    const QString file = dir.File("g.veltrix");
    for (const char* metadata : {"256", "-256", "-2147483648", "7"}) {
        WriteBytes(file, QByteArray(R"({"format": "veltrix-gallery", "version": 1, "id": "ann-1",
            "outputFolder": "site", "table": {"columns": 2, "rows": 1},
            "settings": {"page": {"pictureMetadata": )") +
                             metadata + R"(, "backLinkAlign": 257},
                         "table": {"align": 258, "titleAlign": -255}, "picture": {"maskStyle": 259}},
            "cells": [{"column": 0, "row": 0, "picture": "a.jpg", "name": "a.jpg",
                       "caption": "one\r\ntwo\tthree\u0000four"}]})");
        const TGalleryDocument document = ReadGalleryFile(file);
        EXPECT_EQ(document.Settings.PublishMeta, pmRemoveLocation) << metadata;
        EXPECT_EQ(document.Settings.Page.Frame.BackLinkAlign, haDefault);
        EXPECT_EQ(document.Settings.Page.TableAlign, haDefault);
        EXPECT_EQ(document.Settings.Page.TableTitleAlign, haDefault);
        EXPECT_EQ(document.Settings.Thumb.MaskStyle, gmNone);
        ASSERT_EQ(document.Cells.size(), 1u);
        EXPECT_EQ(document.Cells[0].Cell.Caption, "one two three four");
        EXPECT_EQ(document.Id, "ann-1");
        EXPECT_EQ(document.OutputDir, dir.File("site/"));
        WriteGalleryFile(file, document);
        EXPECT_TRUE(ReadBytes(file).contains("\"outputFolder\": \"site\"")) << ReadBytes(file).toStdString();
    }
}

// A million cells (55 MB, under the size limit) are refused on counting them, before any is read: the file
// goes on with text that is no JSON, which parsing it would have met first.
TEST(GalleryDocumentTest, MillionCellsAreRefusedBeforeTheFileIsParsed) {
    TTempDir dir;
    const QString file = dir.File("huge.veltrix");
    QByteArray text =
        R"({"format": "veltrix-gallery", "version": 1, "table": {"columns": 2, "rows": 2}, "cells": [)";
    const QByteArray cell = R"({"column": 0, "row": 0, "picture": "a.jpg", "name": "a.jpg"})";
    text.reserve(text.size() + 1000000 * (cell.size() + 1) + 16);
    for (int i = 0; i < 1000000; ++i)
        text += (i ? "," : "") + cell;
    text += "] this is no JSON";
    ASSERT_LT(text.size(), kMaxGalleryFileBytes);
    WriteBytes(file, text);
    try {
        ReadGalleryFile(file);
        ADD_FAILURE() << "read";
    } catch (const EGalleryFileException& e) {
        EXPECT_TRUE(e.Message().contains("it holds more than 10000 cells, more than the largest table has"))
            << e.what();
    }
}
