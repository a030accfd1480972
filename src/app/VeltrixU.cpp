// The main window's construction, start-up order, tear-down, status bar and posted notifications.
#include "app/VeltrixU.h"
#include "app/VlxRenderPanel.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "app/VlxAboutPanel.h"
#include "app/VlxApplication.h"
#include "app/VlxDocumentCommands.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxPagePanel.h"
#include "app/VlxPlaceCommands.h"
#include "app/VlxPreviewPanel.h"
#include "app/VlxProfileCommands.h"
#include "app/VlxRunCommands.h"
#include "common/VlxSaveFile.h"
#include "gallery/GalleryDocument.h"
#include "gallery/GalleryOptions.h"
#include "gallery/GallerySettings.h"
#include "gallery/Version.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "grid/GfxGridPlacer.h"
#include "html/GfxHtml.h"
#include "html/GfxLists.h"
#include "publish/GalleryFiles.h"
#include "settings/VlxConfigDir.h"
#include "settings/VlxProfileU.h"

TVeltrixF::TVeltrixF(std::unique_ptr<TDialogs> dialogs, const TVeltrixPlaces& places, QWidget* parent)
    : QMainWindow(parent), Commands(std::make_unique<TWindowCommands>(this)),
      DocumentCmds(std::make_unique<TDocumentCommands>(*this)),
      ProfileCmds(std::make_unique<TProfileCommands>(*this)), RunCmds(std::make_unique<TRunCommands>(*this)),
      PlaceCmds(std::make_unique<TPlaceCommands>(*this)), FDialogs(std::move(dialogs)),
      FEditor(std::make_unique<TGalleryEditor>(TGalleryEditor::TView{
          [this] { return EditState(); }, [this](const TEditStatePtr& state) { RestoreState(state); }})) {
    if (!FDialogs)
        FDialogs = std::make_unique<TQtDialogs>(this);
    setObjectName("VeltrixF");
    setWindowTitle("Quorrin's Veltrix");
    // The settings the panels show at first, no profile and no background yet: start-up sets them.
    ChangeSettings([](TGallerySettings& start) {
        start = StartUpSettings();
        start.ProfileName.clear();
        start.Background = {QString(), clNone};
    });
    DocumentCmds->Connect();
    CreateToolBar();
    CreateWorkArea();
    CreatePages();
    // The settings take what they need below the grid; the user moves the line between them.
    WorkSplitter = new QSplitter(Qt::Vertical);
    WorkSplitter->setObjectName("WorkSplitter");
    WorkSplitter->setChildrenCollapsible(false);
    WorkSplitter->addWidget(Splitter);
    WorkSplitter->addWidget(MainPC);
    WorkSplitter->setStretchFactor(0, 1);
    WorkSplitter->setStretchFactor(1, 0);
    setCentralWidget(WorkSplitter);
    CreateStatusBar();
    EventT = new QTimer(this);
    EventT->setObjectName("EventT");
    EventT->setSingleShot(true);
    EventT->setInterval(1000);
    connect(EventT, &QTimer::timeout, this, Guarded([this] { EventTTimer(); }));
    setMinimumWidth(kMinimumWidth);
    resize(FirstSize());

    ConnectPanels();
    ConnectGridCommands();
    ProfileCmds->Connect();
    RunCmds->Connect();
    ConnectOptionCommands();
    TVeltrixApp::SetErrorDialogs(FDialogs.get());
    // An error in start-up is shown and ends start-up there; the window still opens.
    RunGuarded([&] { StartUp(places); });
    // The history of edits starts here, as does the state a new gallery is compared with.
    if (FGrid)
        ConnectEditCommands();
    FEditor->Started({}, {}, NewGalleryId(), OutputDir());
    connect(FEditor.get(), &TGalleryEditor::Changed, this, [this] { ShowEditState(); });
    FSavedFtp = FtpF1->Settings();
    DocumentCmds->FillRecentMenu();
    ShowEditState();
    RunGuarded([&] { PlaceCmds->Connect(); });
}

TVeltrixF::~TVeltrixF() {
    EventT->stop();
    // The panel closes its connection on the way out and reports to this window meanwhile: it goes while
    // the window is still whole, and nothing asks it for anything once it is going.
    PlaceCmds->Stop();
    TFtpF* panel = FtpF1;
    FtpF1 = nullptr;
    delete panel;
    if (TVeltrixApp::ErrorDialogs() == FDialogs.get())
        TVeltrixApp::SetErrorDialogs(nullptr);
    Preview->SetTile(nullptr); // the renderer's background goes with the converter
    FConverter.reset();
    if (FGrid) {
        FGrid->SetAcceptFiles(false);
        FGrid->SetMainWindow(nullptr); // nothing to notify any more
        delete FGrid;
        FGrid = nullptr;
    }
}

