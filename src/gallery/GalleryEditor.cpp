#include "gallery/GalleryEditor.h"

#include <QScopeGuard>

#include "gallery/GalleryDocument.h"

TGalleryEditor::TGalleryEditor(TView view, QObject* parent) : QObject(parent), FView(std::move(view)) {}

void TGalleryEditor::SetSettings(const TGallerySettings& settings) {
    FGallery.Settings = settings;
    FGallery.Settings.Page.Columns = FGallery.Columns();
    FGallery.Settings.Page.Rows = FGallery.Rows();
}

// A change made outside every edit (a profile's options read) is where an edit starts from: undoing the edit
// goes back to just before it.
void TGalleryEditor::Begin() {
    if (const TEditStatePtr before = FView.Capture();
        !FHistory.Current() || !SameGallery(*FHistory.Current(), *before))
        FHistory.Rebase(before);
}

void TGalleryEditor::Edit(const QString& what, const std::function<void()>& change) {
    if (Recording()) {
        change();
        return;
    }
    Begin();
    ++FDepth;
    try {
        change();
    } catch (...) {
        --FDepth;
        Step(what);
        throw;
    }
    --FDepth;
    Step(what);
}

void TGalleryEditor::Record(const QString& what) {
    if (!Recording())
        Step(what);
}

void TGalleryEditor::Quietly(const std::function<void()>& change) {
    ++FQuiet;
    const auto done = qScopeGuard([this] { --FQuiet; });
    change();
}

void TGalleryEditor::Step(const QString& what) {
    const TEditStatePtr now = FView.Capture();
    if (!FHistory.Current())
        FHistory.Reset(now);
    else if (!SameGallery(*FHistory.Current(), *now))
        FHistory.Push(what, now);
    emit Changed();
}

void TGalleryEditor::Show(const TEditStatePtr& state) {
    Quietly([&] { FView.Show(state); });
    emit Changed();
}

bool TGalleryEditor::Undo() {
    if (!FHistory.CanUndo())
        return false;
    Show(FHistory.Undo());
    return true;
}

bool TGalleryEditor::Redo() {
    if (!FHistory.CanRedo())
        return false;
    Show(FHistory.Redo());
    return true;
}

void TGalleryEditor::Started(const QString& fileName, const TFileStamp& stamp, const QString& id,
                             const QString& outputDir) {
    FFile = fileName;
    FStamp = stamp;
    FId = id;
    FOutputDir = outputDir;
    FSavedOutputDir = outputDir;
    FSaved = FView.Capture();
    FHistory.Reset(FSaved);
    emit Changed();
}

void TGalleryEditor::Save(const QString& fileName, const QString& workDir) {
    TEditStatePtr written = FView.Capture();
    TGalleryDocument document = DocumentOf(written->Grid->Gallery);
    document.Settings = written->Settings;
    document.Id = FId;
    document.OutputDir =
        FOutputDir == workDir || FOutputDir == DefaultOutputDir(fileName) ? QString() : FOutputDir;
    WriteGalleryFile(fileName, document);
    FFile = fileName;
    FStamp = TFileStamp::Of(fileName);
    FSaved = std::move(written);
    FSavedOutputDir = FOutputDir;
    emit Changed();
}

bool TGalleryEditor::IsModified() const {
    if (!FSaved)
        return false;
    const TEditStatePtr now = FView.Capture();
    // A new gallery without a picture loses nothing the profiles do not keep.
    if (FFile.isEmpty() && now->Grid->Gallery.CountPictures() == 0)
        return false;
    return FOutputDir != FSavedOutputDir || !SameGallery(*FSaved, *now);
}

bool TGalleryEditor::ChangedOnDisk() const {
    if (FFile.isEmpty())
        return false;
    const TFileStamp now = TFileStamp::Of(FFile);
    return now.Size >= 0 && now != FStamp;
}

void TGalleryEditor::SetOutputDir(const QString& dir) {
    if (dir == FOutputDir)
        return;
    FOutputDir = dir;
    emit Changed();
}
