// Passwords kept in a real keyring (gnome-keyring on a session bus of the test's own), and what happens
// where there is no keyring at all.
#include <gtest/gtest.h>

#include <QTextStream>

#include "cli/VlxCommandLine.h"
#include "upload/PasswordKeyring.h"
#include "settings/VlxConfigDir.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

TFtpSettings Target(TUploadProtocol protocol, const QString& user, const QString& host, int port) {
    TFtpSettings settings;
    settings.Protocol = protocol;
    settings.UserID = user;
    settings.Host = host;
    settings.Port = port;
    return settings;
}

class TKeyringTest : public testing::Test {
protected:
    void SetUp() override { EnsureApplication<QCoreApplication>(); }
};

// Run on the test's own session bus (tests/support/with-keyring).
TEST_F(TKeyringTest, KeepsReadsAndRemovesEachTargetApart) {
    TPasswordKeyring keyring;
    ASSERT_TRUE(keyring.Available()) << keyring.Error().toStdString();
    const QString sftp = KeyringKeyOf(Target(TUploadProtocol::Sftp, "ann", "example.org", 22));
    const QString ftp = KeyringKeyOf(Target(TUploadProtocol::Ftp, "ann", "example.org", 21));
    const QString other = KeyringKeyOf(Target(TUploadProtocol::Sftp, "ann", "example.org", 2222));
    EXPECT_EQ(sftp, "sftp://ann@example.org:22");
    EXPECT_FALSE(keyring.Read(sftp));
    ASSERT_TRUE(keyring.Write(sftp, "s3cret ü")) << keyring.Error().toStdString();
    ASSERT_TRUE(keyring.Write(ftp, "other"));
    EXPECT_EQ(keyring.Read(sftp), "s3cret ü");
    EXPECT_EQ(keyring.Read(ftp), "other");
    EXPECT_FALSE(keyring.Read(other));
    ASSERT_TRUE(keyring.Write(sftp, "changed"));
    EXPECT_EQ(keyring.Read(sftp), "changed");
    EXPECT_TRUE(keyring.Remove(sftp));
    EXPECT_FALSE(keyring.Read(sftp));
    EXPECT_EQ(keyring.Read(ftp), "other");
    EXPECT_TRUE(keyring.Remove(sftp)) << "removing what is not kept is no failure";
}

// Run on the test's own session bus: `veltrix upload` with "Remember password" saved logs in with the kept
// password, neither given in the environment nor on standard input, and never shows it.
TEST_F(TKeyringTest, KeepsThePasswordForTheUploadCommand) {
    TTempDir root, config, temp, site;
    TPyFtpServer server(root.Path(), "anna", "s3cret pass");
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    WriteBytes(site.File("index.html"), "<html></html>");
    WriteBytes(config.File(kOptionsFileName),
               QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=kept\nRememberPassword=1\n")
                   .arg(server.Port())
                   .toUtf8());
    TPasswordKeyring keyring;
    ASSERT_TRUE(keyring.Write("ftp://anna@127.0.0.1:" + QString::number(server.Port()), "s3cret pass"))
        << keyring.Error().toStdString();
    qunsetenv(kFtpPasswordVariable);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunCommandLine({"upload", "--out", site.Path()}, TVeltrixPlaces{config.Path(), temp.Path(), {}},
                             {outStream, errStream, false, nullptr, false}),
              kCliOk)
        << err.toStdString();
    EXPECT_EQ(ReadBytes(root.File("kept/index.html")), "<html></html>");
    EXPECT_FALSE((out + err).contains("s3cret")) << err.toStdString();

    // A kept password the server refuses is removed, so that the next upload asks for it.
    const QString key = "ftp://anna@127.0.0.1:" + QString::number(server.Port());
    ASSERT_TRUE(keyring.Write(key, "old pass"));
    err.clear();
    EXPECT_EQ(RunCommandLine({"upload", "--out", site.Path()}, TVeltrixPlaces{config.Path(), temp.Path(), {}},
                             {outStream, errStream, false, nullptr, false}),
              kCliFailed);
    EXPECT_TRUE(err.contains("it was removed from the keyring")) << err.toStdString();
    EXPECT_EQ(keyring.Read(key), std::nullopt) << keyring.Error().toStdString();
}

// Run with DBUS_SESSION_BUS_ADDRESS pointing nowhere.
TEST_F(TKeyringTest, WithoutKeyringNothingIsKeptAndTheReasonIsGiven) {
    TPasswordKeyring keyring;
    keyring.TimeOut = 2000;
    EXPECT_FALSE(keyring.Available());
    EXPECT_TRUE(keyring.Error().startsWith(kNoKeyringText)) << keyring.Error().toStdString();
    EXPECT_FALSE(keyring.Read("ftp://ann@example.org:21"));
    EXPECT_FALSE(keyring.Write("ftp://ann@example.org:21", "pw"));
}

} // namespace
