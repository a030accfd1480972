// The grid's cells as a table model for the view: the gallery's cells (names, pictures and what is kept of
// them), and an owned preview item per filled cell.
#pragma once

#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

#include "gallery/Gallery.h"

class TGfxGridItem;

class TGfxGridModel : public QAbstractTableModel {
public:
    explicit TGfxGridModel(QObject* parent = nullptr);
    ~TGfxGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    bool Contains(int aCol, int aRow) const { return FGallery->Contains(aCol, aRow); }
    TGallery& Gallery() { return *FGallery; }
    const TGallery& Gallery() const { return *FGallery; }
    // The cells are gallery's from now on, which takes the table as it stands and keeps its own settings;
    // it must outlive the model.
    void ShareGallery(TGallery& gallery);
    const QString& Name(int aCol, int aRow) const;
    TGfxGridItem* Item(int aCol, int aRow) const;

    // Replaces a cell's name and item (the cell takes the picture, its real path and the stretch made with
    // the item); returns the previous item, which the caller frees.
    std::unique_ptr<TGfxGridItem> SetCell(int aCol, int aRow, const QString& name,
                                          std::unique_ptr<TGfxGridItem> item);
    // Puts a cell as it is given (its name kept) with its item, or with none for a picture that is missing.
    void PutCell(int aCol, int aRow, TGalleryCell cell, std::unique_ptr<TGfxGridItem> item);
    // Takes the gallery's cells and the items (row by row, as its cells) in place of the table's whole
    // content; the settings stay.
    void SetContent(const TGallery& gallery, std::vector<std::unique_ptr<TGfxGridItem>> items);
    void SetName(int aCol, int aRow, const QString& name);
    void Swap(int col1, int row1, int col2, int row2);

    // Only shapes the table: cells that a smaller size drops must have been emptied by the caller.
    void Resize(int colCount, int rowCount);

private:
    int Index(int aCol, int aRow) const { return aRow * FGallery->Columns() + aCol; }
    void CellChanged(int aCol, int aRow);

    TGallery FOwn; // until a gallery is shared
    TGallery* FGallery = &FOwn;
    std::vector<std::unique_ptr<TGfxGridItem>> FItems; // row by row, as the gallery's cells
};
