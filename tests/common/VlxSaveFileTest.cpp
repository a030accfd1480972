// Files written under a temporary name and renamed over their target: what is left after a commit, a
// failure and an abandoned write.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "common/VlxSaveFile.h"
#include "support/HostileFiles.h"
#include "support/TestSupport.h"

namespace {

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(SaveFile, CommitReplacesTheTargetKeepingItsRights) {
    TTempDir dir;
    const QString target = dir.File("page.html");
    QString error;
    ASSERT_TRUE(WriteFileAtomically(target, "old", error));
    ASSERT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(WriteFileAtomically(target, "new text", error)) << error.toStdString();
    EXPECT_EQ(Read(target), "new text");
    EXPECT_EQ(Entries(dir.Path()), QStringList{"page.html"});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(SaveFile, AbandonedWriteLeavesTheTargetAsItWas) {
    TTempDir dir;
    const QString target = dir.File("thumb.jpg");
    QString error;
    ASSERT_TRUE(WriteFileAtomically(target, "whole", error));
    {
        TSaveFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("half"), 4);
        EXPECT_EQ(Entries(dir.Path()).size(), 2); // the target and the temporary file
    }
    EXPECT_EQ(Read(target), "whole");
    EXPECT_EQ(Entries(dir.Path()), QStringList{"thumb.jpg"});
}

TEST(SaveFile, FailuresSayWhyAndLeaveNothing) {
    TTempDir dir;
    QString error;
    EXPECT_FALSE(WriteFileAtomically(dir.File("missing/page.html"), "x", error));
    EXPECT_EQ(error, "No such file or directory");
    // A folder in the target's place: the write goes to a temporary file, the rename is refused.
    ASSERT_TRUE(QDir().mkpath(dir.File("taken")));
    EXPECT_FALSE(WriteFileAtomically(dir.File("taken"), "x", error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_TRUE(Entries(dir.Path()).isEmpty());
}

// A full disk says so and names the folder, whether it strikes in a small write, a large one or at the
// commit; the old file stays and no temporary file is left.
TEST(SaveFile, FullDiskSaysSoAndNamesTheFolder) {
    TTinyDisk disk;
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    QString error;
    ASSERT_TRUE(WriteFileAtomically(disk.File("index.html"), "old", error)) << error.toStdString();
    disk.Fill();
    const QString full = "no space left on the device of the folder " + QDir::cleanPath(disk.Path());
    EXPECT_FALSE(WriteFileAtomically(disk.File("index.html"), QByteArray(200000, 'x'), error));
    EXPECT_EQ(error, full);
    TSaveFile file(disk.File("index.html"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 100 && file.write(QByteArray(100, 'y')) == 100; ++i) {
    }
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.errorString(), full);
    EXPECT_EQ(Read(disk.File("index.html")), "old");
    EXPECT_EQ(Entries(disk.Path()), (QStringList{".filler", "index.html"}));
}

// The temporary name is the target's with a hidden prefix and a random tail: for a name at the file system's
// limit it must be shortened, or the write fails although the final name is legal.
class TLongNameTest : public testing::TestWithParam<QString> {};

TEST_P(TLongNameTest, NameAtTheLimitIsWritten) {
    TTempDir dir;
    const QString target = dir.File(GetParam());
    ASSERT_LE(QFile::encodeName(GetParam()).size(), 255);
    QString error;
    ASSERT_TRUE(WriteFileAtomically(target, "whole", error)) << error.toStdString();
    EXPECT_EQ(Read(target), "whole");
    EXPECT_EQ(Entries(dir.Path()), QStringList{GetParam()});
}

INSTANTIATE_TEST_SUITE_P(Names, TLongNameTest,
                         testing::Values(QString(251, 'a') + ".jpg",
                                         // 2-byte characters: the shortened copy must not split one.
                                         QString(123, QChar(0xE9)) + ".html", QString(240, 'b') + ".html"));

// A link planted where a file is written: written through elsewhere, replaced in a folder that never follows.
TEST(SaveFile, LinkIsReplacedOnlyWhereLinksAreNeverFollowed) {
    TTempDir outside;
    TTempDir shared;
    TTempDir own;
    const QString victim = outside.File("victim.txt");
    WriteBytes(victim, "precious");
    for (const QString& dir : {shared.Path(), own.Path()})
        ASSERT_TRUE(QFile::link(victim, dir + "index.html"));
    NeverFollowLinksIn(own.Path());
    QString error;
    ASSERT_TRUE(WriteFileAtomically(own.File("index.html"), "page", error)) << error.toStdString();
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_FALSE(QFileInfo(own.File("index.html")).isSymLink());
    EXPECT_EQ(Read(own.File("index.html")), "page");

    ASSERT_TRUE(WriteFileAtomically(shared.File("index.html"), "through", error)) << error.toStdString();
    EXPECT_EQ(Read(victim), "through");
}
