// The main window's frame: commands, toolbar, preview and grid panels, page control and status bar.
#include "app/VeltrixU.h"
#include "app/VlxControls.h"
#include "app/VlxRenderPanel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/VlxAboutPanel.h"
#include "app/VlxApplication.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxPagePanel.h"
#include "gfx/GfxCaption.h"

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

// A sunken panel of the status bar, at least width pixels wide; stretch shares out the room left over.
QLabel* NewStatusPanel(QStatusBar* bar, const char* name, int width, int stretch) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(name);
    panel->setMinimumWidth(width);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    bar->addWidget(panel, stretch);
    return panel;
}

} // namespace

void TVeltrixF::CreateActions() {
    using S = QStyle;
    NewProjectA = NewAction(this, "NewProjectA", "New project", "Clear table grid, keeping the settings",
                            S::SP_FileIcon, QKeySequence("Ctrl+N"));
    Gfx_ShowThumb = NewAction(this, "Gfx_ShowThumb", "Show thumbnailed image  <Dbl_Click>,",
                              "Show thumbnailed image", S::SP_BrowserReload, QKeySequence(Qt::Key_F5));
    ViewPageA = NewAction(this, "ViewPageA", "View page", "View HTML page", S::SP_FileDialogContentsView,
                          QKeySequence("Ctrl+U"));
    GeneratePageA = NewAction(this, "GeneratePageA", "Generate page", "Generate HTML page",
                              S::SP_DialogSaveButton, QKeySequence("Ctrl+P"));
    GenerateTableA = NewAction(this, "GenerateTableA", "Generate table", "Generate HTML table",
                               S::SP_FileDialogDetailedView);
    OutputDirA = NewAction(this, "OutputDirA", "Output directory", "Set output directory", S::SP_DirOpenIcon,
                           QKeySequence("Ctrl+D"));
    SaveOptionsA = NewAction(this, "SaveOptionsA", "Save options", "Save options", S::SP_DialogApplyButton,
                             QKeySequence("Ctrl+O"));
    ExitA = NewAction(this, "ExitA", "Exit", "Exit Veltrix", S::SP_DialogCloseButton);
    OptionsA = NewAction(this, "OptionsA", "Options", "Options", S::SP_FileDialogListView);
    TableRowsColumns = NewAction(this, "TableRowsColumns", "Table rows and columns", "HTML Table properties",
                                 S::SP_FileDialogDetailedView);
    // Insert, Delete and Control+Delete belong to the grid's own key handling, so no shortcuts here.
    GfxG_LoadPicture = NewAction(this, "GfxG_LoadPicture", "Load picture <Ins>",
                                 "Load picture into grid cell", S::SP_DialogOpenButton);
    GfxG_ClearCell = NewAction(this, "GfxG_ClearCell", "Clear cell <Del>", "Clear current cell",
                               S::SP_DialogDiscardButton);
    Gfx_ClearAll =
        NewAction(this, "Gfx_ClearAll", "Clear all cells <Ctrl+Del>", "Clear table", S::SP_TrashIcon);
    ThumbBkg_File = NewAction(this, "ThumbBkg_File", "Background file",
                              "Load HTML page and thumbnail background image", S::SP_DirIcon);
    ThumbBkg_Color = NewAction(this, "ThumbBkg_Color", "Background color",
                               "HTML page and thumbneil background color", S::SP_DesktopIcon);

    GfxGridPM = new QMenu(this);
    GfxGridPM->setObjectName("GfxGridPM");
    GfxGridPM->addActions({GfxG_LoadPicture, GfxG_ClearCell, Gfx_ClearAll, Gfx_ShowThumb});
    GfxGridPM->addSeparator();
    GfxGridPM->addAction(TableRowsColumns);
    ThumbImPM = new QMenu(this);
    ThumbImPM->setObjectName("ThumbImPM");
    ThumbImPM->addActions({ThumbBkg_File, ThumbBkg_Color});
}

void TVeltrixF::CreateToolBar() {
    ToolB = addToolBar("Tools");
    ToolB->setObjectName("ToolB");
    ToolB->setMovable(false);
    ToolB->setFloatable(false);
    ToolB->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // "Generate HTML table" has a hidden button: the command stays, without a place on the bar.
    ToolB->addActions({NewProjectA, Gfx_ShowThumb, ViewPageA, GeneratePageA, OutputDirA});
    OutputDirP = new QLabel(ToolB);
    OutputDirP->setObjectName("OutputDirP");
    OutputDirP->setFixedWidth(185);
    OutputDirP->setFrameShape(QFrame::Panel);
    OutputDirP->setFrameShadow(QFrame::Sunken);
    OutputDirP->setToolTip("Output directory");
    OutputDirP->setStatusTip("Output directory");
    ToolB->addWidget(OutputDirP);
    ToolB->addAction(ExitA);
}

