// Picture grid: moving cells' contents in one go, and the hint shown while the grid is empty.
#include "grid/GfxGrid.h"

#include <algorithm>
#include <cassert>

#include <QPaintEvent>
#include <QPainter>

#include "grid/GfxGridModel.h"

void TGfxGrid::Rearrange(const std::vector<int>& from) {
    const int cols = ColCount();
    const int count = cols * RowCount();
    assert(static_cast<int>(from.size()) == count);
    // Cycle by cycle: each swap puts one position's content in place, and the names travel with it.
    std::vector<int> at(count);    // where each original position's content is now
    std::vector<int> holds(count); // whose content each position holds now
    for (int p = 0; p < count; ++p)
        at[p] = holds[p] = p;
    bool moved = false;
    for (int p = 0; p < count; ++p) {
        const int q = at[from[p]];
        if (q == p)
            continue;
        FModel->Swap(p % cols, p / cols, q % cols, q / cols);
        std::swap(holds[p], holds[q]);
        at[holds[p]] = p;
        at[holds[q]] = q;
        moved = true;
    }
    if (moved)
        PostToMainWindow(WM_GFXCELLSSWAPPED);
}

void TGfxGrid::SetEmptyHint(const QString& hint) {
    FEmptyHint = hint;
    // A cell's change repaints that cell alone; the hint outside the cells comes and goes with the pictures.
    const auto hintChanged = [this] {
        if (FHintShown != (Gallery().CountPictures() == 0))
            viewport()->update();
    };
    connect(model(), &QAbstractItemModel::dataChanged, this, hintChanged);
    connect(model(), &QAbstractItemModel::modelReset, this, hintChanged);
    viewport()->update();
}

void TGfxGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    FHintShown = !FEmptyHint.isEmpty() && Gallery().CountPictures() == 0;
    if (!FHintShown)
        return;
    // Under the cells when there is room for it there, else over them.
    QRect room = viewport()->rect().adjusted(8, 8, -8, -8);
    const int cellsBottom = rowViewportPosition(std::max(0, RowCount() - 1)) + rowHeight(RowCount() - 1);
    if (RowCount() > 0 && room.bottom() - cellsBottom > 3 * fontMetrics().height())
        room.setTop(cellsBottom + 8);
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(room, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, FEmptyHint);
}