void TVeltrixF::StartUp(const TVeltrixPlaces& places) {
    SetThumbsStale(false);
    EventT->stop();
    MainPC->setCurrentWidget(About->Tab);
    // Shown after whatever the saving command itself reports.
    const QString configDir = UseConfigDir(places, [window = QPointer<TVeltrixF>(this)](const QString& note) {
        if (window)
            QTimer::singleShot(0, window, [window, note] { window->ShowStatus(note); });
    });
    FIniFileName = configDir + kOptionsFileName;
    FRecent = TRecentPlaces(configDir + "folders.ini", configDir + "recent-galleries.json");
    ShowSettingsHeight(FRecent.SettingsHeight());
    FtpF1->SetUploadRecordFile(configDir + kUploadRecordFileName);
    FtpF1->SetTrustFile(configDir + kTrustFileName);
    // A working directory that cannot be made is not reported here: the writes into it report it.
    FWorkDir = PrivateWorkDir(places.TempDir.isEmpty() ? QDir::tempPath() : places.TempDir);
    NeverFollowLinksIn(FWorkDir);
    SetOutputDir(FWorkDir);
    CreateConverter();
    Preview->SetTile(&Renderer().Background());
    CreateGrid();
    ShowStartPage();
    const TGallerySettings start = StartUpSettings();
    // Without a working directory the grey tile cannot be written: that is shown, and start-up goes on.
    RunGuarded([&] { SetBkgColor(start.Background.Color); });
    // The options are read whatever happened to the profiles file, so that a later "Save options" does
    // not write defaults over them.
    ProfileCmds->Open(configDir + kProfilesFileName);
    FGrid->SetAcceptFiles(true);
    SetTableSize(start.Page.Columns, start.Page.Rows);
    ReadLoadOnStartup();
}

// The start-up settings go to the renderer and into the controls.
void TVeltrixF::CreateConverter() {
    FConverter = std::make_unique<TGfxBatchPicConverter>();
    const TGfxThumbSettings settings = StartUpSettings().Thumb;
    Renderer().SetSettings(settings);
    Render->Show(settings);
}

void TVeltrixF::CreateGrid() {
    FGrid = new TGfxGrid(GfxGridP);
    FGrid->ShowGallery(FEditor->Gallery());
    FGrid->setObjectName("FGrid");
    GfxGridP->layout()->addWidget(FGrid);
    FGrid->SetMainWindow(this);
    // One cell until start-up sizes the table: the default profile a first start stores keeps that size.
    FGrid->SetColCount(1);
    FGrid->SetRowCount(1);
    TellGridPictureBox();
    FGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Commands->GfxGridPM->popup(FGrid->viewport()->mapToGlobal(pos)); });
    FGrid->setToolTip("Table grid. <Right> mouse - for pulldown menu");
    FGrid->setStatusTip(FGrid->toolTip());
    FGrid->OnStatusText = [this](TGfxGrid*, const QString& text) { ShowStatus(text); };
    FGrid->SetPlainNames(false);
    FGrid->OnKeyDown = [this](TGfxGrid*, int& key, Qt::KeyboardModifiers modifiers) {
        if (key == Qt::Key_Insert) {
            Commands->GfxG_LoadPicture->trigger();
            key = 0; // handled; the view has nothing to do with it
        }
        // Clearing every cell asks first about unsaved changes, as the command does.
        if (key == Qt::Key_Delete && (modifiers & Qt::ControlModifier)) {
            Commands->Gfx_ClearAll->trigger();
            key = 0;
        }
    };
    // The caption edit follows the current cell however it moves; the preview only where it is asked to.
    connect(FGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            Guarded([this] { ShowCaption(); }));
    FGrid->OnClick = [this](TGfxGrid*) {
        if (Options->AutoUpdate())
            ShowThumb();
    };
    // On an empty cell a double click asks for the pictures to put there.
    FGrid->OnDblClick = [this](TGfxGrid* grid) {
        if (grid->IsCellEmpty(grid->Col(), grid->Row()))
            Commands->GfxG_LoadPicture->trigger();
        else
            ShowThumb();
    };
    FGrid->OnFilesRefused = [this](TGfxGrid*, const std::vector<TRefusedFile>& refused) {
        PlaceCmds->FilesRefused(refused);
    };
    TOptions::TTableGrid cells = Options->TableGrid();
    cells.Width = FGrid->DefaultColWidth();
    cells.Height = FGrid->DefaultRowHeight();
    Options->Show(Options->Common(), cells);
}

// The start-up page settings go into the controls; the table's size is the grid's.
void TVeltrixF::ShowStartPage() {
    TGfxPageSettings settings = StartUpSettings().Page;
    settings.Columns = FGrid->ColCount();
    settings.Rows = FGrid->RowCount();
    Html->Show(settings, StartUpSettings().PublishMeta);
}

