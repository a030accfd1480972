// Picture grid: cells, their pictures and names, the table size and the cell painting.
#include "grid/GfxGrid.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QPainter>
#include <QScopeGuard>
#include <QSet>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QThread>

#include "common/VlxNativePath.h"
#include "common/VlxPictureThreads.h"
#include "gallery/GalleryDocument.h"
#include "grid/GfxGridModel.h"
#include "grid/GfxGridPlacer.h"
#include "gallery/GalleryNames.h"
#include "gfx/GfxCaption.h"
#include "html/WebFiles.h"

namespace {

// The cells are painted by the grid itself: a preview and a focus frame, never the name.
class TGfxGridDelegate : public QStyledItemDelegate {
public:
    explicit TGfxGridDelegate(TGfxGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        FGrid->GridDrawCell(*painter, index.column(), index.row(), option.rect, option.state);
    }

private:
    TGfxGrid* FGrid;
};

void FixSections(QHeaderView* header) {
    header->hide(); // no fixed rows or columns
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(QHeaderView::Fixed);
}

} // namespace

// A cell's preview item from a picture file: the picture fitted into a cell of the given size less 4 pixels;
// a very thin picture still keeps one row or column of preview, and transparent pixels show the cell's
// colour `ground` (passed in, since widgets belong to one thread). With a valid picture box, the same pass
// over the picture's rows also makes its stretch into that box, which the item keeps for the run. Safe on
// any thread.
void FillCellItem(const QString& path, int colWidth, int rowHeight, const QColor& ground, const QSize& box,
                  TGfxGridItem& item) {
    // Taken before reading: a change after it shows as a changed stamp when the run comes.
    const TFileStamp stamp = TFileStamp::Of(path);
    TGfxGridItem picture;
    picture.LoadPicture(path);
    if (!picture.HasImage())
        throw EGfxGridException("The picture " + path + " has no pixels");
    const QSize size =
        FitSize(picture.Width(), picture.Height(), std::max(1, colWidth - 4), std::max(1, rowHeight - 4));
    const QSize fit =
        box.isValid() ? FitSize(picture.Width(), picture.Height(), box.width(), box.height()) : QSize();
    std::shared_ptr<TGfxBaseIm> fitted;
    if (box.isValid() && static_cast<long long>(fit.width()) * fit.height() <= kMaxKeptFitPixels) {
        fitted = std::make_shared<TGfxBaseIm>();
        ResizePictures(picture, {{std::max(1, size.width()), std::max(1, size.height()), &item},
                                 {fit.width(), fit.height(), fitted.get()}});
    } else {
        ResizePicture(std::max(1, size.width()), std::max(1, size.height()), picture, item);
    }
    if (!item.Alpha().isNull()) {
        QImage under(item.Width(), item.Height(), QImage::Format_BGR888);
        under.fill(ground);
        item.LayOver(under, 0, 0);
    }
    item.SetFileName(path);
    item.SetRealPath(CanonicalPath(path));
    item.SetCaption(PictureCaption(path));
    item.SetPictureInfo(picture.ImageWidth(), picture.ImageHeight(), picture.FileSize());
    item.Made().Keep(std::move(fitted), box, stamp);
}

namespace {

// The preview items of the files, made on the picture threads while this thread lets events through.
// progress, when given, hears of each file read; cancelled, when given, stops the reading (the readers
// finish the file in hand) and the result is null.
std::unique_ptr<TCellPreviews>
DecodeItems(const QStringList& paths, int colWidth, int rowHeight, const QColor& ground, const QSize& box,
            QEventLoop::ProcessEventsFlags events = QEventLoop::ExcludeUserInputEvents,
            const std::function<void(int, int)>& progress = {}, const std::function<bool()>& cancelled = {}) {
    const int count = static_cast<int>(paths.size());
    auto decoded = std::make_unique<TCellPreviews>();
    decoded->Items.resize(count);
    decoded->Errors.resize(count);
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    // Readers queued or reading; the last thing a reader touches, so that it may end the moment it is 0.
    std::atomic<int> running{0};
    const auto read = [&] {
        for (int i = next++; i < count; i = next++) {
            try {
                auto item = std::make_unique<TGfxGridItem>();
                FillCellItem(paths[i], colWidth, rowHeight, ground, box, *item);
                decoded->Items[i] = std::move(item);
            } catch (...) {
                decoded->Errors[i] = std::current_exception();
            }
            ++done;
        }
        --running;
    };
    // The readers are done before anything they use goes, also when a callback below throws.
    const auto waitReaders = qScopeGuard([&] {
        next = count;
        while (running > 0)
            QThread::msleep(1);
    });
    for (int t = std::min(PictureThreads().maxThreadCount(), count); t > 0; --t) {
        ++running;
        try {
            PictureThreads().start(read);
        } catch (...) {
            --running;
            throw;
        }
    }
    bool stopped = false;
    for (int told = -1;;) {
        if (progress && done != told)
            progress(told = done, count);
        QCoreApplication::processEvents(events);
        if (!stopped && cancelled && cancelled()) {
            stopped = true;
            next = count; // no reader takes another file
        }
        if (running == 0)
            break;
        QThread::msleep(10);
    }
    if (stopped)
        return nullptr;
    if (progress)
        progress(count, count);
    return decoded;
}

} // namespace

