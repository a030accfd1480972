// The main window: the picture grid, the preview, the settings tabs and the commands around them.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QMainWindow>
#include <QStringList>

#include "app/FtpFU.h"
#include "app/VlxCommands.h"
#include "app/VlxDialogs.h"
#include "common/VlxTypes.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryEditor.h"
#include "gallery/GalleryOptions.h"
#include "gallery/GalleryOrder.h"
#include "gallery/GalleryRecent.h"
#include "gallery/KeptStretch.h"
#include "publish/GalleryRun.h"
#include "settings/VlxConfigDir.h"

class QCloseEvent;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolBar;

class TGfxBatchPicConverter;
class TGfxGrid;
class TGfxGridPlacer;
class TGfxThumbPage;
class TGfxThumbnail;
class TAboutPanel;
class TOptionsPanel;
class TPagePanel;
class TPreviewPanel;
class TProfileManager;
class TRenderPanel;
struct TBackgroundSetting;
struct TCellPreviews;
struct TDocumentCell;
struct TGallerySettings;
struct TGfxPageSettings;
struct TProfileRecord;
struct TRefusedFile;

// A command of the main window could not do its work: a directory, a copy, a missing profile.
class EVeltrixException : public Exception {
public:
    using Exception::Exception;
};

// The window also serves the upload panel on its FTP tab: status texts, progress bars, message boxes,
// and the upload request the panel posts to it.
class TVeltrixF : public QMainWindow, public TFtpFWindow {
public:
    // dialogs: the dialogs the window uses (the desktop's when none is given).
    explicit TVeltrixF(std::unique_ptr<TDialogs> dialogs = nullptr, const TVeltrixPlaces& places = {},
                       QWidget* parent = nullptr);
    ~TVeltrixF() override;

    // Window state shared by the commands.
    void ShowStatus(const QString& text) override;
    void UpdateTableStatus();
    void ShowProfileName();
    void SetThumbsStale(bool flag);
    void SetOutputDir(const QString& path);
    int CountPictures() const;
    // A progress bar laid over status panel 1, range 0 to max, position 0. The caller owns it.
    QProgressBar* CreateStatusProgressBar(int max) override;

    // Adding and arranging pictures (VeltrixAdd.cpp). Each edit is one command that changes the grid's
    // gallery in one go; placing ends later, when OnPlacingDone hears of it.
    // Places picture files, and the pictures of folders in name order, in the background: into the empty
    // cells from (col, row) on, then from the top-left cell (intoStartCell: the first into that cell). A
    // request made while pictures are being placed waits for them.
    void PlacePictures(const QStringList& paths, int col, int row, bool intoStartCell = false);
    bool Placing() const;
    // Ends the placing: the pictures placed stay, the rest are left out.
    void CancelPlacing();
    // The pictures of a folder in the order asked for, from the current cell on.
    void AddFolder(const QString& dir, TPictureOrder order);
    // The filled cells keep their places and take the pictures in the order asked for.
    void SortPictures(TPictureOrder order);
    // Moves the current cell's picture to the neighbouring cell (exchanging with its picture) and makes that
    // cell current; false at the table's edge or on an empty cell.
    bool MovePicture(int dCol, int dRow);
    // Files and folders named on the command line, relative to the working folder of the process.
    void OpenFiles(const QStringList& paths);
    TGfxGridPlacer* Placer() const { return FPlacer; }
    std::function<void(TVeltrixF*, bool cancelled)> OnPlacingDone;
    // The last folders used, kept per user: kinds "Pictures", "Galleries" and "Output".
    QString RecentFolder(const QString& kind) const;
    void RememberFolder(const QString& kind, const QString& dir);


    // Grid commands and preview.
    void ShowThumb();
    // Shows the current cell's picture when the preview shows another one (or one for an empty cell);
    // true when it rendered.
    bool SyncPreview();
    void RenderThumb(const TGalleryCell& cell);
    // The renderer's picture box, which the grid's kept stretches are made for; told to the grid.
    QSize PictureBox() const;
    void TellGridPictureBox();
    void DrawPicInfo(const QString& name, int width, int height, qint64 fileSize);
    void SetBkgFile(const QString& path);
    void SetBkgColor(TColor color);
    QString ColorFileName(TColor color) const;

