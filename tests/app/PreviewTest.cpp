// Grid commands, the preview with its picture information, and the background picture or colour.
#include "AppFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>

#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"

namespace {

struct TInfoCase {
    int Flags;
    qint64 FileSize;
    QStringList Lines;
};

void PrintTo(const TInfoCase& row, std::ostream* out) {
    *out << "flags " << row.Flags << ", " << row.FileSize << " bytes";
}

class TPicInfoLinesTest : public testing::TestWithParam<TInfoCase> {};

struct TColorCase {
    TColor Color;
    const char* FileName;
};

class TColorFileNameTest : public TAppTest, public testing::WithParamInterface<TColorCase> {};

// Files of a folder whose names start with a prefix.
QStringList FilesStartingWith(const QString& dir, const QString& prefix) {
    return QDir(dir).entryList({prefix + "*"}, QDir::Files);
}

// A drop of local files onto a point of the grid, as the desktop delivers it.
void DropOnGrid(TGfxGrid& grid, const QPoint& pos, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &move);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &drop);
}

QPoint CellCentre(const TGfxGrid& grid, int col, int row) {
    return grid.visualRect(grid.model()->index(row, col)).center();
}

} // namespace

TEST_P(TPicInfoLinesTest, BuildsTheInfoLines) {
    const TInfoCase& row = GetParam();
    EXPECT_EQ(PicInfoLines(row.Flags, "beach_lpcs.jpg", 640, 480, row.FileSize), row.Lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, TPicInfoLinesTest,
                         testing::Values(TInfoCase{4, 123456, {"120.6Kb"}},
                                         TInfoCase{2 | 4, 2048, {"640x480   2.0Kb"}},
                                         TInfoCase{1, 2048, {"beach_lpcs.jpg"}},
                                         TInfoCase{2, 2048, {"640x480"}},
                                         TInfoCase{1 | 2 | 4, 57651, {"beach_lpcs.jpg", "640x480   56.3Kb"}},
                                         TInfoCase{4, 256, {"0.3Kb"}}, // halves round up
                                         TInfoCase{4, 51, {"0.0Kb"}}, TInfoCase{0, 2048, {}}));

TEST_P(TColorFileNameTest, NamesStandardColoursByNameAndOthersByValue) {
    EXPECT_EQ(W().ColorFileName(GetParam().Color), W().WorkDir() + GetParam().FileName);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, TColorFileNameTest,
    testing::Values(TColorCase{0x808080, "clgray.jpg"}, TColorCase{0x0080FF, "000080ff.jpg"},
                    TColorCase{0x000000, "clblack.jpg"}, TColorCase{0xF0CAA6, "clskyblue.jpg"},
                    TColorCase{0xA4A0A0, "clmedgray.jpg"}, TColorCase{0xABCDEF, "00abcdef.jpg"}));

TEST_F(TAppTest, ChoosingGreyTwiceLeavesOneTile) {
    D().Colors = {0x808080, 0x808080};
    W().Commands->ThumbBkg_Color->trigger();
    W().Commands->ThumbBkg_Color->trigger();
    EXPECT_EQ(FilesStartingWith(W().WorkDir(), ""), QStringList{"clgray.jpg"});
    EXPECT_EQ(W().BkgColor(), 0x808080);
}

TEST_F(TAppTest, BackgroundColourWritesItsTileAndBecomesTheBackground) {
    D().Colors = {0x0080FF};
    W().Commands->ThumbBkg_Color->trigger();
    const QString tile = W().WorkDir() + "000080ff.jpg";
    EXPECT_EQ(W().BkgFile(), tile);
    EXPECT_EQ(W().BkgColor(), 0x0080FF);
    EXPECT_EQ(ShownPage()->Background(), "000080ff.jpg");
    TGfxBaseIm stored;
    stored.LoadPicture(tile);
    EXPECT_EQ(stored.Bitmap().size(), QSize(100, 100));
    const QColor centre = stored.Bitmap().pixelColor(50, 50);
    EXPECT_NEAR(centre.red(), 255, 3);
    EXPECT_NEAR(centre.green(), 128, 3);
    EXPECT_NEAR(centre.blue(), 0, 3);
    EXPECT_EQ(W().Render->BkgFileP->palette().color(QPalette::Window), QColor(255, 128, 0));
}

TEST_F(TAppTest, BackgroundFileIsTiledUnderThePreview) {
    const QString file = TestData("app/bmp_24bpp.bmp");
    D().Pictures = {file};
    W().Commands->ThumbBkg_File->trigger();
    EXPECT_EQ(W().BkgFile(), file);
    EXPECT_EQ(W().BkgColor(), clNone);
    EXPECT_EQ(W().Render->BkgFileP->text(), " bmp_24bpp.bmp ");
    EXPECT_EQ(ShownPage()->Background(), "bmp_24bpp.bmp");
    const QImage& preview = W().Preview->Background().Bitmap();
    ASSERT_EQ(preview.size(), W().Preview->ThumbBkgI->size());
    const QImage& tile = W().Renderer().Background().Bitmap();
    EXPECT_EQ(preview.pixel(161 + 5, 100 + 7), tile.pixel(5, 7)); // tiles repeat from the top-left corner
}

TEST_F(TAppTest, UnloadableBackgroundIsReportedAndTheOldOneStays) {
    const QString missing = FFiles.File("gone.jpg");
    D().Pictures = {missing};
    W().Commands->ThumbBkg_File->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains("The gallery's background picture " + missing + " is not found"))
        << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(W().BkgFile(), W().WorkDir() + "clgray.jpg");
    EXPECT_EQ(W().BkgColor(), 0x808080);
    EXPECT_EQ(ShownPage()->Background(), "clgray.jpg");
}

