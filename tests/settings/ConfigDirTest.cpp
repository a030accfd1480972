// Where the settings files live: the user's configuration folder, with the files earlier versions kept beside
// the program read from there until the first save moves them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "settings/VlxConfigDir.h"
#include "settings/VlxIniFile.h"
#include "settings/VlxProfileU.h"
#include "support/TestSupport.h"

namespace {

// The program's folder is writable here (the build tree), which once made it the settings' place.
TEST(ConfigDir, IsTheUserConfigurationFolderWhereverTheProgramIs) {
    TTempDir home;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QString oldName = QCoreApplication::applicationName();
    qputenv("XDG_CONFIG_HOME", home.File("config").toUtf8());
    QCoreApplication::setApplicationName("veltrix-test");

    const QString dir = ConfigDir();

    QCoreApplication::setApplicationName(oldName);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_EQ(dir, home.File("config/veltrix-test/"));
    EXPECT_TRUE(QFileInfo(dir).isDir());
}

class TLegacyTest : public testing::Test {
protected:
    void SetUp() override {
        SetLegacyConfigDir(FConfig.Path(), FProgram.Path(), [this](const QString& note) { Notes << note; });
    }
    void TearDown() override { SetLegacyConfigDir(FConfig.Path(), {}); }

    TTempDir FConfig;
    TTempDir FProgram;
    QStringList Notes;
};

// The options file: read from beside the program, then written whole into the configuration folder.
TEST_F(TLegacyTest, OptionsAreReadFromBesideTheProgramUntilTheFirstSave) {
    const QByteArray old = "[Common]\nLoadOnStartup=1\n[Ftp]\nHost=old.example.com\n";
    WriteBytes(FProgram.File("vlx.ini"), old);
    TIniFile ini(FConfig.File("vlx.ini"));
    EXPECT_EQ(ini.ReadString("Ftp", "Host", ""), "old.example.com");
    ini.WriteString("Ftp", "UserID", "ann");
    ini.WriteString("Ftp", "Port", "2121");
    EXPECT_EQ(ReadBytes(FConfig.File("vlx.ini")), old + "UserID=ann\nPort=2121\n");
    EXPECT_EQ(ReadBytes(FProgram.File("vlx.ini")), old);
    ASSERT_EQ(Notes.size(), 1);
    EXPECT_TRUE(Notes[0].contains(FConfig.Path())) << Notes[0].toStdString();
    EXPECT_EQ(TIniFile(FConfig.File("vlx.ini")).ReadString("Ftp", "Host", ""), "old.example.com");
}

// The profiles file: every slot comes over at the first change, and the old file is left as it was.
TEST_F(TLegacyTest, ProfilesAreReadFromBesideTheProgramAndMovedAtTheFirstWrite) {
    TProfileRecord record;
    record.Name = "holiday";
    record.ThumbWidth = 120;
    {
        TProfileManager old(FProgram.File("profiles.vlx"));
        old.AddProfile(record);
    }
    const QByteArray before = ReadBytes(FProgram.File("profiles.vlx"));

    TProfileManager store(FConfig.File("profiles.vlx"));
    EXPECT_EQ(store.ProfileNames(), QStringList{"holiday"});
    EXPECT_FALSE(QFileInfo::exists(FConfig.File("profiles.vlx")));
    record.Name = "default";
    EXPECT_EQ(store.AddProfile(record), 1);
    EXPECT_EQ(store.ProfileNames(), QStringList({"holiday", "default"}));
    EXPECT_EQ(ReadBytes(FConfig.File("profiles.vlx")).size(), 2 * TProfileManager::kSlotSize);
    EXPECT_EQ(ReadBytes(FProgram.File("profiles.vlx")), before);
    EXPECT_EQ(Notes.size(), 1);
}

} // namespace
