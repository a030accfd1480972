// Runs into a folder that holds an earlier run: only what changed is written, what is no longer written goes,
// and the folder ends as a run from scratch would write it.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <ostream>

#include <QDir>
#include <QTextStream>

#include "cli/VlxCommandLine.h"
#include "gallery/Gallery.h"
#include "publish/GalleryRun.h"
#include "publish/RunRecord.h"
#include "gfx/GfxDecodeCount.h"
#include "html/WebFiles.h"
#include "settings/VlxConfigDir.h"
#include "support/FieldCount.h"
#include "support/TestSupport.h"

namespace {

const char* const kPictures[] = {"gen/jpeg_baseline_420.jpg", "gen/bmp_24bpp.bmp", "gen/ico_32bpp_bmp.ico"};

// Empty when both folders hold the same files (the record left out) with the same bytes.
QString FolderDifference(const QString& a, const QString& b) {
    const auto files = [](const QString& dir) {
        QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        names.removeAll(kRunRecordName);
        return names;
    };
    if (files(a) != files(b))
        return files(a).join(' ') + " against " + files(b).join(' ');
    for (const QString& name : files(a))
        if (ReadBytes(a + name) != ReadBytes(b + name))
            return name + " differs";
    return {};
}

class TRunRecordTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApplication();
        for (const char* picture : kPictures) {
            FFiles << FPictures.File(QFileInfo(picture).fileName());
            WriteBytes(FFiles.back(), ReadBytes(TestData(picture)));
        }
        FGallery.SetTableSize(2, 2);
        ASSERT_TRUE(FGallery.PlaceFiles(FFiles).empty());
    }
    TRunResult RunInto(const QString& dir) {
        const TRunResult result = TGalleryRun(FGallery).Run(dir);
        EXPECT_TRUE(result.Ok()) << result.Failure.toStdString();
        return result;
    }

    TTempDir FPictures;
    TTempDir FOut;
    QStringList FFiles;
    TGallery FGallery;
};

// A change made between two runs; Before, when set, is made before the first.
struct TChange {
    const char* Name;
    std::function<void(TGallery&, const QStringList&)> Make;
    std::function<void(TGallery&, const QStringList&)> Before;
};
void PrintTo(const TChange& change, std::ostream* out) {
    *out << change.Name;
}

// One setting that shapes the thumbnails, changed alone.
TChange ThumbChange(const char* name, void (*change)(TGallerySettings&),
                    void (*before)(TGallerySettings&) = {}) {
    const auto onSettings =
        [](void (*set)(TGallerySettings&)) -> std::function<void(TGallery&, const QStringList&)> {
        if (!set)
            return {};
        return [set](TGallery& gallery, const QStringList&) { set(gallery.Settings); };
    };
    return {name, onSettings(change), onSettings(before)};
}

using S = TGallerySettings;

const TChange kThumbChanges[] = {
    ThumbChange("ThumbWidth", [](S& s) { s.Thumb.ThumbWidth = 160; }),
    ThumbChange("ThumbHeight", [](S& s) { s.Thumb.ThumbHeight = 110; }),
    ThumbChange("ThumbBevelSize", [](S& s) { s.Thumb.ThumbBevel.Size = 5; }),
    ThumbChange("ThumbBevelStyle", [](S& s) { s.Thumb.ThumbBevel.Style = gbLowered; }),
    ThumbChange("ThumbBevelIntensity", [](S& s) { s.Thumb.ThumbBevel.Intensity = 60; }),
    ThumbChange("PicWidth", [](S& s) { s.Thumb.PicWidth = 110; }),
    ThumbChange("PicHeight", [](S& s) { s.Thumb.PicHeight = 60; }),
    ThumbChange("PicBevelSize", [](S& s) { s.Thumb.PicBevel.Size = 4; }),
    ThumbChange("PicBevelStyle", [](S& s) { s.Thumb.PicBevel.Style = gbRaised; }),
    ThumbChange("PicBevelIntensity", [](S& s) { s.Thumb.PicBevel.Intensity = 70; }),
    ThumbChange("MaskStyle", [](S& s) { s.Thumb.MaskStyle = gmRoundRect; }),
    ThumbChange("MaskSize", [](S& s) { s.Thumb.MaskSize = 8; }),
    ThumbChange("ShadowDistance", [](S& s) { s.Thumb.ShadowDistance = 6; }),
    ThumbChange("ShadowSize", [](S& s) { s.Thumb.ShadowSize = 6; }),
    ThumbChange("ShadowIntensity", [](S& s) { s.Thumb.ShadowIntensity = 80; }),
    ThumbChange("BackgroundColor", [](S& s) { s.Background.Color = 0x204060; }),
    ThumbChange(
        "BackgroundFile",
        [](S& s) {
            s.Background = {TestData("gen/bmp_24bpp.bmp"), clNone};
        },
        [](S& s) {
            s.Background = {TestData("gen/jpeg_progressive.jpg"), clNone};
        }),
};
static_assert(std::size(kThumbChanges) == FieldCount<TGfxThumbSettings>() - 2 + 2 * FieldCount<TGfxBevel>() +
                                              FieldCount<TBackgroundSetting>(),
              "a thumbnail setting was added: add a change of it to kThumbChanges");

// Every effect on, so that each thumbnail setting shows in the pixels.
class TRegenerateTest : public TRunRecordTest, public testing::WithParamInterface<TChange> {
protected:
    void SetUp() override {
        TRunRecordTest::SetUp();
        TGfxThumbSettings& thumb = FGallery.Settings.Thumb;
        thumb.ThumbBevel = {3, gbRaised, 30};
        thumb.PicBevel = {2, gbLowered, 40};
        thumb.MaskStyle = gmEllipse;
        thumb.MaskSize = 4;
        thumb.ShadowDistance = 3;
        thumb.ShadowSize = 3;
        thumb.ShadowIntensity = 40;
    }
};

} // namespace

