// The JSON files beside the options file (upload record, trusted certificates): what the reader refuses is
// never waited on, never read whole, and never replaced by a write; the recent galleries kept in one.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include "gallery/GalleryRecent.h"
#include "settings/VlxJsonFile.h"
#include "settings/VlxConfigDir.h"
#include "support/TestSupport.h"

namespace {

struct TBadFile {
    const char* Name;
    void (*Make)(const QString& path);
    TJsonFileState State;
};

class TJsonBadFileTest : public testing::TestWithParam<TBadFile> {};

const QJsonObject kHosts{{"ftp.example.com", QJsonArray{"AB:CD"}}};

} // namespace

TEST_P(TJsonBadFileTest, IsRefusedAndNeverReplaced) {
    TTempDir dir;
    const QString path = dir.File("ftp-trust.json");
    GetParam().Make(path);
    const QByteArray before =
        QFileInfo(path).isFile() && QFileInfo(path).size() < 1024 ? ReadBytes(path) : "";

    const TJsonFileRead read = ReadJsonFile(path, 1, "hosts");
    EXPECT_EQ(read.State, GetParam().State) << read.Problem.toStdString();
    EXPECT_TRUE(read.Member.isEmpty());

    QString message;
    try {
        WriteJsonMember(path, 1, "hosts", kHosts, "trusted certificates");
    } catch (const Exception& e) {
        message = e.Message();
    }
    EXPECT_TRUE(message.contains(path)) << message.toStdString();
    EXPECT_TRUE(message.contains(read.Problem)) << message.toStdString();
    if (GetParam().State == TJsonFileState::Damaged) {
        // Kept aside under a name of its own, and a new file started.
        EXPECT_EQ(ReadBytes(path + ".damaged"), before);
        EXPECT_TRUE(message.contains("ftp-trust.json.damaged")) << message.toStdString();
        EXPECT_EQ(ReadJsonMember(path, 1, "hosts"), kHosts);
    } else {
        EXPECT_FALSE(QFile::exists(path + ".damaged"));
        if (!before.isEmpty()) {
            EXPECT_EQ(ReadBytes(path), before);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TJsonBadFileTest,
    testing::Values(
        TBadFile{
            "Pipe",
            [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
            TJsonFileState::Refused},
        TBadFile{"LinkToZeros", [](const QString& path) { ASSERT_TRUE(QFile::link("/dev/zero", path)); },
                 TJsonFileState::Refused},
        // Sparse: large on paper, nothing on the disk.
        TBadFile{"TooLarge",
                 [](const QString& path) {
                     QFile file(path);
                     ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                     ASSERT_TRUE(file.resize(kMaxJsonFileBytes + 1));
                 },
                 TJsonFileState::Refused},
        TBadFile{"NotJson",
                 [](const QString& path) { WriteBytes(path, "{\"format\": 1, \"hosts\": {\"a\""); },
                 TJsonFileState::Damaged},
        TBadFile{"NoFormat", [](const QString& path) { WriteBytes(path, "[1, 2]"); },
                 TJsonFileState::Damaged},
        TBadFile{"WrongMember",
                 [](const QString& path) { WriteBytes(path, "{\"format\": 1, \"hosts\": 7}"); },
                 TJsonFileState::Damaged},
        TBadFile{
            "Newer",
            [](const QString& path) { WriteBytes(path, "{\"format\": 2, \"hosts\": {}, \"keys\": {}}"); },
            TJsonFileState::Newer}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(JsonFile, EarlierVersionsFileBesideTheProgramIsReadAndMovedByTheFirstWrite) {
    TTempDir config;
    TTempDir program;
    int notes = 0;
    SetLegacyConfigDir(config.Path(), program.Path(), [&notes](const QString&) { ++notes; });
    const QByteArray old = R"({"format": 1, "hosts": {"old.example.com": ["EF:01"]}})";
    WriteBytes(program.File("ftp-trust.json"), old);
    QJsonObject hosts = ReadJsonMember(config.File("ftp-trust.json"), 1, "hosts");
    EXPECT_TRUE(hosts.contains("old.example.com"));
    hosts.insert("new.example.com", QJsonArray{"AB"});
    WriteJsonMember(config.File("ftp-trust.json"), 1, "hosts", hosts, "trusted certificates");
    SetLegacyConfigDir(config.Path(), {});
    EXPECT_EQ(ReadJsonMember(config.File("ftp-trust.json"), 1, "hosts"), hosts);
    EXPECT_EQ(ReadBytes(program.File("ftp-trust.json")), old);
    EXPECT_EQ(notes, 1);
}

// The recent galleries: newest first, each once, at most eight; a folder kept as a clean path.
TEST(RecentPlaces, KeepTheNewestGalleriesOnceAndTheFolders) {
    TTempDir config;
    const TRecentPlaces recent(config.File("folders.ini"), config.File("recent-galleries.json"));
    for (int i = 0; i < 10; ++i)
        recent.RememberGallery(QString("/g/%1.veltrix").arg(i));
    recent.RememberGallery("/g/5.veltrix");
    EXPECT_EQ(recent.Galleries(), QStringList({"/g/5.veltrix", "/g/9.veltrix", "/g/8.veltrix", "/g/7.veltrix",
                                               "/g/6.veltrix", "/g/4.veltrix", "/g/3.veltrix", "/g/2.veltrix"}));
    recent.RememberFolder("Pictures", "/photos/trip/../2026/");
    EXPECT_EQ(recent.Folder("Pictures"), "/photos/2026");
    EXPECT_EQ(recent.Folder("Output"), "");
    EXPECT_EQ(TRecentPlaces().Galleries(), QStringList());
}
