// Published names through real generation runs: pictures whose tagged names would clash get distinct
// ones, the same file keeps one name, a grid without clashes keeps the tagged names, and a metafile's
// page shows a PNG rendering of it.
#include "AppFixture.h"
#include "GenTestSupport.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>

#include "app/VlxRunCommands.h"
#include "gfx/GfxDecodeCount.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"

namespace {

QString PageOf(const QString& name) {
    return name.left(name.lastIndexOf('.')) + ".html";
}

QString FileOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

class TGenNamesTest : public TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        W().Html->GfxGridColSE->setValue(2);
        W().Html->GfxGridRowSE->setValue(2);
    }
    // A committed picture copied to a path under the fixture's files.
    QString Place(const QString& relative, const QString& testData) {
        const QString path = FFiles.File(relative);
        EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        WriteBytes(path, ReadBytes(TestData(testData)));
        return path;
    }
    // The name the grid's naming rule gives a path, before any clash is looked at.
    QString Tagged(const QString& path) { return FileOf(W().Grid()->CellName(path)); }
    // Generates into a fresh, empty folder through the window's command.
    QString Generate() {
        const QString dir = FFiles.File("out/");
        EXPECT_TRUE(QDir().mkpath(dir));
        W().SetOutputDir(dir);
        W().Commands->GeneratePageA->trigger();
        EXPECT_TRUE(D().Errors.isEmpty()) << D().Errors.join('\n').toStdString();
        EXPECT_TRUE(D().Messages.empty());
        return dir;
    }
};

struct TClashCase {
    const char* Name;
    // Two pictures; "%1" is a padding of the folder name, chosen so that the tagged names clash.
    const char* First;
    const char* Second;
};

class TClashTest : public TGenNamesTest, public testing::WithParamInterface<TClashCase> {};

} // namespace