// After each kind of change the folder equals a gallery written from scratch, which the change made other
// than before; the unchanged files were kept, and a run after that writes nothing.
TEST_P(TRegenerateTest, EqualsAGalleryFromScratch) {
    if (GetParam().Before)
        GetParam().Before(FGallery, FFiles);
    const QString first = FOut.File("first/");
    RunInto(first);
    const QString again = FOut.File("again/");
    EXPECT_EQ(RunInto(again).FilesKept, 0);
    GetParam().Make(FGallery, FFiles);
    const TRunResult changed = RunInto(again);
    EXPECT_GT(changed.FilesWritten, 0);
    EXPECT_GT(changed.FilesKept, 0);
    const QString fresh = FOut.File("fresh/");
    RunInto(fresh);
    ASSERT_NE(FolderDifference(first, fresh), "") << "the change does not show in the gallery";
    EXPECT_EQ(FolderDifference(again, fresh), "");
    const TRunResult unchanged = RunInto(again);
    EXPECT_EQ(unchanged.FilesWritten, 0);
    EXPECT_EQ(unchanged.FilesKept, changed.FilesWritten + changed.FilesKept);
    EXPECT_EQ(unchanged.FilesRemoved, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, TRegenerateTest,
    testing::Values(
        TChange{"PictureChanged",
                [](TGallery&, const QStringList& files) {
                    WriteBytes(files[0], ReadBytes(TestData("gen/jpeg_progressive.jpg")));
                }},
        TChange{"PageSettingChanged",
                [](TGallery& gallery, const QStringList&) { gallery.Settings.Page.Frame.Title = "Renamed"; }},
        TChange{"PictureRemoved", [](TGallery& gallery, const QStringList&) { gallery.ClearCell(1, 0); }},
        TChange{"NameChanged",
                [](TGallery& gallery, const QStringList&) { gallery.SetName(0, 0, "first.jpg"); }}),
    [](const auto& info) { return std::string(info.param.Name); });
INSTANTIATE_TEST_SUITE_P(ThumbSettings, TRegenerateTest, testing::ValuesIn(kThumbChanges),
                         [](const auto& info) { return std::string(info.param.Name); });

// Only files the last run wrote go, and only while they are as it wrote them; a damaged record means a
// full run.
TEST_F(TRunRecordTest, RemovesOnlyItsOwnStaleFilesAndRewritesAllWithoutARecord) {
    const QString dir = FOut.Path();
    const int files = RunInto(dir).FilesWritten;
    WriteBytes(dir + "notes.txt", "mine");
    const QString bmpPage = dir + PageName(FGallery.Cell(1, 0).Name);
    WriteBytes(bmpPage, "edited by hand");
    FGallery.ClearCell(1, 0);
    FGallery.ClearCell(0, 1);
    const TRunResult removed = RunInto(dir);
    EXPECT_EQ(removed.FilesRemoved, 5); // two copies, two thumbnails, one page: the edited one stays
    EXPECT_TRUE(QFile::exists(dir + "notes.txt"));
    EXPECT_EQ(ReadBytes(bmpPage), "edited by hand");

    QFile::remove(bmpPage);
    WriteBytes(dir + kRunRecordName, "{\"format\": 1, \"files\": [");
    const TRunResult full = RunInto(dir);
    EXPECT_EQ(full.FilesKept, 0);
    EXPECT_EQ(full.FilesWritten, files - 6);
    EXPECT_EQ(RunInto(dir).FilesWritten, 0);
}

// A gallery written into the pictures' own folder publishes the pictures themselves: they are never
// taken for the run's copies, so a picture left out of the gallery stays.
TEST_F(TRunRecordTest, NeverRemovesAPictureInTheOutputFolder) {
    FGallery.SetPlainNames(true);
    FGallery.ClearCell(0, 0);
    ASSERT_TRUE(FGallery.PlaceFiles({FFiles[0]}).empty());
    ASSERT_EQ(FGallery.Cell(0, 0).Name, QFileInfo(FFiles[0]).fileName());
    RunInto(FPictures.Path());
    FGallery.ClearCell(0, 0);
    EXPECT_EQ(RunInto(FPictures.Path()).FilesRemoved, 2); // its thumbnail and its page
    EXPECT_EQ(ReadBytes(FFiles[0]), ReadBytes(TestData(kPictures[0])));
}

// A second `veltrix generate` of an unchanged gallery decodes nothing; after one picture changed, only that
// picture is decoded (and the tile its thumbnail is rendered over).
TEST_F(TRunRecordTest, CommandLineDecodesOnlyWhatItWrites) {
    TTempDir config;
    const auto generate = [&] {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const std::uint64_t before = PictureDecodeCount();
        EXPECT_EQ(RunCommandLine(QStringList{"generate", "--profile", "default", "--columns", "2", "--out",
                                             FOut.Path()} +
                                     FFiles,
                                 TVeltrixPlaces{config.Path(), FPictures.Path(), {}}, {outStream, errStream}),
                  kCliOk)
            << err.toStdString();
        return std::pair(PictureDecodeCount() - before, err.section('\n', -2, -2));
    };
    // Each picture once, and the background's tile once for the thumbnails rendered over it.
    EXPECT_EQ(generate().first, 4u);
    EXPECT_EQ(generate(), std::pair(std::uint64_t(0), QString("0 files written, 11 kept, 0 removed")));
    WriteBytes(FFiles[0], ReadBytes(TestData("gen/jpeg_progressive.jpg")));
    EXPECT_EQ(generate().first, 2u);
}
