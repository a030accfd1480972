// The options file: loading and saving the program's own options.
#include "app/VeltrixU.h"

#include <QAction>
#include <QCheckBox>
#include <QSpinBox>

#include "app/VlxApplication.h"
#include "settings/VlxIniFile.h"
#include "settings/VlxProfileU.h"

namespace {

const char* const kCommon = "Common";
const char* const kTableGrid = "TableGrid";
const char* const kFtp = "Ftp";
const char* const kDefaultProfile = "default";

} // namespace

void TVeltrixF::ConnectOptionCommands() {
    connect(SaveOptionsA, &QAction::triggered, this, Guarded([this] { SaveOptions(); }));
}

void TVeltrixF::LoadOptions() {
    const TIniFile ini(FIniFileName);
    LoadOnStartupCB->setChecked(ini.ReadBool(kCommon, "LoadOnStartup", LoadOnStartupCB->isChecked()));
    OverFilesConfCB->setChecked(ini.ReadBool(kCommon, "OverFileConf", OverFilesConfCB->isChecked()));
    ClearTmpDirCB->setChecked(ini.ReadBool(kCommon, "ClearTmpDir", ClearTmpDirCB->isChecked()));
    // The spin edits keep the sizes in their range.
    GGridWSE->setValue(ini.ReadInteger(kTableGrid, "Width", GGridWSE->value()));
    GGridHSE->setValue(ini.ReadInteger(kTableGrid, "Height", GGridHSE->value()));
    AutoUpdThumbCB->setChecked(ini.ReadBool(kTableGrid, "AutoUpdate", AutoUpdThumbCB->isChecked()));
    if (FProfiles) {
        // An empty name would find the first free slot of the profiles file, not a profile.
        const QString name = ini.ReadString(kCommon, "Profile", kDefaultProfile);
        int index = name.isEmpty() ? -1 : FProfiles->FindProfile(name);
        if (index < 0)
            index = FProfiles->FindProfile(kDefaultProfile);
        if (index >= 0) {
            TProfileRecord record;
            FProfiles->ReadProfile(index, record);
            ApplyProfile(record);
        }
    }
    SetFtpHost(ini.ReadString(kFtp, "Host", ""));
    SetFtpPort(ini.ReadString(kFtp, "Port", "21"));
    SetFtpUserID(ini.ReadString(kFtp, "UserID", ""));
    SetFtpRemoteDir(ini.ReadString(kFtp, "RemoteDir", ""));
    // Files written before the setting existed read as passive, the panel's default.
    SetFtpPassive(ini.ReadBool(kFtp, "Passive", true));
    SetFtpChangedOnly(ini.ReadBool(kFtp, "ChangedOnly", true));
    // Files written before encryption existed were written for plain FTP: they keep it.
    SetFtpEncryption(ini.ReadString(kFtp, "Encryption", "none"));
}

void TVeltrixF::SaveOptions() {
    TIniFile ini(FIniFileName);
    ini.WriteBool(kCommon, "LoadOnStartup", LoadOnStartupCB->isChecked());
    ini.WriteBool(kCommon, "OverFileConf", OverFilesConfCB->isChecked());
    ini.WriteBool(kCommon, "ClearTmpDir", ClearTmpDirCB->isChecked());
    // Without the profiles file the profile in use was never read: the stored name stays.
    if (FProfiles)
        ini.WriteString(kCommon, "Profile", FProfileName);
    ini.WriteInteger(kTableGrid, "Width", GGridWSE->value());
    ini.WriteInteger(kTableGrid, "Height", GGridHSE->value());
    ini.WriteBool(kTableGrid, "AutoUpdate", AutoUpdThumbCB->isChecked());
    ini.WriteString(kFtp, "Host", FtpHost());
    ini.WriteString(kFtp, "Port", FtpPort());
    ini.WriteString(kFtp, "UserID", FtpUserID());
    ini.WriteString(kFtp, "RemoteDir", FtpRemoteDir());
    ini.WriteBool(kFtp, "Passive", FtpPassive());
    ini.WriteBool(kFtp, "ChangedOnly", FtpChangedOnly());
    ini.WriteString(kFtp, "Encryption", FtpEncryption());
    // Saved options come back only through "Load on startup"; the text says so when it is off.
    QString text = QString("Options (profile \"%1\") saved to %2").arg(FProfileName, FIniFileName);
    if (!LoadOnStartupCB->isChecked())
        text += "; not read at start: \"Load on startup\" is off";
    ShowStatus(text);
}
