// The settings tabs' controls, made alike: named, hinted, over a setting's range.
#include "app/VlxControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/VlxSpinEdit.h"

// Some pages hold more than the page control's height shows: they scroll rather than squeeze their
// controls out of sight.
QWidget* ScrollingTab(const char* name, QWidget* content) {
    auto* tab = new QWidget;
    tab->setObjectName(name);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    layout->addWidget(scroll);
    return tab;
}

void Hint(QWidget* control, const QString& hint) {
    control->setToolTip(hint);
    control->setStatusTip(hint);
}

// A spin edit over a setting's range; start-up gives it its value.
QSpinBox* NewSpin(const char* name, const TSettingRange& range, const QString& hint) {
    auto* spin = new TSpinEdit;
    spin->setObjectName(name);
    spin->setRange(range.Min, range.Max);
    spin->setMinimumWidth(58);
    Hint(spin, hint);
    return spin;
}

QComboBox* NewList(const char* name, const QString& hint) {
    auto* list = new QComboBox;
    list->setObjectName(name);
    list->setEditable(false);
    Hint(list, hint);
    return list;
}

QLineEdit* NewEdit(const char* name, const QString& text, const QString& hint) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    Hint(edit, hint);
    return edit;
}

QCheckBox* NewCheck(const char* name, const QString& caption, const QString& hint, bool checked) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setChecked(checked);
    Hint(box, hint);
    return box;
}

// A small sunken panel that shows a colour as its background.
QLabel* NewColorPanel(const char* name, const QString& hint) {
    auto* panel = new QLabel;
    panel->setObjectName(name);
    panel->setFixedSize(36, 20);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    Hint(panel, hint);
    return panel;
}

QToolButton* NewSpeedButton(const char* name, QAction* action) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setAutoRaise(true);
    if (action)
        button->setDefaultAction(action);
    else
        button->setText("...");
    return button;
}

QGroupBox* NewGroup(const QString& title) {
    auto* group = new QGroupBox(title);
    group->setFlat(false);
    return group;
}

QGridLayout* NewGrid(QWidget* owner) {
    auto* grid = new QGridLayout(owner);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    return grid;
}

// Rows of caption and control in one column of a grid.
void AddRows(QGridLayout* grid, int column, const std::vector<std::pair<QString, QWidget*>>& rows) {
    int row = 0;
    for (const auto& [caption, control] : rows) {
        if (!caption.isEmpty())
            grid->addWidget(new QLabel(caption), row, column);
        grid->addWidget(control, row, column + 1);
        ++row;
    }
}

QWidget* NewTab(const char* name, QHBoxLayout*& columns) {
    auto* content = new QWidget;
    columns = new QHBoxLayout(content);
    columns->setContentsMargins(4, 2, 4, 2);
    columns->setSpacing(6);
    return ScrollingTab(name, content);
}