    // The gallery's settings, as its editor holds them.
    const TGallerySettings& Settings() const { return FEditor->Settings(); }
    // The editor, the panels, the renderer and the page take the settings (brought into range), then the
    // preview shows them once. The table keeps its size while it holds pictures.
    void ApplySettings(const TGallerySettings& settings);
    void ApplyBackground(const TBackgroundSetting& background);
    // The editor's settings changed by change, without what the page object fills in for a run.
    void ChangeSettings(const std::function<void(TGallerySettings&)>& change);

    // Profiles.
    void GatherProfile(TProfileRecord& record) const;
    void ApplyProfile(const TProfileRecord& record);
    // Reads the named profile and applies it; raises when the profiles file holds none of that name.
    void UseProfile(const QString& name);

    // Generation run and options, with their commands.
    bool ConfirmGeneration();
    // One run into dir (ending in '/'), without checks. An error ends the run where it happened: the files
    // written before stay, the progress bar goes and the status bar names the file the run stopped at.
    void GenerateInto(const QString& dir);
    // Deletes every file of dir, not its subdirectories; a file that cannot be deleted is skipped.
    void ClearDirectory(const QString& dir);
    // The threads that render a run's thumbnails; 0 (the default) for one per core.
    void SetRenderThreads(int count) { FRenderThreads = count; }
    void LoadOptions();
    void SaveOptions();

    // Edits and their undo (VeltrixEdit.cpp). Every edit of the grid or of the settings runs through
    // EditGallery, which hands it to the gallery's editor (TGalleryEditor::Edit): placing, clearing, moving,
    // exchanging, sorting, resizing the table, a setting changed. The grid's own edits (keys, drags, drops)
    // come here through its OnEdit.
    void EditGallery(const QString& what, const std::function<void()>& change);
    void Undo();
    void Redo();
    const TUndoStack& History() const { return FEditor->History(); }
    TGalleryEditor& Editor() const { return *FEditor; }
    // The grid and the settings now, as an undo step holds them.
    TEditStatePtr EditState() const;

    // Gallery files (VeltrixDocument.cpp). False when the user cancelled or the file could not be written
    // (the error is shown).
    bool SaveGallery();
    bool SaveGalleryAs();
    // Opens the gallery file in place of the grid and the settings; asks first about unsaved changes. The
    // pictures not found are listed once, and the user may point to the folder where they are now.
    void OpenGallery(const QString& fileName);
    // Looks for the missing pictures from the folder the user points to as the first one's.
    void FindMissingPictures();
    // The open gallery's file; empty for a new gallery never saved.
    QString GalleryFile() const { return FEditor->File(); }
    // Unsaved changes that would be lost: the grid or the settings differ from the file (or, for a gallery
    // never saved, from the start) and there is something to lose.
    bool IsModified() const;
    // Asks Save / Discard / Cancel when unsaved changes would be lost; true when the caller may go on.
    bool ConfirmDiscard();
    // Asks Save / Discard / Cancel when FTP settings typed since they were loaded or saved would be lost.
    bool ConfirmFtpDiscard();
    // The galleries opened or saved last, newest first, as the File menu lists them.
    QStringList RecentGalleries() const;

    TDialogs& Dialogs() const override { return *FDialogs; }
    // The upload panel posts its upload request here.
    QObject* MainForm() override { return this; }
    TGfxGrid* Grid() const { return FGrid; }
    TGfxThumbnail& Renderer() const;
    TGfxThumbPage* ThumbPage() const { return FThumbPage.get(); }
    TProfileManager* Profiles() const { return FProfiles.get(); }
    QString WorkDir() const { return FWorkDir; }
    const QString& OutputDir() const { return FEditor->OutputDir(); }
    QString IniFileName() const { return FIniFileName; }
    QString ProfileName() const { return FEditor->Settings().ProfileName; }
    QString BkgFile() const { return FEditor->Settings().Background.File; }
    TColor BkgColor() const { return FEditor->Settings().Background.Color; }
    bool ThumbsStale() const { return FThumbsStale; }
    bool PreviewStale() const { return FPreviewStale; }
    const QStringList& UsedFiles() const { return FUsedFiles; }

