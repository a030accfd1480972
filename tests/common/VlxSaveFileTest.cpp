// Files written under a temporary name and renamed over their target: what is left after a commit, a
// failure and an abandoned write.
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "common/VlxSaveFile.h"
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
