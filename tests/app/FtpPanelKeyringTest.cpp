// "Remember password" on the upload panel: against real FTP and SSH servers on 127.0.0.1 (pyftpdlib, the
// scripted server, OpenSSH) and a real keyring on the test's own session bus, and without any keyring.
#include <memory>
#include <optional>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>

#include "FtpPanelFixture.h"
#include "support/ScriptedFtpServer.h"
#include "support/SshTestServer.h"

namespace {

using FtpPanelKeyringTest = TFtpPanelTest;

// Run with tests/support/with-keyring: a typed password is kept only once the server took it, then used
// with the field empty; a kept password the server refuses is removed and the user told; unticking the box
// removes the kept password.
TEST_F(FtpPanelKeyringTest, WithKeyringKeepsOnlyAcceptedPasswords) {
    TTempDir root;
    TPyFtpServer server(root.Path(), "anna", "s3cret pass");
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    ASSERT_TRUE(FPanel->RememberPasswordCB->isEnabled())
        << FPanel->RememberPasswordCB->toolTip().toStdString();
    TPasswordKeyring keyring;
    const QString key = "ftp://anna@localhost:" + QString::number(server.Port());
    WriteBytes(FLocal.File("a.jpg"), "first");
    FWindow->Files = {FLocal.File("a.jpg")};
    FPanel->SetFtpRemoteDir("www");
    FPanel->SetFtpChangedOnly(false);
    FPanel->RememberPasswordCB->click();

    UseServer(server.Port(), "anna", "wrong");
    UploadAndWait();
    EXPECT_FALSE(keyring.Read(key)) << "a refused password is not kept";
    FPanel->PassE->setText("s3cret pass");
    UploadAndWait();
    EXPECT_EQ(keyring.Read(key), "s3cret pass");

    FPanel->PassE->clear();
    WriteBytes(FLocal.File("a.jpg"), "second");
    const qsizetype errors = FWindow->Shown.Errors.size();
    UploadAndWait();
    EXPECT_EQ(FWindow->Shown.Errors.size(), errors);
    EXPECT_EQ(ReadBytes(root.File("www/a.jpg")), "second");

    ASSERT_TRUE(keyring.Write(key, "changed on the server"));
    UploadAndWait();
    ASSERT_FALSE(FWindow->Shown.Messages.isEmpty());
    EXPECT_TRUE(
        FWindow->Shown.Messages.last().contains("refused the password kept in the system keyring for " + key))
        << FWindow->Shown.Messages.last().toStdString();
    EXPECT_FALSE(keyring.Read(key));

    ASSERT_TRUE(keyring.Write(key, "s3cret pass"));
    FPanel->RememberPasswordCB->click();
    EXPECT_FALSE(keyring.Read(key));
    ExpectIdle();
}

// Run with tests/support/with-keyring: only a log-in refused with the kept password removes it. An SSH server
// refusing the password does; an FTP server refusing the account before the password was sent does not.
struct TRefusalCase {
    const char* Name;
    bool Sftp;
    bool Forgotten;
};

class FtpPanelKeyringRefusalTest : public TFtpPanelTest, public testing::WithParamInterface<TRefusalCase> {};

TEST_P(FtpPanelKeyringRefusalTest, WithKeyringForgetsOnlyARefusedPassword) {
    const TRefusalCase& c = GetParam();
    ASSERT_TRUE(FPanel->RememberPasswordCB->isEnabled())
        << FPanel->RememberPasswordCB->toolTip().toStdString();
    TTempDir keys, root;
    const QByteArray agent = qgetenv("SSH_AUTH_SOCK");
    qunsetenv("SSH_AUTH_SOCK");
    std::unique_ptr<TSshServer> sftp;
    TScriptedFtpServer ftp;
    QString key;
    if (c.Sftp) {
        sftp = std::make_unique<TSshServer>(keys.Path(), "127.0.0.1", true);
        ASSERT_GT(sftp->Port(), 0) << sftp->Error().toStdString();
        FPanel->ProtocolCB->setCurrentIndex(1);
        emit FPanel->ProtocolCB->activated(1);
        UseServer(sftp->Port(), TSshServer::User(), "");
        FPanel->SetFtpHost("127.0.0.1");
        FPanel->SetKnownHostsFile(keys.File("known_hosts"));
        FWindow->Shown.Answer = TModalResult::Yes; // the host key
        key = "sftp://" + TSshServer::User() + "@127.0.0.1:" + QString::number(sftp->Port());
    } else {
        ftp.SetReply("USER", "530 Not allowed here.\r\n");
        ftp.Start();
        UseServer(ftp.Port(), "anna", "");
        key = "ftp://anna@localhost:" + QString::number(ftp.Port());
    }
    WriteBytes(FLocal.File("a.jpg"), "a");
    FWindow->Files = {FLocal.File("a.jpg")};
    FPanel->SetFtpRemoteDir(root.Path() + "www");
    FPanel->RememberPasswordCB->click();
    TPasswordKeyring keyring;
    ASSERT_TRUE(keyring.Write(key, "surely not the password")) << keyring.Error().toStdString();

    UploadAndWait();
    if (!agent.isNull())
        qputenv("SSH_AUTH_SOCK", agent);
    EXPECT_EQ(FWindow->Shown.Messages.filter("refused the password kept").size(), c.Forgotten ? 1 : 0)
        << FWindow->Shown.Messages.join('\n').toStdString();
    EXPECT_EQ(keyring.Read(key),
              c.Forgotten ? std::nullopt : std::optional<QString>("surely not the password"));
    EXPECT_FALSE(QFileInfo::exists(root.File("www")));
    keyring.Remove(key);
    EXPECT_FALSE(FPanel->Uploading());
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpPanelKeyringRefusalTest,
                         testing::Values(TRefusalCase{"SftpPassword", true, true},
                                         TRefusalCase{"FtpAccount", false, false}),
                         [](const testing::TestParamInfo<TRefusalCase>& info) {
                             return std::string(info.param.Name);
                         });

// Run with no session bus: the box cannot be ticked and says why.
TEST_F(FtpPanelKeyringTest, WithoutKeyringTheBoxIsDisabledAndSaysWhy) {
    EXPECT_FALSE(FPanel->RememberPasswordCB->isEnabled());
    EXPECT_TRUE(FPanel->RememberPasswordCB->toolTip().startsWith(kNoKeyringText))
        << FPanel->RememberPasswordCB->toolTip().toStdString();
}

} // namespace
