// The controls of the settings tabs and the About tab, with their ranges, captions and hints.
#include "app/VeltrixU.h"
#include "app/VlxControls.h"
#include "gallery/GallerySettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Buttons that look like the links they open.
const char* const kLinkStyle = "QPushButton { border: none; color: #0000EE; text-decoration: underline; }";

} // namespace

namespace {

// A colour panel, its button and an optional "Default" box side by side.
QWidget* ColorRow(QLabel* panel, QToolButton* button, QCheckBox* defaultBox = nullptr) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(panel);
    layout->addWidget(button);
    if (defaultBox)
        layout->addWidget(defaultBox);
    layout->addStretch();
    return row;
}

} // namespace

QWidget* TVeltrixF::CreateHtmlPageTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("HtmlPageTS", columns);
    PgColTextP = NewColorPanel("PgColTextP", "HTML text color");
    PgColLinkP = NewColorPanel("PgColLinkP", "HTML link color");
    PgColALinkP = NewColorPanel("PgColALinkP", "HTML active link color");
    PgColVLinkP = NewColorPanel("PgColVLinkP", "HTML followed link color");
    PgColTextSB = NewSpeedButton("PgColTextSB");
    PgColLinkSB = NewSpeedButton("PgColLinkSB");
    PgColALinkSB = NewSpeedButton("PgColALinkSB");
    PgColVLinkSB = NewSpeedButton("PgColVLinkSB");
    Hint(PgColTextSB, "HTML text color");
    Hint(PgColLinkSB, "HTML link color");
    Hint(PgColALinkSB, "HTML active link color");
    Hint(PgColVLinkSB, "HTML followed link color");
    QGroupBox* colors = NewGroup("Colors");
    AddRows(NewGrid(colors), 0,
            {{"Text", ColorRow(PgColTextP, PgColTextSB)},
             {"Link", ColorRow(PgColLinkP, PgColLinkSB)},
             {"Active link", ColorRow(PgColALinkP, PgColALinkSB)},
             {"Followed link", ColorRow(PgColVLinkP, PgColVLinkSB)}});

    const TGfxPageFrame start = StartUpSettings().Page.Frame;
    PgTitleE = NewEdit("PgTitleE", start.Title, "HTML page title");
    PgBackLinkE = NewEdit("PgBackLinkE", start.BackLink, "Back link URL");
    PgBackLinkTextE = NewEdit("PgBackLinkTextE", start.BackLinkText, "Back link text");
    PgLinkOrderCB = NewCheck("PgLinkOrderCB", "Link pictures in order",
                             "Previous and next links on every picture's page", start.LinkInOrder);
    PgPrevTextE = NewEdit("PgPrevTextE", start.PrevText, "Previous picture link text");
    PgNextTextE = NewEdit("PgNextTextE", start.NextText, "Next picture link text");
    // The item index is the TPublishMeta value.
    PubMetaCB = NewList("PubMetaCB", "What the published copies of the pictures keep of their metadata");
    PubMetaCB->addItems({"Keep all metadata", "Remove location from published pictures",
                         "Remove all metadata but orientation"});
    PubMetaCB->setCurrentIndex(StartUpSettings().PublishMeta);
    const TWebSize web = StartUpSettings().Page.WebSize;
    PgWebSizeCB = NewCheck("PgWebSizeCB", "Publish pictures at most",
                           "Larger pictures are published as a smaller JPEG for their pages", web.Enabled);
    PgWebSizeSE = NewSpin("PgWebSizeSE", SettingRange(TSetting::WebSize),
                          "Longest side of a published picture, in pixels");
    PgWebSizeSE->setValue(web.MaxSide);
    PgOriginalCB =
        NewCheck("PgOriginalCB", "Also publish the original",
                 "The original of a picture published smaller is published too, linked from its page",
                 web.PublishOriginal);
    auto* webRow = new QWidget;
    auto* webLayout = new QHBoxLayout(webRow);
    webLayout->setContentsMargins(0, 0, 0, 0);
    webLayout->addWidget(PgWebSizeCB);
    webLayout->addWidget(PgWebSizeSE);
    webLayout->addWidget(new QLabel("pixels"));
    webLayout->addWidget(PgOriginalCB);
    webLayout->addStretch();
    QGroupBox* page = NewGroup("Page");
    QGridLayout* pageGrid = NewGrid(page);
    AddRows(pageGrid, 0,
            {{"Title", PgTitleE},
             {"Back link", PgBackLinkE},
             {"Back link text", PgBackLinkTextE},
             {"", PgLinkOrderCB},
             {"Previous link text", PgPrevTextE},
             {"Next link text", PgNextTextE},
             {"Picture metadata", PubMetaCB},
             {"", webRow}});
    pageGrid->setColumnMinimumWidth(1, 280);
    pageGrid->setRowStretch(7, 1);

    columns->addWidget(colors, 0, Qt::AlignTop);
    columns->addWidget(page, 1);
    return tab;
}

