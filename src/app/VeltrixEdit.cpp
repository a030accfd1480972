// The window's edits go to the gallery's editor, which keeps them as undo steps; the window shows its states.
#include "app/VeltrixU.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

#include "app/VlxApplication.h"
#include "app/VlxDocumentCommands.h"
#include "app/VlxPagePanel.h"
#include "app/VlxPlaceCommands.h"
#include "app/VlxRunCommands.h"
#include "gallery/GallerySettings.h"
#include "grid/GfxGrid.h"

namespace {

// What the Edit menu calls a setting's step: the control's hint, else its name.
QString SettingName(const QObject* control) {
    const auto* widget = qobject_cast<const QWidget*>(control);
    if (widget && !widget->statusTip().isEmpty())
        return widget->statusTip();
    if (const auto* action = qobject_cast<const QAction*>(control); action && !action->statusTip().isEmpty())
        return action->statusTip();
    return control->objectName();
}

} // namespace

void TVeltrixF::ConnectEditCommands() {
    connect(Commands->UndoA, &QAction::triggered, this, Guarded([this] { Undo(); }));
    connect(Commands->RedoA, &QAction::triggered, this, Guarded([this] { Redo(); }));
    FGrid->OnEdit = [this](TGfxGrid*, const QString& what, const std::function<void()>& change) {
        EditGallery(what, change);
    };
    // Connected after the panels' own handlers, so each runs once the setting has taken effect.
    for (QWidget* tab : {ThumbTS, PictureTS, Html->PageTab, Html->TableTab}) {
        for (QSpinBox* spin : tab->findChildren<QSpinBox*>())
            connect(spin, &QSpinBox::valueChanged, this, [this, spin] { SettingEdited(SettingName(spin)); });
        for (QComboBox* list : tab->findChildren<QComboBox*>())
            connect(list, &QComboBox::activated, this, [this, list] { SettingEdited(SettingName(list)); });
        for (QCheckBox* box : tab->findChildren<QCheckBox*>())
            connect(box, &QCheckBox::toggled, this, [this, box] { SettingEdited(SettingName(box)); });
        for (QLineEdit* edit : tab->findChildren<QLineEdit*>())
            connect(edit, &QLineEdit::textChanged, this, [this, edit] { SettingEdited(SettingName(edit)); });
        for (QToolButton* button : tab->findChildren<QToolButton*>())
            connect(button, &QToolButton::clicked, this,
                    [this, button] { SettingEdited(SettingName(button)); });
    }
    for (QAction* action :
         {Commands->ThumbBkg_File, Commands->ThumbBkg_Color, Html->PicInfFontColorA, Html->HeadFontColorA})
        connect(action, &QAction::triggered, this, [this, action] { SettingEdited(SettingName(action)); });
}

TEditStatePtr TVeltrixF::EditState() const {
    auto state = std::make_shared<TEditState>();
    TGridContent grid = FGrid ? FGrid->Content() : TGridContent();
    if (const TEditStatePtr& current = FEditor->History().Current();
        current && SameContent(*current->Grid, grid))
        state->Grid = current->Grid;
    else
        state->Grid = std::make_shared<const TGridContent>(std::move(grid));
    state->Settings = Settings();
    return state;
}

void TVeltrixF::EditGallery(const QString& what, const std::function<void()>& change) {
    if (!FGrid) {
        change();
        return;
    }
    FEditor->Edit(what, change);
}

void TVeltrixF::SettingEdited(const QString& what) {
    if (FApplyingProfile || !FGrid)
        return;
    RunGuarded([&] { FEditor->Record(what); });
}

void TVeltrixF::Undo() {
    if (RunCmds->Generating())
        return;
    // Pictures still coming belong to the step under way: placing stops (the step is then made), and undo
    // takes that whole step back; undoing beneath a placing that goes on would lose pictures unseen.
    if (PlaceCmds->Placing())
        PlaceCmds->CancelPlacing();
    FEditor->Undo();
}

void TVeltrixF::Redo() {
    if (RunCmds->Generating())
        return;
    if (PlaceCmds->Placing())
        PlaceCmds->CancelPlacing(); // the step it makes is the newest: nothing is left to redo
    FEditor->Redo();
}

// The settings first (they may resize the table while it is empty), then the table's size and its cells.
void TVeltrixF::RestoreState(const TEditStatePtr& state) {
    TGallerySettings settings = state->Settings;
    settings.ProfileName = ProfileName();
    if (!SameSettings(Settings(), settings))
        ApplySettings(settings);
    SetTableSize(state->Grid->Gallery.Columns(), state->Grid->Gallery.Rows());
    FGrid->SetContent(*state->Grid);
    UpdateTableStatus();
}

void TVeltrixF::ShowEditState() {
    const TUndoStack& history = FEditor->History();
    Commands->UndoA->setEnabled(history.CanUndo());
    Commands->RedoA->setEnabled(history.CanRedo());
    Commands->UndoA->setText(history.CanUndo() ? "&Undo " + history.UndoName() : "&Undo");
    Commands->RedoA->setText(history.CanRedo() ? "&Redo " + history.RedoName() : "&Redo");
    DocumentCmds->UpdateTitle();
}
