// The upload run without a window, against a real FTP server (pyftpdlib on 127.0.0.1).
#include <csignal>
#include <memory>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTextStream>
#include <QTimer>

#include "cli/VlxCliUpload.h"
#include "upload/UploadRun.h"
#include "support/DroppingProxy.h"
#include "support/FtpTestSupport.h"
#include "support/ScriptedFtpServer.h"
#include "support/TestSupport.h"

namespace {

class TUploadRunTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureCoreApplication();
        FClient = std::make_unique<TXoFTP>();
        FClient->SetParseList(true);
        FServer = std::make_unique<TPyFtpServer>(FRoot.Path(), "anna", "s3cret", 0,
                                                 QStringList{"--log", FLocal.File("commands.log")});
        ASSERT_GT(FServer->Port(), 0) << FServer->Error().toStdString();
        FSettings = {"127.0.0.1", FServer->Port(), "anna", "site/deep", true, TFtpEncryption::None, true};
    }
    QString Local(const QString& name, const QByteArray& bytes) {
        WriteBytes(FLocal.File(name), bytes);
        return FLocal.File(name);
    }
    QStringList Remote(const QString& dir) const {
        return QDir(FRoot.File(dir)).entryList(QDir::Files, QDir::Name);
    }
    // The names the server was told to rename to, in order: each file reaches its final name this way.
    QStringList Renamed() const {
        QStringList names;
        for (const QString& line : ReadLines(FLocal.File("commands.log")))
            if (line.startsWith("RNTO "))
                names << line.mid(5);
        return names;
    }

    TTempDir FRoot;
    TTempDir FLocal;
    std::unique_ptr<TPyFtpServer> FServer;
    TFtpSettings FSettings;
    std::unique_ptr<TXoFTP> FClient;
};

// Pictures first, then the pages, index.html last, into a folder made level by level; each file arrives
// whole under its own name. Over one connection the renames the server logs are the upload order itself, file
// by file (over several, the files of a phase race each other: UploadParallelTest holds the order there).
TEST_F(TUploadRunTest, StoresAFolderInOrderWithIndexLast) {
    const QStringList files = {Local("index.html", "<html>index</html>"), Local("b.html", "<html>b</html>"),
                               Local("a.jpg", QByteArray(3000, 'a')),
                               Local("vl_a.jpg", QByteArray(500, 'v'))};
    FSettings.Connections = 1;
    TUploadRun run(*FClient, FSettings, "s3cret", files);
    run.RecordFile = FRoot.File("uploads.json");
    QStringList phases;
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (phases.isEmpty() || phases.last() != progress.Phase)
            phases << progress.Phase;
        EXPECT_EQ(progress.Total, 4);
    };
    const TUploadResult& result = run.Run();
    EXPECT_EQ(result.Failure, "");
    EXPECT_TRUE(result.Completed);
    EXPECT_EQ(result.Stored, 4);
    EXPECT_EQ(WithoutRunTime(result.Notes()), "Upload done: 4 files stored, 0 skipped, 0 removed, in T s");
    EXPECT_EQ(phases, QStringList({"connect", "upload"}));
    EXPECT_EQ(Renamed(), QStringList({"a.jpg", "vl_a.jpg", "b.html", "index.html"}));
    // What the folder held before the run, then the sizes the server keeps for the record.
    EXPECT_EQ(ReadLines(FLocal.File("commands.log")).filter(QRegularExpression("^LIST")).size(), 2);
    EXPECT_TRUE(TUploadRecord(run.RecordFile,
                              "ftp://anna@127.0.0.1:" + QString::number(FServer->Port()) + "/site/deep")
                    .Find("index.html"));
    EXPECT_EQ(Remote("site/deep"), QStringList({"a.jpg", "b.html", "index.html", "vl_a.jpg"}));
    EXPECT_EQ(ReadBytes(FRoot.File("site/deep/a.jpg")), QByteArray(3000, 'a'));
    EXPECT_FALSE(FClient->IsConnected());
}