QWidget* TVeltrixF::CreateHtmlTableTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("HtmlTableTS", columns);
    const TGfxPageSettings start = StartUpSettings().Page;
    GfxGridColSE = NewSpin("GfxGridColSE", SettingRange(TSetting::Columns), "Table columns number");
    GfxGridRowSE = NewSpin("GfxGridRowSE", SettingRange(TSetting::Rows), "Table rows number");
    HtmlTablAlignCB = NewList("HtmlTablAlignCB", "Table align");
    HtmlTablCellSpacSE =
        NewSpin("HtmlTablCellSpacSE", SettingRange(TSetting::CellSpacing), "Table cell sapcing");
    HtmlFitWindowCB = NewCheck("HtmlFitWindowCB", "Fit pictures to the window",
                               "Pictures shrink to the width of a phone's or a small window's screen",
                               start.Frame.FitToWindow);
    HtmlPageRowsSE = NewSpin("HtmlPageRowsSE", SettingRange(TSetting::PageRows),
                             "Rows of the table on each table page; All: the whole table on one page");
    HtmlPageRowsSE->setSpecialValueText("All");
    QGroupBox* table = NewGroup("Table");
    AddRows(NewGrid(table), 0,
            {{"Columns", GfxGridColSE},
             {"Rows", GfxGridRowSE},
             {"Align", HtmlTablAlignCB},
             {"Spacing", HtmlTablCellSpacSE},
             {"Rows per page", HtmlPageRowsSE},
             {"", HtmlFitWindowCB}});

    PicInfNameCB = NewCheck("PicInfNameCB", "File name", "Picture information: file name");
    PicInfPicSizeCB = NewCheck("PicInfPicSizeCB", "Picture sizes", "Picture information: picture sizes");
    PicInfSizeCB = NewCheck("PicInfSizeCB", "File size", "Picture information: file size");
    PicInfCaptionCB = NewCheck("PicInfCaptionCB", "Caption", "Each picture's caption under its thumbnail",
                               start.CaptionUnderThumb);
    PicInfFonSizSE = NewSpin("PicInfFonSizSE", SettingRange(TSetting::PicInfoFontSize),
                             "Picture information font relative size");
    PicInfFonAlignCB = NewList("PicInfFonAlignCB", "Picture information text alignment");
    PicInfFonColP = NewColorPanel("PicInfFonColP", "Picture information font color");
    PicInfFonColSB = NewSpeedButton("PicInfFonColSB", PicInf_FontColor);
    PicInfFonColDefCB = NewCheck("PicInfFonColDefCB", "Default", "Default picture information font color");
    QGroupBox* info = NewGroup("Picture information");
    QGridLayout* infoGrid = NewGrid(info);
    infoGrid->addWidget(PicInfNameCB, 0, 0);
    infoGrid->addWidget(PicInfPicSizeCB, 1, 0);
    infoGrid->addWidget(PicInfSizeCB, 2, 0);
    infoGrid->addWidget(PicInfCaptionCB, 3, 0);
    AddRows(infoGrid, 1,
            {{"Size", PicInfFonSizSE},
             {"Align", PicInfFonAlignCB},
             {"Color", ColorRow(PicInfFonColP, PicInfFonColSB, PicInfFonColDefCB)}});

    HtmlTabTitleE = NewEdit("HtmlTabTitleE", start.TableTitle, "Table header - text on top of table");
    HtmlTabTitSizSE = NewSpin("HtmlTabTitSizSE", SettingRange(TSetting::TableTitleFontSize),
                              "Table header font relative size");
    HtmlTabTitAlignCB = NewList("HtmlTabTitAlignCB", "Table header text alignment");
    HtmlTabTitColP = NewColorPanel("HtmlTabTitColP", "Table header font color");
    HtmlTabTitColSB = NewSpeedButton("HtmlTabTitColSB", Head_FontColor);
    HtmlTabTitColCB = NewCheck("HtmlTabTitColCB", "Default", "Default table header font color");
    QGroupBox* header = NewGroup("Table header");
    AddRows(NewGrid(header), 0,
            {{"Text", HtmlTabTitleE},
             {"Size", HtmlTabTitSizSE},
             {"Align", HtmlTabTitAlignCB},
             {"Color", ColorRow(HtmlTabTitColP, HtmlTabTitColSB, HtmlTabTitColCB)}});

    columns->addWidget(table, 0, Qt::AlignTop);
    columns->addWidget(info, 0, Qt::AlignTop);
    columns->addWidget(header, 1, Qt::AlignTop);
    return tab;
}

