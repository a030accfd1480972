// The grid's cells: the gallery's cells and their preview items, as a table model for the view.
#include "grid/GfxGridModel.h"

#include <cassert>
#include <utility>

#include "grid/GfxGrid.h"

TGfxGridModel::TGfxGridModel(QObject* parent) : QAbstractTableModel(parent) {
    FGallery->SetTableSize(0, 0);
}

namespace {

// Cells, table size and names from one gallery into another that keeps its settings (the table's size
// aside, which follows the table).
void TakeCells(TGallery& into, const TGallery& from) {
    TGallerySettings settings = into.Settings;
    into = from;
    settings.Page.Columns = into.Columns();
    settings.Page.Rows = into.Rows();
    into.Settings = settings;
}

} // namespace

void TGfxGridModel::ShareGallery(TGallery& gallery) {
    beginResetModel();
    TakeCells(gallery, *FGallery);
    FGallery = &gallery;
    endResetModel();
}

TGfxGridModel::~TGfxGridModel() = default;

int TGfxGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FGallery->Rows();
}

int TGfxGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FGallery->Columns();
}

QVariant TGfxGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Contains(index.column(), index.row()))
        return {};
    const QString& name = Name(index.column(), index.row());
    // The name is for accessibility and tool tips; the cell itself shows only the preview.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return name.isEmpty() ? QVariant() : QVariant(name);
    return {};
}

const QString& TGfxGridModel::Name(int aCol, int aRow) const {
    assert(Contains(aCol, aRow));
    return FGallery->Cell(aCol, aRow).Name;
}

TGfxGridItem* TGfxGridModel::Item(int aCol, int aRow) const {
    assert(Contains(aCol, aRow));
    return FItems[Index(aCol, aRow)].get();
}

std::unique_ptr<TGfxGridItem> TGfxGridModel::SetCell(int aCol, int aRow, const QString& name,
                                                     std::unique_ptr<TGfxGridItem> item) {
    assert(Contains(aCol, aRow));
    TGalleryCell cell;
    if (item) {
        cell.Name = name;
        cell.Source = item->FileName();
        cell.RealPath = item->RealPath();
        cell.Caption = item->Caption();
        cell.Kept = std::move(item->Made());
        item->Made().Drop();
    }
    FGallery->SetCell(aCol, aRow, std::move(cell));
    std::swap(FItems[Index(aCol, aRow)], item);
    CellChanged(aCol, aRow);
    return item;
}

void TGfxGridModel::PutCell(int aCol, int aRow, TGalleryCell cell, std::unique_ptr<TGfxGridItem> item) {
    assert(Contains(aCol, aRow));
    if (item) {
        cell.RealPath = item->RealPath();
        cell.Kept = std::move(item->Made());
        item->Made().Drop();
    }
    FGallery->SetCell(aCol, aRow, std::move(cell));
    FItems[Index(aCol, aRow)] = std::move(item);
    CellChanged(aCol, aRow);
}

void TGfxGridModel::SetContent(const TGallery& gallery, std::vector<std::unique_ptr<TGfxGridItem>> items) {
    assert(items.size() == size_t(gallery.Columns()) * gallery.Rows());
    beginResetModel();
    TakeCells(*FGallery, gallery);
    FItems = std::move(items);
    endResetModel();
}

void TGfxGridModel::SetName(int aCol, int aRow, const QString& name) {
    assert(Contains(aCol, aRow));
    FGallery->SetName(aCol, aRow, name);
    CellChanged(aCol, aRow);
}

void TGfxGridModel::Swap(int col1, int row1, int col2, int row2) {
    FGallery->SwapCells(col1, row1, col2, row2);
    std::swap(FItems[Index(col1, row1)], FItems[Index(col2, row2)]);
    CellChanged(col1, row1);
    CellChanged(col2, row2);
}

// The view hears of the rows and columns that go or come, each side at a time.
void TGfxGridModel::Resize(int colCount, int rowCount) {
    assert(colCount >= 0 && rowCount >= 0);
    const auto reshape = [this](int cols, int rows) {
        std::vector<std::unique_ptr<TGfxGridItem>> items(static_cast<size_t>(cols) * rows);
        for (int row = 0; row < std::min(rows, FGallery->Rows()); ++row)
            for (int col = 0; col < std::min(cols, FGallery->Columns()); ++col)
                items[size_t(row) * cols + col] = std::move(FItems[Index(col, row)]);
        FItems = std::move(items);
        FGallery->SetTableSize(cols, rows);
    };
    if (rowCount < FGallery->Rows()) {
        beginRemoveRows({}, rowCount, FGallery->Rows() - 1);
        reshape(FGallery->Columns(), rowCount);
        endRemoveRows();
    }
    if (colCount < FGallery->Columns()) {
        beginRemoveColumns({}, colCount, FGallery->Columns() - 1);
        reshape(colCount, FGallery->Rows());
        endRemoveColumns();
    }
    if (colCount > FGallery->Columns()) {
        beginInsertColumns({}, FGallery->Columns(), colCount - 1);
        reshape(colCount, FGallery->Rows());
        endInsertColumns();
    }
    if (rowCount > FGallery->Rows()) {
        beginInsertRows({}, FGallery->Rows(), rowCount - 1);
        reshape(FGallery->Columns(), rowCount);
        endInsertRows();
    }
}

void TGfxGridModel::CellChanged(int aCol, int aRow) {
    const QModelIndex at = index(aRow, aCol);
    emit dataChanged(at, at);
}