TEST_F(TAppTest, ShowThumbOnEmptyCellShowsOnlyTheBackground) {
    W().ShowStatus("Before");
    W().Commands->Gfx_ShowThumb->trigger();
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    EXPECT_EQ(W().StatusP0->text(), "Before");
    const QImage shown = W().Preview->ThumbBkgI->pixmap().toImage();
    EXPECT_EQ(shown, W().Preview->Background().Bitmap().convertToFormat(shown.format()));
}

TEST_F(TAppTest, ShowThumbRendersTheCurrentCellWithItsInformationBelow) {
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    W().Html->PicInfNameCB->click();
    W().Commands->Gfx_ShowThumb->trigger();
    EXPECT_EQ(W().Preview->ThumbI->pixmap().size(), QSize(150, 120));
    EXPECT_EQ(W().StatusP0->text(), "");
    // The text starts one pixel below the centred thumbnail: nothing changes above that line.
    const QImage shown = W().Preview->ThumbBkgI->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage plain = W().Preview->Background().Bitmap().convertToFormat(QImage::Format_RGB32);
    const int textTop = (W().Preview->ThumbI->height() - 120) / 2 + 120 + 1;
    EXPECT_EQ(shown.copy(0, 0, shown.width(), textTop), plain.copy(0, 0, plain.width(), textTop));
    EXPECT_NE(shown, plain);
}

TEST_F(TAppTest, UnloadablePictureInTheCellIsReported) {
    const QString path = MakePicture("vanishing.bmp", 40, 30);
    Load(0, 0, path);
    ASSERT_TRUE(QFile::remove(path));
    W().Commands->Gfx_ShowThumb->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains("vanishing.bmp")) << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(W().StatusP0->text(), "Processing...");
}

TEST_F(TAppTest, ClearAllEmptiesTheGridAndSelectsTheTopLeftCell) {
    const QString picture = TestData("app/bmp_24bpp.bmp");
    Load(0, 0, picture);
    Load(2, 1, picture);
    Load(1, 1, picture);
    W().Grid()->SetCurrentCell(2, 1);
    D().Answers = {TModalResult::No}; // the unsaved pictures go
    W().Commands->Gfx_ClearAll->trigger();
    ProcessEvents();
    EXPECT_EQ(W().Grid()->Col(), 0);
    EXPECT_EQ(W().Grid()->Row(), 0);
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 0");
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
}

TEST_F(TAppTest, ClearCellEmptiesOnlyTheCurrentCell) {
    const QString picture = TestData("app/bmp_24bpp.bmp");
    Load(0, 0, picture);
    Load(1, 0, picture);
    W().Grid()->SetCurrentCell(1, 0);
    W().Commands->GfxG_ClearCell->trigger();
    EXPECT_TRUE(W().Grid()->IsCellEmpty(1, 0));
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 1");
}

TEST_F(TAppTest, LoadPictureCommandFillsTheCurrentCell) {
    const QString path = MakePicture("Beach.BMP", 1024, 768);
    W().Grid()->SetCurrentCell(2, 1);
    D().Pictures = {path};
    QTest::keyClick(W().Grid(), Qt::Key_Insert);
    ProcessEvents();
    ASSERT_FALSE(W().Grid()->IsCellEmpty(2, 1));
    EXPECT_EQ(W().Grid()->Objects(2, 1)->FileName(), path); // the file keeps its real case
    EXPECT_EQ(W().Grid()->Objects(2, 1)->Bitmap().size(), QSize(60, 45));
    EXPECT_TRUE(W().Grid()->Cells(2, 1).startsWith("beach_")) << W().Grid()->Cells(2, 1).toStdString();
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 1");
    EXPECT_TRUE(W().ThumbsStale());
}

