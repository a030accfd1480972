// Undo and redo of whole states.
#include "gallery/GalleryHistory.h"

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

bool SameContent(const TGridContent& a, const TGridContent& b) {
    if (!SameGrid(a, b) || a.Previews.size() != b.Previews.size())
        return false;
    for (size_t i = 0; i < a.Previews.size(); ++i) {
        const TGridContent::TPreview& p = a.Previews[i];
        const TGridContent::TPreview& q = b.Previews[i];
        if (p.Present != q.Present || p.Bitmap.cacheKey() != q.Bitmap.cacheKey() || p.FileName != q.FileName)
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
    return SameSettings(a.Settings, b.Settings) && SameGrid(*a.Grid, *b.Grid);
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
               SameGrid(*FUndo.back().Before->Grid, *after->Grid, false);
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
    // A table shared with the step before is counted once.
    const auto keptCells = [this] {
        size_t cells = 0;
        for (size_t i = 0; i < FUndo.size(); ++i)
            if (i == 0 || FUndo[i].Before->Grid != FUndo[i - 1].Before->Grid)
                cells += FUndo[i].Before->Grid->Previews.size();
        return cells;
    };
    while (FUndo.size() > size_t(kMaxSteps) ||
           (FUndo.size() > size_t(kMinSteps) && keptCells() > size_t(kMaxKeptCells)))
        FUndo.pop_front();
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
