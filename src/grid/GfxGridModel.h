// The grid's cells: a name and an owned picture item per cell, as a table model for the view.
#pragma once

#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

class TGfxGridItem;

class TGfxGridModel : public QAbstractTableModel {
public:
    explicit TGfxGridModel(QObject* parent = nullptr);
    ~TGfxGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    bool Contains(int aCol, int aRow) const;
    const QString& Name(int aCol, int aRow) const;
    TGfxGridItem* Item(int aCol, int aRow) const;

    // Replaces a cell's name and item; returns the previous item, which the caller frees.
    std::unique_ptr<TGfxGridItem> SetCell(int aCol, int aRow, const QString& name,
                                          std::unique_ptr<TGfxGridItem> item);
    void SetName(int aCol, int aRow, const QString& name);
    void Swap(int col1, int row1, int col2, int row2);

    // Only shapes the table: cells that a smaller size drops must have been emptied by the caller.
    void Resize(int colCount, int rowCount);

private:
    struct TCell {
        QString Name;
        std::unique_ptr<TGfxGridItem> Item;
    };

    TCell& Cell(int aCol, int aRow);
    const TCell& Cell(int aCol, int aRow) const;
    void CellChanged(int aCol, int aRow);

    int FColCount = 0;
    std::vector<std::vector<TCell>> FRows;
};
