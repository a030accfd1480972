// The options file: loading and saving the program's own options.
#include "app/VeltrixU.h"

#include <QAction>
#include <QCheckBox>
#include <QSpinBox>

#include "app/VlxApplication.h"
#include "gallery/GalleryOptions.h"
#include "settings/VlxProfileU.h"

namespace {

const char* const kDefaultProfile = "default";

} // namespace

void TVeltrixF::ConnectOptionCommands() {
    connect(SaveOptionsA, &QAction::triggered, this, Guarded([this] { SaveOptions(); }));
}

void TVeltrixF::LoadOptions() {
    // What the file does not say stays as the window holds it.
    TOptions current;
    current.Common = {LoadOnStartupCB->isChecked(), OverFilesConfCB->isChecked(), ClearTmpDirCB->isChecked()};
    current.TableGrid = {GGridWSE->value(), GGridHSE->value(), AutoUpdThumbCB->isChecked()};
    const TOptions options = ReadOptions(FIniFileName, current);
    LoadOnStartupCB->setChecked(options.Common.LoadOnStartup);
    OverFilesConfCB->setChecked(options.Common.OverFileConf);
    ClearTmpDirCB->setChecked(options.Common.ClearTmpDir);
    GGridWSE->setValue(options.TableGrid.Width);
    GGridHSE->setValue(options.TableGrid.Height);
    AutoUpdThumbCB->setChecked(options.TableGrid.AutoUpdate);
    if (FProfiles) {
        // An empty name would find the first free slot of the profiles file, not a profile.
        const QString& name = options.Common.Profile;
        int index = name.isEmpty() ? -1 : FProfiles->FindProfile(name);
        if (index < 0)
            index = FProfiles->FindProfile(kDefaultProfile);
        if (index >= 0) {
            TProfileRecord record;
            FProfiles->ReadProfile(index, record);
            ApplyProfile(record);
        }
    }
    FtpF1->SetSettings(options.Ftp);
    FSavedFtp = FtpF1->Settings();
    for (const QString& note : options.Notes)
        ShowStatus(note);
}

void TVeltrixF::SaveOptions() {
    TOptions options;
    options.Common = {LoadOnStartupCB->isChecked(), OverFilesConfCB->isChecked(), ClearTmpDirCB->isChecked(),
                      // Without the profiles file the profile in use was never read: the stored name stays.
                      FProfiles ? FProfileName : QString()};
    options.TableGrid = {GGridWSE->value(), GGridHSE->value(), AutoUpdThumbCB->isChecked()};
    options.Ftp = FtpF1->Settings();
    WriteOptions(FIniFileName, options);
    FSavedFtp = options.Ftp;
    // Saved options come back only through "Load on startup"; the text says so when it is off.
    QString text = QString("Options (profile \"%1\") saved to %2").arg(FProfileName, FIniFileName);
    if (!LoadOnStartupCB->isChecked())
        text += "; not read at start: \"Load on startup\" is off";
    ShowStatus(text);
}

bool TVeltrixF::ConfirmFtpDiscard() {
    if (!FtpF1 || FtpF1->Settings() == FSavedFtp)
        return true;
    const QString text =
        "The FTP settings have changes that are not saved.\rSave them to the options file first ?\r\r"
        "Yes saves the options, No discards the changes, Cancel goes back.";
    switch (FDialogs->MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNoCancel)) {
    case TModalResult::Yes:
        SaveOptions();
        return true;
    case TModalResult::No:
        return true;
    default:
        return false;
    }
}
