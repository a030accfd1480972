// Undo and redo of whole states.
#include "app/VlxUndo.h"

bool SameGrid(const TGridContent& a, const TGridContent& b, bool captions) {
    const TGallery& x = a.Gallery;
    const TGallery& y = b.Gallery;
    if (x.Columns() != y.Columns() || x.Rows() != y.Rows())
        return false;
    for (int row = 0; row < x.Rows(); ++row)
        for (int col = 0; col < x.Columns(); ++col) {
            const TGalleryCell& p = x.Cell(col, row);
            const TGalleryCell& q = y.Cell(col, row);
            if (p.Name != q.Name || p.Source != q.Source || (captions && p.Caption != q.Caption))
                return false;
        }
    return true;
}

bool SameSettings(const TGallerySettings& a, const TGallerySettings& b) {
    TGallerySettings named = b;
    named.ProfileName = a.ProfileName;
    return a == named;
}

bool SameGallery(const TEditState& a, const TEditState& b) {
    return SameSettings(a.Settings, b.Settings) && SameGrid(a.Grid, b.Grid);
}

void TUndoStack::Reset(TEditStatePtr state) {
    FUndo.clear();
    FRedo.clear();
    FCurrent = std::move(state);
}

void TUndoStack::Push(const QString& what, TEditStatePtr after) {
    FRedo.clear();
    // Settings, or captions, changed again by the same control: one step.
    const bool settingsOnly = [&] {
        return !FUndo.empty() && FUndo.back().What == what && FUndo.back().After == FCurrent &&
               SameGrid(FUndo.back().Before->Grid, after->Grid, false);
    }();
    if (settingsOnly) {
        FUndo.back().After = after;
    } else {
        FUndo.push_back({what, FCurrent, after});
        Trim();
    }
    FCurrent = std::move(after);
}

void TUndoStack::Trim() {
    const auto cellsOf = [](const TStep& step) { return step.Before->Grid.Previews.size(); };
    size_t cells = 0;
    for (const TStep& step : FUndo)
        cells += cellsOf(step);
    while (FUndo.size() > size_t(kMaxSteps) ||
           (FUndo.size() > size_t(kMinSteps) && cells > size_t(kMaxKeptCells))) {
        cells -= cellsOf(FUndo.front());
        FUndo.pop_front();
    }
}

TEditStatePtr TUndoStack::Undo() {
    if (FUndo.empty())
        return FCurrent;
    FRedo.push_back(FUndo.back());
    FUndo.pop_back();
    FCurrent = FRedo.back().Before;
    return FCurrent;
}

TEditStatePtr TUndoStack::Redo() {
    if (FRedo.empty())
        return FCurrent;
    FUndo.push_back(FRedo.back());
    FRedo.pop_back();
    FCurrent = FUndo.back().After;
    return FCurrent;
}