TEST_P(TClashTest, SecondPictureGetsACounterBeforeItsExtension) {
    QString first, second;
    bool clash = false;
    for (const QString pad : {"", "p", "pp"}) {
        first = QString(GetParam().First).replace("%1", pad);
        second = QString(GetParam().Second).replace("%1", pad);
        const QString one = Tagged(FFiles.File(first));
        const QString two = Tagged(FFiles.File(second));
        clash = one == two || PageOf(one) == PageOf(two) || "vl_" + one == two;
        if (clash)
            break;
    }
    ASSERT_TRUE(clash) << "the tagged names of " << first.toStdString() << " and " << second.toStdString()
                       << " never clash";
    const QString firstPath = Place(first, "gen/bmp_24bpp.bmp");
    const QString secondPath = FFiles.File(second);
    if (second.endsWith(".jpg")) {
        Place(second, "gen/jpeg_baseline_420.jpg");
    } else {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(secondPath).path()));
        MakePicture(second, 30, 20);
    }
    Load(0, 0, firstPath);
    Load(1, 0, secondPath);
    const QString firstName = W().Grid()->Cells(0, 0);
    const QString secondName = W().Grid()->Cells(1, 0);
    EXPECT_EQ(firstName, Tagged(firstPath));
    const QString tagged = Tagged(secondPath);
    const qsizetype dot = tagged.lastIndexOf('.');
    EXPECT_EQ(secondName, tagged.left(dot) + "-2" + tagged.mid(dot));

    const QString dir = Generate();
    // Each picture is published under its own names and reached from its own cell.
    EXPECT_EQ(ReadBytes(dir + firstName), ReadBytes(firstPath));
    EXPECT_EQ(ReadBytes(dir + secondName), ReadBytes(secondPath));
    const QStringList cells = TableCells(ReadBytes(dir + "index.html"));
    ASSERT_GE(cells.size(), 2);
    for (const auto& [cell, name] : {std::pair{cells[0], firstName}, std::pair{cells[1], secondName}}) {
        EXPECT_TRUE(cell.contains(QString(R"(<a href="%1"><img SRC="vl_%2")").arg(PageOf(name), name)))
            << cell.toStdString();
        EXPECT_TRUE(ReadBytes(dir + PageOf(name)).contains(QString(R"(<img SRC="%1")").arg(name).toUtf8()));
    }
    const QStringList used = W().RunCmds->UsedFiles();
    EXPECT_EQ(QSet<QString>(used.begin(), used.end()).size(), used.size()) << used.join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Clashes, TClashTest,
                         testing::Values(
                             // A dotted folder takes the tag, so both names are img.bmp.
                             TClashCase{"DottedFolders", "trip.2023/img.bmp", "trip.2024/img.bmp"},
                             // Folders of the same letters in another order have equal tags when the swapped
                             // letters fall into one summed piece.
                             TClashCase{"EqualTags", "%1ab/img.bmp", "%1ba/img.bmp"},
                             // Two names, one page name.
                             TClashCase{"SameBaseName", "pics/a.bmp", "pics/a.jpg"},
                             // One picture's copy would be the other's thumbnail.
                             TClashCase{"ThumbnailName", "pics/a.bmp", "pics/vl_a.bmp"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TGenNamesTest, SameFileInSeveralCellsIsPublishedOnce) {
    const QString path = Place("pics/a.bmp", "gen/bmp_24bpp.bmp");
    ASSERT_TRUE(QFile::link(path, FFiles.File("link.bmp")));
    Load(0, 0, path);
    Load(1, 0, path);
    Load(0, 1, FFiles.File("link.bmp"));
    const QString name = W().Grid()->Cells(0, 0);
    EXPECT_EQ(name, Tagged(path));
    EXPECT_EQ(W().Grid()->Cells(1, 0), name);
    EXPECT_EQ(W().Grid()->Cells(0, 1), name);
    const QString dir = Generate();
    QStringList expected{"clgray.jpg", name, "vl_" + name, PageOf(name), "index.html"};
    expected.sort();
    EXPECT_EQ(FilesIn(dir), expected);
}

// Without clashes every name is the tagged one; a metafile is published as it is, and its page shows a
// PNG rendering at the metafile's size, uploaded with the rest.
TEST_F(TGenNamesTest, WithoutClashesNamesAreTheTaggedOnesAndAMetafileIsShownRendered) {
    const QStringList pictures{TestData("gen/jpeg_baseline_420.jpg"), TestData("gen/bmp_24bpp.bmp"),
                               TestData("gen/ico_32bpp_bmp.ico"), TestData("html/seed.wmf")};
    for (int i = 0; i < pictures.size(); ++i)
        Load(i % 2, i / 2, pictures[i]);
    for (int i = 0; i < pictures.size(); ++i)
        EXPECT_EQ(W().Grid()->Cells(i % 2, i / 2), Tagged(pictures[i]));

    const QString dir = Generate();
    const QString meta = W().Grid()->Cells(1, 1);
    EXPECT_EQ(ReadBytes(dir + meta), ReadBytes(pictures[3]));
    const QString png = meta + ".png";
    const QStringList used = W().RunCmds->UsedFiles();
    EXPECT_TRUE(used.contains(dir + meta));
    EXPECT_EQ(used.indexOf(dir + png) + 1, used.indexOf(dir + PageOf(meta))) << used.join(' ').toStdString();
    QImageReader reader(dir + png);
    EXPECT_EQ(reader.format(), "png");
    const QString page = QString::fromUtf8(ReadBytes(dir + PageOf(meta)));
    EXPECT_TRUE(page.contains(QString(R"(<img SRC="%1" BORDER=0 HEIGHT=%2 WIDTH=%3>)")
                                  .arg(png)
                                  .arg(reader.size().height())
                                  .arg(reader.size().width())))
        << page.toStdString();
    EXPECT_EQ(reader.size(), QSize(320, 240));
}

// HEIC and TIFF pictures are shown by a PNG rendering like metafiles; PNG, GIF and WebP as they are.
TEST_F(TGenNamesTest, PicturesBrowsersCannotShowAreShownRendered) {
    const QStringList pictures{
        TestData("gfx/valid/kind_photo.heic"), TestData("gfx/valid/kind_two_pages.tif"),
        TestData("gfx/valid/kind_photo.webp"), TestData("gfx/valid/kind_two_frames.gif")};
    for (int i = 0; i < pictures.size(); ++i)
        Load(i % 2, i / 2, pictures[i]);
    const QString dir = Generate();
    for (int i = 0; i < pictures.size(); ++i) {
        const QString name = W().Grid()->Cells(i % 2, i / 2);
        EXPECT_EQ(ReadBytes(dir + name), ReadBytes(pictures[i])) << name.toStdString();
        const bool rendered = i < 2;
        EXPECT_EQ(QFile::exists(dir + name + ".png"), rendered) << name.toStdString();
        const QString page = QString::fromUtf8(ReadBytes(dir + PageOf(name)));
        const QString shown = rendered ? name + ".png" : name;
        const QSize size = i < 3 ? QSize(64, 40) : QSize(40, 30);
        EXPECT_TRUE(page.contains(QString(R"(<img SRC="%1" BORDER=0 HEIGHT=%2 WIDTH=%3>)")
                                      .arg(shown)
                                      .arg(size.height())
                                      .arg(size.width())))
            << page.toStdString();
        if (rendered) {
            EXPECT_EQ(QImageReader(dir + shown).size(), size);
        }
    }
    // A second run keeps the renderings, like the copies; a rendering gone since is made again.
    const std::uint64_t before = PictureDecodeCount();
    W().RunCmds->GenerateInto(dir);
    EXPECT_EQ(PictureDecodeCount(), before);
    ASSERT_TRUE(QFile::remove(dir + W().Grid()->Cells(0, 0) + ".png"));
    W().RunCmds->GenerateInto(dir);
    EXPECT_EQ(PictureDecodeCount(), before + 1);
    EXPECT_TRUE(QFile::exists(dir + W().Grid()->Cells(0, 0) + ".png"));
}

// A background file named as a picture's copy gets a name of its own: each file keeps its bytes, and the
// pages show the background under the name it was copied as.
TEST_F(TGenNamesTest, BackgroundNeverTakesAPicturesName) {
    W().Grid()->SetPlainNames(true);
    const QString picture = Place("pics/tile.jpg", "gen/jpeg_baseline_420.jpg");
    const QString background = Place("tiles/tile.jpg", "gen/jpeg_progressive.jpg");
    W().SetBkgFile(background);
    Load(0, 0, picture);
    ASSERT_EQ(W().Grid()->Cells(0, 0), "tile.jpg");
    const QString dir = Generate();
    EXPECT_EQ(ReadBytes(dir + "tile.jpg"), ReadBytes(picture));
    EXPECT_EQ(ReadBytes(dir + "tile-2.jpg"), ReadBytes(background));
    for (const char* page : {"index.html", "tile.html"})
        EXPECT_TRUE(ReadBytes(dir + page).contains("background=\"tile-2.jpg\"")) << page;
    EXPECT_EQ(ShownPage()->Background(), "tile.jpg"); // the window's own setting is unchanged
}
