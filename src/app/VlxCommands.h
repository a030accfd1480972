// The main window's commands: each action with its text, hint, icon and key, the File and Edit menus of the
// menu bar, and the context menus of the grid and the preview. The window connects them to its work and
// enables them; the toolbar shows some of them.
#pragma once

class QAction;
class QMainWindow;
class QMenu;

class TWindowCommands {
public:
    // The actions belong to the window (their keys work wherever the focus is in it), as do the menus.
    explicit TWindowCommands(QMainWindow* window);

    // The table and the generation run.
    QAction* NewProjectA;
    QAction* Gfx_ShowThumb;
    QAction* ViewPageA;
    QAction* GeneratePageA;
    QAction* GenerateTableA;
    QAction* OutputDirA;
    QAction* SaveOptionsA;
    QAction* ExitA;
    QAction* OptionsA;
    QAction* TableRowsColumns;
    // The grid's cells and the background.
    QAction* GfxG_LoadPicture;
    QAction* GfxG_ClearCell;
    QAction* Gfx_ClearAll;
    QAction* ThumbBkg_File;
    QAction* ThumbBkg_Color;
    // Adding and arranging many pictures.
    QAction* AddFolderA;
    QAction* AddFolderDateA;
    QAction* SortNameA;
    QAction* SortDateA;
    // The gallery file and the edits' undo.
    QAction* OpenGalleryA;
    QAction* SaveGalleryA;
    QAction* SaveGalleryAsA;
    QAction* FindMissingA;
    QAction* UndoA;
    QAction* RedoA;

    QMenu* FileM;
    QMenu* RecentM; // the galleries opened or saved last, filled by the window
    QMenu* EditM;
    QMenu* GalleryM;
    QMenu* ViewM;
    QMenu* GfxGridPM;
    QMenu* ThumbImPM;
};
