// The options file: saving, loading, and reading it at start-up.
#include "AppFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "settings/VlxProfileU.h"

namespace {

class TOptionsTest : public TAppTest {
protected:
    QString Ini() const { return FConfig.File("vlx.ini"); }
    // A profile of the current settings, stored without becoming current.
    void StoreProfile(const QString& name, int thumbWidth) {
        TProfileRecord record;
        W().GatherProfile(record);
        record.Name = name;
        record.ThumbWidth = thumbWidth;
        W().Profiles()->AddProfile(record);
    }
};

// The keys of an options file in the order they stand, each as "Section/Key".
QStringList KeysInOrder(const QByteArray& text) {
    QStringList keys;
    QString section;
    for (QString line : QString::fromUtf8(text).split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            section = line.mid(1, line.indexOf(']') - 1);
        else if (line.contains('='))
            keys << section + "/" + line.left(line.indexOf('='));
    }
    return keys;
}

} // namespace

// Saving says what went where, and when "Load on startup" is off that the options will not come back.
TEST_F(TOptionsTest, SavingSaysWhatWasSavedAndWhetherItIsReadAtStart) {
    EXPECT_TRUE(
        W().Options->LoadOnStartupCB->toolTip().contains("without it the saved options are not read at start"));
    W().Commands->SaveOptionsA->trigger();
    EXPECT_EQ(W().StatusP0->text(), "Options (profile \"default\") saved to " + Ini() +
                                        "; not read at start: \"Load on startup\" is off");
    W().Options->LoadOnStartupCB->setChecked(true);
    W().Commands->SaveOptionsA->trigger();
    EXPECT_EQ(W().StatusP0->text(), "Options (profile \"default\") saved to " + Ini());
}

TEST_F(TOptionsTest, SavedOptionsLoadBackAtTheNextStart) {
    W().Html->HtmlFitWindowCB->setChecked(false);
    W().Html->PgPrevTextE->setText("Back");
    StoreProfile("Trip", 177);
    W().Html->HtmlFitWindowCB->setChecked(true);
    W().Html->PgPrevTextE->setText("Previous");
    W().Options->LoadOnStartupCB->setChecked(true);
    W().Options->OverFilesConfCB->setChecked(false);
    W().Options->ClearTmpDirCB->setChecked(false);
    W().Options->GGridWSE->setValue(80);
    W().Options->GGridHSE->setValue(90);
    W().Options->AutoUpdThumbCB->setChecked(false);
    // Typed into the upload panel, as the user does.
    QTest::keyClicks(W().FtpF1->HostE, ".net");
    W().FtpF1->PortE->setText("2121");
    W().FtpF1->PassiveCB->setChecked(false);
    W().FtpF1->ChangedOnlyCB->setChecked(false);
    W().FtpF1->EncryptionCB->setCurrentIndex(2);
    W().FtpF1->UserIDE->setText("ann");
    W().FtpF1->PassE->setText("pass word 7");
    W().FtpF1->RemoteDirE->setText("/www/pictures");
    TProfileRecord trip;
    W().Profiles()->ReadProfile(W().Profiles()->FindProfile("Trip"), trip);
    W().ApplyProfile(trip);
    W().Commands->SaveOptionsA->trigger();

    EXPECT_EQ(KeysInOrder(ReadBytes(Ini())),
              (QStringList{"Common/LoadOnStartup", "Common/OverFileConf", "Common/ClearTmpDir",
                           "Common/Profile", "TableGrid/Width", "TableGrid/Height", "TableGrid/AutoUpdate",
                           "Ftp/Host", "Ftp/Port", "Ftp/UserID", "Ftp/RemoteDir", "Ftp/Passive",
                           "Ftp/ChangedOnly", "Ftp/RemoveStale", "Ftp/Encryption", "Ftp/Protocol",
                           "Ftp/KeyFile", "Ftp/Connections", "Ftp/RememberPassword"}));
    EXPECT_TRUE(ReadBytes(Ini()).contains("Encryption=require"));
    EXPECT_TRUE(ReadBytes(Ini()).contains("LoadOnStartup=1"));
    EXPECT_TRUE(ReadBytes(Ini()).contains("OverFileConf=0"));
    EXPECT_FALSE(ReadBytes(Ini()).contains("pass word 7"));

    Start();
    EXPECT_TRUE(W().Options->LoadOnStartupCB->isChecked());
    EXPECT_FALSE(W().Options->OverFilesConfCB->isChecked());
    EXPECT_FALSE(W().Options->ClearTmpDirCB->isChecked());
    EXPECT_EQ(W().Options->GGridWSE->value(), 80);
    EXPECT_EQ(W().Options->GGridHSE->value(), 90);
    EXPECT_EQ(W().Grid()->DefaultColWidth(), 80);
    EXPECT_FALSE(W().Options->AutoUpdThumbCB->isChecked());
    EXPECT_EQ(W().ProfileName(), "Trip");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 177);
    EXPECT_FALSE(ShownPage()->FitToWindow());
    EXPECT_TRUE(ShownPage()->LinkInOrder());
    EXPECT_EQ(ShownPage()->PrevText(), "Back");
    EXPECT_EQ(W().FtpF1->HostE->text(), "ftp.example.com.net");
    EXPECT_EQ(W().FtpF1->PortE->text(), "2121");
    EXPECT_FALSE(W().FtpF1->PassiveCB->isChecked());
    EXPECT_FALSE(W().FtpF1->ChangedOnlyCB->isChecked());
    EXPECT_EQ(W().FtpF1->EncryptionCB->currentText(), "require TLS");
    EXPECT_EQ(W().FtpF1->UserIDE->text(), "ann");
    EXPECT_EQ(W().FtpF1->PassE->text(), "");
    EXPECT_EQ(W().FtpF1->RemoteDirE->text(), "/www/pictures");
}

