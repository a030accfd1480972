#include "app/VlxOptionsPanel.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include "app/VlxControls.h"

namespace {

QAction* NewProfileAction(QObject* owner, const char* name, const QString& text, const QString& hint,
                          QStyle::StandardPixmap icon) {
    auto* action = new QAction(QApplication::style()->standardIcon(icon), text, owner);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    return action;
}

void ShowChecked(QCheckBox* box, bool checked) {
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

} // namespace

TOptionsPanel::TOptionsPanel(QObject* parent) : QObject(parent) {
    using S = QStyle;
    Prf_AddA = NewProfileAction(this, "Prf_AddA", "Add", "Add current profile to list", S::SP_FileDialogNewFolder);
    Prf_DelA = NewProfileAction(this, "Prf_DelA", "Delete", "Delete profile from list", S::SP_TrashIcon);
    Prf_EditA = NewProfileAction(this, "Prf_EditA", "Rename", "Change name of profile", S::SP_FileDialogDetailedView);
    Prf_SaveA = NewProfileAction(this, "Prf_SaveA", "Save", "Save current profile settings", S::SP_DialogSaveButton);
    CreateTab();
    FCommon.Profile.clear();
    Show(FCommon, FGrid);
    Bind();
}

void TOptionsPanel::CreateTab() {
    QHBoxLayout* columns;
    Tab = NewTab("OptionsTS", columns);
    GGridWSE = NewSpin("GGridWSE", kGridCellWidthRange, "Table grid column width");
    GGridHSE = NewSpin("GGridHSE", kGridCellHeightRange, "Table grid row height");
    BitBtn1 = new QPushButton("Redraw");
    BitBtn1->setObjectName("BitBtn1");
    Hint(BitBtn1, "Redraw pictures in grid");
    AutoUpdThumbCB = NewCheck("AutoUpdThumbCB", "Auto update thumbnail picture",
                              "Redraw thumbnail picture when changing row/column");
    QGroupBox* grid = NewGroup("Table grid");
    QGridLayout* gridLayout = NewGrid(grid);
    AddRows(gridLayout, 0, {{"Column width", GGridWSE}, {"Row height", GGridHSE}});
    gridLayout->addWidget(BitBtn1, 0, 2, 2, 1);
    gridLayout->addWidget(AutoUpdThumbCB, 2, 0, 1, 3);

    OverFilesConfCB = NewCheck("OverFilesConfCB", "Overwrite files confirmation",
                               "Ask before files in the output directory are overwritten");
    ClearTmpDirCB = NewCheck("ClearTmpDirCB", "Clear Tmp dir on exit",
                             "Delete the files of the working directory on exit");
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
}

void TOptionsPanel::Bind() {
    const auto cellSize = [this] {
        FGrid.Width = GGridWSE->value();
        FGrid.Height = GGridHSE->value();
        emit CellSizeEdited(FGrid.Width, FGrid.Height);
    };
    connect(GGridWSE, &QSpinBox::valueChanged, this, cellSize);
    connect(GGridHSE, &QSpinBox::valueChanged, this, cellSize);
    connect(AutoUpdThumbCB, &QCheckBox::toggled, this, [this](bool on) { FGrid.AutoUpdate = on; });
    connect(OverFilesConfCB, &QCheckBox::toggled, this, [this](bool on) { FCommon.OverFileConf = on; });
    connect(ClearTmpDirCB, &QCheckBox::toggled, this, [this](bool on) { FCommon.ClearTmpDir = on; });
    connect(LoadOnStartupCB, &QCheckBox::toggled, this, [this](bool on) { FCommon.LoadOnStartup = on; });
    connect(BitBtn1, &QPushButton::clicked, this, &TOptionsPanel::RedrawAsked);
    connect(SaveOptionsBB, &QPushButton::clicked, this, &TOptionsPanel::SaveAsked);
    connect(ProfilesCB, &QComboBox::activated, this, [this] { emit ProfileChosen(ProfilesCB->currentText()); });
}

void TOptionsPanel::Show(const TOptions::TCommon& common, const TOptions::TTableGrid& grid) {
    FCommon = common;
    FCommon.Profile.clear();
    FGrid = grid;
    {
        const QSignalBlocker width(GGridWSE);
        const QSignalBlocker height(GGridHSE);
        GGridWSE->setValue(grid.Width);
        GGridHSE->setValue(grid.Height);
    }
    // The fields hold the value in their ranges.
    FGrid.Width = GGridWSE->value();
    FGrid.Height = GGridHSE->value();
    ShowChecked(AutoUpdThumbCB, grid.AutoUpdate);
    ShowChecked(OverFilesConfCB, common.OverFileConf);
    ShowChecked(ClearTmpDirCB, common.ClearTmpDir);
    ShowChecked(LoadOnStartupCB, common.LoadOnStartup);
}

void TOptionsPanel::ShowProfiles(QStringList names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    const QSignalBlocker blocker(ProfilesCB);
    ProfilesCB->clear();
    ProfilesCB->addItems(names);
}

void TOptionsPanel::ShowProfile(const QString& name) {
    const QSignalBlocker blocker(ProfilesCB);
    ProfilesCB->setCurrentIndex(ProfilesCB->findText(name, Qt::MatchFixedString));
}

QStringList TOptionsPanel::ProfileNames() const {
    QStringList names;
    for (int i = 0; i < ProfilesCB->count(); ++i)
        names << ProfilesCB->itemText(i);
    return names;
}
