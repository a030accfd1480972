// Undo and redo of a gallery's edits as whole states: its cells (with what shows them) and the settings before
// and after.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include <QImage>
#include <QString>

#include "gallery/Gallery.h"
#include "gallery/GallerySettings.h"

// What a grid holds, as a value to put back later (undo): the gallery's cells (without the stretches kept for
// the next run) and each filled cell's preview. Cheap to copy: names and pictures are shared.
struct TGridContent {
    struct TPreview {
        QImage Bitmap;
        QString FileName;
        QString RealPath;
        int ImageWidth = 0;
        int ImageHeight = 0;
        int FileSize = 0;
        bool Present = false; // false for an empty cell and for a missing picture
    };
    TGallery Gallery;
    std::vector<TPreview> Previews; // row by row
};

// The gallery as the user edits it: what the grid holds and the settings in effect.
struct TEditState {
    // Shared by states whose table is the same (an edit of the settings alone): a step then costs only its
    // settings, however large the table.
    std::shared_ptr<const TGridContent> Grid;
    TGallerySettings Settings; // the profile's name is not part of an edit: undo leaves it as it is
};
using TEditStatePtr = std::shared_ptr<const TEditState>;

// The same gallery: table size, every cell's name and picture, and the settings (the profile's name aside).
bool SameGallery(const TEditState& a, const TEditState& b);
// The same grid (table size, names, pictures, and captions unless told not to) or the same settings alone.
bool SameGrid(const TGridContent& a, const TGridContent& b, bool captions = true);
// The same grid with the same previews: one may stand for the other.
bool SameContent(const TGridContent& a, const TGridContent& b);
bool SameSettings(const TGallerySettings& a, const TGallerySettings& b);

// The steps of a gallery's history. A step shares its states with its neighbours, and the states share their
// pictures, so a step costs little more than its cells' names.
class TUndoStack {
public:
    // At most this many steps are kept; the oldest go first.
    static constexpr int kMaxSteps = 200;
    // A state whose table changed holds every cell of it (some 260 bytes each), so a large table keeps fewer
    // steps: about this many cells' worth (65 MB; 25 steps of a 100 x 100 table), never fewer than kMinSteps.
    static constexpr int kMaxKeptCells = 250000;
    static constexpr int kMinSteps = 20;

    // Forgets every step; state is where the history starts (a new or opened gallery).
    void Reset(TEditStatePtr state);
    // A change made outside every step: the next step starts from state; the steps kept stay.
    void Rebase(TEditStatePtr state) { FCurrent = std::move(state); }
    // The state after the last step done (or the start).
    const TEditStatePtr& Current() const { return FCurrent; }
    // A step from Current() to after, named what. A step of settings alone following one of the same name
    // (a field edited key by key, a spin box stepped) grows that step instead. Redo steps are forgotten.
    void Push(const QString& what, TEditStatePtr after);

    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    QString UndoName() const { return CanUndo() ? FUndo.back().What : QString(); }
    QString RedoName() const { return CanRedo() ? FRedo.back().What : QString(); }
    // Steps back or on and returns the state to show; Current() becomes it.
    TEditStatePtr Undo();
    TEditStatePtr Redo();

private:
    struct TStep {
        QString What;
        TEditStatePtr Before;
        TEditStatePtr After;
    };
    // The oldest steps go while there are too many.
    void Trim();

    std::deque<TStep> FUndo;
    std::deque<TStep> FRedo;
    TEditStatePtr FCurrent;
};
