// Adding many pictures through the window: folders in name and date order, sorting, moving by keys, and
// placing in the background with Cancel.
#include "AppFixture.h"

#include <functional>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QThread>

#include "app/VlxPlaceCommands.h"
#include "grid/GfxGrid.h"
#include "grid/GfxGridPlacer.h"

namespace {

// A small JPEG, with the date taken stored as a camera stores it when one is given (by exiftool).
QString MakeJpeg(const QString& path, const QString& taken = {}, int width = 32, int height = 24) {
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(QColor(40, 120, 200));
    EXPECT_TRUE(picture.save(path, "JPEG"));
    if (!taken.isEmpty()) {
        const int rc =
            QProcess::execute("exiftool", {"-q", "-overwrite_original", "-DateTimeOriginal=" + taken, path});
        EXPECT_EQ(rc, 0) << "exiftool could not write the date into " << path.toStdString();
    }
    return path;
}

// The file names of the filled cells, row by row, with "-" for an empty cell.
QStringList CellFiles(TGfxGrid& grid) {
    QStringList files;
    for (int row = 0; row < grid.RowCount(); ++row)
        for (int col = 0; col < grid.ColCount(); ++col)
            files << (grid.IsCellEmpty(col, row) ? "-"
                                                 : QFileInfo(grid.Objects(col, row)->FileName()).fileName());
    return files;
}

struct TOrderCase {
    TPictureOrder Order;
    QStringList Cells;
};

class TAddFolderTest : public TAppTest, public testing::WithParamInterface<TOrderCase> {
protected:
    // img10.jpg taken first, img2.jpg last; IMG3.JPG without a date has the file's time between them; the
    // text file is no picture.
    QString MakeFolder() {
        const QString dir = FFiles.File("camera");
        QDir().mkpath(dir);
        MakeJpeg(dir + "/img10.jpg", "2020:01:01 09:00:00");
        MakeJpeg(dir + "/img2.jpg", "2023:06:30 18:00:00");
        MakeJpeg(dir + "/b.jpg", "2021:03:04 12:00:00");
        QFile untaken(MakeJpeg(dir + "/IMG3.JPG"));
        EXPECT_TRUE(untaken.open(QIODevice::ReadWrite));
        EXPECT_TRUE(untaken.setFileTime(QDateTime(QDate(2022, 2, 2), QTime(8, 0)),
                                        QFileDevice::FileModificationTime));
        untaken.close();
        QFile notes(dir + "/notes.txt");
        EXPECT_TRUE(notes.open(QIODevice::WriteOnly));
        return dir;
    }
};

} // namespace

TEST_P(TAddFolderTest, AddsTheFolderPicturesInOrderAndSortsThemBack) {
    const QString dir = MakeFolder();
    W().Grid()->SetCurrentCell(1, 0);
    D().Directories = {dir};
    (GetParam().Order == TPictureOrder::Name ? W().Commands->AddFolderA : W().Commands->AddFolderDateA)
        ->trigger();
    ProcessEvents();
    EXPECT_EQ(CellFiles(*W().Grid()), GetParam().Cells);
    EXPECT_TRUE(D().Messages.empty());

    // Sorting the other way and back again gives the same cells; the gap at (0, 0) stays.
    const bool byName = GetParam().Order == TPictureOrder::Name;
    (byName ? W().Commands->SortDateA : W().Commands->SortNameA)->trigger();
    EXPECT_NE(CellFiles(*W().Grid()), GetParam().Cells);
    EXPECT_EQ(CellFiles(*W().Grid())[0], "-");
    (byName ? W().Commands->SortNameA : W().Commands->SortDateA)->trigger();
    ProcessEvents();
    EXPECT_EQ(CellFiles(*W().Grid()), GetParam().Cells);

    // The folder is remembered for the next window's dialog.
    Start();
    D().Directories = {};
    W().Commands->AddFolderA->trigger();
    ASSERT_EQ(D().DirectoryStarts.size(), 1);
    EXPECT_EQ(D().DirectoryStarts[0], QDir::cleanPath(dir));
}

