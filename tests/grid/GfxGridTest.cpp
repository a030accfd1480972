// The grid's cells: placing, replacing and clearing pictures, previews, table size and keys.
#include "GridFixture.h"

#include <QFileInfo>
#include <QTest>

namespace {

using Events = std::vector<int>;

TEST_F(GridTest, PlacedPictureKeepsItsRealPathSizesAndAFittedPreview) {
    const QString path = MakePicture("Beach.BMP", 1024, 768);
    FGrid->LoadCell(1, 0, path);

    EXPECT_EQ(Posted(), (Events{C, L}));
    EXPECT_EQ(FGrid->Cells(1, 0), "beach.bmp");
    const TGfxGridItem* item = FGrid->Objects(1, 0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->FileName(), path); // files are opened by their real name
    EXPECT_EQ(item->ImageWidth(), 1024);
    EXPECT_EQ(item->ImageHeight(), 768);
    EXPECT_EQ(item->FileSize(), QFileInfo(path).size());
    EXPECT_EQ(item->Bitmap().size(), QSize(60, 45));
}

TEST_F(GridTest, PreviewIsDrawnCentredInADefaultSizeCell) {
    FGrid->LoadCell(1, 1, MakePicture("wide.bmp", 1024, 768, Qt::blue));
    const QRect rect = FGrid->visualRect(FGrid->model()->index(1, 1));
    EXPECT_EQ(rect.size(), QSize(64, 64));
    const QImage shot = FGrid->viewport()->grab().toImage();
    const auto isPreview = [&](int x, int y) {
        return shot.pixel(rect.topLeft() + QPoint(x, y)) == QColor(Qt::blue).rgb();
    };
    // 60 x 45 at (2, 9): the corners are in, the pixels just outside them are not.
    EXPECT_TRUE(isPreview(2, 9));
    EXPECT_TRUE(isPreview(61, 53));
    EXPECT_FALSE(isPreview(1, 9));
    EXPECT_FALSE(isPreview(2, 8));
    EXPECT_FALSE(isPreview(62, 53));
    EXPECT_FALSE(isPreview(61, 54));
}

TEST_F(GridTest, ReloadingTheSameFileReplacesTheItem) {
    const QString path = MakePicture("a.bmp", 40, 30);
    FGrid->LoadCell(0, 0, path);
    const TGfxGridItem* first = FGrid->Objects(0, 0);
    Posted();

    FGrid->LoadCell(0, 0, path);
    EXPECT_EQ(Posted(), (Events{C, L}));
    EXPECT_NE(FGrid->Objects(0, 0), first);
    EXPECT_EQ(FGrid->Cells(0, 0), "a.bmp");
}

TEST_F(GridTest, ReloadCellRebuildsThePreviewAtTheNewCellSize) {
    FGrid->LoadCell(0, 0, MakePicture("a.bmp", 1024, 768));
    FGrid->SetDefaultColWidth(44);
    EXPECT_EQ(FGrid->Objects(0, 0)->Bitmap().size(), QSize(60, 45)); // until reloaded
    Posted();

    FGrid->ReloadCell(0, 0);
    FGrid->ReloadCell(1, 0); // empty: nothing
    EXPECT_EQ(FGrid->Objects(0, 0)->Bitmap().size(), QSize(40, 30));
    EXPECT_EQ(Posted(), (Events{C, L}));
}

struct TBadFile {
    const char* Name;
    const char* MessagePart;
};

class GridBadFileTest : public GridTest, public ::testing::WithParamInterface<TBadFile> {};

TEST_P(GridBadFileTest, FailedLoadLeavesTheCellAsItWas) {
    const QString good = MakePicture("good.bmp", 40, 30);
    FGrid->LoadCell(0, 0, good);
    const TGfxGridItem* before = FGrid->Objects(0, 0);
    Posted();

    const QString bad =
        QString(GetParam().Name).startsWith("grid/") ? TestData(GetParam().Name) : FDir.File(GetParam().Name);
    try {
        FGrid->LoadCell(0, 0, bad);
        FAIL() << "no error for " << bad.toStdString();
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(GetParam().MessagePart)) << error.what();
    }
    EXPECT_EQ(Posted(), Events{});
    EXPECT_EQ(FGrid->Objects(0, 0), before);
    EXPECT_EQ(FGrid->Cells(0, 0), "good.bmp");
}

INSTANTIATE_TEST_SUITE_P(Files, GridBadFileTest,
                         ::testing::Values(TBadFile{"grid/garbage.jpg", "garbage.jpg"},
                                           TBadFile{"grid/empty.bmp", "empty.bmp"},
                                           TBadFile{"missing.jpg", "missing.jpg"}));

TEST_F(GridTest, CoordinatesOutsideTheGridAreIgnored) {
    const QString path = MakePicture("a.bmp", 4, 3);
    for (const QPoint cell : {QPoint(-1, 0), QPoint(3, 0), QPoint(0, 2), QPoint(0, -1)})
        FGrid->LoadCell(cell.x(), cell.y(), path);
    EXPECT_EQ(Posted(), Events{});
}

TEST_F(GridTest, MakeCellItemWithoutAnItemFails) {
    try {
        FGrid->MakeCellItem(MakePicture("a.bmp", 4, 3), nullptr);
        FAIL();
    } catch (const EGfxGridException& error) {
        EXPECT_EQ(error.Message(), "object not assigned");
    }
}

