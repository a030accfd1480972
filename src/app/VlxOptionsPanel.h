// The "Options" tab: the program's own options as one value the tab shows and edits, and the profile list
// with its commands.
#pragma once

#include <QObject>
#include <QStringList>

#include "gallery/GalleryOptions.h"

class QAction;
class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;
class QToolButton;
class QWidget;

class TOptionsPanel : public QObject {
    Q_OBJECT

public:
    explicit TOptionsPanel(QObject* parent = nullptr);

    // Shows the options without telling them back as an edit; the profile's name is not among them.
    void Show(const TOptions::TCommon& common, const TOptions::TTableGrid& grid);
    // The options the tab shows; Common's profile name is left empty.
    const TOptions::TCommon& Common() const { return FCommon; }
    const TOptions::TTableGrid& TableGrid() const { return FGrid; }
    bool AutoUpdate() const { return FGrid.AutoUpdate; }
    // The profile list, sorted without regard to letter case, and the profile in use picked in it (none
    // when the name is not in the list).
    void ShowProfiles(QStringList names);
    void ShowProfile(const QString& name);
    QStringList ProfileNames() const;

    QWidget* Tab;
    // The profile commands; their buttons are on the tab.
    QAction* Prf_AddA;
    QAction* Prf_DelA;
    QAction* Prf_EditA;
    QAction* Prf_SaveA;

    QSpinBox* GGridWSE;
    QSpinBox* GGridHSE;
    QPushButton* BitBtn1;
    QCheckBox* AutoUpdThumbCB;
    QCheckBox* OverFilesConfCB;
    QCheckBox* ClearTmpDirCB;
    QCheckBox* LoadOnStartupCB;
    QPushButton* SaveOptionsBB;
    QComboBox* ProfilesCB;
    QToolButton* PrfSaveSB;
    QToolButton* PrfAddSB;
    QToolButton* PrfEditSB;
    QToolButton* PrfDelSB;

signals:
    void CellSizeEdited(int width, int height);
    // "Redraw": every cell's picture read again at the cell size.
    void RedrawAsked();
    void SaveAsked();
    // The user's pick in the profile list; filling the list tells nothing.
    void ProfileChosen(const QString& name);

private:
    void CreateTab();
    void Bind();

    TOptions::TCommon FCommon;
    TOptions::TTableGrid FGrid;
};
