// The profile commands of the Options tab and the new-project command.
#include "app/VeltrixU.h"

#include <QAction>

#include "app/VlxApplication.h"
#include "app/VlxOptionsPanel.h"
#include "grid/GfxGrid.h"
#include "settings/VlxProfileU.h"

namespace {

const char* const kDefaultProfile = "default";

QString Quoted(const QString& name) {
    return "\"" + name + "\"";
}

} // namespace

void TVeltrixF::ConnectProfileCommands() {
    connect(Commands->NewProjectA, &QAction::triggered, this, Guarded([this] { NewProjectExecute(); }));
    connect(Options->Prf_AddA, &QAction::triggered, this, Guarded([this] { PrfAddExecute(); }));
    connect(Options->Prf_EditA, &QAction::triggered, this, Guarded([this] { PrfEditExecute(); }));
    connect(Options->Prf_DelA, &QAction::triggered, this, Guarded([this] { PrfDelExecute(); }));
    connect(Options->Prf_SaveA, &QAction::triggered, this, Guarded([this] { PrfSaveExecute(); }));
}

// Start-up reports a profiles file it cannot open; the commands then say why they cannot work.
TProfileManager& TVeltrixF::Store() const {
    if (!FProfiles)
        throw EVeltrixException(QString("The profiles file is not open (%1)").arg(FProfilesProblem));
    return *FProfiles;
}

void TVeltrixF::ReadNamedProfile(const QString& name, TProfileRecord& record) const {
    const int index = Store().FindProfile(name);
    if (index < 0)
        throw EVeltrixException("Profile " + Quoted(name) + " not found in " + Store().FileName());
    Store().ReadProfile(index, record);
}

void TVeltrixF::UseProfile(const QString& name) {
    TProfileRecord record;
    ReadNamedProfile(name, record);
    ApplyProfile(record);
}

// An empty name (or one of blanks only) would be stored as, or look like, a free slot of the file.
bool TVeltrixF::AskProfileName(const QString& caption, QString& name) {
    if (!FDialogs->InputQuery(caption, "New profile name", name))
        return false;
    if (name.trimmed().isEmpty()) {
        FDialogs->MessageBox(TMsgKind::Error, "Profile name can't be empty", TMsgButtons::Ok);
        return false;
    }
    return true;
}

bool TVeltrixF::ProfileExists(const QString& name) {
    if (Store().FindProfile(name) < 0)
        return false;
    FDialogs->MessageBox(TMsgKind::Error, "Profile " + Quoted(name) + " already exists", TMsgButtons::Ok);
    return true;
}

// A new gallery keeps the settings in effect; the unsaved changes of the one shown are asked about first.
void TVeltrixF::NewProjectExecute() {
    if (ConfirmDiscard())
        NewGallery();
}

void TVeltrixF::ProfileChosen(const QString& name) {
    if (name == ProfileName() || !FProfiles)
        return;
    const int index = FProfiles->FindProfile(name);
    if (index < 0)
        return;
    // The settings shown give way to the profile's: unsaved changes are asked about first.
    if (!ConfirmDiscard()) {
        Options->ShowProfile(ProfileName());
        return;
    }
    TProfileRecord record;
    FProfiles->ReadProfile(index, record);
    EditGallery("Switch profile", [&] { ApplyProfile(record); });
}

void TVeltrixF::PrfAddExecute() {
    Store();
    QString name = "My profile";
    if (!AskProfileName("Add current settings to profile list", name) || ProfileExists(name))
        return;
    TProfileRecord record;
    GatherProfile(record);
    record.Name = CutToField(name, TProfileRecord::kNameSize);
    Store().AddProfile(record);
    FillProfileList();
    ApplyProfile(record);
}

void TVeltrixF::PrfEditExecute() {
    if (ProfileName() == kDefaultProfile) {
        FDialogs->MessageBox(TMsgKind::Information, "Can't change default profile name", TMsgButtons::Ok);
        return;
    }
    const int index = Store().FindProfile(ProfileName());
    QString name = ProfileName();
    if (!AskProfileName("Change current profile name", name) ||
        name.compare(ProfileName(), Qt::CaseInsensitive) == 0 || ProfileExists(name))
        return;
    // The profile may have gone from the file since it was applied; a rename must not write elsewhere.
    if (index < 0)
        throw EVeltrixException("Profile " + Quoted(ProfileName()) + " not found in " + Store().FileName());
    TProfileRecord record;
    GatherProfile(record);
    record.Name = CutToField(name, TProfileRecord::kNameSize);
    Store().WriteProfile(index, record);
    FillProfileList();
    ApplyProfile(record);
}

void TVeltrixF::PrfDelExecute() {
    if (ProfileName() == kDefaultProfile) {
        FDialogs->MessageBox(TMsgKind::Information, "Can't remove default profile", TMsgButtons::Ok);
        return;
    }
    const QString text = "Profile " + Quoted(ProfileName()) + " will be removed from list." + "\r" + "Remove?";
    if (FDialogs->MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNo) != TModalResult::Yes)
        return;
    const int index = Store().FindProfile(ProfileName());
    if (index < 0)
        return;
    Store().DeleteProfile(index);
    FillProfileList();
    const QStringList names = Options->ProfileNames();
    if (!names.isEmpty()) {
        Options->ShowProfile(names.first());
        ProfileChosen(names.first());
    }
}

void TVeltrixF::PrfSaveExecute() {
    const QString text = "Overwrite " + Quoted(ProfileName()) + " profile ?";
    if (FDialogs->MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNo) != TModalResult::Yes)
        return;
    const int index = Store().FindProfile(ProfileName());
    if (index < 0)
        throw EVeltrixException("Profile " + Quoted(ProfileName()) + " not found in " + Store().FileName());
    TProfileRecord record;
    GatherProfile(record);
    record.Name = CutToField(ProfileName(), TProfileRecord::kNameSize);
    Store().WriteProfile(index, record);
}