INSTANTIATE_TEST_SUITE_P(
    Orders, TAddFolderTest,
    testing::Values(TOrderCase{TPictureOrder::Name, {"-", "b.jpg", "img2.jpg", "IMG3.JPG", "img10.jpg", "-"}},
                    TOrderCase{TPictureOrder::DateTaken,
                               {"-", "img10.jpg", "b.jpg", "IMG3.JPG", "img2.jpg", "-"}}));

// From the last cell the folder would wrap round to the top, out of its order: it starts at the top-left
// instead. Added again, the folder adds only its new picture.
TEST_F(TAppTest, AddFolderKeepsItsOrderAndAddsOnlyNewPicturesAgain) {
    const QString dir = FFiles.File("day");
    QDir().mkpath(dir);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        MakeJpeg(dir + "/" + name);
    D().Directories = {dir};
    W().Grid()->SetCurrentCell(2, 1);
    W().Commands->AddFolderA->trigger();
    ProcessEvents();
    EXPECT_EQ(CellFiles(*W().Grid()), QStringList({"a.jpg", "b.jpg", "c.jpg", "-", "-", "-"}));

    D().Directories = {dir};
    W().Commands->AddFolderA->trigger();
    ProcessEvents();
    ASSERT_EQ(D().Messages.size(), 1);
    EXPECT_TRUE(D().Messages.back().Text.endsWith("are in the table already"))
        << D().Messages.back().Text.toStdString();
    EXPECT_EQ(CellFiles(*W().Grid()), QStringList({"a.jpg", "b.jpg", "c.jpg", "-", "-", "-"}));

    MakeJpeg(dir + "/d.jpg");
    D().Directories = {dir};
    W().Grid()->SetCurrentCell(0, 0);
    W().Commands->AddFolderA->trigger();
    ProcessEvents();
    EXPECT_EQ(CellFiles(*W().Grid()), QStringList({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "-", "-"}));
}

// Ctrl+arrows move the current picture (exchanging with a neighbour's), the arrows alone move the current
// cell.
TEST_F(TAppTest, CtrlArrowsMoveThePictureAndArrowsMoveTheCell) {
    TGfxGrid& grid = *W().Grid();
    // The empty grid shows how pictures come in; once it holds one, the hint is gone.
    const QString hint = grid.EmptyHint();
    const auto shown = [&grid](const QString& text) {
        grid.SetEmptyHint(text);
        return grid.viewport()->grab().toImage();
    };
    EXPECT_NE(shown(hint), shown({}));
    Load(0, 0, MakeJpeg(FFiles.File("a.jpg")));
    EXPECT_EQ(shown(hint), shown({}));
    Load(1, 1, MakeJpeg(FFiles.File("b.jpg")));
    const QString name = grid.Cells(0, 0);
    grid.setFocus();
    grid.SetCurrentCell(0, 0);
    QTest::keyClick(&grid, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&grid, Qt::Key_Up, Qt::ControlModifier); // at the top edge: nothing
    ProcessEvents();
    EXPECT_EQ(CellFiles(grid), QStringList({"-", "a.jpg", "-", "-", "b.jpg", "-"}));
    EXPECT_EQ(grid.Cells(1, 0), name); // the published name goes with its picture
    EXPECT_EQ(grid.Col(), 1);
    QTest::keyClick(&grid, Qt::Key_Down, Qt::ControlModifier);
    ProcessEvents();
    EXPECT_EQ(CellFiles(grid), QStringList({"-", "b.jpg", "-", "-", "a.jpg", "-"}));
    EXPECT_EQ(grid.Row(), 1);
    QTest::keyClick(&grid, Qt::Key_Left);
    EXPECT_EQ(CellFiles(grid), QStringList({"-", "b.jpg", "-", "-", "a.jpg", "-"}));
    EXPECT_EQ(grid.Col(), 0);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 2");
}

namespace {

// Does something (presses a button) when the window first hears that a picture was placed.
class TPressOnFirstPlaced : public QObject {
public:
    explicit TPressOnFirstPlaced(QPushButton* button)
        : FAct([button] { QTest::mouseClick(button, Qt::LeftButton); }) {}
    explicit TPressOnFirstPlaced(std::function<void()> act) : FAct(std::move(act)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == WM_GFXCELLLOADED && !FPressed) {
            FPressed = true;
            FAct();
        }
        return false;
    }

private:
    std::function<void()> FAct;
    bool FPressed = false;
};

} // namespace