// Files an earlier upload stored that the gallery no longer has are deleted once index.html is stored, and
// only with "Remove stale files" on (off by default); a file the program never stored there stays, and so
// does every file outside the remote folder that an edited record names (it is dropped from the record).
TEST_F(TUploadRunTest, RemovesFilesNoLongerInTheGalleryOnlyWhenAskedAndOnlyInItsFolder) {
    ASSERT_TRUE(QDir().mkpath(FRoot.File("site/other")));
    WriteBytes(FRoot.File("top.txt"), "top");
    WriteBytes(FRoot.File("site/other/index.html"), "other");
    EXPECT_FALSE(TFtpSettings().RemoveStale);
    for (const bool removeStale : {false, true}) {
        SCOPED_TRACE(removeStale ? "removing stale files" : "keeping stale files");
        const QString record = FLocal.File(removeStale ? "on.json" : "off.json");
        ASSERT_TRUE(QDir(FRoot.File("site/deep")).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(FRoot.File("site/deep")));
        FSettings.RemoveStale = removeStale;
        qsizetype logged = 0;
        for (const QStringList& names :
             {QStringList{"a.jpg", "gone.jpg", "vl_gone.jpg", "gone.html", "index.html"},
              QStringList{"a.jpg", "index.html"}}) {
            QStringList files;
            for (const QString& name : names)
                files << Local(name, name.toUtf8() + QByteArray::number(files.size()));
            WriteBytes(FRoot.File("site/deep/mine.txt"), "not the program's");
            logged = ReadLines(FLocal.File("commands.log")).size();
            TUploadRun run(*FClient, FSettings, "s3cret", files);
            run.RecordFile = record;
            EXPECT_EQ(run.Run().Failure, "");
            if (names.size() > 2)
                AddToUploadRecord(record, {"../other/index.html", "/top.txt", "..", ""});
        }
        const QStringList commands = ReadLines(FLocal.File("commands.log")).mid(logged);
        const QStringList deleted = commands.filter(QRegularExpression("^DELE "));
        if (removeStale) {
            EXPECT_EQ(Remote("site/deep"), QStringList({"a.jpg", "index.html", "mine.txt"}));
            EXPECT_EQ(deleted.size(), 3) << commands.join('\n').toStdString();
            for (const QString& command : {"DELE gone.jpg", "DELE vl_gone.jpg", "DELE gone.html"})
                EXPECT_GT(commands.indexOf(command), commands.indexOf("RNTO index.html"))
                    << command.toStdString();
        } else {
            EXPECT_EQ(Remote("site/deep"), QStringList({"a.jpg", "gone.html", "gone.jpg", "index.html",
                                                        "mine.txt", "vl_gone.jpg"}));
            EXPECT_EQ(deleted, QStringList()) << commands.join('\n').toStdString();
        }
        EXPECT_EQ(ReadBytes(FRoot.File("top.txt")), "top");
        EXPECT_EQ(ReadBytes(FRoot.File("site/other/index.html")), "other");
        EXPECT_FALSE(ReadBytes(record).contains("top.txt"));
    }
}

// Abort at the first bytes of the big file: what was stored before stays, the big file is nowhere under its
// own name and its temporary file is gone; the run says why it ended and what is left.
TEST_F(TUploadRunTest, CancelledRunLeavesNoFileUnderItsFinalName) {
    const QStringList files = {Local("a.bin", QByteArray(1000, 'a')),
                               Local("big.bin", QByteArray(8 * 1024 * 1024, 'b')), Local("c.bin", "c")};
    FSettings.Connections = 1; // the files one after another, the big one over this client
    TUploadRun run(*FClient, FSettings, "s3cret", files);
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File == "big.bin" && progress.Bytes > 0 && !run.AbortRequested())
            QTimer::singleShot(0, [&run] { run.Abort(); });
    };
    const TUploadResult& result = run.Run();
    EXPECT_FALSE(result.Completed);
    EXPECT_EQ(result.Failed, "big.bin");
    EXPECT_FALSE(result.Failure.isEmpty());
    EXPECT_EQ(run.Left(), 2);
    EXPECT_EQ(Remote("site/deep"), QStringList({"a.bin"}));
    EXPECT_FALSE(FClient->IsConnected());
}

// `veltrix upload` runs on an application object without widgets (this program links none), with the
// options file's settings and the password from the environment.
TEST_F(TUploadRunTest, CommandLineUploadNeedsNoWidgets) {
    TTempDir config;
    WriteBytes(config.File("vlx.ini"), QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=cli\n")
                                           .arg(FServer->Port())
                                           .toUtf8());
    Local("index.html", "<html></html>");
    Local("a.jpg", "jpeg");
    QFile::remove(FLocal.File("commands.log"));
    qputenv(kFtpPasswordVariable, "s3cret");
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(UploadFolder(FLocal.Path(), {config.Path(), {}, {}}, {outStream, errStream}), kCliOk)
        << err.toStdString();
    qunsetenv(kFtpPasswordVariable);
    EXPECT_EQ(out, QString("ftp://anna@127.0.0.1:%1/cli\n").arg(FServer->Port()));
    EXPECT_EQ(WithoutRunTime(err),
              "upload 2/2\nveltrix: Upload done: 2 files stored, 0 skipped, 0 removed, in T s\n");
    EXPECT_EQ(Remote("cli"), QStringList({"a.jpg", "index.html"}));
}

