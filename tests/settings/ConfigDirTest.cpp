// Where the options and profiles files live: beside the program when it may write there, else per user.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "settings/VlxConfigDir.h"
#include "support/TestSupport.h"

namespace {

TEST(ConfigDir, WritableProgramDirectoryIsUsed) {
    TTempDir dir;
    EXPECT_EQ(ConfigDir(dir.Path().chopped(1)), dir.Path());
}

// A directory nobody can write into, whoever runs the test: one below a regular file.
TEST(ConfigDir, OtherwiseTheUserConfigurationDirectoryIsCreated) {
    TTempDir home;
    WriteBytes(home.File("file"), "x");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QString oldName = QCoreApplication::applicationName();
    qputenv("XDG_CONFIG_HOME", home.File("config").toUtf8());
    QCoreApplication::setApplicationName("veltrix-test");

    const QString dir = ConfigDir(home.File("file/bin"));

    QCoreApplication::setApplicationName(oldName);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_TRUE(dir.startsWith(home.File("config/"))) << dir.toStdString();
    EXPECT_TRUE(dir.endsWith("/veltrix-test/")) << dir.toStdString();
    EXPECT_TRUE(QFileInfo(dir).isDir());
}

} // namespace