TGfxGrid::TGfxGrid(QWidget* parent) : QTableView(parent), FModel(new TGfxGridModel(this)) {
    setModel(FModel);
    FixSections(horizontalHeader());
    FixSections(verticalHeader());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new TGfxGridDelegate(this));
    // Cell drags are always taken; dropped files only once the owner allows them (SetAcceptFiles).
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    SetDefaultColWidth(FDefaultColWidth);
    SetDefaultRowHeight(FDefaultRowHeight);
    Resize(5, 5); // the size of any fresh string grid; the owner sets its own
    Gallery().SetPlainNames(true);
}

// The items go with the model. No notifications: nobody may ask a grid that is being destroyed.
TGfxGrid::~TGfxGrid() = default;

void TGfxGrid::LoadCell(int aCol, int aRow, const QString& fileName) {
    if (!FModel->Contains(aCol, aRow))
        return;
    auto item = std::make_unique<TGfxGridItem>();
    MakeCellItem(fileName, item.get());
    PutCell(aCol, aRow, fileName, std::move(item));
}

void TGfxGrid::PutCell(int aCol, int aRow, const QString& fileName, std::unique_ptr<TGfxGridItem> item) {
    // The status text let events run while the picture loaded: the grid may have shrunk meanwhile.
    if (!FModel->Contains(aCol, aRow))
        return;
    // Made on another thread for a box that has changed since: it would never serve.
    if (item && item->Made().Box() != FPictureBox)
        item->Made().Drop();
    // The item found where the path leads when it was made.
    const QString name =
        Gallery().FreeName(aCol, aRow, fileName, item ? item->RealPath() : CanonicalPath(fileName));
    ClearCell(aCol, aRow);
    FModel->SetCell(aCol, aRow, name, std::move(item));
    PostToMainWindow(WM_GFXCELLLOADED);
}

void TGfxGrid::ReloadCell(int aCol, int aRow) {
    if (!FModel->Contains(aCol, aRow))
        return;
    if (const TGfxGridItem* item = FModel->Item(aCol, aRow)) {
        const QString fileName = item->FileName(); // the item is replaced during the load
        // The user may have typed another caption than the picture's own.
        const QString caption = Gallery().Cell(aCol, aRow).Caption;
        LoadCell(aCol, aRow, fileName);
        if (FModel->Item(aCol, aRow) && FModel->Item(aCol, aRow)->FileName() == fileName)
            Gallery().SetCaption(aCol, aRow, caption);
    }
}

