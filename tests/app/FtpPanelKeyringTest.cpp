// "Remember password" on the upload panel: against a real FTP server (pyftpdlib on 127.0.0.1) and a real
// keyring on the test's own session bus, and without any keyring.
#include <QCheckBox>
#include <QLineEdit>

#include "FtpPanelFixture.h"

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

// Run with no session bus: the box cannot be ticked and says why.
TEST_F(FtpPanelKeyringTest, WithoutKeyringTheBoxIsDisabledAndSaysWhy) {
    EXPECT_FALSE(FPanel->RememberPasswordCB->isEnabled());
    EXPECT_TRUE(FPanel->RememberPasswordCB->toolTip().startsWith(kNoKeyringText))
        << FPanel->RememberPasswordCB->toolTip().toStdString();
}

} // namespace
