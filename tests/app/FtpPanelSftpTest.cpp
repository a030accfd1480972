// Upload panel over SFTP, against a real OpenSSH server on 127.0.0.1 with keys made at test time.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "FtpPanelFixture.h"
#include "support/SshTestServer.h"

namespace {

using FtpPanelSftpTest = TFtpPanelTest;

// The host key is asked about in a confirmation box naming its fingerprint; Yes lets the files through, with
// a progress bar for each and the panel idle at the end.
TEST_F(FtpPanelSftpTest, UploadsAfterTheHostKeyIsAccepted) {
    TTempDir keys, root;
    const QByteArray agent = qgetenv("SSH_AUTH_SOCK");
    qunsetenv("SSH_AUTH_SOCK");
    TSshServer server(keys.Path());
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    QString error;
    ASSERT_TRUE(MakeSshKey(keys.Path(), "user_key", "", error)) << error.toStdString();
    ASSERT_TRUE(server.Authorize("user_key"));
    FPanel->ProtocolCB->setCurrentIndex(1);
    emit FPanel->ProtocolCB->activated(1);
    UseServer(server.Port(), TSshServer::User(), "");
    FPanel->SetFtpHost("127.0.0.1");
    FPanel->KeyFileE->setText(keys.File("user_key"));
    FPanel->SetFtpRemoteDir(root.Path() + "www");
    FPanel->SetKnownHostsFile(keys.File("known_hosts"));
    WriteBytes(FLocal.File("a.jpg"), QByteArray(200000, 'a'));
    WriteBytes(FLocal.File("index.html"), "<html></html>");
    FWindow->Files = {FLocal.File("index.html"), FLocal.File("a.jpg")};
    FWindow->Shown.Answer = TModalResult::Yes;
    UploadAndWait();
    if (!agent.isNull())
        qputenv("SSH_AUTH_SOCK", agent);
    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    ASSERT_EQ(FWindow->Shown.Messages.size(), 1);
    EXPECT_TRUE(FWindow->Shown.Messages[0].contains("SHA256:")) << FWindow->Shown.Messages[0].toStdString();
    EXPECT_EQ(FWindow->Shown.MessageKinds[0], TMsgKind::Confirmation);
    EXPECT_EQ(ReadBytes(root.File("www/a.jpg")), QByteArray(200000, 'a'));
    EXPECT_EQ(ReadBytes(root.File("www/index.html")), "<html></html>");
    EXPECT_EQ(WithoutRunTime(FPanel->RunNotes()),
              "Upload done: 2 files stored, 0 skipped, 0 removed, in T s");
    ASSERT_FALSE(FWindow->BarMaxima.empty());
    EXPECT_EQ(FWindow->BarMaxima[0], 200000);
    EXPECT_EQ(FPanel->ProgressBar(), nullptr);
    EXPECT_FALSE(FPanel->Uploading());
    EXPECT_TRUE(FPanel->UploadBB->isEnabled());
}

} // namespace