std::vector<TRefusedFile> TGfxGrid::PlaceFiles(const QStringList& paths, int aCol, int aRow,
                                               bool intoStartCell) {
    std::vector<TRefusedFile> refused;
    // As many files as there are empty cells are decoded at once on every core; a file that fails leaves its
    // cell to the next, so the files after those are read one by one as before.
    int empty = 0;
    for (int row = 0; row < RowCount(); ++row)
        for (int col = 0; col < ColCount(); ++col)
            empty += IsCellEmpty(col, row) ? 1 : 0;
    const int ahead = static_cast<int>(std::min<qsizetype>(paths.size(), empty + (intoStartCell ? 1 : 0)));
    std::unique_ptr<TCellPreviews> decoded;
    if (ahead > 1)
        decoded = DecodeItems(paths.mid(0, ahead), FDefaultColWidth, FDefaultRowHeight,
                              palette().color(QPalette::Base), FPictureBox);
    for (int i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        int col = aCol;
        int row = aRow;
        if (!intoStartCell && !FindEmptyCell(col, row)) {
            col = 0;
            row = 0;
            if (!FindEmptyCell(col, row)) {
                refused.push_back({path, "No empty cell to add " + path, true});
                continue;
            }
        }
        try {
            if (decoded && i < static_cast<int>(decoded->Items.size())) {
                if (decoded->Errors[i])
                    std::rethrow_exception(decoded->Errors[i]);
                if (OnStatusText)
                    OnStatusText(this, "Setting: " + ShownPath(path));
                PutCell(col, row, path, std::move(decoded->Items[i]));
            } else {
                LoadCell(col, row, path);
            }
        } catch (const std::exception& error) {
            // A stand-in link for a name that is not UTF-8 is told by the path it stands for.
            refused.push_back({path, QString::fromUtf8(error.what()).replace(path, ShownPath(path)), false});
            continue;
        }
        intoStartCell = false;
        aCol = col; // the next file searches on from here
        aRow = row;
    }
    return refused;
}

std::unique_ptr<TCellPreviews> TGfxGrid::ReadCellPreviews(const std::vector<TDocumentCell>& cells,
                                                          const QSize& box,
                                                          QEventLoop::ProcessEventsFlags events,
                                                          const std::function<void(int, int)>& progress,
                                                          const std::function<bool()>& cancelled) const {
    QStringList paths;
    for (const TDocumentCell& cell : cells)
        paths << cell.Cell.Source;
    return DecodeItems(paths, FDefaultColWidth, FDefaultRowHeight, palette().color(QPalette::Base), box,
                       events, progress, cancelled);
}

std::vector<TRefusedFile> TGfxGrid::LoadNamedCells(const std::vector<TDocumentCell>& cells,
                                                   TCellPreviews& read) {
    if (cells.empty())
        return {};
    std::vector<TRefusedFile> refused;
    for (size_t i = 0; i < cells.size(); ++i) {
        const TDocumentCell& at = cells[i];
        if (!FModel->Contains(at.Column, at.Row))
            continue;
        if (read.Errors[i]) {
            try {
                std::rethrow_exception(read.Errors[i]);
            } catch (const std::exception& error) {
                const QString reason = QFileInfo::exists(at.Cell.Source) ? QString::fromUtf8(error.what())
                                                                         : at.Cell.Source + " not found";
                refused.push_back({at.Cell.Source, reason, false});
            }
        }
        std::unique_ptr<TGfxGridItem> item = std::move(read.Items[i]);
        if (item && item->Made().Box() != FPictureBox)
            item->Made().Drop();
        TGalleryCell cell = at.Cell;
        cell.Kept.Drop();
        if (!item)
            cell.RealPath = CanonicalPath(cell.Source);
        FModel->PutCell(at.Column, at.Row, std::move(cell), std::move(item));
    }
    PostToMainWindow(WM_GFXCELLLOADED);
    return refused;
}

bool TGfxGrid::IsCellMissing(int aCol, int aRow) const {
    return !IsCellEmpty(aCol, aRow) && !Objects(aCol, aRow);
}

TGridContent TGfxGrid::Content() const {
    TGridContent content{Gallery(), std::vector<TGridContent::TPreview>(size_t(ColCount()) * RowCount())};
    for (int row = 0; row < RowCount(); ++row)
        for (int col = 0; col < ColCount(); ++col)
            if (const TGfxGridItem* item = Objects(col, row)) {
                TGridContent::TPreview& preview = content.Previews[size_t(row) * ColCount() + col];
                preview = {item->Bitmap(),
                           item->FileName(),
                           item->RealPath(),
                           item->ImageWidth(),
                           item->ImageHeight(),
                           item->FileSize(),
                           true};
            }
    // A step of the history holds no picture's stretch: the steps would keep every picture ever placed.
    for (int row = 0; row < RowCount(); ++row)
        for (int col = 0; col < ColCount(); ++col)
            content.Gallery.Kept(col, row).Drop();
    return content;
}

