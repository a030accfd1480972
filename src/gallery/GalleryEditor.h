// The open gallery below the widgets: its settings, its edits and their undo, the state its file holds
// ("modified"), the file itself, which gallery it is and where it is written. A view (the window) tells the editor how to take
// the gallery as shown and how to show a state again; the command line and the tests need no window for it.
#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "gallery/Gallery.h"
#include "gallery/GalleryHistory.h"
#include "gallery/KeptStretch.h"

class TGalleryEditor : public QObject {
    Q_OBJECT

public:
    struct TView {
        // The gallery as shown now.
        std::function<TEditStatePtr()> Capture;
        // Shows a state of the history again (undo, redo); the editor records nothing meanwhile.
        std::function<void(const TEditStatePtr&)> Show;
    };

    explicit TGalleryEditor(TView view, QObject* parent = nullptr);

    // Every edit runs through Edit: change runs; when the gallery then differs from the last step, one step
    // named what (the Edit menu shows "Undo " + what) is kept, holding the whole state before and after.
    // Calls inside change (or inside another edit, or while a state is shown or Quietly runs) make no
    // steps of their own. A change that throws still makes its step of what it did.
    void Edit(const QString& what, const std::function<void()>& change);
    // An edit that ends later (placing in the background) starts here and ends with Record.
    void Begin();
    // A change already made as one step (a setting edited in a panel); steps of one name in a row that
    // change settings alone are one.
    void Record(const QString& what);
    // Runs change as no edit at all (a gallery being opened, a profile applied): no step is kept.
    void Quietly(const std::function<void()>& change);
    // True inside an edit, while a state is shown, or inside Quietly.
    bool Recording() const { return FDepth > 0 || FQuiet > 0; }

    // Steps back or on and shows that state; false when there is no step to take.
    bool Undo();
    bool Redo();
    const TUndoStack& History() const { return FHistory; }

    // A new gallery, or one just opened from fileName (empty for a new one) as stamp says it was: the
    // history starts again from the gallery shown, which is also the state the file holds.
    void Started(const QString& fileName, const TFileStamp& stamp, const QString& id,
                 const QString& outputDir);
    // Writes the gallery as shown to fileName, which is then its file and holds its saved state. The output
    // folder is written unless it goes without saying: workDir (no place of the gallery's own) or the
    // folder beside the file. Raises when the file cannot be written; nothing changes then.
    void Save(const QString& fileName, const QString& workDir);
    // Unsaved changes that would be lost: the gallery shown or its output folder differ from the file (or,
    // for a gallery never saved, from the start), and there is something to lose (pictures, or a file).
    bool IsModified() const;
    // The file as opened or saved has been written since by another program (or a newer version).
    bool ChangedOnDisk() const;

    // The open gallery's file; empty for a new gallery never saved.
    const QString& File() const { return FFile; }
    // Which gallery this is: the output folder's record tells galleries apart by it.
    const QString& Id() const { return FId; }
    // The gallery's settings, the profile's name among them: the panels, the renderer and the table page
    // show them. A view that changes them (an edit in a panel, a profile applied, a state shown again) sets
    // them here first; the steps of the history are made by Edit and Record.
    const TGallerySettings& Settings() const { return FGallery.Settings; }
    // The table's size in the settings stays the table's.
    void SetSettings(const TGallerySettings& settings);
    // The gallery: its cells, shown and edited by the grid, and its settings.
    TGallery& Gallery() { return FGallery; }
    const TGallery& Gallery() const { return FGallery; }

    // Where the gallery is written; part of the gallery, saved in its file.
    const QString& OutputDir() const { return FOutputDir; }
    void SetOutputDir(const QString& dir);

signals:
    // The history, the saved state or the output folder changed: menus and the title follow.
    void Changed();

private:
    void Step(const QString& what);
    void Show(const TEditStatePtr& state);

    TView FView;
    TGallery FGallery;
    TUndoStack FHistory;
    int FDepth = 0;
    int FQuiet = 0;
    QString FFile;
    TFileStamp FStamp;
    QString FId;
    QString FOutputDir;
    // The state and output folder the file holds (or the start, for a gallery never saved).
    TEditStatePtr FSaved;
    QString FSavedOutputDir;
};
