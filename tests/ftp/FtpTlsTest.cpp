// FTP over explicit TLS against a real server (pyftpdlib's TLS handler on 127.0.0.1, with a certificate made
// for the test), and what "TLS required" and "TLS when offered" do against a server without TLS.
#include <memory>

#include <gtest/gtest.h>

#include <QDir>

#include "ftp/XoFtp.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

// Where in the server's command log the first line starting with `command` is; -1 when missing.
int IndexOf(const QStringList& log, const QString& command) {
    for (int i = 0; i < log.size(); ++i)
        if (log[i] == command || log[i].startsWith(command + " "))
            return i;
    return -1;
}

QByteArray Pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 20261209;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct TServerSetup {
    std::unique_ptr<TTempDir> Dir;
    std::unique_ptr<TPyFtpServer> Server;
    QString Fingerprint; // the certificate's, from the openssl command; empty without TLS
    QString Error;

    TServerSetup(bool tls) {
        EnsureCoreApplication();
        Dir = std::make_unique<TTempDir>();
        QDir(Dir->Path()).mkpath("root");
        QStringList options = {"--log", Dir->File("commands.log")};
        if (tls) {
            Fingerprint = MakeTestCertificate(Dir->Path(), "127.0.0.1", Error);
            options << "--tls" << Dir->File("127.0.0.1.pem") << Dir->File("127.0.0.1.key");
        }
        Server = std::make_unique<TPyFtpServer>(Dir->File("root"), "anna", "s3cret pass", 0, options);
        if (Error.isEmpty())
            Error = Server->Error();
    }
    QString Root(const QString& name) const { return Dir->File("root/" + name); }
    QStringList Log() const { return ReadLines(Dir->File("commands.log")); }
    void ClearLog() const { QFile::remove(Dir->File("commands.log")); }
};

class FtpTlsTest : public testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() { Tls = std::make_unique<TServerSetup>(true); }
    static void TearDownTestSuite() { Tls.reset(); }

    void SetUp() override {
        ASSERT_GT(Tls->Server->Port(), 0) << Tls->Error.toStdString();
        ASSERT_FALSE(Tls->Fingerprint.isEmpty()) << Tls->Error.toStdString();
        Tls->ClearLog();
        Client.SetHost("127.0.0.1");
        Client.SetPort(Tls->Server->Port());
        Client.SetUserID("anna");
        Client.SetPassword("s3cret pass");
        Client.SetTimeOut(10000);
        Client.SetPassive(GetParam());
        // Not in the system's trust store: trusted by the fingerprint the openssl command printed.
        Client.OnCertificateCheck = [this](const TTlsPeer& peer, bool& trusted) {
            Checked.push_back(peer);
            trusted = peer.Sha256 == Tls->Fingerprint;
        };
    }

    static inline std::unique_ptr<TServerSetup> Tls;
    TXoFTP Client;
    TTempDir Local;
    std::vector<TTlsPeer> Checked;
};

TEST_P(FtpTlsTest, StoresAndListsEncryptedWithTlsNegotiatedBeforeThePassword) {
    const QString dir = GetParam() ? "passive" : "active";
    const QByteArray big = Pattern(3 * 1024 * 1024 + 5);
    WriteBytes(Local.File("big.bin"), big);
    QStringList listed;
    Client.OnListItem = [&](const QString& line) { listed << line; };
    Client.SetEncryption(TFtpEncryption::Require);
    Client.SetReportLevel(4);
    QStringList statuses;
    Client.OnStatus = [&](QObject*, const QString& text) { statuses << text; };

    Client.Connect();
    EXPECT_TRUE(Client.TlsActive());
    EXPECT_TRUE(Client.DataEncrypted());
    EXPECT_TRUE(Client.TlsVersion().startsWith("TLS 1.")) << Client.TlsVersion().toStdString();
    Client.MakeDir(dir);
    Client.ChangeDir(dir);
    Client.Mode(2);
    Client.Upload(Local.File("big.bin"), "big.bin");
    Client.Upload(Local.File("big.bin"), "again.bin"); // a second data connection, resuming the session
    Client.List();
    Client.Disconnect();

    EXPECT_EQ(ReadBytes(Tls->Root(dir + "/big.bin")).size(), big.size());
    EXPECT_EQ(ReadBytes(Tls->Root(dir + "/big.bin")), big);
    EXPECT_EQ(ReadBytes(Tls->Root(dir + "/again.bin")), big);
    ASSERT_EQ(listed.size(), 2);
    EXPECT_TRUE(listed[0].endsWith(" again.bin") || listed[1].endsWith(" again.bin"));
    // Every data connection resumed the control connection's session, as many servers demand.
    EXPECT_EQ(statuses.count("Data connection: TLS session resumed"), 3);
    ASSERT_EQ(Checked.size(), 1u); // asked once, for the control connection
    EXPECT_EQ(Checked[0].Issuer, "CN=127.0.0.1");
    EXPECT_EQ(Checked[0].Problem, "self-signed certificate");
    const QStringList log = Tls->Log();
    const int auth = IndexOf(log, "AUTH TLS");
    ASSERT_EQ(auth, 0) << log.join(" | ").toStdString();
    EXPECT_LT(auth, IndexOf(log, "USER"));
    EXPECT_LT(IndexOf(log, "PASS"), IndexOf(log, "PBSZ 0"));
    EXPECT_LT(IndexOf(log, "PBSZ 0"), IndexOf(log, "PROT P"));
    EXPECT_LT(IndexOf(log, "PROT P"), IndexOf(log, "STOR"));
}