TEST_F(TAppTest, DroppedFilesFillEmptyCellsFromTheDropCell) {
    const QStringList files = {MakePicture("a.bmp", 40, 30), MakePicture("b.bmp", 40, 30),
                               MakePicture("c.bmp", 40, 30)};
    DropOnGrid(*W().Grid(), CellCentre(*W().Grid(), 1, 0), files);
    ProcessEvents();
    EXPECT_TRUE(W().Grid()->IsCellEmpty(0, 0));
    EXPECT_TRUE(W().Grid()->Cells(1, 0).startsWith("a_"));
    EXPECT_TRUE(W().Grid()->Cells(2, 0).startsWith("b_"));
    EXPECT_TRUE(W().Grid()->Cells(0, 1).startsWith("c_"));
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 3");
}

class TDropTooManyTest : public TAppTest, public testing::WithParamInterface<TModalResult> {};

// Five of six cells filled and three pictures dropped: one fits, two need a row more.
TEST_P(TDropTooManyTest, OffersTheRowsThePicturesNeedAndNoListsWhatWasLeftOut) {
    for (int i = 0; i < 5; ++i)
        Load(i % 3, i / 3, TestData("app/bmp_24bpp.bmp"));
    const QStringList files = {MakePicture("a.bmp", 40, 30), MakePicture("b.bmp", 40, 30),
                               MakePicture("c.bmp", 40, 30)};
    D().Answers = {GetParam()};
    DropOnGrid(*W().Grid(), CellCentre(*W().Grid(), 0, 0), files);
    ProcessEvents();
    EXPECT_TRUE(W().Grid()->Cells(2, 1).startsWith("a_"));
    ASSERT_GE(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Confirmation);
    EXPECT_EQ(D().Messages[0].Text, "2 pictures do not fit into the empty cells.\rAdd 1 row to the table ?");
    if (GetParam() == TModalResult::Yes) {
        EXPECT_EQ(D().Messages.size(), 1u);
        EXPECT_EQ(W().StatusP1->text(), "Table: 3x3  Images: 8");
        EXPECT_TRUE(W().Grid()->Cells(0, 2).startsWith("b_"));
        EXPECT_TRUE(W().Grid()->Cells(1, 2).startsWith("c_"));
    } else {
        ASSERT_EQ(D().Messages.size(), 2u);
        EXPECT_EQ(D().Messages[1].Text, "These files were not placed:\rNo empty cell to add " + files[1] +
                                            "\rNo empty cell to add " + files[2]);
        EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 6");
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, TDropTooManyTest, testing::Values(TModalResult::Yes, TModalResult::No));

// Four files, the second not a picture: the others are placed in order and one message says why it was not.
TEST_F(TAppTest, DropAndOpenDialogPlaceEveryPictureThatLoadsAndListTheRest) {
    const QString bad = FFiles.File("notes.txt");
    QFile notes(bad);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly) && notes.write("not a picture") > 0);
    notes.close();
    DropOnGrid(
        *W().Grid(), CellCentre(*W().Grid(), 0, 0),
        {MakePicture("a.bmp", 40, 30), bad, MakePicture("c.bmp", 40, 30), MakePicture("d.bmp", 40, 30)});
    ProcessEvents();
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 3");
    EXPECT_TRUE(W().Grid()->Cells(2, 0).startsWith("d_"));
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Warning);
    const QStringList lines = D().Messages[0].Text.split('\r');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "These files were not placed:");
    EXPECT_TRUE(lines[1].startsWith("Cannot load " + bad + ": ")) << lines[1].toStdString();

    // The dialog takes several files: the first replaces the current cell, the rest fill the empty cells.
    D().Messages.clear();
    W().Grid()->SetCurrentCell(1, 0);
    D().PictureSets = {{MakePicture("e.bmp", 40, 30), bad, MakePicture("f.bmp", 40, 30)}};
    W().Commands->GfxG_LoadPicture->trigger();
    ProcessEvents();
    EXPECT_TRUE(W().Grid()->Cells(1, 0).startsWith("e_"));
    EXPECT_TRUE(W().Grid()->Cells(0, 1).startsWith("f_"));
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_TRUE(D().Messages[0].Text.contains(bad));
}

