// The grid's cells: a name and an owned picture item per cell, as a table model for the view.
#include "grid/GfxGridModel.h"

#include <cassert>
#include <utility>

#include "grid/GfxGrid.h"

TGfxGridModel::TGfxGridModel(QObject* parent) : QAbstractTableModel(parent) {}

TGfxGridModel::~TGfxGridModel() = default;

int TGfxGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TGfxGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FColCount;
}

QVariant TGfxGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Contains(index.column(), index.row()))
        return {};
    const TCell& cell = Cell(index.column(), index.row());
    // The name is for accessibility and tool tips; the cell itself shows only the preview.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return cell.Name.isEmpty() ? QVariant() : QVariant(cell.Name);
    return {};
}

bool TGfxGridModel::Contains(int aCol, int aRow) const {
    return aCol >= 0 && aCol < FColCount && aRow >= 0 && aRow < static_cast<int>(FRows.size());
}

const QString& TGfxGridModel::Name(int aCol, int aRow) const {
    return Cell(aCol, aRow).Name;
}

TGfxGridItem* TGfxGridModel::Item(int aCol, int aRow) const {
    return Cell(aCol, aRow).Item.get();
}

std::unique_ptr<TGfxGridItem> TGfxGridModel::SetCell(int aCol, int aRow, const QString& name,
                                                     std::unique_ptr<TGfxGridItem> item) {
    TCell& cell = Cell(aCol, aRow);
    cell.Name = name;
    std::swap(cell.Item, item);
    CellChanged(aCol, aRow);
    return item;
}

void TGfxGridModel::SetName(int aCol, int aRow, const QString& name) {
    Cell(aCol, aRow).Name = name;
    CellChanged(aCol, aRow);
}

void TGfxGridModel::Swap(int col1, int row1, int col2, int row2) {
    std::swap(Cell(col1, row1), Cell(col2, row2));
    CellChanged(col1, row1);
    CellChanged(col2, row2);
}

void TGfxGridModel::Resize(int colCount, int rowCount) {
    assert(colCount >= 0 && rowCount >= 0);
    const int oldRows = static_cast<int>(FRows.size());
    if (rowCount < oldRows) {
        beginRemoveRows({}, rowCount, oldRows - 1);
        FRows.resize(rowCount);
        endRemoveRows();
    }
    if (colCount < FColCount) {
        beginRemoveColumns({}, colCount, FColCount - 1);
        for (auto& row : FRows)
            row.resize(colCount);
        FColCount = colCount;
        endRemoveColumns();
    }
    if (colCount > FColCount) {
        beginInsertColumns({}, FColCount, colCount - 1);
        for (auto& row : FRows)
            row.resize(colCount);
        FColCount = colCount;
        endInsertColumns();
    }
    if (rowCount > static_cast<int>(FRows.size())) {
        beginInsertRows({}, static_cast<int>(FRows.size()), rowCount - 1);
        while (static_cast<int>(FRows.size()) < rowCount)
            FRows.emplace_back(FColCount);
        endInsertRows();
    }
}

TGfxGridModel::TCell& TGfxGridModel::Cell(int aCol, int aRow) {
    assert(Contains(aCol, aRow));
    return FRows[aRow][aCol];
}

const TGfxGridModel::TCell& TGfxGridModel::Cell(int aCol, int aRow) const {
    assert(Contains(aCol, aRow));
    return FRows[aRow][aCol];
}

void TGfxGridModel::CellChanged(int aCol, int aRow) {
    const QModelIndex at = index(aRow, aCol);
    emit dataChanged(at, at);
}
