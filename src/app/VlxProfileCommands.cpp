// The profiles file and the profile commands of the Options tab.
#include "app/VlxProfileCommands.h"

#include "app/VeltrixU.h"

#include <QAction>

#include "app/VlxApplication.h"
#include "app/VlxDocumentCommands.h"
#include "app/VlxOptionsPanel.h"
#include "grid/GfxGrid.h"
#include "settings/VlxProfileU.h"

namespace {

const char* const kDefaultProfile = "default";

QString Quoted(const QString& name) {
    return "\"" + name + "\"";
}

} // namespace

TProfileCommands::TProfileCommands(TVeltrixF& window) : FWindow(window) {}

TProfileCommands::~TProfileCommands() = default;

void TProfileCommands::Connect() {
    connect(FWindow.Options->Prf_AddA, &QAction::triggered, this, Guarded([this] { PrfAddExecute(); }));
    connect(FWindow.Options->Prf_EditA, &QAction::triggered, this, Guarded([this] { PrfEditExecute(); }));
    connect(FWindow.Options->Prf_DelA, &QAction::triggered, this, Guarded([this] { PrfDelExecute(); }));
    connect(FWindow.Options->Prf_SaveA, &QAction::triggered, this, Guarded([this] { PrfSaveExecute(); }));
    connect(FWindow.Options, &TOptionsPanel::ProfileChosen, this,
            Guarded([this](const QString& name) { ProfileChosen(name); }));
}

// False when the profiles file cannot be opened: the error is shown and kept for the profile commands.
bool TProfileCommands::Open(const QString& fileName) {
    try {
        FProfiles = std::make_unique<TProfileManager>(fileName);
    } catch (const Exception& e) {
        FProfilesProblem = e.Message();
        TVeltrixApp::ShowCurrentException();
        return false;
    }
    if (FProfiles->FindProfile(kDefaultProfile) < 0) {
        TProfileRecord record;
        FWindow.GatherProfile(record);
        record.Name = kDefaultProfile;
        FProfiles->AddProfile(record);
    }
    FillProfileList();
    TProfileRecord record;
    FProfiles->ReadProfile(FProfiles->FindProfile(kDefaultProfile), record);
    FWindow.ApplyProfile(record);
    return true;
}

// Start-up reports a profiles file it cannot open; the commands then say why they cannot work.
TProfileManager& TProfileCommands::Store() const {
    if (!FProfiles)
        throw EVeltrixException(QString("The profiles file is not open (%1)").arg(FProfilesProblem));
    return *FProfiles;
}

void TProfileCommands::ReadNamedProfile(const QString& name, TProfileRecord& record) const {
    const int index = Store().FindProfile(name);
    if (index < 0)
        throw EVeltrixException("Profile " + Quoted(name) + " not found in " + Store().FileName());
    Store().ReadProfile(index, record);
}

void TProfileCommands::ApplyStored(const QString& name) {
    if (!FProfiles)
        return;
    // An empty name would find the first free slot of the profiles file, not a profile.
    int index = name.isEmpty() ? -1 : FProfiles->FindProfile(name);
    if (index < 0)
        index = FProfiles->FindProfile(kDefaultProfile);
    if (index < 0)
        return;
    TProfileRecord record;
    FProfiles->ReadProfile(index, record);
    FWindow.ApplyProfile(record);
}

void TProfileCommands::UseProfile(const QString& name) {
    TProfileRecord record;
    ReadNamedProfile(name, record);
    FWindow.ApplyProfile(record);
}

// An empty name (or one of blanks only) would be stored as, or look like, a free slot of the file.
bool TProfileCommands::AskProfileName(const QString& caption, QString& name) {
    if (!FWindow.Dialogs().InputQuery(caption, "New profile name", name))
        return false;
    if (name.trimmed().isEmpty()) {
        FWindow.Dialogs().MessageBox(TMsgKind::Error, "Profile name can't be empty", TMsgButtons::Ok);
        return false;
    }
    return true;
}

bool TProfileCommands::ProfileExists(const QString& name) {
    if (Store().FindProfile(name) < 0)
        return false;
    FWindow.Dialogs().MessageBox(TMsgKind::Error, "Profile " + Quoted(name) + " already exists",
                                 TMsgButtons::Ok);
    return true;
}

