// The upload run over several connections at once, against a real FTP server (pyftpdlib on 127.0.0.1).
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include "upload/UploadRun.h"
#include "support/DroppingProxy.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

QByteArray RandomBytes(qsizetype size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Where the whole server stops answering before Abort is pressed.
enum class TStall { None, LogIn, Store };

struct TServerLimit {
    const char* Name;
    int MaxPerIp = 0; // the server's limit of connections at once; 0: none
    int Logins = 3;   // connections that logged in
    QString Told = {}; // the start of the status saying how many connections the server allowed
    int Connections = 3;
    TStall Stall = TStall::None;
    bool Tls = false; // explicit TLS, required
};

class TUploadParallelTest : public testing::TestWithParam<TServerLimit> {
protected:
    void SetUp() override {
        EnsureCoreApplication();
        QStringList options{"--log", FLocal.File("commands.log")};
        if (GetParam().MaxPerIp > 0)
            options << "--max-per-ip" << QString::number(GetParam().MaxPerIp);
        if (GetParam().Tls) {
            QString error;
            ASSERT_FALSE(MakeTestCertificate(FLocal.Path(), "127.0.0.1", error).isEmpty()) << error.toStdString();
            options << "--tls" << FLocal.File("127.0.0.1.pem") << FLocal.File("127.0.0.1.key");
            FSettings.Encryption = TFtpEncryption::Require;
        }
        FServer = std::make_unique<TPyFtpServer>(FRoot.Path(), "anna", "s3cret", 0, options);
        ASSERT_GT(FServer->Port(), 0) << FServer->Error().toStdString();
        FSettings.Host = "127.0.0.1";
        FSettings.Port = FServer->Port();
        FSettings.UserID = "anna";
        FSettings.RemoteDir = "site";
        FSettings.Connections = GetParam().Connections;
    }
    // A gallery as generation writes it: pictures, thumbnails, a page each, index.html.
    QStringList Gallery(int pictures, qsizetype pictureSize) {
        QStringList files;
        for (int i = 0; i < pictures; ++i) {
            const QString name = QString("p%1.jpg").arg(i);
            files << Local(name, RandomBytes(pictureSize, i))
                  << Local("vl_" + name, RandomBytes(900, 100 + i))
                  << Local(QString("p%1.html").arg(i), QString("<html>%1</html>\n").arg(i).toUtf8());
        }
        return files << Local("index.html", "<html>index</html>\n");
    }
    QString Local(const QString& name, const QByteArray& bytes) {
        WriteBytes(FLocal.File(name), bytes);
        return FLocal.File(name);
    }
    QStringList Logged(const QString& command) const {
        QStringList found;
        for (const QString& line : ReadLines(FLocal.File("commands.log")))
            if (line.startsWith(command))
                found << line.mid(command.size());
        return found;
    }

    TTempDir FRoot;
    TTempDir FLocal;
    std::unique_ptr<TPyFtpServer> FServer;
    TFtpSettings FSettings;
    TXoFTP FClient;
};

// Thirty files arrive whole and byte for byte over as many connections as the server allows; each reaches
// its final name only after every picture did, and index.html last.
TEST_P(TUploadParallelTest, StoresEveryFileKeepingTheOrder) {
    const QStringList files = Gallery(10, 40000);
    TUploadRun run(FClient, FSettings, "s3cret", files);
    QStringList statuses;
    run.OnStatus = [&](const QString& text) { statuses << text; };
    const TUploadResult& result = run.Run();
    EXPECT_EQ(result.Failure, "");
    EXPECT_EQ(result.Stored, 31);
    for (const QString& path : files)
        EXPECT_EQ(
            FirstDifference(ReadBytes(path), ReadBytes(FRoot.File("site/" + QFileInfo(path).fileName()))), "")
            << path.toStdString();
    const QStringList renamed = Logged("RNTO ");
    ASSERT_EQ(renamed.size(), 31);
    const auto firstPage = std::find_if(renamed.begin(), renamed.end(),
                                        [](const QString& name) { return name.endsWith(".html"); });
    EXPECT_EQ(firstPage - renamed.begin(), 20) << renamed.join(' ').toStdString();
    EXPECT_EQ(renamed.last(), "index.html");
    EXPECT_EQ(Logged("USER ").size(), GetParam().Logins);
    const QString told = GetParam().Told.isEmpty() ? "Server allowed" : GetParam().Told;
    EXPECT_EQ(statuses.filter(QRegularExpression("^" + told)).size(), GetParam().Told.isEmpty() ? 0 : 1)
        << statuses.join('\n').toStdString();
    EXPECT_TRUE(QDir(FRoot.File("site")).entryList({"*.part"}, QDir::Files).isEmpty());
}

class TUploadAbortTest : public TUploadParallelTest {};

// Abort at the first bytes of a big picture: the stores of every connection end, no page is under its final
// name, a picture that is (another connection may have finished one just before) is whole, and no temporary
// file is left.
TEST_P(TUploadAbortTest, AbortEndsEveryConnection) {
    const QStringList files = Gallery(6, 6 * 1024 * 1024);
    TUploadRun run(FClient, FSettings, "s3cret", files);
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (progress.Bytes > 0 && !run.AbortRequested())
            QTimer::singleShot(0, [&run] { run.Abort(); });
    };
    const TUploadResult& result = run.Run();
    EXPECT_FALSE(result.Completed);
    EXPECT_FALSE(result.Failure.isEmpty());
    const QStringList remote = QDir(FRoot.File("site")).entryList(QDir::Files);
    EXPECT_TRUE(remote.filter(QRegularExpression("^p\\d\\.html$|\\.part$|^index")).isEmpty())
        << remote.join(' ').toStdString();
    for (const QString& path : files)
        if (const QString name = QFileInfo(path).fileName(); remote.contains(name))
            EXPECT_EQ(FirstDifference(ReadBytes(path), ReadBytes(FRoot.File("site/" + name))), "")
                << name.toStdString();
    EXPECT_FALSE(FClient.IsConnected());
}