// A server that drags a reply out for ever (a line every 200 ms, each within the time-out): SIGTERM, sent
// while the command waits for it, stops `veltrix upload` as Abort does, saying so. Had it not, the wait
// would end only at the reply's time-out, with another message.
class TCommandLineStopTest : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(TCommandLineStopTest, SigtermEndsAReplyThatNeverEnds) {
    EnsureCoreApplication();
    TTempDir config, local;
    TScriptedFtpServer server;
    server.SetEndless(GetParam().first, GetParam().second, 200);
    server.Start();
    WriteBytes(config.File("vlx.ini"), QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=cli\n"
                                               "ChangedOnly=0\nRemoveStale=0\nConnections=1\n")
                                           .arg(server.Port())
                                           .toUtf8());
    WriteBytes(local.File("a.jpg"), "jpeg");
    WriteBytes(local.File("index.html"), "<html></html>");
    QTimer signal;
    QObject::connect(&signal, &QTimer::timeout, [&] {
        if (server.EndlessStarted()) {
            signal.stop();
            std::raise(SIGTERM);
        }
    });
    signal.start(10);
    qputenv(kFtpPasswordVariable, "s3cret");
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(UploadFolder(local.Path(), {config.Path(), {}, {}}, {outStream, errStream}), kCliFailed);
    qunsetenv(kFtpPasswordVariable);
    EXPECT_TRUE(server.EndlessStarted());
    EXPECT_TRUE(err.endsWith("veltrix: Upload stopped by SIGTERM (2 files not uploaded)\n"))
        << err.toStdString();
    EXPECT_TRUE(out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Replies, TCommandLineStopTest,
                         testing::Values(std::make_pair("", "220-still greeting\r\n"),
                                         std::make_pair("RNTO", "250-still renaming\r\n")),
                         [](const testing::TestParamInfo<std::pair<const char*, const char*>>& info) {
                             return std::string(*info.param.first ? info.param.first : "Greeting");
                         });

// A connection dropped three quarters into a large picture is made again after a pause: the picture is
// resumed where the server's copy ends (REST) and arrives whole, and the run goes on to the index.
TEST_F(TUploadRunTest, LostConnectionIsResumedByteForByte) {
    QByteArray big(16 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7919 >> 5);
    const QStringList files = {Local("index.html", "<html></html>"), Local("big.jpg", big)};
    TDroppingProxy proxy(FServer->Port());
    FSettings.Port = proxy.Port();
    TUploadRun run(*FClient, FSettings, "s3cret", files);
    run.ReconnectPauseMs = 50;
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File == "big.jpg" && progress.Bytes > big.size() * 3 / 4 && proxy.Drops() == 0)
            proxy.DropNow();
    };
    QStringList statuses;
    run.OnStatus = [&](const QString& text) { statuses << text; };
    const TUploadResult& result = run.Run();
    EXPECT_EQ(result.Failure, "");
    EXPECT_EQ(proxy.Drops(), 1);
    EXPECT_TRUE(
        statuses.contains("Connection lost while storing big.jpg: reconnecting in 0.05 s (attempt 1 of 3)"))
        << statuses.join('\n').toStdString();
    EXPECT_FALSE(statuses.filter(QRegularExpression("^Resuming: big.jpg from byte [1-9]")).isEmpty())
        << statuses.join('\n').toStdString();
    EXPECT_TRUE(ReadBytes(FRoot.File("site/deep/big.jpg")) == big);
    EXPECT_EQ(Remote("site/deep"), QStringList({"big.jpg", "index.html"}));
}

// Abort while the run waits to reconnect ends it at once as aborted, nothing under the file's own name.
TEST_F(TUploadRunTest, AbortEndsTheWaitToReconnect) {
    TDroppingProxy proxy(FServer->Port());
    FSettings.Port = proxy.Port();
    TUploadRun run(*FClient, FSettings, "s3cret", {Local("big.jpg", QByteArray(16 << 20, 'b'))});
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (progress.Bytes > 0 && proxy.Drops() == 0)
            proxy.DropNow();
    };
    run.OnStatus = [&](const QString& text) {
        if (text.startsWith("Connection lost"))
            QTimer::singleShot(0, [&] { run.Abort(); });
    };
    EXPECT_EQ(run.Run().Failure, "Upload aborted");
    EXPECT_FALSE(Remote("site/deep").contains("big.jpg"));
}