void TProfileCommands::ProfileChosen(const QString& name) {
    if (name == FWindow.ProfileName() || !FProfiles)
        return;
    const int index = FProfiles->FindProfile(name);
    if (index < 0)
        return;
    // The settings shown give way to the profile's: unsaved changes are asked about first.
    if (!FWindow.DocumentCmds->ConfirmDiscard() || !ConfirmProfileChanges(name)) {
        FWindow.Options->ShowProfile(FWindow.ProfileName());
        return;
    }
    TProfileRecord record;
    FProfiles->ReadProfile(index, record);
    FWindow.EditGallery("Switch profile", [&] { FWindow.ApplyProfile(record); });
}

// Settings changed since the current profile was applied or saved are offered to it before another profile
// replaces them; false: the user stays with them.
bool TProfileCommands::ConfirmProfileChanges(const QString& next) {
    const QString current = FWindow.ProfileName();
    const int index = FProfiles->FindProfile(current);
    if (index < 0)
        return true;
    TProfileRecord stored;
    FProfiles->ReadProfile(index, stored);
    TProfileRecord shown;
    FWindow.GatherProfile(shown);
    shown.Name = stored.Name;
    if (shown == stored)
        return true;
    const QString text = "The settings were changed since profile " + Quoted(current) +
                         " was chosen.\rSave them to " + Quoted(current) + " before " + Quoted(next) +
                         " replaces them ?\r\rYes saves them, No leaves " + Quoted(current) +
                         " as it was, Cancel keeps the changed settings.";
    switch (FWindow.Dialogs().MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNoCancel)) {
    case TModalResult::Yes:
        FProfiles->WriteProfile(index, shown);
        return true;
    case TModalResult::No:
        return true;
    default:
        return false;
    }
}

void TProfileCommands::FillProfileList() {
    FWindow.Options->ShowProfiles(FProfiles ? FProfiles->ProfileNames() : QStringList());
}

void TProfileCommands::PrfAddExecute() {
    Store();
    QString name = "My profile";
    if (!AskProfileName("Add current settings to profile list", name) || ProfileExists(name))
        return;
    TProfileRecord record;
    FWindow.GatherProfile(record);
    record.Name = CutToField(name, TProfileRecord::kNameSize);
    Store().AddProfile(record);
    FillProfileList();
    FWindow.ApplyProfile(record);
}

void TProfileCommands::PrfEditExecute() {
    if (FWindow.ProfileName() == kDefaultProfile) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "Can't change default profile name",
                                     TMsgButtons::Ok);
        return;
    }
    const int index = Store().FindProfile(FWindow.ProfileName());
    QString name = FWindow.ProfileName();
    if (!AskProfileName("Change current profile name", name) ||
        name.compare(FWindow.ProfileName(), Qt::CaseInsensitive) == 0 || ProfileExists(name))
        return;
    // The profile may have gone from the file since it was applied; a rename must not write elsewhere.
    if (index < 0)
        throw EVeltrixException("Profile " + Quoted(FWindow.ProfileName()) + " not found in " +
                                Store().FileName());
    TProfileRecord record;
    FWindow.GatherProfile(record);
    record.Name = CutToField(name, TProfileRecord::kNameSize);
    Store().WriteProfile(index, record);
    FillProfileList();
    FWindow.ApplyProfile(record);
}

void TProfileCommands::PrfDelExecute() {
    if (FWindow.ProfileName() == kDefaultProfile) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "Can't remove default profile", TMsgButtons::Ok);
        return;
    }
    const QString text =
        "Profile " + Quoted(FWindow.ProfileName()) + " will be removed from list." + "\r" + "Remove?";
    if (FWindow.Dialogs().MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) != TModalResult::Yes)
        return;
    const int index = Store().FindProfile(FWindow.ProfileName());
    if (index < 0)
        return;
    Store().DeleteProfile(index);
    FillProfileList();
    const QStringList names = FWindow.Options->ProfileNames();
    if (!names.isEmpty()) {
        FWindow.Options->ShowProfile(names.first());
        ProfileChosen(names.first());
    }
}

void TProfileCommands::PrfSaveExecute() {
    const QString text = "Overwrite " + Quoted(FWindow.ProfileName()) + " profile ?";
    if (FWindow.Dialogs().MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNo) != TModalResult::Yes)
        return;
    const int index = Store().FindProfile(FWindow.ProfileName());
    if (index < 0)
        throw EVeltrixException("Profile " + Quoted(FWindow.ProfileName()) + " not found in " +
                                Store().FileName());
    TProfileRecord record;
    FWindow.GatherProfile(record);
    record.Name = CutToField(FWindow.ProfileName(), TProfileRecord::kNameSize);
    Store().WriteProfile(index, record);
}
