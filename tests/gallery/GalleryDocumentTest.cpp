// Gallery files: every setting and cell comes back, pictures below the file move with it, and files that are
// damaged or from a newer version are refused and left as they are.
#include <iterator>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "gallery/GalleryDocument.h"
#include "support/FieldCount.h"
#include "support/TestSupport.h"

namespace {

// One setting given a value other than its start-up one. Kept: the gallery file holds it; the others are
// set by the run for each page it writes (and the table size is the file's table).
struct TSettingValue {
    const char* Name;
    void (*Set)(TGallerySettings& settings, const QString& folder);
    bool Kept = true;
};

using S = TGallerySettings;
using Q = const QString&;

const TSettingValue kSettingValues[] = {
    {"ProfileName", [](S& s, Q) { s.ProfileName = "summer"; }},
    {"PublishMeta", [](S& s, Q) { s.PublishMeta = pmOrientationOnly; }},
    {"Thumb.ThumbWidth", [](S& s, Q) { s.Thumb.ThumbWidth = 200; }},
    {"Thumb.ThumbHeight", [](S& s, Q) { s.Thumb.ThumbHeight = 90; }},
    {"Thumb.ThumbBevel.Size", [](S& s, Q) { s.Thumb.ThumbBevel.Size = 4; }},
    {"Thumb.ThumbBevel.Style", [](S& s, Q) { s.Thumb.ThumbBevel.Style = gbRaised; }},
    {"Thumb.ThumbBevel.Intensity", [](S& s, Q) { s.Thumb.ThumbBevel.Intensity = 25; }},
    {"Thumb.PicWidth", [](S& s, Q) { s.Thumb.PicWidth = 170; }},
    {"Thumb.PicHeight", [](S& s, Q) { s.Thumb.PicHeight = 80; }},
    {"Thumb.PicBevel.Size", [](S& s, Q) { s.Thumb.PicBevel.Size = 3; }},
    {"Thumb.PicBevel.Style", [](S& s, Q) { s.Thumb.PicBevel.Style = gbLowered; }},
    {"Thumb.PicBevel.Intensity", [](S& s, Q) { s.Thumb.PicBevel.Intensity = 70; }},
    {"Thumb.MaskStyle", [](S& s, Q) { s.Thumb.MaskStyle = gmEllipse; }},
    {"Thumb.MaskSize", [](S& s, Q) { s.Thumb.MaskSize = 6; }},
    {"Thumb.ShadowDistance", [](S& s, Q) { s.Thumb.ShadowDistance = 7; }},
    {"Thumb.ShadowSize", [](S& s, Q) { s.Thumb.ShadowSize = 8; }},
    {"Thumb.ShadowIntensity", [](S& s, Q) { s.Thumb.ShadowIntensity = 45; }},
    {"Background.File", [](S& s, Q folder) { s.Background.File = folder + "bkg/tile.png"; }},
    {"Background.Color", [](S& s, Q) { s.Background.Color = clNone; }}, // the file is kept only then
    {"Page.Frame.Title", [](S& s, Q) { s.Page.Frame.Title = QString::fromUtf8("Été <b>\"quoted\"</b>"); }},
    {"Page.Frame.Background", [](S& s, Q) { s.Page.Frame.Background = "gray.jpg"; }, false},
    {"Page.Frame.BackLinkFontSize", [](S& s, Q) { s.Page.Frame.BackLinkFontSize = 2; }},
    {"Page.Frame.BackLink", [](S& s, Q) { s.Page.Frame.BackLink = "../albums.html"; }},
    {"Page.Frame.BackLinkAlign", [](S& s, Q) { s.Page.Frame.BackLinkAlign = haLeft; }},
    {"Page.Frame.LineWidth", [](S& s, Q) { s.Page.Frame.LineWidth = 60; }},
    {"Page.Frame.BackLinkText", [](S& s, Q) { s.Page.Frame.BackLinkText = "Back"; }},
    {"Page.Frame.LinkColor", [](S& s, Q) { s.Page.Frame.LinkColor = 0x0080FF; }},
    {"Page.Frame.VLinkColor", [](S& s, Q) { s.Page.Frame.VLinkColor = 0x123456; }},
    {"Page.Frame.ALinkColor", [](S& s, Q) { s.Page.Frame.ALinkColor = 0x00FF00; }},
    {"Page.Frame.TextColor", [](S& s, Q) { s.Page.Frame.TextColor = 0x202020; }},
    {"Page.Frame.LinkInOrder", [](S& s, Q) { s.Page.Frame.LinkInOrder = false; }},
    {"Page.Frame.PrevText", [](S& s, Q) { s.Page.Frame.PrevText = "Earlier"; }},
    {"Page.Frame.NextText", [](S& s, Q) { s.Page.Frame.NextText = "Later"; }},
    {"Page.Frame.PrevPage", [](S& s, Q) { s.Page.Frame.PrevPage = "a.html"; }, false},
    {"Page.Frame.NextPage", [](S& s, Q) { s.Page.Frame.NextPage = "c.html"; }, false},
    {"Page.Frame.FitToWindow", [](S& s, Q) { s.Page.Frame.FitToWindow = false; }},
    {"Page.Frame.AltText", [](S& s, Q) { s.Page.Frame.AltText = true; }, false},
    {"Page.Frame.OriginalFile", [](S& s, Q) { s.Page.Frame.OriginalFile = "b.jpg"; }, false},
    {"Page.TableTitle", [](S& s, Q) { s.Page.TableTitle = "Summer"; }},
    {"Page.ThumbList",
     [](S& s, Q) {
         static TThumbnailList list;
         s.Page.ThumbList = &list;
     },
     false},
    {"Page.Columns", [](S& s, Q) { s.Page.Columns = 4; }},
    {"Page.Rows", [](S& s, Q) { s.Page.Rows = 3; }},
    {"Page.CellSpacing", [](S& s, Q) { s.Page.CellSpacing = 12; }},
    {"Page.PicInfo", [](S& s, Q) { s.Page.PicInfo = 5; }},
    {"Page.PicInfoFontSize", [](S& s, Q) { s.Page.PicInfoFontSize = 3; }},
    {"Page.PicInfoColor", [](S& s, Q) { s.Page.PicInfoColor = 0x00AA00; }},
    {"Page.PicInfoAlign", [](S& s, Q) { s.Page.PicInfoAlign = haRight; }},
    {"Page.TableTitleFontSize", [](S& s, Q) { s.Page.TableTitleFontSize = -2; }},
    // Not an RGB value: kept as its number.
    {"Page.TableTitleColor", [](S& s, Q) { s.Page.TableTitleColor = 0x12345678; }},
    {"Page.TableTitleAlign", [](S& s, Q) { s.Page.TableTitleAlign = haLeft; }},
    {"Page.TableAlign", [](S& s, Q) { s.Page.TableAlign = haRight; }},
    {"Page.CaptionUnderThumb", [](S& s, Q) { s.Page.CaptionUnderThumb = true; }},
    {"Page.WebSize.Enabled", [](S& s, Q) { s.Page.WebSize.Enabled = false; }},
    {"Page.WebSize.MaxSide", [](S& s, Q) { s.Page.WebSize.MaxSide = 1600; }},
    {"Page.WebSize.PublishOriginal", [](S& s, Q) { s.Page.WebSize.PublishOriginal = true; }},
    {"Page.PageRows", [](S& s, Q) { s.Page.PageRows = 2; }},
};

// Every field of the settings, nested structs counted by their own fields.
constexpr std::size_t kSettingFields = FieldCount<TGallerySettings>() - 3 + FieldCount<TGfxThumbSettings>() -
                                       2 + 2 * FieldCount<TGfxBevel>() + FieldCount<TBackgroundSetting>() +
                                       FieldCount<TGfxPageSettings>() - 2 + FieldCount<TGfxPageFrame>() +
                                       FieldCount<TWebSize>();
static_assert(std::size(kSettingValues) == kSettingFields,
              "a setting was added: give it a value in kSettingValues, so that the gallery file is seen to "
              "keep it");

// The start-up settings with the values of the rows, but the one left out (-1: none) and, with keptOnly,
// but those the file does not keep.
TGallerySettings WithValues(const QString& folder, bool keptOnly = false, int leftOut = -1) {
    TGallerySettings settings = StartUpSettings();
    for (int i = 0; i < int(std::size(kSettingValues)); ++i)
        if (i != leftOut && (kSettingValues[i].Kept || !keptOnly))
            kSettingValues[i].Set(settings, folder);
    return settings;
}

TGalleryDocument Sample(const QString& folder) {
    TGalleryDocument document;
    document.Settings = WithValues(folder);
    document.Columns = document.Settings.Page.Columns;
    document.Rows = document.Settings.Page.Rows;
    document.Cells = {{0, 0, {"beach_a.jpg", folder + "photos/beach.jpg", {}, {}}},
                      {3, 2, {"far.jpg", "/elsewhere/far.jpg", {}, {}}}};
    return document;
}

} // namespace