QWidget* TVeltrixF::CreateOptionsTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("OptionsTS", columns);
    GGridWSE = NewSpin("GGridWSE", kGridCellWidthRange, "Table grid column width");
    GGridHSE = NewSpin("GGridHSE", kGridCellHeightRange, "Table grid row height");
    BitBtn1 = new QPushButton("Redraw");
    BitBtn1->setObjectName("BitBtn1");
    Hint(BitBtn1, "Redraw pictures in grid");
    AutoUpdThumbCB = NewCheck("AutoUpdThumbCB", "Auto update thumbnail picture",
                              "Redraw thumbnail picture when changing row/column", true);
    QGroupBox* grid = NewGroup("Table grid");
    QGridLayout* gridLayout = NewGrid(grid);
    AddRows(gridLayout, 0, {{"Column width", GGridWSE}, {"Row height", GGridHSE}});
    gridLayout->addWidget(BitBtn1, 0, 2, 2, 1);
    gridLayout->addWidget(AutoUpdThumbCB, 2, 0, 1, 3);

    OverFilesConfCB = NewCheck("OverFilesConfCB", "Overwrite files confirmation",
                               "Ask before files in the output directory are overwritten", true);
    ClearTmpDirCB = NewCheck("ClearTmpDirCB", "Clear Tmp dir on exit",
                             "Delete the files of the working directory on exit", true);
    LoadOnStartupCB =
        NewCheck("LoadOnStartupCB", "Load on startup",
                 "Load the saved options on startup; without it the saved options are not read at "
                 "start");
    SaveOptionsBB = new QPushButton("Save options");
    SaveOptionsBB->setObjectName("SaveOptionsBB");
    Hint(SaveOptionsBB, "Save options");
    QGroupBox* options = NewGroup("Options");
    QGridLayout* optionsLayout = NewGrid(options);
    optionsLayout->addWidget(OverFilesConfCB, 0, 0);
    optionsLayout->addWidget(ClearTmpDirCB, 1, 0);
    optionsLayout->addWidget(LoadOnStartupCB, 2, 0);
    optionsLayout->addWidget(SaveOptionsBB, 3, 0, Qt::AlignLeft);

    ProfilesCB = NewList("ProfilesCB", "Profile list");
    ProfilesCB->setMinimumWidth(150);
    PrfSaveSB = NewSpeedButton("PrfSaveSB", Prf_SaveA);
    PrfAddSB = NewSpeedButton("PrfAddSB", Prf_AddA);
    PrfEditSB = NewSpeedButton("PrfEditSB", Prf_EditA);
    PrfDelSB = NewSpeedButton("PrfDelSB", Prf_DelA);
    QGroupBox* profiles = NewGroup("Profiles");
    QGridLayout* profilesLayout = NewGrid(profiles);
    profilesLayout->addWidget(ProfilesCB, 0, 0, 1, 4);
    profilesLayout->addWidget(PrfSaveSB, 1, 0);
    profilesLayout->addWidget(PrfAddSB, 1, 1);
    profilesLayout->addWidget(PrfEditSB, 1, 2);
    profilesLayout->addWidget(PrfDelSB, 1, 3);
    profilesLayout->setRowStretch(2, 1);

    columns->addWidget(grid, 0, Qt::AlignTop);
    columns->addWidget(options, 0, Qt::AlignTop);
    columns->addWidget(profiles, 1, Qt::AlignTop);
    return tab;
}

QWidget* TVeltrixF::CreateAboutTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("AboutTS", columns);
    auto* name = new QLabel("Quorrin's Veltrix");
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    name->setFont(big);
    auto* purpose = new QLabel("Makes a web gallery of thumbnails and pages from your pictures.");
    VersionL = new QLabel;
    VersionL->setObjectName("VersionL");
    DateL = new QLabel;
    DateL->setObjectName("DateL");
    MailLB = new QPushButton("Write to the author");
    MailLB->setObjectName("MailLB");
    MailLB->setStyleSheet(kLinkStyle);
    MailLB->setCursor(Qt::PointingHandCursor);
    Hint(MailLB, "Send a mail to the author");
    HomeLB = new QPushButton("Veltrix home page");
    HomeLB->setObjectName("HomeLB");
    HomeLB->setStyleSheet(kLinkStyle);
    HomeLB->setCursor(Qt::PointingHandCursor);
    Hint(HomeLB, "Open the Veltrix home page");

    auto* text = new QWidget;
    auto* grid = NewGrid(text);
    grid->addWidget(name, 0, 0, 1, 2);
    grid->addWidget(purpose, 1, 0, 1, 2);
    grid->addWidget(VersionL, 2, 0);
    grid->addWidget(DateL, 2, 1);
    grid->addWidget(MailLB, 3, 0, Qt::AlignLeft);
    grid->addWidget(HomeLB, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    columns->addWidget(text, 1, Qt::AlignTop);
    return tab;
}