void TGfxGrid::SetContent(const TGridContent& content) {
    const int col = Col();
    const int row = Row();
    std::vector<std::unique_ptr<TGfxGridItem>> items(content.Previews.size());
    for (size_t i = 0; i < items.size(); ++i)
        if (const TGridContent::TPreview& preview = content.Previews[i]; preview.Present) {
            items[i] = std::make_unique<TGfxGridItem>();
            items[i]->AssignPicture(preview.Bitmap);
            items[i]->SetFileName(preview.FileName);
            items[i]->SetRealPath(preview.RealPath);
            items[i]->SetPictureInfo(preview.ImageWidth, preview.ImageHeight, preview.FileSize);
        }
    // A cell that keeps its picture keeps the stretch made for the next run.
    TGallery gallery = content.Gallery;
    for (int r = 0; r < std::min(RowCount(), gallery.Rows()); ++r)
        for (int c = 0; c < std::min(ColCount(), gallery.Columns()); ++c)
            if (!gallery.Cell(c, r).IsEmpty() && gallery.Cell(c, r).Source == Gallery().Cell(c, r).Source)
                gallery.Kept(c, r) = Gallery().Cell(c, r).Kept;
    FModel->SetContent(gallery, std::move(items));
    // Stretches for another box would never serve again.
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColCount(); ++c)
            if (TKeptStretch& kept = Gallery().Kept(c, r); kept.Box() != FPictureBox)
                kept.Drop();
    SetCurrentCell(std::clamp(col, 0, std::max(0, ColCount() - 1)),
                   std::clamp(row, 0, std::max(0, RowCount() - 1)));
    PostToMainWindow(WM_GFXCELLLOADED);
}

void TGfxGrid::ClearCell(int aCol, int aRow) {
    if (!FModel->Contains(aCol, aRow))
        return;
    FModel->SetCell(aCol, aRow, QString(), nullptr);
    PostToMainWindow(WM_GFXCELLCLEARED);
}

bool TGfxGrid::IsCellEmpty(int aCol, int aRow) const {
    return Cells(aCol, aRow).isEmpty();
}

bool TGfxGrid::FindEmptyCell(int& aCol, int& aRow) const {
    const int cols = ColCount();
    if (cols == 0)
        return false;
    // Positions counted row by row; the search never wraps around.
    const long long end = static_cast<long long>(cols) * RowCount();
    for (long long p = std::max(0LL, static_cast<long long>(aRow) * cols + aCol); p < end; ++p) {
        const int col = static_cast<int>(p % cols);
        const int row = static_cast<int>(p / cols);
        if (IsCellEmpty(col, row)) {
            aCol = col;
            aRow = row;
            return true;
        }
    }
    return false;
}

QString TGfxGrid::CellName(const QString& fileName) const {
    return PlainNames() ? fileName.toLower() : TaggedName(fileName);
}

void TGfxGrid::ClearCurrentCell() {
    if (currentIndex().isValid())
        ClearCell(Col(), Row());
}

void TGfxGrid::ClearAllCells() {
    for (int row = 0; row < RowCount(); ++row)
        for (int col = 0; col < ColCount(); ++col)
            ClearCell(col, row);
    SetCurrentCell(0, 0);
}

void TGfxGrid::MakeCellItem(const QString& path, TGfxGridItem* item) {
    if (!item)
        throw EGfxGridException(QStringLiteral("object not assigned"));
    if (OnStatusText) {
        OnStatusText(this, "Setting: " + ShownPath(path));
        QCoreApplication::processEvents(); // paint the text before a possibly slow load
    }
    FillCellItem(path, FDefaultColWidth, FDefaultRowHeight, palette().color(QPalette::Base), FPictureBox,
                 *item);
}

void TGfxGrid::SetPictureBox(const QSize& box) {
    if (box == FPictureBox)
        return;
    FPictureBox = box;
    // Stretches for another box would never serve again; only their memory would stay.
    for (int row = 0; row < RowCount(); ++row)
        for (int col = 0; col < ColCount(); ++col)
            if (TKeptStretch& kept = Gallery().Kept(col, row); kept.Box() != box)
                kept.Drop();
}

