// The options file: loading and saving the program's own options.
#include "app/VeltrixU.h"

#include <QAction>

#include "app/VlxApplication.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxProfileCommands.h"
#include "gallery/GalleryOptions.h"
#include "grid/GfxGrid.h"
#include "settings/VlxProfileU.h"

void TVeltrixF::ConnectOptionCommands() {
    connect(Commands->SaveOptionsA, &QAction::triggered, this, Guarded([this] { SaveOptions(); }));
}

void TVeltrixF::LoadOptions() {
    // What the file does not say stays as the window holds it.
    TOptions current;
    current.Common = Options->Common();
    current.TableGrid = Options->TableGrid();
    const TOptions options = ReadOptions(FIniFileName, current);
    ShowOptions(options.Common, options.TableGrid);
    ProfileCmds->ApplyStored(options.Common.Profile);
    FtpF1->SetSettings(options.Ftp);
    FSavedFtp = FtpF1->Settings();
    for (const QString& note : options.Notes)
        ShowStatus(note);
}

void TVeltrixF::ShowOptions(const TOptions::TCommon& common, const TOptions::TTableGrid& grid) {
    Options->Show(common, grid);
    if (FGrid) {
        FGrid->SetDefaultColWidth(Options->TableGrid().Width);
        FGrid->SetDefaultRowHeight(Options->TableGrid().Height);
    }
}

void TVeltrixF::SaveOptions() {
    TOptions options;
    options.Common = Options->Common();
    // Without the profiles file the profile in use was never read: the stored name stays.
    options.Common.Profile = Profiles() ? ProfileName() : QString();
    options.TableGrid = Options->TableGrid();
    options.Ftp = FtpF1->Settings();
    WriteOptions(FIniFileName, options);
    FSavedFtp = options.Ftp;
    // Saved options come back only through "Load on startup"; the text says so when it is off.
    QString text = QString("Options (profile \"%1\") saved to %2").arg(ProfileName(), FIniFileName);
    if (!options.Common.LoadOnStartup)
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