    // The commands, their menus and the toolbar.
    const std::unique_ptr<TWindowCommands> Commands;
    QToolBar* ToolB;
    QLabel* OutputDirP;
    QPushButton* PlaceCancelB; // shown while pictures are placed

    // Work area.
    TPreviewPanel* Preview = nullptr;
    QSplitter* Splitter;
    QFrame* GfxGridP;

    // Page control and its tabs.
    QTabWidget* MainPC;
    QWidget* ThumbTS;
    QWidget* PictureTS;
    QWidget* FtpTS;
    TFtpF* FtpF1; // the upload panel; freed first at tear-down, while the window it reports to is whole

    // "Thumbnail" and "Picture"
    TRenderPanel* Render = nullptr;

    // "Html Page" and "Html table"
    TPagePanel* Html = nullptr;

    // "Options"
    TOptionsPanel* Options = nullptr;

    // "About"
    TAboutPanel* About = nullptr;

    // Status bar panels 0 (progress texts and hints), 1 (table) and 2 (profile).
    QLabel* StatusP0;
    QLabel* StatusP1;
    QLabel* StatusP2;

    // One-shot preview delay after a burst of rendering changes.
    QTimer* EventT;

protected:
    bool event(QEvent* event) override;
    // Asks about unsaved changes first.
    void closeEvent(QCloseEvent* event) override;

private:
    // Layout (VeltrixLayout.cpp).
    void CreateToolBar();
    void CreateWorkArea();
    void CreatePages();
    void CreateStatusBar();

    // Start-up steps (VeltrixU.cpp).
    void StartUp(const TVeltrixPlaces& places);
    void CreateConverter();
    void CreateGrid();
    void CreateThumbPage();
    bool OpenProfiles(const QString& fileName);
    void ReadLoadOnStartup();
    void FillProfileList();
    // The options tab and the grid's cell size show the options.
    void ShowOptions(const TOptions::TCommon& common, const TOptions::TTableGrid& grid);

    // The grid, the page and the panel take the table size.
    void SetTableSize(int cols, int rows);

    // Handlers of the settings panels (VeltrixPanels.cpp).
    void ConnectPanels();
    void ConnectRendererControls();
    void ConnectPageControls();
    void ConnectOptionControls();
    // A page setting edited: the table page takes it, and the preview shows a change of the picture
    // information at once.
    void PageEdited(const TGfxPageSettings& value);
    // The table size asked for on the tab: the grid and the page take it once confirmed.
    void TableSizeAsked(int cols, int rows);
    // True when the table may take the size: asks first when filled cells would leave the grid.
    bool ConfirmTableSize(int cols, int rows);
    // "Redraw": every cell's preview rebuilt at the current cell size.
    void RedrawCells();
    // The preview a page setting asks for at once; skipped while a profile is applied, which shows it once.
    void PreviewNow();

    // Grid commands and preview (VeltrixPreview.cpp).
    void ConnectGridCommands();
    void GfxGLoadPictureExecute();
    // Files a drop or the open-picture dialog left out: more rows are offered when the cells ran out, then
    // one message names every file still not placed and why.
    void GridFilesRefused(const std::vector<TRefusedFile>& refused);
    void GfxGClearCellExecute();
    void GfxClearAllExecute();
    void ThumbBkgFileExecute();
    void ThumbBkgColorExecute();
    void EventTTimer();
    // The caption edit shows the current cell's caption; typing sets it.
    void ShowCaption();
    void CaptionEChange(const QString& text);

    // Adding commands (VeltrixAdd.cpp).
    void CreatePlacingCancel();
    void ConnectAdding();
    void AddFolderExecute(TPictureOrder order);
    void StartNextPlacing();
    void PlacingDone(const std::vector<TRefusedFile>& refused, bool cancelled);

