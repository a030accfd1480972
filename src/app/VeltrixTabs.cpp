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
