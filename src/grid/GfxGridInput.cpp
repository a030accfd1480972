// Picture grid input: keys, clicks, dragging one cell onto another and files dropped from the desktop.
#include "grid/GfxGrid.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include "common/VlxNativePath.h"
#include "grid/GfxGridModel.h"

namespace {

// A cell drag begins only after the mouse has moved this far from the press, in either direction.
constexpr int kDragThreshold = 5;

const QString kCellDragFormat = QStringLiteral("application/x-veltrix-grid-cell");

} // namespace

void TGfxGrid::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    if (OnKeyDown) {
        OnKeyDown(this, key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(event); // cursor movement first
    if (key == Qt::Key_Delete) {
        event->accept(); // the view ignores Delete; it is ours, not the parent's
        KeyDown(key, event->modifiers());
    }
    if (currentIndex() != before && OnClick)
        OnClick(this);
}

void TGfxGrid::KeyDown(int key, Qt::KeyboardModifiers shift) {
    if (key != Qt::Key_Delete)
        return;
    if (shift & Qt::ControlModifier)
        UserEdit("Clear all cells", [this] { ClearAllCells(); });
    else
        UserEdit("Clear cell", [this] { ClearCurrentCell(); });
}

void TGfxGrid::UserEdit(const QString& what, const std::function<void()>& change) {
    if (OnEdit)
        OnEdit(this, what, change);
    else
        change();
}

void TGfxGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event); // makes the pressed cell current
    int aCol = -1;
    int aRow = -1;
    const bool onCell = CellAt(event->position().toPoint(), aCol, aRow);
    if (event->button() == Qt::LeftButton) {
        FDragCol = aCol;
        FDragRow = aRow;
        FPressPos = event->position().toPoint();
        FDragPending = onCell; // a drag from no cell would have nothing to exchange
    }
    if (onCell && OnClick)
        OnClick(this);
}

void TGfxGrid::mouseMoveEvent(QMouseEvent* event) {
    if (FDragPending && (event->buttons() & Qt::LeftButton)) {
        // No range selection while the button is down on a cell: the move may become a drag.
        const QPoint moved = event->position().toPoint() - FPressPos;
        if (std::abs(moved.x()) >= kDragThreshold || std::abs(moved.y()) >= kDragThreshold) {
            FDragPending = false;
            startDrag(Qt::MoveAction);
        }
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void TGfxGrid::mouseReleaseEvent(QMouseEvent* event) {
    FDragPending = false;
    QTableView::mouseReleaseEvent(event);
}

void TGfxGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    int aCol = -1;
    int aRow = -1;
    if (CellAt(event->position().toPoint(), aCol, aRow) && OnDblClick)
        OnDblClick(this);
}

void TGfxGrid::startDrag(Qt::DropActions supportedActions) {
    if (!FModel->Contains(FDragCol, FDragRow))
        return;
    // Not the view's own drag: that one would remove the dragged cell from the model after a move.
    auto* drag = new QDrag(this);
    drag->setMimeData(CellDragData());
    drag->exec(supportedActions & Qt::MoveAction ? Qt::MoveAction : supportedActions);
}

QMimeData* TGfxGrid::CellDragData() const {
    auto* data = new QMimeData;
    data->setData(kCellDragFormat, DragMark());
    return data;
}

QByteArray TGfxGrid::DragMark() const {
    // Process and object: a drag from another grid, here or in another program, is not ours.
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
           QByteArray::number(reinterpret_cast<quintptr>(this));
}

bool TGfxGrid::IsCellDrag(const QMimeData* data) const {
    return data && data->hasFormat(kCellDragFormat) && data->data(kCellDragFormat) == DragMark();
}

bool TGfxGrid::IsFileDrop(const QMimeData* data) const {
    if (!FAcceptFiles || !data || !data->hasUrls())
        return false;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return true;
    return false;
}

void TGfxGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (IsCellDrag(event->mimeData()) || IsFileDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TGfxGrid::dragMoveEvent(QDragMoveEvent* event) {
    const QMimeData* data = event->mimeData();
    if (IsCellDrag(data) && GridDragOver(event->position().toPoint())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if (!IsCellDrag(data) && IsFileDrop(data)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TGfxGrid::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    const QPoint pos = event->position().toPoint();
    if (IsCellDrag(data)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        GridDragDrop(pos);
    } else if (IsFileDrop(data)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (OnPlaceFiles) {
            int aCol = 0; // a point on no cell starts at the top-left cell
            int aRow = 0;
            CellAt(pos, aCol, aRow);
            QStringList paths;
            for (const QUrl& url : data->urls())
                if (url.isLocalFile())
                    paths << PathFromLocalUrl(url);
            OnPlaceFiles(this, paths, aCol, aRow); // the placing only starts here: the drop ends at once
            return;
        }
        std::vector<TRefusedFile> refused;
        UserEdit("Place pictures", [&] { refused = DropFiles(*data, pos); });
        if (!refused.empty())
            // Told once the drop is over, so that the program that sent the files is not kept waiting
            // while a question or a message is shown.
            QMetaObject::invokeMethod(
                this, [this, refused] { FilesRefused(refused); }, Qt::QueuedConnection);
    } else {
        event->ignore();
    }
}

bool TGfxGrid::GridDragOver(const QPoint& pos) const {
    int aCol = -1;
    int aRow = -1;
    return CellAt(pos, aCol, aRow) && FModel->Contains(FDragCol, FDragRow) &&
           (aCol != FDragCol || aRow != FDragRow);
}

void TGfxGrid::GridDragDrop(const QPoint& pos) {
    if (!GridDragOver(pos))
        return;
    int aCol = -1;
    int aRow = -1;
    CellAt(pos, aCol, aRow);
    UserEdit(IsCellEmpty(aCol, aRow) ? "Move picture" : "Exchange pictures", [&] {
        FModel->Swap(aCol, aRow, FDragCol, FDragRow);
        PostToMainWindow(WM_GFXCELLSSWAPPED);
    });
}

std::vector<TRefusedFile> TGfxGrid::DropFiles(const QMimeData& data, const QPoint& pos) {
    int aCol = 0;
    int aRow = 0;
    if (!CellAt(pos, aCol, aRow)) {
        aCol = 0; // a point on no cell starts the search at the top-left cell
        aRow = 0;
    }
    QStringList paths;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile())
            paths << PathFromLocalUrl(url);
    return PlaceFiles(paths, aCol, aRow);
}

void TGfxGrid::FilesRefused(const std::vector<TRefusedFile>& refused) {
    if (OnFilesRefused) {
        OnFilesRefused(this, refused);
        return;
    }
    QStringList reasons;
    for (const TRefusedFile& file : refused)
        reasons << file.Reason;
    throw EGfxGridException(reasons.join('\n'));
}

bool TGfxGrid::CellAt(const QPoint& pos, int& aCol, int& aRow) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return false;
    aCol = index.column();
    aRow = index.row();
    return true;
}