TEST_F(TAppTest, DoubleClickOnAnEmptyCellOpensThePictureDialogForIt) {
    const QString path = MakePicture("a.bmp", 40, 30);
    D().Pictures = {path};
    QTest::mouseDClick(W().Grid()->viewport(), Qt::LeftButton, {}, CellCentre(*W().Grid(), 2, 1));
    ProcessEvents();
    ASSERT_FALSE(W().Grid()->IsCellEmpty(2, 1));
    EXPECT_EQ(W().Grid()->Objects(2, 1)->FileName(), path);
}

// Whatever changes the current cell's content, the preview follows at once, also without auto update.
TEST_F(TAppTest, PreviewFollowsTheCurrentCellAfterDropAndDelete) {
    W().Options->AutoUpdThumbCB->setChecked(false);
    W().Html->PicInfNameCB->click();
    const QImage plain = W().Preview->ThumbBkgI->pixmap().toImage();
    DropOnGrid(*W().Grid(), CellCentre(*W().Grid(), 0, 0), {MakePicture("a.bmp", 40, 30)});
    ProcessEvents();
    EXPECT_FALSE(W().Preview->ThumbI->pixmap().isNull());
    EXPECT_NE(W().Preview->ThumbBkgI->pixmap().toImage(), plain); // the caption is drawn
    QTest::keyClick(W().Grid(), Qt::Key_Delete);
    ProcessEvents();
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    EXPECT_EQ(W().Preview->ThumbBkgI->pixmap().toImage(), plain);
}

TEST_F(TAppTest, ResizingThePreviewRetilesTheBackgroundWithoutText) {
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    W().Html->PicInfSizeCB->click();
    W().ShowThumb();
    W().Splitter->setSizes({200, 488});
    ProcessEvents();
    EXPECT_EQ(W().Preview->ThumbImP->width(), 200);
    EXPECT_EQ(W().Preview->Background().Bitmap().size(), W().Preview->ThumbBkgI->size());
    const QImage shown = W().Preview->ThumbBkgI->pixmap().toImage();
    EXPECT_EQ(shown, W().Preview->Background().Bitmap().convertToFormat(shown.format()));
}

TEST_F(TAppTest, AboutLinksOpenMailAndHomePage) {
    W().About->MailLB->click();
    W().About->HomeLB->click();
    ASSERT_EQ(D().Opened.size(), 2);
    EXPECT_EQ(D().Opened[0].scheme(), "mailto");
    EXPECT_EQ(D().Opened[1], QUrl(kVeltrixHomePage));
}

TEST_F(TAppTest, ClickShowsThePreviewOnlyWithAutoUpdateWhileDoubleClickAlwaysDoes) {
    Load(1, 0, TestData("app/jpeg_baseline_420.jpg"));
    QWidget* viewport = W().Grid()->viewport();
    const QPoint cell = CellCentre(*W().Grid(), 1, 0);
    W().Options->AutoUpdThumbCB->setChecked(false);
    W().Preview->ThumbI->clear();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cell);
    EXPECT_EQ(W().Grid()->Col(), 1);
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, cell);
    EXPECT_FALSE(W().Preview->ThumbI->pixmap().isNull());
    W().Options->AutoUpdThumbCB->setChecked(true);
    W().Preview->ThumbI->clear();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, CellCentre(*W().Grid(), 0, 0));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cell);
    EXPECT_FALSE(W().Preview->ThumbI->pixmap().isNull());
}

// The edit under the preview follows the current cell: the picture's own caption when placed, what the user
// types, nothing on an empty cell; the typed caption stays through a redraw at another cell size.
TEST_F(TAppTest, CaptionEditFollowsTheCurrentCell) {
    Start();
    Load(0, 0, TestData("gfx/caption/exif_description.jpg"));
    W().Grid()->SetCurrentCell(0, 0);
    ProcessEvents();
    EXPECT_TRUE(W().Preview->CaptionE->isEnabled());
    EXPECT_EQ(W().Preview->CaptionE->text(), "Harbour at dusk");
    W().Preview->CaptionE->setFocus();
    W().Preview->CaptionE->selectAll();
    QTest::keyClicks(W().Preview->CaptionE, "Kai <&> \"boats\"  ");
    EXPECT_EQ(W().Grid()->Gallery().Cell(0, 0).Caption, "Kai <&> \"boats\"");
    W().Grid()->SetCurrentCell(1, 0);
    EXPECT_FALSE(W().Preview->CaptionE->isEnabled());
    EXPECT_TRUE(W().Preview->CaptionE->text().isEmpty());
    W().Options->GGridWSE->setValue(W().Options->GGridWSE->value() + 10);
    W().Options->BitBtn1->click(); // every cell's picture read again
    ProcessEvents();
    W().Grid()->SetCurrentCell(0, 0);
    EXPECT_EQ(W().Preview->CaptionE->text(), "Kai <&> \"boats\"");
}
