// The main window's frame: commands, toolbar, preview and grid panels, page control and status bar.
#include "app/VeltrixU.h"
#include "app/VlxControls.h"
#include "app/VlxRenderPanel.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
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
#include "app/VlxPreviewPanel.h"

namespace {

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

void TVeltrixF::CreateToolBar() {
    ToolB = addToolBar("Tools");
    ToolB->setObjectName("ToolB");
    ToolB->setMovable(false);
    ToolB->setFloatable(false);
    ToolB->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // "Generate HTML table" has a hidden button: the command stays, without a place on the bar.
    ToolB->addActions({Commands->NewProjectA, Commands->Gfx_ShowThumb, Commands->ViewPageA,
                       Commands->GeneratePageA, Commands->OutputDirA});
    OutputDirP = new QLabel(ToolB);
    OutputDirP->setObjectName("OutputDirP");
    OutputDirP->setFixedWidth(185);
    OutputDirP->setFrameShape(QFrame::Panel);
    OutputDirP->setFrameShadow(QFrame::Sunken);
    OutputDirP->setToolTip("Output directory");
    OutputDirP->setStatusTip("Output directory");
    ToolB->addWidget(OutputDirP);
    ToolB->addAction(Commands->ExitA);
}

void TVeltrixF::CreateWorkArea() {
    Splitter = new QSplitter(Qt::Horizontal);
    Splitter->setObjectName("Splitter");
    Splitter->setChildrenCollapsible(false);

    Preview = new TPreviewPanel(Commands->ThumbImPM, this);
    connect(Preview, &TPreviewPanel::CaptionEdited, this,
            Guarded([this](const QString& text) { CaptionEChange(text); }));

    GfxGridP = new QFrame;
    GfxGridP->setObjectName("GfxGridP");
    auto* gridLayout = new QVBoxLayout(GfxGridP);
    gridLayout->setContentsMargins(0, 0, 0, 0);

    Splitter->addWidget(Preview->Column);
    Splitter->addWidget(GfxGridP);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({288, 400});
}

void TVeltrixF::CreatePages() {
    MainPC = new QTabWidget;
    MainPC->setObjectName("MainPC");
    MainPC->setMinimumHeight(kSettingsHeight);
    MainPC->setDocumentMode(false);
    MainPC->tabBar()->setUsesScrollButtons(false);
    using S = QStyle;
    Render = new TRenderPanel(Commands->ThumbBkg_File, Commands->ThumbBkg_Color, this);
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

// Fits the screen, up to the size the settings pages show whole at; never below the window's minimum.
QSize TVeltrixF::FirstSize() const {
    QSize size(1280, 800);
    if (const QScreen* shown = screen())
        size = size.boundedTo(shown->availableGeometry().size() * 9 / 10);
    return size.expandedTo(QSize(kMinimumWidth, kMinimumHeight));
}

// The height the user left the settings at, else what their pages ask for; the grid takes the rest.
void TVeltrixF::ShowSettingsHeight(int height) {
    if (height <= 0)
        height = std::max(kSettingsHeight, MainPC->sizeHint().height());
    height = std::clamp(height, kSettingsHeight, std::max(kSettingsHeight, this->height() / 2));
    WorkSplitter->setSizes({std::max(1, this->height() - height), height});
}