TEST_F(GridTest, StatusTextNamesThePictureBeforeItLoads) {
    const QString path = MakePicture("a.bmp", 4, 3);
    QStringList texts;
    FGrid->OnStatusText = [&](TGfxGrid* sender, const QString& text) {
        EXPECT_EQ(sender, FGrid.get());
        EXPECT_TRUE(FGrid->IsCellEmpty(2, 1));
        texts.append(text);
    };
    FGrid->LoadCell(2, 1, path);
    EXPECT_EQ(texts, QStringList{"Setting: " + path});
}

TEST_F(GridTest, GridShrunkWhileAPictureLoadsTakesNoPicture) {
    // The status text lets events run during the load; one of them may remove the target cell.
    FGrid->OnStatusText = [&](TGfxGrid*, const QString&) { FGrid->SetColCount(2); };
    FGrid->LoadCell(2, 1, MakePicture("a.bmp", 4, 3));
    EXPECT_EQ(FGrid->ColCount(), 2);
    EXPECT_EQ(Posted(), (Events{C, C})); // the shrink's clearing, and no placement
}

TEST_F(GridTest, FewerColumnsFreeTheirPicturesAndMoreBringEmptyCells) {
    FillAll();
    FGrid->SetColCount(2);
    EXPECT_EQ(Posted(), (Events{C, C}));
    FGrid->SetColCount(3);
    EXPECT_TRUE(FGrid->IsCellEmpty(2, 0));
    EXPECT_TRUE(FGrid->IsCellEmpty(2, 1));
    EXPECT_EQ(FGrid->Objects(2, 1), nullptr);
    EXPECT_FALSE(FGrid->IsCellEmpty(1, 1));

    FGrid->SetRowCount(1);
    EXPECT_EQ(Posted(), (Events{C, C, C}));
    FGrid->SetRowCount(2);
    EXPECT_TRUE(FGrid->IsCellEmpty(0, 1));
    EXPECT_FALSE(FGrid->IsCellEmpty(0, 0));
}

TEST_F(GridTest, FindEmptyCellSearchesOnwardsWithoutWrapping) {
    FillAll();
    FGrid->ClearCell(1, 0);
    int col = 2;
    int row = 0;
    EXPECT_FALSE(FGrid->FindEmptyCell(col, row));
    EXPECT_EQ(QPoint(col, row), QPoint(2, 0));
    col = 1;
    EXPECT_TRUE(FGrid->FindEmptyCell(col, row));
    EXPECT_EQ(QPoint(col, row), QPoint(1, 0));
    FGrid->ClearCell(0, 1);
    col = 2;
    EXPECT_TRUE(FGrid->FindEmptyCell(col, row));
    EXPECT_EQ(QPoint(col, row), QPoint(0, 1));
}

TEST_F(GridTest, SwitchingPlainNamesRenamesFilledCellsOnly) {
    FGrid->LoadCell(0, 0, MakePicture("Beach.JPG.bmp", 4, 3));
    const QString path = FGrid->Objects(0, 0)->FileName();
    EXPECT_EQ(FGrid->Cells(0, 0), "beach.jpg.bmp");

    FGrid->SetPlainNames(false);
    const QString tagged = FGrid->CellName(path);
    EXPECT_EQ(FGrid->Cells(0, 0), tagged.mid(tagged.lastIndexOf('/') + 1));
    EXPECT_TRUE(FGrid->Cells(0, 0).startsWith("beach_")) << FGrid->Cells(0, 0).toStdString();
    EXPECT_TRUE(FGrid->IsCellEmpty(1, 0));

    FGrid->SetPlainNames(true);
    EXPECT_EQ(FGrid->Cells(0, 0), "beach.jpg.bmp");
    EXPECT_EQ(Posted(), (Events{C, L}));
}

TEST_F(GridTest, DeleteClearsTheCurrentCellAndControlDeleteClearsAll) {
    FillAll();
    FGrid->setFocus();
    FGrid->SetCurrentCell(1, 1);
    QTest::keyClick(FGrid.get(), Qt::Key_Delete);
    EXPECT_EQ(Posted(), Events{C});
    EXPECT_TRUE(FGrid->IsCellEmpty(1, 1));
    EXPECT_FALSE(FGrid->IsCellEmpty(0, 1));
    EXPECT_EQ(QPoint(FGrid->Col(), FGrid->Row()), QPoint(1, 1));

    QTest::keyClick(FGrid.get(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Posted(), Events(6, C));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(FGrid->Objects(col, row), nullptr);
    EXPECT_EQ(QPoint(FGrid->Col(), FGrid->Row()), QPoint(0, 0));
}

TEST_F(GridTest, OwnerSeesKeysFirstAndMayTakeThem) {
    FillAll();
    FGrid->SetCurrentCell(0, 0);
    std::vector<int> keys;
    FGrid->OnKeyDown = [&](TGfxGrid*, int& key, Qt::KeyboardModifiers) {
        keys.push_back(key);
        if (key == Qt::Key_Delete)
            key = 0;
    };
    int clicks = 0;
    FGrid->OnClick = [&](TGfxGrid*) { ++clicks; };
    QTest::keyClick(FGrid.get(), Qt::Key_Delete);
    QTest::keyClick(FGrid.get(), Qt::Key_Right);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Delete, Qt::Key_Right}));
    EXPECT_FALSE(FGrid->IsCellEmpty(0, 0));
    EXPECT_EQ(FGrid->Col(), 1);
    EXPECT_EQ(clicks, 1);
}

TEST_F(GridTest, NoMainWindowMeansNothingIsPosted) {
    FGrid->SetMainWindow(nullptr);
    FillAll();
    FGrid->ClearAllCells();
    EXPECT_EQ(Posted(), Events{});
}

} // namespace
