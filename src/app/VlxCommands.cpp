#include "app/VlxCommands.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>

namespace {

QAction* NewAction(QWidget* window, const char* name, const QString& text, const QString& hint,
                   QStyle::StandardPixmap icon, const QKeySequence& key = {}) {
    auto* action = new QAction(window->style()->standardIcon(icon), text, window);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (!key.isEmpty()) {
        // The tool tip names the key; the status bar keeps the bare hint.
        action->setToolTip(hint + " (" + key.toString(QKeySequence::NativeText) + ")");
        action->setShortcut(key);
        window->addAction(action); // keys work wherever the focus is in the window
    }
    return action;
}

QMenu* NewMenu(QMenu* menu, const char* name) {
    menu->setObjectName(name);
    return menu;
}

} // namespace

TWindowCommands::TWindowCommands(QMainWindow* window) {
    using S = QStyle;
    QWidget* w = window;
    NewProjectA = NewAction(w, "NewProjectA", "New project", "Clear table grid, keeping the settings",
                            S::SP_FileIcon, QKeySequence("Ctrl+N"));
    Gfx_ShowThumb = NewAction(w, "Gfx_ShowThumb", "Show thumbnailed image  <Dbl_Click>,",
                              "Show thumbnailed image", S::SP_BrowserReload, QKeySequence(Qt::Key_F5));
    ViewPageA = NewAction(w, "ViewPageA", "View page", "View HTML page", S::SP_FileDialogContentsView,
                          QKeySequence("Ctrl+U"));
    GeneratePageA = NewAction(w, "GeneratePageA", "Generate page", "Generate HTML page",
                              S::SP_DialogSaveButton, QKeySequence("Ctrl+P"));
    GenerateTableA =
        NewAction(w, "GenerateTableA", "Generate table", "Generate HTML table", S::SP_FileDialogDetailedView);
    OutputDirA = NewAction(w, "OutputDirA", "Output directory", "Set output directory", S::SP_DirOpenIcon,
                           QKeySequence("Ctrl+D"));
    // "Save options" keeps the designed Ctrl+O, so opening a gallery takes Ctrl+Shift+O.
    SaveOptionsA = NewAction(w, "SaveOptionsA", "Save options", "Save options", S::SP_DialogApplyButton,
                             QKeySequence("Ctrl+O"));
    ExitA = NewAction(w, "ExitA", "Exit", "Exit Veltrix", S::SP_DialogCloseButton);
    OptionsA = NewAction(w, "OptionsA", "Options", "Options", S::SP_FileDialogListView);
    TableRowsColumns = NewAction(w, "TableRowsColumns", "Table rows and columns", "HTML Table properties",
                                 S::SP_FileDialogDetailedView);
    // Insert, Delete and Control+Delete belong to the grid's own key handling, so no shortcuts here.
    GfxG_LoadPicture = NewAction(w, "GfxG_LoadPicture", "Load picture <Ins>", "Load picture into grid cell",
                                 S::SP_DialogOpenButton);
    GfxG_ClearCell =
        NewAction(w, "GfxG_ClearCell", "Clear cell <Del>", "Clear current cell", S::SP_DialogDiscardButton);
    Gfx_ClearAll = NewAction(w, "Gfx_ClearAll", "Clear all cells <Ctrl+Del>", "Clear table", S::SP_TrashIcon);
    ThumbBkg_File = NewAction(w, "ThumbBkg_File", "Background file",
                              "Load HTML page and thumbnail background image", S::SP_DirIcon);
    ThumbBkg_Color = NewAction(w, "ThumbBkg_Color", "Background color",
                               "HTML page and thumbneil background color", S::SP_DesktopIcon);
    AddFolderA = NewAction(w, "AddFolderA", "Add folder by name...",
                           "Add the pictures of a folder in name order", S::SP_DirOpenIcon);
    AddFolderDateA =
        NewAction(w, "AddFolderDateA", "Add folder by date taken...",
                  "Add the pictures of a folder in the order they were taken", S::SP_DirOpenIcon);
    SortNameA = NewAction(w, "SortNameA", "Sort by name", "Sort the pictures by file name", S::SP_ArrowDown);
    SortDateA = NewAction(w, "SortDateA", "Sort by date taken", "Sort the pictures by the date taken",
                          S::SP_ArrowDown);
    OpenGalleryA = NewAction(w, "OpenGalleryA", "&Open gallery...", "Open a gallery file",
                             S::SP_DialogOpenButton, QKeySequence("Ctrl+Shift+O"));
    SaveGalleryA = NewAction(w, "SaveGalleryA", "&Save gallery", "Save the gallery to its file",
                             S::SP_DialogSaveButton, QKeySequence("Ctrl+S"));
    SaveGalleryAsA = NewAction(w, "SaveGalleryAsA", "Save gallery &as...", "Save the gallery to a new file",
                               S::SP_DialogSaveButton, QKeySequence("Ctrl+Shift+S"));
    FindMissingA = NewAction(w, "FindMissingA", "&Find missing pictures...",
                             "Look for the gallery's missing pictures in another folder", S::SP_DirIcon);
    UndoA = NewAction(w, "UndoA", "&Undo", "Undo the last edit", S::SP_ArrowBack, QKeySequence("Ctrl+Z"));
    RedoA = NewAction(w, "RedoA", "&Redo", "Redo the edit undone last", S::SP_ArrowForward,
                      QKeySequence("Ctrl+Shift+Z"));

    // The desktop's key for quitting; the tool tip keeps its designed text.
    ExitA->setShortcut(QKeySequence::Quit);

    // Every command has its place in the menu bar, where users look for it first.
    FileM = NewMenu(window->menuBar()->addMenu("&File"), "FileM");
    FileM->addActions({NewProjectA, OpenGalleryA});
    RecentM = NewMenu(FileM->addMenu("Open &recent"), "RecentM");
    FileM->addActions({SaveGalleryA, SaveGalleryAsA, FindMissingA});
    FileM->addSeparator();
    FileM->addActions({GeneratePageA, GenerateTableA, OutputDirA});
    FileM->addSeparator();
    FileM->addActions({SaveOptionsA, ExitA});
    EditM = NewMenu(window->menuBar()->addMenu("&Edit"), "EditM");
    EditM->addActions({UndoA, RedoA});
    EditM->addSeparator();
    EditM->addActions({GfxG_ClearCell, Gfx_ClearAll});
    GalleryM = NewMenu(window->menuBar()->addMenu("&Gallery"), "GalleryM");
    GalleryM->addActions({GfxG_LoadPicture, AddFolderA, AddFolderDateA});
    GalleryM->addSeparator();
    GalleryM->addActions({SortNameA, SortDateA});
    GalleryM->addSeparator();
    GalleryM->addActions({TableRowsColumns, ThumbBkg_File, ThumbBkg_Color});
    ViewM = NewMenu(window->menuBar()->addMenu("&View"), "ViewM");
    ViewM->addActions({Gfx_ShowThumb, ViewPageA, OptionsA});

    // The edits first, then the ways pictures come in, what clears them, and their orders.
    GfxGridPM = NewMenu(new QMenu(window), "GfxGridPM");
    GfxGridPM->addActions({UndoA, RedoA});
    GfxGridPM->addSeparator();
    GfxGridPM->addActions({GfxG_LoadPicture, AddFolderA, AddFolderDateA});
    GfxGridPM->addSeparator();
    GfxGridPM->addActions({GfxG_ClearCell, Gfx_ClearAll, Gfx_ShowThumb});
    GfxGridPM->addSeparator();
    GfxGridPM->addAction(TableRowsColumns);
    GfxGridPM->addSeparator();
    GfxGridPM->addActions({SortNameA, SortDateA});
    ThumbImPM = NewMenu(new QMenu(window), "ThumbImPM");
    ThumbImPM->addActions({ThumbBkg_File, ThumbBkg_Color});
}
