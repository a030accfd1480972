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
#include "gallery/GalleryRecent.h"
#include "gallery/KeptStretch.h"
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

class TAboutPanel;
class TDocumentCommands;
class TGfxBatchPicConverter;
class TGfxGrid;
class TGfxThumbnail;
class TOptionsPanel;
class TPagePanel;
class TPlaceCommands;
class TPreviewPanel;
class TProfileCommands;
class TProfileManager;
class TRenderPanel;
class TRunCommands;
struct TBackgroundSetting;
struct TGallerySettings;
struct TGfxPageSettings;
struct TProfileRecord;

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

    // The window's least size, and the settings pages' height as they were designed.
    static constexpr int kMinimumWidth = 696;
    static constexpr int kMinimumHeight = 493;
    static constexpr int kSettingsHeight = 167;

    // Window state shared by the commands.
    void ShowStatus(const QString& text) override;
    void UpdateTableStatus();
    void ShowProfileName();
    void SetThumbsStale(bool flag);
    void SetOutputDir(const QString& path);
    int CountPictures() const;
    // A progress bar laid over status panel 1, range 0 to max, position 0. The caller owns it.
    QProgressBar* CreateStatusProgressBar(int max) override;

    // The last folders used, kept per user: kinds "Pictures", "Galleries" and "Output".
    QString RecentFolder(const QString& kind) const;
    void RememberFolder(const QString& kind, const QString& dir);
    TRecentPlaces& Recent() { return FRecent; }

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

    // The options file.
    void LoadOptions();
    void SaveOptions();
    // Asks Save / Discard / Cancel when FTP settings typed since they were loaded or saved would be lost.
    bool ConfirmFtpDiscard();

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
    // The Edit menu and the title follow the history.
    void ShowEditState();
    // The grid, the page and the panel take the table size.
    void SetTableSize(int cols, int rows);

    TDialogs& Dialogs() const override { return *FDialogs; }
    // The upload panel posts its upload request here.
    QObject* MainForm() override { return this; }
    TGfxGrid* Grid() const { return FGrid; }
    TGfxThumbnail& Renderer() const;
    TProfileManager* Profiles() const;
    // The open gallery's file; empty for a new gallery never saved.
    QString GalleryFile() const { return FEditor->File(); }
    QString WorkDir() const { return FWorkDir; }
    const QString& OutputDir() const { return FEditor->OutputDir(); }
    QString IniFileName() const { return FIniFileName; }
    QString ProfileName() const { return FEditor->Settings().ProfileName; }
    QString BkgFile() const { return FEditor->Settings().Background.File; }
    TColor BkgColor() const { return FEditor->Settings().Background.Color; }
    bool ThumbsStale() const { return FThumbsStale; }
    bool PreviewStale() const { return FPreviewStale; }

    // The commands, their menus and the toolbar, and the work of the commands: the gallery file, the
    // profiles, the run and adding pictures.
    const std::unique_ptr<TWindowCommands> Commands;
    const std::unique_ptr<TDocumentCommands> DocumentCmds;
    const std::unique_ptr<TProfileCommands> ProfileCmds;
    const std::unique_ptr<TRunCommands> RunCmds;
    const std::unique_ptr<TPlaceCommands> PlaceCmds;
    QToolBar* ToolB;
    QLabel* OutputDirP;

    // Work area.
    TPreviewPanel* Preview = nullptr;
    QSplitter* Splitter;
    QSplitter* WorkSplitter; // the grid above, the settings pages below
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
    QSize FirstSize() const;
    void ShowSettingsHeight(int height);
    void CreatePages();
    void CreateStatusBar();

    // Start-up steps (VeltrixU.cpp).
    void StartUp(const TVeltrixPlaces& places);
    void CreateConverter();
    void CreateGrid();
    void ShowStartPage();
    void ReadLoadOnStartup();
    // The options tab and the grid's cell size show the options.
    void ShowOptions(const TOptions::TCommon& common, const TOptions::TTableGrid& grid);
    void ConnectOptionCommands();

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
    void GfxGClearCellExecute();
    void GfxClearAllExecute();
    void ThumbBkgFileExecute();
    void ThumbBkgColorExecute();
    void EventTTimer();
    // The caption edit shows the current cell's caption; typing sets it.
    void ShowCaption();
    void CaptionEChange(const QString& text);

    // Edits (VeltrixEdit.cpp).
    void ConnectEditCommands();
    // A setting changed in a panel: one step per control, steps of the same control in a row made one.
    void SettingEdited(const QString& what);
    void RestoreState(const TEditStatePtr& state);

    std::unique_ptr<TDialogs> FDialogs;
    TGfxGrid* FGrid = nullptr;
    std::unique_ptr<TGfxBatchPicConverter> FConverter;
    QString FWorkDir;
    QString FIniFileName;
    // The cell name and picture file the preview shows; both empty when it shows none.
    QString FPreviewName;
    QString FPreviewFile;
    bool FThumbsStale = false;
    bool FPreviewStale = false;
    bool FApplyingProfile = false;
    // The open gallery: its edits, file, saved state and output folder.
    std::unique_ptr<TGalleryEditor> FEditor;
    // The FTP settings as loaded or saved, so that typed ones are not lost at exit unasked.
    TFtpSettings FSavedFtp;
    TRecentPlaces FRecent;
};

// The picture information lines drawn under the previewed thumbnail: the file name (flag 1), then the
// picture size (flag 2) and the file size in kilobytes (flag 4) on one line.
QStringList PicInfoLines(int flags, const QString& name, int width, int height, qint64 fileSize);

// Shows a colour on a panel: the colour itself, or the button face for the default colour.
void SetPanelColor(QWidget* panel, TColor color);