void TGfxGrid::GridDrawCell(QPainter& painter, int aCol, int aRow, const QRect& rect,
                            QStyle::State state) const {
    painter.fillRect(rect, palette().color(QPalette::Base));
    const TGfxGridItem* item = Objects(aCol, aRow);
    if (item && item->HasImage()) {
        const QImage& preview = item->Bitmap();
        painter.drawImage(QPoint(rect.left() + (rect.width() - preview.width()) / 2,
                                 rect.top() + (rect.height() - preview.height()) / 2),
                          preview);
    }
    if (!item && !IsCellEmpty(aCol, aRow)) {
        // A missing picture: its place is kept, crossed out.
        painter.save();
        painter.setPen(QPen(QColor(200, 40, 40), 2));
        const QRect cross = rect.adjusted(8, 8, -8, -8);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
        painter.restore();
    }
    if (state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect;
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = palette().color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void TGfxGrid::SetPlainNames(bool value) {
    if (value == PlainNames())
        return;
    Gallery().SetPlainNames(value);
    // Every name is given anew in grid order, so of two pictures whose names now clash the first keeps
    // its tagged one.
    std::vector<QPoint> filled;
    for (int row = 0; row < RowCount(); ++row)
        for (int col = 0; col < ColCount(); ++col)
            if (FModel->Item(col, row) && !IsCellEmpty(col, row))
                filled.emplace_back(col, row);
    for (const QPoint& cell : filled)
        FModel->SetName(cell.x(), cell.y(), QString());
    for (const QPoint& at : filled) {
        const TGalleryCell& cell = Gallery().Cell(at.x(), at.y());
        FModel->SetName(at.x(), at.y(), Gallery().FreeName(at.x(), at.y(), cell.Source, cell.RealPath));
    }
}

TGallery& TGfxGrid::Gallery() {
    return FModel->Gallery();
}

void TGfxGrid::ShowGallery(TGallery& gallery) {
    FModel->ShareGallery(gallery);
}

const TGallery& TGfxGrid::Gallery() const {
    return FModel->Gallery();
}

int TGfxGrid::ColCount() const {
    return FModel->columnCount();
}

int TGfxGrid::RowCount() const {
    return FModel->rowCount();
}

void TGfxGrid::SetColCount(int value) {
    if (value < 0)
        throw EGfxGridException(QString("Invalid column count: %1").arg(value));
    Resize(value, RowCount());
}

void TGfxGrid::SetRowCount(int value) {
    if (value < 0)
        throw EGfxGridException(QString("Invalid row count: %1").arg(value));
    Resize(ColCount(), value);
}

int TGfxGrid::Col() const {
    return currentIndex().isValid() ? currentIndex().column() : -1;
}

int TGfxGrid::Row() const {
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void TGfxGrid::SetCurrentCell(int aCol, int aRow) {
    if (FModel->Contains(aCol, aRow))
        setCurrentIndex(FModel->index(aRow, aCol));
}

void TGfxGrid::SetDefaultColWidth(int value) {
    if (value < 1)
        throw EGfxGridException(QString("Invalid column width: %1").arg(value));
    FDefaultColWidth = value;
    // A section holds the cell and the grid line after it, so the cell itself is the width asked for.
    horizontalHeader()->setDefaultSectionSize(value + (showGrid() ? 1 : 0));
}

void TGfxGrid::SetDefaultRowHeight(int value) {
    if (value < 1)
        throw EGfxGridException(QString("Invalid row height: %1").arg(value));
    FDefaultRowHeight = value;
    verticalHeader()->setDefaultSectionSize(value + (showGrid() ? 1 : 0));
}

QString TGfxGrid::Cells(int aCol, int aRow) const {
    return FModel->Contains(aCol, aRow) ? FModel->Name(aCol, aRow) : QString();
}

TGfxGridItem* TGfxGrid::Objects(int aCol, int aRow) const {
    return FModel->Contains(aCol, aRow) ? FModel->Item(aCol, aRow) : nullptr;
}

void TGfxGrid::SizeChanged(int oldColCount, int oldRowCount, int newColCount, int newRowCount) {
    for (int row = 0; row < oldRowCount; ++row)
        for (int col = 0; col < oldColCount; ++col)
            if (col >= newColCount || row >= newRowCount)
                ClearCell(col, row);
}

void TGfxGrid::Resize(int colCount, int rowCount) {
    SizeChanged(ColCount(), RowCount(), colCount, rowCount);
    FModel->Resize(colCount, rowCount);
    if (!currentIndex().isValid())
        SetCurrentCell(0, 0); // like any grid, a non-empty one always has a current cell
}

void TGfxGrid::PostToMainWindow(QEvent::Type type) const {
    if (FMainWindow)
        QCoreApplication::postEvent(FMainWindow, new QEvent(type));
}