TEST_F(TOptionsTest, LoadOnStartupOffLeavesEverythingAsAtStartUp) {
    StoreProfile("Trip", 177);
    Stop();
    WriteBytes(Ini(), "[Common]\r\nLoadOnStartup=0\r\nOverFileConf=0\r\nClearTmpDir=0\r\nProfile=Trip\r\n"
                      "[TableGrid]\r\nWidth=100\r\nHeight=100\r\nAutoUpdate=0\r\n"
                      "[Ftp]\r\nHost=files.example.net\r\nPort=2121\r\nUserID=ann\r\nRemoteDir=/www\r\n");
    Start();
    EXPECT_FALSE(W().Options->LoadOnStartupCB->isChecked());
    EXPECT_TRUE(W().Options->OverFilesConfCB->isChecked());
    EXPECT_TRUE(W().Options->ClearTmpDirCB->isChecked());
    EXPECT_TRUE(W().Options->AutoUpdThumbCB->isChecked());
    EXPECT_EQ(W().Options->GGridWSE->value(), 64);
    EXPECT_EQ(W().ProfileName(), "default");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 150);
    EXPECT_EQ(W().FtpF1->HostE->text(), "ftp.example.com");
    EXPECT_EQ(W().FtpF1->UserIDE->text(), "MyUserID");
    EXPECT_EQ(W().FtpF1->PortE->text(), "21");
}

struct TProfileKey {
    const char* Name;
    const char* Line; // the Profile line of the file, or none
};

class TProfileKeyTest : public TOptionsTest, public testing::WithParamInterface<TProfileKey> {};

// A name that finds no profile applies "default"; the empty name above all must not find the free slot.
TEST_P(TProfileKeyTest, WithoutAStoredProfileAppliesDefault) {
    StoreProfile("Trip", 177);
    StoreProfile("Gone", 10);
    W().Profiles()->DeleteProfile(W().Profiles()->FindProfile("Gone")); // leaves a free slot
    TProfileRecord trip;
    W().Profiles()->ReadProfile(W().Profiles()->FindProfile("Trip"), trip);
    W().ApplyProfile(trip);
    ASSERT_EQ(W().Render->ThumbWSE->value(), 177);
    WriteBytes(Ini(), QByteArray("[Common]\r\n") + GetParam().Line);
    W().LoadOptions();
    EXPECT_EQ(W().ProfileName(), "default");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 150);
}