// A store aborted midway ends its data connection's TLS properly, so the next data connection on the same
// control connection can still resume the session, as servers that demand it require.
TEST_P(FtpTlsTest, AStoreAfterAnAbortedOneResumesTheSession) {
    WriteBytes(Local.File("big.bin"), Pattern(8 * 1024 * 1024));
    WriteBytes(Local.File("small.bin"), Pattern(1000));
    Client.SetEncryption(TFtpEncryption::Require);
    Client.SetReportLevel(4);
    QStringList statuses;
    Client.OnStatus = [&](QObject*, const QString& text) { statuses << text; };
    Client.OnPacketSent = [&](QObject*) {
        if (Client.DataSentCount() > 256 * 1024)
            Client.Abort();
    };
    Client.Connect();
    Client.Mode(2);
    EXPECT_THROW(Client.Upload(Local.File("big.bin"), "big.bin"), EAbortError);
    Client.OnPacketSent = nullptr;
    statuses.clear();

    Client.Upload(Local.File("small.bin"), "small.bin");
    Client.Disconnect();

    EXPECT_EQ(ReadBytes(Tls->Root("small.bin")), Pattern(1000));
    EXPECT_TRUE(statuses.contains("Data connection: TLS session resumed"))
        << statuses.join(" | ").toStdString();
}

TEST_P(FtpTlsTest, AnUntrustedCertificateStopsBeforeTheUserName) {
    Client.SetEncryption(TFtpEncryption::Auto);
    Client.OnCertificateCheck = [](const TTlsPeer&, bool& trusted) { trusted = false; };

    try {
        Client.Connect();
        FAIL() << "connected with an untrusted certificate";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), "The certificate of 127.0.0.1 could not be verified (self-signed certificate) "
                               "and is not trusted: the connection was stopped");
    }
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(IndexOf(Tls->Log(), "USER"), -1);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpTlsTest, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "Passive" : "Active";
});

// A server without TLS: "required" stops before the user name and password; "when offered" goes on in clear.
TEST(FtpTlsPlainServerTest, RequiredStopsBeforeThePasswordWhenOfferedGoesOnInClear) {
    const TServerSetup plain(false);
    ASSERT_GT(plain.Server->Port(), 0) << plain.Error.toStdString();
    TXoFTP client;
    client.SetHost("127.0.0.1");
    client.SetPort(plain.Server->Port());
    client.SetUserID("anna");
    client.SetPassword("s3cret pass");
    client.SetTimeOut(10000);
    client.SetPassive(true);
    client.SetEncryption(TFtpEncryption::Require);
    try {
        client.Connect();
        FAIL() << "connected in clear although TLS was required";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.Message().startsWith("127.0.0.1 does not offer TLS (500 "))
            << e.Message().toStdString();
        EXPECT_TRUE(e.Message().endsWith("; TLS is required, so the password was not sent"));
    }
    EXPECT_EQ(plain.Log(), QStringList({"AUTH TLS"})); // not even the goodbye goes in clear

    plain.ClearLog();
    TTempDir local;
    WriteBytes(local.File("a.txt"), "clear");
    client.SetEncryption(TFtpEncryption::Auto);
    client.Connect();
    client.Upload(local.File("a.txt"), "a.txt");
    client.Disconnect();
    EXPECT_FALSE(client.TlsActive());
    EXPECT_EQ(ReadBytes(plain.Root("a.txt")), "clear");
    EXPECT_EQ(plain.Log().mid(0, 3), QStringList({"AUTH TLS", "USER anna", "PASS ****"}));
}

} // namespace
