// Each picture decoded once: placing it keeps its picture-box stretch, and runs render from that until the
// file or the picture box changes, writing the bytes a run that decodes every file writes.
#include "AppFixture.h"
#include "GenTestSupport.h"

#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>

#include <functional>
#include <ostream>

#include "app/VlxRunCommands.h"
#include "gfx/GfxDecodeCount.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"

namespace {

// Every kind of way to a stretch: JPEGs that skip rows (one turned on its side, one CMYK), a progressive
// one, BMPs with and without transparent pixels, an icon with a round alpha, and a PNG with transparent
// pixels, whose size only a decode tells.
const char* const kPictures[] = {
    "gen/jpeg_baseline_420.jpg",  "gen/jpeg_progressive.jpg",
    "gfx/valid/orient_422_6.jpg", "gfx/valid/jpeg_cmyk_adobe.jpg",
    "gen/bmp_24bpp.bmp",          "gfx/valid/bmp_32bpp_alpha_v5.bmp",
    "gen/ico_32bpp_bmp.ico",      "gfx/valid/kind_alpha_gradient.png",
};
constexpr int kCount = static_cast<int>(std::size(kPictures));

class TDecodeOnceTest : public TAppTest {
public:
    using TAppTest::AllEffectsOn; // for the changes made from outside
    // Copies of the pictures (so that a test may touch them) placed into a 3 x 3 table.
    void PlaceCopies() {
        W().Html->GfxGridColSE->setValue(3);
        W().Html->GfxGridRowSE->setValue(3);
        for (const char* picture : kPictures) {
            const QString copy = FFiles.File(QFileInfo(picture).fileName());
            ASSERT_TRUE(QFile::copy(TestData(picture), copy));
            FPaths << copy;
        }
        EXPECT_TRUE(W().Grid()->PlaceFiles(FPaths, 0, 0).empty());
        ProcessEvents();
    }
    // The decodes a run into a fresh folder makes.
    std::uint64_t DecodesOfRun(const QString& name) {
        const std::uint64_t before = PictureDecodeCount();
        W().RunCmds->GenerateInto(FFiles.File(name + "/"));
        return PictureDecodeCount() - before;
    }

    QStringList FPaths;
};

struct TChange {
    const char* Name;
    std::function<void(TDecodeOnceTest&, TVeltrixF&, const QStringList&)> Make;
    int Decodes;
};
void PrintTo(const TChange& change, std::ostream* out) {
    *out << change.Name;
}

class TChangeTest : public TDecodeOnceTest, public testing::WithParamInterface<TChange> {};

} // namespace

// Placing and a first run decode each picture once; after the change only what it touched is decoded,
// and the run after that decodes nothing.
TEST_P(TChangeTest, DecodesOnlyWhatChanged) {
    const std::uint64_t before = PictureDecodeCount();
    PlaceCopies();
    EXPECT_EQ(DecodesOfRun("first"), 0u);
    EXPECT_EQ(PictureDecodeCount() - before, static_cast<std::uint64_t>(kCount));
    GetParam().Make(*this, W(), FPaths);
    EXPECT_EQ(DecodesOfRun("changed"), static_cast<std::uint64_t>(GetParam().Decodes));
    EXPECT_EQ(DecodesOfRun("again"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, TChangeTest,
    testing::Values(
        TChange{"Effects", [](TDecodeOnceTest& t, TVeltrixF&, const QStringList&) { t.AllEffectsOn(); }, 0},
        TChange{
            "PageSettings",
            [](TDecodeOnceTest&, TVeltrixF& w, const QStringList&) { w.Html->PgTitleE->setText("Another title"); },
            0},
        // The thumbnail's size is its ground's: the picture is stretched into the picture box alone.
        TChange{"ThumbnailSize",
                [](TDecodeOnceTest&, TVeltrixF& w, const QStringList&) {
                    w.Render->ThumbWSE->setValue(w.Render->ThumbWSE->value() + 20);
                },
                0},
        TChange{"PictureBox",
                [](TDecodeOnceTest&, TVeltrixF& w, const QStringList&) {
                    w.Render->PicHSE->setValue(w.Render->PicHSE->value() - 10);
                },
                kCount},
        TChange{"TouchedFile",
                [](TDecodeOnceTest&, TVeltrixF&, const QStringList& paths) {
                    QFile file(paths[2]);
                    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                                 QFileDevice::FileModificationTime));
                },
                1}),
    [](const testing::TestParamInfo<TChange>& info) { return info.param.Name; });

// Every effect on: the thumbnails from kept stretches are the bytes of a run that decodes every file, and
// of the renderer's own Render of the file.
TEST_F(TDecodeOnceTest, KeptStretchesGiveTheBytesOfDecodedFiles) {
    AllEffectsOn();
    PlaceCopies();
    const QString kept = FFiles.File("kept/");
    const QString decoded = FFiles.File("decoded/");
    W().RunCmds->GenerateInto(kept);
    W().Grid()->SetPictureBox(QSize()); // every kept stretch dropped
    const std::uint64_t before = PictureDecodeCount();
    W().RunCmds->GenerateInto(decoded);
    ASSERT_EQ(PictureDecodeCount() - before, static_cast<std::uint64_t>(kCount));
    EXPECT_EQ(FolderDifference(kept, decoded), "");
    for (int i = 0; i < kCount; ++i) {
        const QString own = FFiles.File(QString("own%1.jpg").arg(i));
        W().Renderer().Source().LoadPicture(FPaths[i]);
        W().Renderer().Render();
        W().Renderer().SaveAsJpeg(own, 75);
        QFile a(own);
        QFile b(kept + "vl_" + W().Grid()->Cells(i % 3, i / 3));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_TRUE(a.readAll() == b.readAll()) << FPaths[i].toStdString();
    }
}
