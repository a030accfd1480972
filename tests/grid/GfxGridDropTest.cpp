// Files dropped from the desktop and cells dragged onto each other, through real drag and drop events.
#include "GridFixture.h"

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QUrl>

namespace {

using Events = std::vector<int>;

TEST_F(GridTest, DroppedFilesFillEmptyCellsFromTheDropCellOnwards) {
    const QStringList files = {TestData("grid/jpeg_baseline_420.jpg"), TestData("grid/bmp_24bpp.bmp"),
                               MakePicture("c.bmp", 4, 3)};
    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop(files), CellCentre(1, 0)));

    EXPECT_EQ(FGrid->Cells(1, 0), "jpeg_baseline_420.jpg");
    EXPECT_EQ(FGrid->Objects(1, 0)->Bitmap().size(), QSize(60, 38)); // 320 x 200; 37.5 rounds to even
    EXPECT_EQ(FGrid->Cells(2, 0), "bmp_24bpp.bmp");
    EXPECT_EQ(FGrid->Objects(2, 0)->ImageWidth(), 161);
    EXPECT_EQ(FGrid->Cells(0, 1), "c.bmp");
    EXPECT_TRUE(FGrid->IsCellEmpty(0, 0));
    EXPECT_EQ(Posted(), (Events{C, L, C, L, C, L}));
}

TEST_F(GridTest, DroppedPhonePicturesAndWebPicturesAreTaken) {
    const QStringList files = {TestData("gfx/valid/kind_photo.heic"), TestData("gfx/valid/kind_photo.webp"),
                               TestData("gfx/valid/kind_two_frames.gif"),
                               TestData("gfx/valid/kind_photo.png"),
                               TestData("gfx/valid/kind_two_pages.tif")};
    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop(files), CellCentre(0, 0)));
    EXPECT_EQ(FGrid->Cells(0, 0), "kind_photo.heic");
    EXPECT_EQ(FGrid->Objects(0, 0)->ImageWidth(), 64);
    EXPECT_EQ(FGrid->Cells(1, 0), "kind_photo-2.webp"); // its page would be kind_photo.html too
    EXPECT_EQ(FGrid->Cells(2, 0), "kind_two_frames.gif");
    EXPECT_EQ(FGrid->Cells(0, 1), "kind_photo-3.png");
    EXPECT_EQ(FGrid->Cells(1, 1), "kind_two_pages.tif");
}

// A name that is not UTF-8 (Latin-1 "caf\xE9.bmp") is read by its bytes and named as it reads in Latin-1,
// apart from the UTF-8 "café.bmp" beside it: two files, two names.
TEST_F(GridTest, DroppedFileWhoseNameIsNotUtf8IsTakenUnderAValidName) {
    const QString utf8 = MakePicture("café.bmp", 4, 3);
    const QByteArray latin1 = QFile::encodeName(FDir.Path()) + "caf\xE9.bmp";
    ASSERT_EQ(::rename(QFile::encodeName(MakePicture("b.bmp", 5, 3)).constData(), latin1.constData()), 0);
    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + latin1.toPercentEncoding("/")), QUrl::fromLocalFile(utf8)});
    EXPECT_TRUE(SendDrop(*FGrid, data, CellCentre(0, 0)));
    EXPECT_EQ(FGrid->Cells(0, 0), "café.bmp");
    EXPECT_EQ(FGrid->Objects(0, 0)->ImageWidth(), 5);
    EXPECT_EQ(FGrid->Cells(1, 0), "café-2.bmp");
    EXPECT_EQ(FGrid->Objects(1, 0)->ImageWidth(), 4);
}

// A transparent picture's preview shows the cell's colour through it.
TEST_F(GridTest, TransparentPreviewShowsTheCellColour) {
    QPalette palette = FGrid->palette();
    palette.setColor(QPalette::Base, QColor(10, 200, 30));
    FGrid->setPalette(palette);
    FGrid->LoadCell(0, 0, TestData("gfx/valid/kind_alpha_gradient.png"));
    const QImage& preview = FGrid->Objects(0, 0)->Bitmap();
    const QColor right = preview.pixelColor(preview.width() - 1, preview.height() / 2); // all but clear
    EXPECT_NEAR(right.green(), 200, 2);
    EXPECT_NEAR(right.blue(), 30, 2);
}

TEST_F(GridTest, DroppedFilesContinueFromTheTopLeftOnce) {
    FillAll();
    FGrid->ClearCell(0, 0);
    FGrid->ClearCell(2, 1);
    const QStringList files = {MakePicture("a.bmp", 4, 3), MakePicture("b.bmp", 4, 3)};
    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop(files), CellCentre(2, 1)));
    EXPECT_EQ(FGrid->Cells(2, 1), "a.bmp");
    EXPECT_EQ(FGrid->Cells(0, 0), "b.bmp");
}