class TUploadStallTest : public TUploadParallelTest {};

// The server stops answering while the further connections log in (the run's own waits for a reply), or
// while every connection stores: Abort ends them all at once, and what reached its final name is whole.
TEST_P(TUploadStallTest, AbortEndsEveryConnectionAtOnce) {
    const bool atLogIn = GetParam().Stall == TStall::LogIn;
    const QStringList files = Gallery(10, atLogIn ? 3000 : 4 << 20);
    TUploadRun run(FClient, FSettings, "s3cret", files);
    run.TrustFile = FLocal.File("trust.json");
    run.OnTrustQuestion = [](const QString&) { return true; }; // the test's own self-signed certificate
    QElapsedTimer aborted;
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (aborted.isValid() || !(atLogIn ? progress.Phase == "upload" : progress.Bytes > 0))
            return;
        FServer->Pause();
        aborted.start();
        // The connections get into their waits first.
        QTimer::singleShot(300, [&run] { run.Abort(); });
    };
    const TUploadResult& result = run.Run();
    const qint64 took = aborted.elapsed() - 300;
    FServer->Resume();
    EXPECT_EQ(result.FailureKind, TNetFailure::Aborted) << result.Failure.toStdString();
    // Far below any time-out the connections' waits have of their own.
    EXPECT_LT(took, 2500);
    EXPECT_FALSE(FClient.IsConnected());
    PumpFor(300); // the server takes in what it was sent
    const QStringList remote = QDir(FRoot.File("site")).entryList(QDir::Files);
    for (const QString& path : files)
        if (const QString name = QFileInfo(path).fileName(); remote.contains(name))
            EXPECT_EQ(FirstDifference(ReadBytes(path), ReadBytes(FRoot.File("site/" + name))), "")
                << name.toStdString();
}

class TUploadLaneLossTest : public TUploadParallelTest {};

// Every connection dropped while the run's own and another store a big picture each: both come back, and the
// status tells of the other connection's reconnect too, not only of the run's own.
TEST_P(TUploadLaneLossTest, OtherConnectionsTellTheirReconnects) {
    FSettings.Connections = 2;
    const QStringList files = {Local("a.jpg", RandomBytes(24 << 20, 1)),
                               Local("b.jpg", RandomBytes(24 << 20, 2)),
                               Local("index.html", "<html></html>")};
    TDroppingProxy proxy(FServer->Port());
    FSettings.Port = proxy.Port();
    TUploadRun run(FClient, FSettings, "s3cret", files);
    run.ReconnectPauseMs = 50;
    QStringList statuses;
    run.OnStatus = [&](const QString& text) { statuses << text; };
    run.OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File == "a.jpg" && progress.Bytes > progress.FileBytes / 2 && proxy.Drops() == 0 &&
            statuses.contains("Uploading: b.jpg"))
            proxy.DropNow();
    };
    const TUploadResult& result = run.Run();
    EXPECT_EQ(result.Failure, "");
    ASSERT_EQ(proxy.Drops(), 1) << statuses.join('\n').toStdString();
    EXPECT_EQ(
        statuses.filter(QRegularExpression("^Connection lost while storing [ab].jpg: reconnecting")).size(),
        2)
        << statuses.join('\n').toStdString();
    for (const QString& path : files)
        EXPECT_EQ(
            FirstDifference(ReadBytes(path), ReadBytes(FRoot.File("site/" + QFileInfo(path).fileName()))), "")
            << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, TUploadParallelTest,
                         testing::Values(TServerLimit{"AnyNumber", 0, 3, ""},
                                         TServerLimit{"TwoAtOnce", 2, 2,
                                                      "Server allowed 2 connections at once"}),
                         [](const auto& info) { return std::string(info.param.Name); });
INSTANTIATE_TEST_SUITE_P(Servers, TUploadAbortTest, testing::Values(TServerLimit{"AnyNumber", 0, 3, ""}),
                         [](const auto& info) { return std::string(info.param.Name); });
INSTANTIATE_TEST_SUITE_P(
    Servers, TUploadStallTest,
    testing::Values(TServerLimit{.Name = "AtLogInOne", .Connections = 1, .Stall = TStall::LogIn},
                    TServerLimit{.Name = "AtLogInThree", .Stall = TStall::LogIn},
                    TServerLimit{.Name = "AtLogInEight", .Connections = 8, .Stall = TStall::LogIn},
                    TServerLimit{.Name = "StoringOne", .Connections = 1, .Stall = TStall::Store},
                    TServerLimit{.Name = "StoringThree", .Stall = TStall::Store},
                    TServerLimit{.Name = "StoringEight", .Connections = 8, .Stall = TStall::Store},
                    TServerLimit{.Name = "AtLogInThreeTls", .Stall = TStall::LogIn, .Tls = true},
                    TServerLimit{.Name = "StoringThreeTls", .Stall = TStall::Store, .Tls = true}),
    [](const auto& info) { return std::string(info.param.Name); });
INSTANTIATE_TEST_SUITE_P(Servers, TUploadLaneLossTest, testing::Values(TServerLimit{"AnyNumber", 0, 2, ""}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