// An options file that is refused (not a regular file, too big) is shown; start-up goes on with defaults.
void TVeltrixF::ReadLoadOnStartup() {
    RunGuarded([this] {
        TOptions current;
        current.Common.LoadOnStartup = Options->Common().LoadOnStartup;
        TOptions::TCommon common = Options->Common();
        common.LoadOnStartup = ReadOptions(FIniFileName, current).Common.LoadOnStartup;
        Options->Show(common, Options->TableGrid());
        if (common.LoadOnStartup)
            LoadOptions();
    });
}

TGfxThumbnail& TVeltrixF::Renderer() const {
    return FConverter->Thumbnail();
}

void TVeltrixF::ShowStatus(const QString& text) {
    StatusP0->setText(text);
    statusBar()->repaint(); // shows during long loops, before the next event is handled
}

QProgressBar* TVeltrixF::CreateStatusProgressBar(int max) {
    auto* bar = new QProgressBar(statusBar());
    bar->setObjectName("StatusProgressBar");
    bar->setTextVisible(false);
    // A range of 0 to 0 would make a busy indicator; nothing to do is shown as an empty bar.
    bar->setRange(0, std::max(1, max));
    bar->setValue(0);
    bar->setGeometry(StatusP1->geometry().adjusted(1, 1, -1, -1));
    bar->show();
    bar->raise();
    return bar;
}

QString TVeltrixF::RecentFolder(const QString& kind) const {
    return FRecent.Folder(kind);
}

// Remembering is a convenience: a file that cannot be written is told in the status bar, the command goes on.
void TVeltrixF::RememberFolder(const QString& kind, const QString& dir) {
    try {
        FRecent.RememberFolder(kind, dir);
    } catch (const Exception& e) {
        ShowStatus(e.Message());
    }
}

TProfileManager* TVeltrixF::Profiles() const {
    return ProfileCmds->Profiles();
}

void TVeltrixF::UpdateTableStatus() {
    StatusP1->setText(QString::asprintf("Table: %dx%d  Images: %d", Settings().Page.Columns,
                                        Settings().Page.Rows, CountPictures()));
}

void TVeltrixF::ShowProfileName() {
    StatusP2->setText("Profile:" + ProfileName());
}

void TVeltrixF::SetThumbsStale(bool flag) {
    FThumbsStale = flag;
    FPreviewStale = flag;
    EventT->stop();
    // While a profile is applied the preview waits: it is shown once at the end.
    if (FPreviewStale && Options->AutoUpdate() && !FApplyingProfile)
        EventT->start();
}

void TVeltrixF::SetOutputDir(const QString& path) {
    FEditor->SetOutputDir(path);
    OutputDirP->setText(path);
}

int TVeltrixF::CountPictures() const {
    return FEditor->Gallery().CountPictures();
}

// The preview delay: one render after the last of a burst of changes.
void TVeltrixF::EventTTimer() {
    if (FThumbsStale) {
        if (FGrid)
            ShowThumb();
        FPreviewStale = false;
    }
    EventT->stop();
}

bool TVeltrixF::event(QEvent* event) {
    switch (static_cast<int>(event->type())) {
    case WM_GFXCELLLOADED:
        RunGuarded([this] {
            SetThumbsStale(true);
            UpdateTableStatus();
            DocumentCmds->TitleLater();
            // The preview just shown is fresh: the delayed one would only repeat it.
            if (SyncPreview()) {
                FPreviewStale = false;
                EventT->stop();
            }
        });
        return true;
    case WM_GFXCELLCLEARED:
        RunGuarded([this] {
            UpdateTableStatus();
            SyncPreview();
            DocumentCmds->TitleLater();
        });
        return true;
    case WM_GFXCELLSSWAPPED:
        RunGuarded([this] {
            SyncPreview(); // counts and staleness are unchanged
            DocumentCmds->TitleLater();
        });
        return true;
    case WM_FTPUPLOADREQUEST:
        RunGuarded([this] { RunCmds->FtpUploadRequest(); });
        return true;
    case QEvent::StatusTip:
        // Hints go to the first panel, as progress texts do, leaving the table and profile panels alone.
        StatusP0->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    default:
        return QMainWindow::event(event);
    }
}

void TVeltrixF::closeEvent(QCloseEvent* event) {
    bool close = true;
    RunGuarded([&] {
        close = RunCmds->Generating() ? false : DocumentCmds->ConfirmDiscard() && ConfirmFtpDiscard();
    });
    if (close) {
        RunGuarded([&] { FRecent.RememberSettingsHeight(MainPC->height()); });
        QMainWindow::closeEvent(event);
    }
    else
        event->ignore();
}