TEST_F(GridTest, DropBesideTheCellsStartsAtTheTopLeft) {
    FGrid->LoadCell(0, 0, MakePicture("first.bmp", 4, 3));
    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop({MakePicture("a.bmp", 4, 3)}), QPoint(390, 290)));
    EXPECT_EQ(FGrid->Cells(1, 0), "a.bmp");
}

TEST_F(GridTest, DropOnAFullGridKeepsWhatFitAndReportsTheRest) {
    FillAll();
    FGrid->ClearCell(1, 1);
    Posted();
    const QString fits = MakePicture("fits.bmp", 4, 3);
    const QString extra = MakePicture("extra.bmp", 4, 3);
    const QString after = MakePicture("after.bmp", 4, 3);

    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop({fits, extra, after}), CellCentre(0, 0)));
    EXPECT_EQ(FGrid->Cells(1, 1), "fits.bmp");
    // The error surfaces once the drop is over, through the application's error display.
    EXPECT_TRUE(TTestApplication::Instance()->Errors.isEmpty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(TTestApplication::Instance()->Errors,
              QStringList{"No empty cell to add " + extra + "\nNo empty cell to add " + after});
    TTestApplication::Instance()->Errors.clear();
}

TEST_F(GridTest, UnloadableDroppedFileIsPassedOverAndTheRestArePlaced) {
    const QStringList files = {MakePicture("a.bmp", 4, 3), TestData("grid/garbage.jpg"),
                               MakePicture("c.bmp", 4, 3)};
    std::vector<TRefusedFile> told;
    FGrid->OnFilesRefused = [&](TGfxGrid*, const std::vector<TRefusedFile>& refused) { told = refused; };
    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop(files), CellCentre(0, 0)));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(FGrid->Cells(0, 0), "a.bmp");
    EXPECT_EQ(FGrid->Cells(1, 0), "c.bmp");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].Path, files[1]);
    EXPECT_FALSE(told[0].NoCell);
    EXPECT_TRUE(told[0].Reason.startsWith("Cannot load " + files[1])) << told[0].Reason.toStdString();
    EXPECT_TRUE(TTestApplication::Instance()->Errors.isEmpty());
}

TEST_F(GridTest, FilesAreRefusedUntilTheOwnerAcceptsThemAndOnlyLocalOnes) {
    const QString path = MakePicture("a.bmp", 4, 3);
    FGrid->SetAcceptFiles(false);
    EXPECT_FALSE(SendDrop(*FGrid, *FileDrop({path}), CellCentre(0, 0)));
    FGrid->SetAcceptFiles(true);

    QMimeData web;
    web.setUrls({QUrl("https://example.org/a.jpg")});
    EXPECT_FALSE(SendDrop(*FGrid, web, CellCentre(0, 0)));
    QMimeData text;
    text.setText(path);
    EXPECT_FALSE(SendDrop(*FGrid, text, CellCentre(0, 0)));

    QMimeData mixed;
    mixed.setUrls({QUrl("https://example.org/a.jpg"), QUrl::fromLocalFile(path)});
    EXPECT_TRUE(SendDrop(*FGrid, mixed, CellCentre(0, 0)));
    EXPECT_EQ(FGrid->Cells(0, 0), "a.bmp");
    EXPECT_TRUE(FGrid->IsCellEmpty(1, 0));
}

// Presses the left button on a cell and moves the mouse by the given distance.
void PressAndMove(TTestGrid& grid, const QPoint& from, const QPoint& by) {
    QMouseEvent press(QEvent::MouseButtonPress, from, grid.viewport()->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &press);
    const QPoint to = from + by;
    QMouseEvent move(QEvent::MouseMove, to, grid.viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &move);
}

TEST_F(GridTest, DragBeginsAfterFivePixels) {
    PressAndMove(*FGrid, CellCentre(0, 0), QPoint(4, -4));
    EXPECT_EQ(FGrid->DragsStarted, 0);
    PressAndMove(*FGrid, CellCentre(0, 0), QPoint(0, 5));
    EXPECT_EQ(FGrid->DragsStarted, 1);
    EXPECT_EQ(QPoint(FGrid->Col(), FGrid->Row()), QPoint(0, 0));
}

struct TDragCase {
    QPoint To;
    bool ToFilled;
};

class GridDragTest : public GridTest, public ::testing::WithParamInterface<TDragCase> {};

TEST_P(GridDragTest, DraggingACellOntoAnotherExchangesThem) {
    FGrid->LoadCell(0, 0, MakePicture("a.bmp", 4, 3));
    if (GetParam().ToFilled)
        FGrid->LoadCell(GetParam().To.x(), GetParam().To.y(), MakePicture("b.bmp", 4, 3));
    const TGfxGridItem* a = FGrid->Objects(0, 0);
    const TGfxGridItem* b = FGrid->Objects(GetParam().To.x(), GetParam().To.y());
    Posted();

    PressAndMove(*FGrid, CellCentre(0, 0), QPoint(10, 0));
    ASSERT_TRUE(FGrid->Dragged);
    EXPECT_TRUE(SendDrop(*FGrid, *FGrid->Dragged, CellCentre(GetParam().To.x(), GetParam().To.y())));

    EXPECT_EQ(FGrid->Objects(GetParam().To.x(), GetParam().To.y()), a);
    EXPECT_EQ(FGrid->Cells(GetParam().To.x(), GetParam().To.y()), "a.bmp");
    EXPECT_EQ(FGrid->Objects(0, 0), b);
    EXPECT_EQ(FGrid->Cells(0, 0), GetParam().ToFilled ? "b.bmp" : "");
    EXPECT_EQ(Posted(), Events{S});
}

