// Server certificates checked against a trust store and the host name: the store is the test's own
// certificate, named through SSL_CERT_FILE before this program first uses TLS (a program of its own, so
// that no other test made the TLS context first).
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include <QDir>

#include "ftp/XoFtp.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

struct THostCase {
    const char* Name;
    const char* Certified; // the address the server's certificate is made for
    const char* Host;
    const char* Problem; // what the check finds; empty: verified, nobody is asked
};

class FtpTlsVerifyTest : public testing::TestWithParam<THostCase> {
protected:
    static void SetUpTestSuite() {
        EnsureCoreApplication();
        Dir = std::make_unique<TTempDir>();
        QDir(Dir->Path()).mkpath("root");
        // Both certificates are trusted; the servers listen on 127.0.0.1 whatever their certificate says.
        for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
            Fingerprints[address] = MakeTestCertificate(Dir->Path(), address, Error);
            Servers[address] =
                std::make_unique<TPyFtpServer>(Dir->File("root"), "anna", "s3cret pass", 0,
                                               QStringList{"--tls", Dir->File(QString(address) + ".pem"),
                                                           Dir->File(QString(address) + ".key")});
        }
        WriteBytes(Dir->File("store.pem"),
                   ReadBytes(Dir->File("127.0.0.1.pem")) + ReadBytes(Dir->File("127.0.0.2.pem")));
        qputenv("SSL_CERT_FILE", Dir->File("store.pem").toLocal8Bit());
    }
    static void TearDownTestSuite() {
        Servers.clear();
        Dir.reset();
    }

    static inline std::unique_ptr<TTempDir> Dir;
    static inline std::map<QString, std::unique_ptr<TPyFtpServer>> Servers;
    static inline std::map<QString, QString> Fingerprints;
    static inline QString Error;
};

TEST_P(FtpTlsVerifyTest, TheCertificateMustNameTheHostConnectedTo) {
    const QString certified = GetParam().Certified;
    ASSERT_FALSE(Fingerprints[certified].isEmpty()) << Error.toStdString();
    const TPyFtpServer& server = *Servers[certified];
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    TXoFTP client;
    client.SetHost(GetParam().Host);
    client.SetPort(server.Port());
    client.SetUserID("anna");
    client.SetPassword("s3cret pass");
    client.SetTimeOut(10000);
    client.SetEncryption(TFtpEncryption::Require);
    QStringList asked;
    client.OnCertificateCheck = [&](const TTlsPeer& peer, bool& trusted) {
        asked << peer.Problem;
        EXPECT_EQ(peer.Sha256, Fingerprints[certified]);
        trusted = false;
    };

    const QString expected = GetParam().Problem;
    try {
        client.Connect();
        EXPECT_TRUE(expected.isEmpty());
        client.Disconnect();
    } catch (const ESockError& e) {
        EXPECT_FALSE(expected.isEmpty()) << e.Message().toStdString();
    }
    EXPECT_EQ(asked, expected.isEmpty() ? QStringList() : QStringList{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, FtpTlsVerifyTest,
    testing::Values(THostCase{"Address", "127.0.0.1", "127.0.0.1", ""},
                    THostCase{"OtherAddress", "127.0.0.2", "127.0.0.1", "IP address mismatch"},
                    THostCase{"OtherName", "127.0.0.1", "localhost", "hostname mismatch"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