// Cancel while pictures are placed: the ones placed stay whole and in order, no further one comes.
TEST_F(TAppTest, CancelLeavesThePicturesPlacedSoFarAndNoHalfPlacedOne) {
    QStringList paths;
    for (int i = 0; i < 24; ++i)
        paths << MakeJpeg(FFiles.File(QString("p%1.jpg").arg(i, 2, 10, QChar('0'))), {}, 1600, 1200);
    W().Html->GfxGridRowSE->setValue(8);
    D().PictureSets = {paths};
    TPressOnFirstPlaced cancel(W().PlaceCmds->CancelB);
    W().installEventFilter(&cancel);
    W().Commands->GfxG_LoadPicture->trigger();
    EXPECT_TRUE(W().PlaceCmds->Placing());
    EXPECT_TRUE(W().PlaceCmds->CancelB->isVisibleTo(&W()));
    ProcessEvents(); // the window takes events while the pictures are read, until Cancel is pressed
    W().removeEventFilter(&cancel);
    ASSERT_GT(W().CountPictures(), 0);
    EXPECT_FALSE(W().PlaceCmds->Placing());
    EXPECT_FALSE(W().PlaceCmds->CancelB->isVisibleTo(&W()));
    const int placed = W().CountPictures();
    EXPECT_LT(placed, paths.size());
    QThread::msleep(200); // readers still at a picture finish it; it is not placed
    ProcessEvents();
    EXPECT_EQ(W().CountPictures(), placed);
    const QStringList cells = CellFiles(*W().Grid());
    for (int i = 0; i < cells.size(); ++i) {
        if (i < placed) {
            EXPECT_EQ(cells[i], QFileInfo(paths[i]).fileName());
            EXPECT_TRUE(W().Grid()->Objects(i % 3, i / 3)->HasImage());
        } else {
            EXPECT_EQ(cells[i], "-");
        }
    }
    EXPECT_TRUE(D().Messages.empty());
    EXPECT_EQ(W().StatusP1->text(), QString("Table: 3x8  Images: %1").arg(placed));
}

// Undo while pictures are still placed stops the placing and takes all of it back (undoing beneath a
// placing that went on lost pictures unseen); redo brings back what was placed, in order.
TEST_F(TAppTest, UndoWhilePlacingTakesThePlacingBackWhole) {
    QStringList paths;
    for (int i = 0; i < 24; ++i)
        paths << MakeJpeg(FFiles.File(QString("p%1.jpg").arg(i, 2, 10, QChar('0'))), {}, 1600, 1200);
    W().Html->GfxGridRowSE->setValue(8);
    D().PictureSets = {paths};
    TPressOnFirstPlaced undo([this] { W().Commands->UndoA->trigger(); });
    W().installEventFilter(&undo);
    W().Commands->GfxG_LoadPicture->trigger();
    ProcessEvents();
    W().removeEventFilter(&undo);
    QThread::msleep(200);
    ProcessEvents();
    EXPECT_FALSE(W().PlaceCmds->Placing());
    EXPECT_EQ(W().CountPictures(), 0);
    W().Commands->RedoA->trigger();
    const int placed = W().CountPictures();
    ASSERT_GT(placed, 0);
    const QStringList cells = CellFiles(*W().Grid());
    for (int i = 0; i < placed; ++i)
        EXPECT_EQ(cells[i], QFileInfo(paths[i]).fileName());
}

// `veltrix FILE...`: files and folders named relative to the working folder, placed from the top-left cell.
TEST_F(TAppTest, FilesAndFoldersFromTheCommandLineArePlaced) {
    QDir().mkpath(FFiles.File("trip"));
    MakeJpeg(FFiles.File("trip/b.jpg"));
    MakeJpeg(FFiles.File("trip/a.jpg"));
    MakeJpeg(FFiles.File("z.jpg"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FFiles.Path()));
    W().PlaceCmds->OpenFiles({"z.jpg", "trip"});
    QDir::setCurrent(before);
    ProcessEvents();
    EXPECT_EQ(CellFiles(*W().Grid()), QStringList({"z.jpg", "a.jpg", "b.jpg", "-", "-", "-"}));
    EXPECT_EQ(W().Grid()->Objects(0, 0)->FileName(), FFiles.File("z.jpg"));
}