INSTANTIATE_TEST_SUITE_P(Keys, TProfileKeyTest,
                         testing::Values(TProfileKey{"Missing", ""},
                                         TProfileKey{"Unknown", "Profile=Gone\r\n"},
                                         TProfileKey{"Empty", "Profile=\r\n"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TOptionsTest, ProfileNameIsFoundIgnoringCase) {
    StoreProfile("Trip", 177);
    WriteBytes(Ini(), "[Common]\nProfile=TRIP\n");
    W().LoadOptions();
    EXPECT_EQ(W().ProfileName(), "Trip");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 177);
}

TEST_F(TOptionsTest, MissingFtpSectionEmptiesTheFieldsAndSetsPort21AndPassiveMode) {
    W().FtpF1->PortE->setText("990");
    W().FtpF1->RemoteDirE->setText("/www");
    W().FtpF1->PassiveCB->setChecked(false);
    W().FtpF1->ChangedOnlyCB->setChecked(false);
    WriteBytes(Ini(), "[Common]\nLoadOnStartup=1\n");
    W().LoadOptions();
    EXPECT_EQ(W().FtpF1->HostE->text(), "");
    EXPECT_EQ(W().FtpF1->UserIDE->text(), "");
    EXPECT_EQ(W().FtpF1->RemoteDirE->text(), "");
    EXPECT_EQ(W().FtpF1->PortE->text(), "21");
    EXPECT_TRUE(W().FtpF1->PassiveCB->isChecked());
    EXPECT_TRUE(W().FtpF1->ChangedOnlyCB->isChecked());
}

// A file written before encryption existed keeps plain FTP, as it was written for; a fresh start offers TLS.
TEST_F(TOptionsTest, EncryptionIsTlsWhenOfferedAtAFreshStartAndNoneFromAFileWithoutIt) {
    EXPECT_EQ(W().FtpF1->EncryptionCB->currentText(), "TLS if the server offers it");
    WriteBytes(Ini(), "[Ftp]\nHost=files.example.net\n");
    W().LoadOptions();
    EXPECT_EQ(W().FtpF1->EncryptionCB->currentText(), "none");
    WriteBytes(Ini(), "[Ftp]\nEncryption=auto\n");
    W().LoadOptions();
    EXPECT_EQ(W().FtpF1->EncryptionCB->currentText(), "TLS if the server offers it");
}

TEST_F(TOptionsTest, PortOutsideOneTo65535LoadsAs21WithAStatusText) {
    for (const char* port : {"70000", "0", "ftp"}) {
        WriteBytes(Ini(), QByteArray("[Ftp]\nPort=") + port + "\n");
        W().LoadOptions();
        EXPECT_EQ(W().FtpF1->PortE->text(), "21") << port;
        EXPECT_EQ(W().StatusP0->text(),
                  QString("Port \"%1\" is not a port number from 1 to 65535: port 21 is used").arg(port));
    }
    WriteBytes(Ini(), "[Ftp]\nPort=65535\n");
    W().LoadOptions();
    EXPECT_EQ(W().FtpF1->PortE->text(), "65535");
}

TEST_F(TOptionsTest, GridSizesAreClampedAndBadNumbersKeepTheControl) {
    W().Options->GGridHSE->setValue(70);
    WriteBytes(Ini(), "[TableGrid]\nWidth=500\nHeight=abc\n");
    W().LoadOptions();
    EXPECT_EQ(W().Options->GGridWSE->value(), 200);
    EXPECT_EQ(W().Grid()->DefaultColWidth(), 200);
    EXPECT_EQ(W().Options->GGridHSE->value(), 70);
}

// An earlier version's files beside the program are read; the first save writes the configuration folder's
// own and says so once.
TEST_F(TOptionsTest, EarlierVersionsOptionsBesideTheProgramAreReadAndMovedByTheFirstSave) {
    TTempDir program;
    FProgramDir = program.Path();
    WriteBytes(program.File("vlx.ini"), "[Common]\nLoadOnStartup=1\n[Ftp]\nHost=old.example.com\n");
    Start();
    EXPECT_EQ(W().FtpF1->FtpHost(), "old.example.com");
    EXPECT_FALSE(QFile::exists(Ini()));

    W().Commands->SaveOptionsA->trigger();
    ProcessEvents();
    EXPECT_TRUE(ReadBytes(Ini()).contains("Host=old.example.com"));
    EXPECT_EQ(W().StatusP0->text(), "Settings are now kept in " + FConfig.Path() +
                                        " (earlier versions kept them beside the program, in " +
                                        program.Path() + ")");
    W().Commands->SaveOptionsA->trigger();
    ProcessEvents();
    EXPECT_TRUE(W().StatusP0->text().startsWith("Options (profile")) << W().StatusP0->text().toStdString();
    FProgramDir.clear();
}

TEST_F(TOptionsTest, RefusedWriteIsReportedNamingTheFile) {
    ASSERT_TRUE(QDir().mkdir(Ini())); // a folder where the file should be
    W().Commands->SaveOptionsA->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_EQ(D().Errors[0], "Unable to write to " + Ini() + ": it is a folder");
    D().Errors.clear();
}