// Every field of the settings has a value of its own (none is its start-up value, none shares a field with
// another row), and each comes back from the file but those the run sets for each page.
TEST(GalleryDocumentTest, KeepsEverySettingAndCellAndMovesWithItsFolder) {
    TTempDir dir;
    const TGallerySettings all = WithValues(dir.Path());
    for (int i = 0; i < int(std::size(kSettingValues)); ++i)
        EXPECT_NE(WithValues(dir.Path(), false, i), all) << kSettingValues[i].Name << " changes nothing";
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
    for (const TSettingValue& value : kSettingValues) {
        TGallerySettings again = read.Settings;
        value.Set(again, moved.Path());
        EXPECT_EQ(again == read.Settings, value.Kept) << value.Name;
    }
    EXPECT_EQ(read.Settings, WithValues(moved.Path(), true));
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

// A file written before ids were kept takes its path as its id; saved deep in folders, it opens again.
TEST(GalleryDocumentTest, FileWithoutIdSavedUnderALongPathOpensAgain) {
    TTempDir dir;
    const QString folder = dir.File(QString(120, 'f') + "/" + QString(120, 'g') + "/");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + "old.veltrix";
    WriteBytes(file, R"({"format": "veltrix-gallery", "version": 1, "table": {"columns": 1, "rows": 1}, "cells": []})");
    TGalleryDocument document = ReadGalleryFile(file);
    document.Id = GalleryIdOf(document, file);
    WriteGalleryFile(file, document);
    EXPECT_EQ(ReadGalleryFile(file).Id, "file:" + file);
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