INSTANTIATE_TEST_SUITE_P(Targets, GridDragTest,
                         ::testing::Values(TDragCase{QPoint(2, 1), false}, TDragCase{QPoint(1, 0), true}));

// Two different pictures never share a name, however they came into the grid; one file keeps one name.
TEST_F(GridTest, DifferentPicturesNeverShareANameHoweverTheyArrive) {
    for (const char* folder : {"a", "b", "c"})
        ASSERT_TRUE(QDir(FDir.Path()).mkpath(folder));
    const QString a = MakePicture("a/img.bmp", 4, 3);
    const QString b = MakePicture("b/img.bmp", 4, 3, Qt::blue);
    FGrid->SetPlainNames(false);
    EXPECT_TRUE(SendDrop(*FGrid, *FileDrop({a, b}), CellCentre(0, 0)));
    const QString taggedA = FGrid->Cells(0, 0);
    const QString taggedB = FGrid->Cells(1, 0);
    EXPECT_NE(taggedA, taggedB);

    // Plain names clash: the later cell in grid order gives way.
    FGrid->SetPlainNames(true);
    EXPECT_EQ(FGrid->Cells(0, 0), "img.bmp");
    EXPECT_EQ(FGrid->Cells(1, 0), "img-2.bmp");
    PressAndMove(*FGrid, CellCentre(0, 0), QPoint(10, 0));
    ASSERT_TRUE(FGrid->Dragged);
    EXPECT_TRUE(SendDrop(*FGrid, *FGrid->Dragged, CellCentre(1, 0)));
    EXPECT_EQ(FGrid->Cells(0, 0), "img-2.bmp"); // the names go with their pictures
    EXPECT_EQ(FGrid->Cells(1, 0), "img.bmp");
    FGrid->LoadCell(2, 0, MakePicture("c/IMG.BMP", 4, 3, Qt::green));
    EXPECT_EQ(FGrid->Cells(2, 0), "img-3.bmp");
    FGrid->LoadCell(0, 1, a);
    EXPECT_EQ(FGrid->Cells(0, 1), "img.bmp");
    FGrid->ReloadCell(0, 0);
    EXPECT_EQ(FGrid->Cells(0, 0), "img-2.bmp");
    FGrid->LoadCell(1, 1, MakePicture("a/Index.bmp", 4, 3)); // its page would replace the table page
    EXPECT_EQ(FGrid->Cells(1, 1), "index-2.bmp");

    FGrid->SetPlainNames(false);
    EXPECT_EQ(FGrid->Cells(0, 0), taggedB);
    EXPECT_EQ(FGrid->Cells(1, 0), taggedA);
    EXPECT_EQ(FGrid->Cells(0, 1), taggedA);
}

TEST_F(GridTest, DragOntoItsOwnCellOrBesideTheCellsDoesNothing) {
    FGrid->LoadCell(0, 0, MakePicture("a.bmp", 4, 3));
    Posted();
    PressAndMove(*FGrid, CellCentre(0, 0), QPoint(10, 0));
    ASSERT_TRUE(FGrid->Dragged);

    EXPECT_FALSE(SendDragOver(*FGrid, *FGrid->Dragged, CellCentre(0, 0)));
    EXPECT_FALSE(SendDrop(*FGrid, *FGrid->Dragged, QPoint(390, 290)));
    EXPECT_EQ(FGrid->Cells(0, 0), "a.bmp");
    EXPECT_EQ(Posted(), Events{});
}

TEST_F(GridTest, CellDragsFromAnotherGridAreRefused) {
    TTestGrid other;
    other.SetColCount(1);
    other.SetRowCount(1);
    other.resize(100, 100);
    other.show();
    other.LoadCell(0, 0, MakePicture("a.bmp", 4, 3));
    PressAndMove(other, other.visualRect(other.model()->index(0, 0)).center(), QPoint(10, 0));
    ASSERT_TRUE(other.Dragged);
    FGrid->LoadCell(0, 0, MakePicture("b.bmp", 4, 3));
    PressAndMove(*FGrid, CellCentre(0, 0), QPoint(0, 0)); // an origin of its own in this grid
    Posted();

    EXPECT_FALSE(SendDrop(*FGrid, *other.Dragged, CellCentre(1, 0)));
    EXPECT_EQ(FGrid->Cells(0, 0), "b.bmp");
    EXPECT_EQ(Posted(), Events{});
}

} // namespace
