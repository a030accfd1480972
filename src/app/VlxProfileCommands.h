// The profiles of the main window: the profiles file, its list on the Options tab, and the commands that
// add, rename, delete and overwrite a profile or switch to one.
#pragma once

#include <memory>

#include <QObject>
#include <QString>

class TProfileManager;
class TVeltrixF;
struct TProfileRecord;

class TProfileCommands : public QObject {
public:
    // Works on the window's settings, Options tab and dialogs; the window outlives it.
    explicit TProfileCommands(TVeltrixF& window);
    ~TProfileCommands() override;
    // Connects the profile commands of the Options tab.
    void Connect();

    // Opens the profiles file, adds the default profile when it has none, lists the profiles and applies
    // the default one. False when the file cannot be opened: the error is shown and kept for the commands.
    bool Open(const QString& fileName);
    // Null while no profiles file is open.
    TProfileManager* Profiles() const { return FProfiles.get(); }
    // Reads the named profile and applies it; raises when the profiles file holds none of that name.
    void UseProfile(const QString& name);
    // The named profile applied, else the default one; nothing without a profiles file or either profile.
    void ApplyStored(const QString& name);
    // A profile picked in the list replaces the settings shown, once unsaved changes are asked about.
    void ProfileChosen(const QString& name);
    void FillProfileList();

private:
    TProfileManager& Store() const;
    bool ConfirmProfileChanges(const QString& next);
    void ReadNamedProfile(const QString& name, TProfileRecord& record) const;
    // Asks for a profile name; false when cancelled or refused (an empty name marks a free slot).
    bool AskProfileName(const QString& caption, QString& name);
    // The already-exists error box when the store holds the name; true then.
    bool ProfileExists(const QString& name);
    void PrfAddExecute();
    void PrfEditExecute();
    void PrfDelExecute();
    void PrfSaveExecute();

    TVeltrixF& FWindow;
    std::unique_ptr<TProfileManager> FProfiles;
    QString FProfilesProblem; // why the profiles file could not be opened
};
