// The gallery as a document, for the main window: the File menu's gallery commands, saving and opening
// gallery files, the recent galleries, the title with its modified mark, the question before unsaved
// changes are lost, and the pictures a gallery misses.
#pragma once

#include <memory>
#include <vector>

#include <QObject>
#include <QSize>
#include <QStringList>

class TVeltrixF;
struct TCellPreviews;
struct TDocumentCell;

class TDocumentCommands : public QObject {
public:
    // Works on the window's editor, grid and dialogs; the window outlives it.
    explicit TDocumentCommands(TVeltrixF& window);
    // Connects the File menu's gallery commands.
    void Connect();

    // False when the user cancelled or the file could not be written (the error is shown).
    bool SaveGallery();
    bool SaveGalleryAs();
    // Opens the gallery file in place of the grid and the settings; asks first about unsaved changes. The
    // pictures not found are listed once, and the user may point to the folder where they are now.
    void OpenGallery(const QString& fileName);
    // Looks for the missing pictures from the folder the user points to as the first one's.
    void FindMissingPictures();
    // An empty gallery with the settings in effect, never saved.
    void NewGallery();
    // Unsaved changes that would be lost: the grid or the settings differ from the file (or, for a gallery
    // never saved, from the start) and there is something to lose.
    bool IsModified() const;
    // Asks Save / Discard / Cancel when unsaved changes would be lost; true when the caller may go on.
    bool ConfirmDiscard();
    // The galleries opened or saved last, newest first, as the File menu lists them.
    QStringList RecentGalleries() const;
    void FillRecentMenu();
    void UpdateTitle();
    // Once after a burst of the grid's notifications (clearing a large table posts one per cell).
    void TitleLater();

private:
    void WriteGallery(const QString& fileName);
    void ReadGallery(const QString& fileName);
    std::unique_ptr<TCellPreviews> ReadPictures(const std::vector<TDocumentCell>& cells, const QSize& box);
    void RememberRecent(const QString& fileName);

    TVeltrixF& FWindow;
    bool FTitleQueued = false;
};