// A reconnect the server answers by refusing the password ends the run at once with that refusal: trying
// again would only be refused again.
TEST_F(TUploadRunTest, ReconnectWithThePasswordRefusedEndsTheRunAtOnce) {
    TPyFtpServer other(FRoot.Path(), "anna", "changed meanwhile");
    ASSERT_GT(other.Port(), 0) << other.Error().toStdString();
    TDroppingProxy proxy(FServer->Port());
    proxy.SetLaterTarget(other.Port());
    FSettings.Port = proxy.Port();
    TUploadRun run(*FClient, FSettings, "s3cret", {Local("big.jpg", QByteArray(16 << 20, 'b'))});
    run.ReconnectPauseMs = 50;
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (progress.Bytes > 0 && proxy.Drops() == 0)
            proxy.DropNow();
    };
    QStringList statuses;
    run.OnStatus = [&](const QString& text) { statuses << text; };
    const TUploadResult& result = run.Run();
    EXPECT_TRUE(result.Failure.startsWith("530 ")) << result.Failure.toStdString();
    EXPECT_EQ(result.FailureKind, TNetFailure::PasswordRefused);
    EXPECT_EQ(statuses.filter("reconnecting in").size(), 1) << statuses.join('\n').toStdString();
    EXPECT_FALSE(Remote("site/deep").contains("big.jpg"));
}

// Other ways to reach an FTP server: an IPv6 address written as in an address line, in passive mode (EPSV)
// and in active mode (EPRT), and TLS from the first byte (implicit, as on port 990).
struct TReachCase {
    const char* Name;
    const char* Address; // where the server listens
    const char* Host;    // as typed
    bool Passive;
    bool Implicit;
};

class TUploadReachTest : public testing::TestWithParam<TReachCase> {};

TEST_P(TUploadReachTest, StoresThroughIt) {
    const TReachCase& c = GetParam();
    EnsureCoreApplication();
    if (QString(c.Address).contains(':') && !QTcpServer().listen(QHostAddress::LocalHostIPv6))
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    TTempDir root, local;
    QStringList options = {"--address", c.Address, "--log", local.File("commands.log")};
    if (c.Implicit) {
        QString error;
        ASSERT_FALSE(MakeTestCertificate(local.Path(), c.Address, error).isEmpty()) << error.toStdString();
        options << "--tls" << local.File(QString(c.Address) + ".pem")
                << local.File(QString(c.Address) + ".key") << "--implicit";
    }
    TPyFtpServer server(root.Path(), "anna", "s3cret", 0, options);
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    WriteBytes(local.File("a.jpg"), QByteArray(70000, 'a'));
    WriteBytes(local.File("index.html"), "<html></html>");
    TXoFTP client;
    client.SetParseList(true);
    const TFtpSettings settings{c.Host,    server.Port(),
                                "anna",    "up",
                                c.Passive, c.Implicit ? TFtpEncryption::Implicit : TFtpEncryption::None};
    TUploadRun run(client, settings, "s3cret", {local.File("index.html"), local.File("a.jpg")});
    run.TrustFile = local.File("trust.json");
    run.OnTrustQuestion = [](const QString&) { return true; }; // the test's own self-signed certificate
    const TUploadResult& result = run.Run();
    EXPECT_EQ(result.Failure, "");
    EXPECT_EQ(ReadBytes(root.File("up/a.jpg")), QByteArray(70000, 'a'));
    EXPECT_EQ(ReadBytes(root.File("up/index.html")), "<html></html>");
    const QStringList commands = ReadLines(local.File("commands.log"));
    if (QString(c.Address).contains(':'))
        EXPECT_FALSE(
            commands.filter(QRegularExpression(c.Passive ? "^EPSV" : "^EPRT \\|2\\|::1\\|")).isEmpty())
            << commands.join('\n').toStdString();
    if (c.Implicit)
        EXPECT_TRUE(commands.contains("PROT P")) << commands.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Ways, TUploadReachTest,
                         testing::Values(TReachCase{"Ipv6Passive", "::1", "[::1]", true, false},
                                         TReachCase{"Ipv6Active", "::1", "[::1]", false, false},
                                         TReachCase{"ImplicitTls", "127.0.0.1", "127.0.0.1", true, true}),
                         [](const testing::TestParamInfo<TReachCase>& info) {
                             return std::string(info.param.Name);
                         });

} // namespace