void TVeltrixF::CreateWorkArea() {
    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->setObjectName("Splitter");
    Splitter->setChildrenCollapsible(false);

    ThumbImP = new QFrame;
    ThumbImP->setObjectName("ThumbImP");
    ThumbImP->setFrameShape(QFrame::NoFrame);
    ThumbImP->setMinimumWidth(60);
    // The two images are stacked by hand: the background under the centred thumbnail, both filling the panel.
    ThumbBkgI = new QLabel(ThumbImP);
    ThumbBkgI->setObjectName("ThumbBkgI");
    ThumbBkgI->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ThumbI = new QLabel(ThumbImP);
    ThumbI->setObjectName("ThumbI");
    ThumbI->setAlignment(Qt::AlignCenter);
    ThumbI->setToolTip("Thumbnailed image. <Right> mouse  - for pulldown menu");
    ThumbI->setStatusTip(ThumbI->toolTip());
    ThumbI->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ThumbI, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ThumbImPM->popup(ThumbI->mapToGlobal(pos)); });
    ThumbImP->installEventFilter(this);

    // The caption under the preview: what the picture's page shows under it and its text alternative.
    CaptionE = new QLineEdit;
    CaptionE->setObjectName("CaptionE");
    CaptionE->setPlaceholderText("Caption");
    CaptionE->setToolTip("Caption of the picture: under it on its page, and its text for screen readers");
    CaptionE->setStatusTip(CaptionE->toolTip());
    CaptionE->setMaxLength(kMaxCaptionLength);
    CaptionE->setEnabled(false);
    connect(CaptionE, &QLineEdit::textEdited, this, Guarded([this](const QString& text) { CaptionEChange(text); }));
    auto* previewColumn = new QWidget;
    previewColumn->setObjectName("PreviewColumnP");
    auto* previewLayout = new QVBoxLayout(previewColumn);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->setSpacing(2);
    previewLayout->addWidget(ThumbImP, 1);
    previewLayout->addWidget(CaptionE);

    GfxGridP = new QFrame;
    GfxGridP->setObjectName("GfxGridP");
    auto* gridLayout = new QVBoxLayout(GfxGridP);
    gridLayout->setContentsMargins(0, 0, 0, 0);

    Splitter->addWidget(previewColumn);
    Splitter->addWidget(GfxGridP);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({288, 400});
}

void TVeltrixF::CreatePages() {
    MainPC = new QTabWidget;
    MainPC->setObjectName("MainPC");
    MainPC->setFixedHeight(167);
    MainPC->setDocumentMode(false);
    MainPC->tabBar()->setUsesScrollButtons(false);
    using S = QStyle;
    Render = new TRenderPanel(ThumbBkg_File, ThumbBkg_Color, this);
    ThumbTS = Render->ThumbTab;
    PictureTS = Render->PictureTab;
    Html = new TPagePanel([this](TColor& color) { return FDialogs->ChooseColor(color); }, this);
    auto* ftpContent = new QWidget;
    auto* ftpLayout = new QVBoxLayout(ftpContent);
    ftpLayout->setContentsMargins(0, 0, 0, 0);
    FtpF1 = new TFtpF(this, ftpContent);
    ftpLayout->addWidget(FtpF1);
    FtpTS = ScrollingTab("FtpTS", ftpContent);
    Options = new TOptionsPanel(this);
    About = new TAboutPanel(this);
    MainPC->addTab(ThumbTS, style()->standardIcon(S::SP_FileDialogInfoView), "Thumbnail");
    MainPC->addTab(PictureTS, style()->standardIcon(S::SP_FileDialogContentsView), "Picture");
    MainPC->addTab(Html->PageTab, style()->standardIcon(S::SP_FileIcon), "Html Page");
    MainPC->addTab(Html->TableTab, style()->standardIcon(S::SP_FileDialogDetailedView), "Html table");
    MainPC->addTab(FtpTS, style()->standardIcon(S::SP_DriveNetIcon), "FTP");
    MainPC->addTab(Options->Tab, style()->standardIcon(S::SP_FileDialogListView), "Options");
    MainPC->addTab(About->Tab, style()->standardIcon(S::SP_MessageBoxInformation), "About");
}

void TVeltrixF::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusB");
    StatusP0 = NewStatusPanel(bar, "StatusP0", 300, 0);
    StatusP0->setMaximumWidth(300); // long progress texts are cut, not pushing the other panels away
    // The table status may need more than its 120 pixels in a wide font; the profile panel takes the rest.
    StatusP1 = NewStatusPanel(bar, "StatusP1", 120, 0);
    StatusP2 = NewStatusPanel(bar, "StatusP2", 50, 1);
}