    // Profile commands (VeltrixProfileCmds.cpp).
    void ConnectProfileCommands();
    TProfileManager& Store() const;
    // Reads the named profile from the store; raises when there is none of that name.
    void ReadNamedProfile(const QString& name, TProfileRecord& record) const;
    // Asks for a profile name; false when cancelled or refused (an empty name marks a free slot).
    bool AskProfileName(const QString& caption, QString& name);
    // The already-exists error box when the store holds the name; true then.
    bool ProfileExists(const QString& name);
    void NewProjectExecute();
    // A profile picked in the list replaces the settings shown, once unsaved changes are asked about.
    void ProfileChosen(const QString& name);
    void PrfAddExecute();
    void PrfEditExecute();
    void PrfDelExecute();
    void PrfSaveExecute();

    // Generation run (VeltrixGenerate.cpp).
    TGallery GridGallery() const;
    void ShowRunProgress(const TRunProgress& progress, std::unique_ptr<QProgressBar>& bar, int& barPhase);
    void KeepRunStretches(const TGallery& gallery);

    // Generation commands (VeltrixGenerate.cpp).
    void ConnectGenerationCommands();
    void GeneratePageExecute();
    void GenerateTableExecute();
    void ViewPageExecute();
    void OutputDirExecute();
    void ExitExecute();
    void FtpUploadRequest();
    void MainPCChange(int index);

    // Options file (VeltrixOptions.cpp).
    void ConnectOptionCommands();

    // Edits (VeltrixEdit.cpp).
    void ConnectEditCommands();
    // A setting changed in a panel: one step per control, steps of the same control in a row made one.
    void SettingEdited(const QString& what);
    void RestoreState(const TEditStatePtr& state);
    void ShowEditState();
    // The grid and the settings as a gallery file keeps them, and taken from one (VeltrixDocument.cpp).
    void ConnectDocumentCommands();
    void WriteGallery(const QString& fileName);
    void ReadGallery(const QString& fileName);
    std::unique_ptr<TCellPreviews> ReadPictures(const std::vector<TDocumentCell>& cells, const QSize& box);
    void RememberRecent(const QString& fileName);
    void FillRecentMenu();
    void UpdateTitle();
    // Once after a burst of the grid's notifications (clearing a large table posts one per cell).
    void TitleLater();
    void NewGallery();

    std::unique_ptr<TDialogs> FDialogs;
    TGfxGrid* FGrid = nullptr;
    std::unique_ptr<TGfxBatchPicConverter> FConverter;
    std::unique_ptr<TGfxThumbPage> FThumbPage;
    std::unique_ptr<TProfileManager> FProfiles;
    QString FProfilesProblem; // why the profiles file could not be opened
    QStringList FUsedFiles;
    QString FWorkDir;
    QString FIniFileName;
    // The cell name and picture file the preview shows; both empty when it shows none.
    QString FPreviewName;
    QString FPreviewFile;
    bool FThumbsStale = false;
    bool FPreviewStale = false;
    bool FApplyingProfile = false;
    // Set while a run goes on: the run processes pending events, and a command must not start another.
    bool FGenerating = false;
    int FRenderThreads = 0;
    // The open gallery: its edits, file, saved state and output folder.
    std::unique_ptr<TGalleryEditor> FEditor;
    // The FTP settings as loaded or saved, so that typed ones are not lost at exit unasked.
    TFtpSettings FSavedFtp;
    TRecentPlaces FRecent;
    bool FTitleQueued = false;
    // Background placing: the placer, the requests waiting for it, its progress bar, and the refusals
    // carried to the message shown when the last placing of a command ends.
    struct TPlaceRequest {
        QStringList Paths;
        int Col = 0;
        int Row = 0;
        bool IntoStartCell = false;
    };
    TGfxGridPlacer* FPlacer = nullptr;
    std::vector<TPlaceRequest> FPlaceQueue;
    std::unique_ptr<QProgressBar> FPlaceBar;
    std::vector<TRefusedFile> FPlaceCarried;
    bool FPlaceStepOpen = false; // placing under way since the last undo step
};

// The picture information lines drawn under the previewed thumbnail: the file name (flag 1), then the
// picture size (flag 2) and the file size in kilobytes (flag 4) on one line.
QStringList PicInfoLines(int flags, const QString& name, int width, int height, qint64 fileSize);

// Shows a colour on a panel: the colour itself, or the button face for the default colour.
void SetPanelColor(QWidget* panel, TColor color);
