// The upload panel over FTP with TLS against a real server (pyftpdlib's TLS handler on 127.0.0.1) whose
// certificate is made for another name: refused until the user trusts its fingerprint, then uploads in both
// data connection modes.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>

#include "FtpPanelFixture.h"

namespace {

class FtpPanelTlsTest : public TFtpPanelTest, public testing::WithParamInterface<bool> {
protected:
    static void SetUpTestSuite() {
        Dir = std::make_unique<TTempDir>();
        QDir(Dir->Path()).mkpath("root");
        Fingerprint = MakeTestCertificate(Dir->Path(), "other.example", Error);
        Server = std::make_unique<TPyFtpServer>(Dir->File("root"), "anna", "s3cret pass", 0,
                                                QStringList{"--tls", Dir->File("other.example.pem"),
                                                            Dir->File("other.example.key"), "--log",
                                                            Dir->File("commands.log")});
    }
    static void TearDownTestSuite() {
        Server.reset();
        Dir.reset();
    }
    void SetUp() override {
        TFtpPanelTest::SetUp();
        ASSERT_FALSE(Fingerprint.isEmpty()) << Error.toStdString();
        ASSERT_GT(Server->Port(), 0) << Server->Error().toStdString();
        UseServer(Server->Port(), "anna", "s3cret pass");
        FPanel->SetFtpEncryption("require");
        FPanel->SetFtpPassive(GetParam());
        FPanel->SetTrustFile(FLocal.File("ftp-trust.json"));
        QFile::remove(Dir->File("commands.log"));
    }

    static inline std::unique_ptr<TTempDir> Dir;
    static inline std::unique_ptr<TPyFtpServer> Server;
    static inline QString Fingerprint, Error;
};

TEST_P(FtpPanelTlsTest, AnotherNamesCertificateIsAskedAboutThenTrustedByItsFingerprint) {
    const QString remote = GetParam() ? "passive" : "active";
    QByteArray picture(200000, Qt::Uninitialized);
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<char>((i * 7919) >> 3);
    WriteBytes(FLocal.File("a.jpg"), picture);
    WriteBytes(FLocal.File("index.html"), "<html>\r\n</html>\r\n");
    FWindow->Files = {FLocal.File("a.jpg"), FLocal.File("index.html")};
    FPanel->SetFtpRemoteDir(remote);

    UploadAndWait(); // answered No
    ASSERT_EQ(FWindow->Shown.Messages.size(), 2);
    EXPECT_EQ(FWindow->Shown.Messages[1], "Connection Failed");
    EXPECT_EQ(FWindow->Shown.MessageButtons[0], TMsgButtons::YesNoDefaultNo);
    const QString question = FWindow->Shown.Messages[0];
    EXPECT_TRUE(question.startsWith("The certificate of localhost could not be verified: "))
        << question.toStdString();
    EXPECT_TRUE(question.contains("\rIssued by: CN=other.example\r")) << question.toStdString();
    EXPECT_TRUE(question.contains("\rSHA-256 fingerprint: " + Fingerprint + "\r")) << question.toStdString();
    EXPECT_EQ(
        FWindow->Shown.Errors,
        QStringList({"The certificate of localhost could not be verified (self-signed certificate) and is "
                     "not trusted: the connection was stopped"}));
    EXPECT_FALSE(QFile::exists(FLocal.File("ftp-trust.json")));
    EXPECT_EQ(ReadLines(Dir->File("commands.log")), QStringList({"AUTH TLS", "QUIT"})); // no USER, no PASS
    ExpectIdle();

    FWindow->Shown.Answer = TModalResult::Yes;
    UploadAndWait();
    EXPECT_EQ(FWindow->Shown.Errors.size(), 1);
    EXPECT_EQ(FWindow->Shown.Messages.size(), 3);
    EXPECT_EQ(ReadBytes(Dir->File("root/" + remote + "/a.jpg")), picture);
    EXPECT_TRUE(QFile::exists(Dir->File("root/" + remote + "/index.html")));
    EXPECT_TRUE(FWindow->Statuses.contains("Connected, encrypted with TLS 1.3"));
    EXPECT_TRUE(ReadBytes(FLocal.File("ftp-trust.json"))
                    .contains("\"localhost\": [\n            \"" + Fingerprint.toLatin1() + "\""));

    // Trusted from now on: no question, whatever the answer would be, and no warning from the further
    // connections that the pictures go over. (In active mode this server now and then leaves a TLS data
    // connection of several at once unanswered: passive only.)
    FWindow->Shown.Answer = TModalResult::No;
    WriteBytes(FLocal.File("index.html"), "<html>\r\n<p>2</p>\r\n</html>\r\n");
    const QStringList more = GetParam() ? QStringList({"b.jpg", "c.jpg", "d.jpg"}) : QStringList();
    for (const QString& name : more) {
        WriteBytes(FLocal.File(name), picture);
        FWindow->Files << FLocal.File(name);
    }
    FPanel->ConnectionsSE->setValue(3);
    UploadAndWait();
    EXPECT_EQ(FWindow->Shown.Messages.size(), 3) << FWindow->Shown.Messages.join('\n').toStdString();
    for (const QString& name : more)
        EXPECT_EQ(ReadBytes(Dir->File("root/" + remote + "/" + name)), picture);
    EXPECT_EQ(FWindow->Shown.Errors.size(), 1) << FWindow->Shown.Errors.join('\n').toStdString();
    EXPECT_TRUE(ReadBytes(Dir->File("root/" + remote + "/index.html")).contains("<p>2</p>"));
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpPanelTlsTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Passive" : "Active";
                         });

} // namespace
