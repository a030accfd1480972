// A real grid on the offscreen platform, pictures to put into it and a recorder of what it posts.
#pragma once

#include <memory>
#include <vector>

#include <QApplication>
#include <QColor>
#include <QMimeData>
#include <QStringList>

#include <gtest/gtest.h>

#include "grid/GfxGrid.h"
#include "support/TestSupport.h"

// The program's error display in small: an exception leaving a handler is recorded, not shown.
class TTestApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    static TTestApplication* Instance();

    QStringList Errors;
};

// Records the types of the grid's notifications in the order they arrive.
class TEventLog : public QObject {
public:
    bool event(QEvent* event) override;
    std::vector<int> Types;
};

// A grid whose drag loop is replaced by keeping what the drag would carry.
class TTestGrid : public TGfxGrid {
public:
    std::unique_ptr<QMimeData> Dragged;
    int DragsStarted = 0;

protected:
    void startDrag(Qt::DropActions) override;
};

inline constexpr int L = WM_GFXCELLLOADED;
inline constexpr int C = WM_GFXCELLCLEARED;
inline constexpr int S = WM_GFXCELLSSWAPPED;

class GridTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A one-colour BMP of the given size in the temporary folder.
    QString MakePicture(const QString& name, int width, int height, QColor color = Qt::red);
    // Delivers what the grid posted and returns it, forgetting it for the next call.
    std::vector<int> Posted();
    // The centre of a cell in viewport coordinates.
    QPoint CellCentre(int aCol, int aRow) const;
    void FillAll();

    TTempDir FDir;
    TEventLog FLog;
    std::unique_ptr<TTestGrid> FGrid;
};

// Sends drag-enter, drag-move and drop of the data at a viewport point; true when the drop was accepted.
bool SendDrop(TGfxGrid& grid, const QMimeData& data, const QPoint& pos);
// Sends drag-enter and drag-move; true when the grid would take a drop there.
bool SendDragOver(TGfxGrid& grid, const QMimeData& data, const QPoint& pos);
std::unique_ptr<QMimeData> FileDrop(const QStringList& paths);
