// The settings tabs' controls, made alike: each named (tests and the edit history find it by its name), with
// its hint shown as tool tip and status text.
#pragma once

#include <utility>
#include <vector>

#include <QString>

#include "common/SettingRange.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;
class QWidget;

// A page of the page control: its content scrolls when the page is too low to show all of it.
QWidget* ScrollingTab(const char* name, QWidget* content);
// A scrolling tab whose content lays out its groups in columns.
QWidget* NewTab(const char* name, QHBoxLayout*& columns);

void Hint(QWidget* control, const QString& hint);
// A spin edit over a setting's range; start-up gives it its value.
QSpinBox* NewSpin(const char* name, const TSettingRange& range, const QString& hint);
QComboBox* NewList(const char* name, const QString& hint);
QLineEdit* NewEdit(const char* name, const QString& text, const QString& hint);
QCheckBox* NewCheck(const char* name, const QString& caption, const QString& hint, bool checked = false);
// A small sunken panel that shows a colour as its background.
QLabel* NewColorPanel(const char* name, const QString& hint);
QToolButton* NewSpeedButton(const char* name, QAction* action = nullptr);
QGroupBox* NewGroup(const QString& title);
QGridLayout* NewGrid(QWidget* owner);
// Rows of caption and control in one column of a grid.
void AddRows(QGridLayout* grid, int column, const std::vector<std::pair<QString, QWidget*>>& rows);
