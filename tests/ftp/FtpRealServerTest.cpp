// FTP client against a real server (pyftpdlib on 127.0.0.1), in passive and in active mode.
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ftp/XoFtp.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

class RealServerTest : public testing::TestWithParam<bool> {
protected:
    // One server for the whole suite: starting it costs more than all the tests together.
    static void SetUpTestSuite() {
        EnsureCoreApplication();
        Root = std::make_unique<TTempDir>();
        QDir(Root->Path()).mkpath("photos");
        QDir(Root->Path()).mkpath("sub dir");
        WriteBytes(Root->File("my picture.jpg"), QByteArray(1234, 'x'));
        QFile::link("my picture.jpg", Root->File("link.jpg"));
        Server = std::make_unique<TPyFtpServer>(Root->Path(), "anna", "s3cret pass");
    }

    static void TearDownTestSuite() {
        Server.reset();
        Root.reset();
    }

    void SetUp() override {
        ASSERT_GT(Server->Port(), 0) << Server->Error().toStdString();
        Client.SetHost("127.0.0.1");
        Client.SetPort(Server->Port());
        Client.SetUserID("anna");
        Client.SetPassword("s3cret pass");
        Client.SetTimeOut(10000); // bounds a test that goes wrong; no assertion depends on it
        Client.SetPassive(GetParam());
        Client.SetParseList(true);
    }

    // A folder of its own per mode, so the two runs do not meet.
    static QString ModeDir() { return GetParam() ? "passive" : "active"; }

    static inline std::unique_ptr<TTempDir> Root;
    static inline std::unique_ptr<TPyFtpServer> Server;
    TXoFTP Client;
    TTempDir Local;
};

QByteArray RandomBytes(qsizetype size) {
    std::mt19937 generator(20240229);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

TEST_P(RealServerTest, LogInMakeEnterStoreAndList) {
    const QByteArray big = RandomBytes(6 * 1024 * 1024 + 17);
    WriteBytes(Local.File("big.bin"), big);
    WriteBytes(Local.File("index.html"), "<html>\r\n<body>\r\n</body>\r\n</html>\r\n");
    qint64 lastSent = 0;
    Client.OnPacketSent = [&](QObject*) { lastSent = Client.DataSentCount(); };

    Client.Connect();
    EXPECT_EQ(Client.CurrentDir(), "/");
    Client.MakeDir(ModeDir());
    Client.ChangeDir(ModeDir());
    EXPECT_EQ(Client.CurrentDir(), "/" + ModeDir());
    Client.Mode(2);
    Client.Upload(Local.File("big.bin"), "big.bin");
    EXPECT_EQ(lastSent, big.size());
    EXPECT_EQ(Client.TransferSize(), big.size());
    Client.Mode(1);
    Client.Upload(Local.File("index.html"), "index.html");
    Client.ChangeDir("/");
    QStringList lines;
    Client.OnListItem = [&](const QString& line) { lines << line; };
    Client.List();
    // The parsed entries belong to the connection: read them before it closes.
    ASSERT_NE(Client.Parser(), nullptr);
    const TFTPDirectoryList parsed = *Client.Parser();
    Client.Disconnect();
    EXPECT_FALSE(Client.IsConnected());

    const QByteArray stored = ReadBytes(Root->File(ModeDir() + "/big.bin"));
    EXPECT_TRUE(stored == big) << FirstDifference(big, stored).toStdString();
    // In ASCII mode this server writes the local line end.
    EXPECT_EQ(ReadBytes(Root->File(ModeDir() + "/index.html")), "<html>\n<body>\n</body>\n</html>\n");

    QStringList directories;
    for (int i = 0; i < parsed.NameList.size(); ++i)
        if (parsed.AttrList[i].startsWith('d'))
            directories << parsed.NameList[i];
    EXPECT_TRUE(directories.contains(ModeDir())) << lines.join('\n').toStdString();
    EXPECT_TRUE(directories.contains("photos"));
    EXPECT_TRUE(directories.contains("sub dir"));
    EXPECT_TRUE(parsed.NameList.contains("my picture.jpg"));
    EXPECT_EQ(lines.size(), parsed.NameList.size());
}

TEST_P(RealServerTest, RefusedCommandsCarryTheServersLine) {
    Client.Connect();
    try {
        Client.ChangeDir("no-such-folder");
        FAIL() << "entered a folder that is not there";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.Message().startsWith("550 ")) << e.Message().toStdString();
    }
    EXPECT_EQ(Client.CurrentDir(), "/");
    Client.Disconnect();
}

TEST_P(RealServerTest, WrongPasswordIsRefused) {
    Client.SetPassword("wrong");
    int failed = 0;
    Client.OnConnectionFailed = [&](QObject*) { ++failed; };
    try {
        Client.Connect();
        FAIL() << "logged in with a wrong password";
    } catch (const FTPException& e) {
        EXPECT_TRUE(e.Message().startsWith("530 ")) << e.Message().toStdString();
    }
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(Client.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Modes, RealServerTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "PASV" : "PORT";
                         });

} // namespace
