// The upload run over SFTP against a real OpenSSH server on 127.0.0.1, with keys made at test time.
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include "support/DroppingProxy.h"
#include "support/FtpTestSupport.h"
#include "support/HostileFiles.h"
#include "support/SshTestServer.h"
#include "support/TestSupport.h"
#include "upload/UploadRun.h"

namespace {

// The settings of an SFTP upload to a test server, into a folder of its own.
TFtpSettings SftpSettings(const QString& host, int port, const QString& remoteDir) {
    TFtpSettings settings;
    settings.Host = host;
    settings.Port = port;
    settings.UserID = TSshServer::User();
    settings.RemoteDir = remoteDir;
    settings.Protocol = TUploadProtocol::Sftp;
    return settings;
}

// A relay to a server whose connections after the first reach another server, with a host key of its own:
// as a listener in between would show.
struct TOtherServerBehind {
    explicit TOtherServerBehind(int port) : Proxy(port) { Proxy.SetLaterTarget(Other.Port()); }

    TTempDir Keys;
    TSshServer Other{Keys.Path()};
    TDroppingProxy Proxy;
};

class TSftpUploadTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureCoreApplication();
        // The developer's own agent must not log the tests in.
        FHadAgent = qEnvironmentVariableIsSet("SSH_AUTH_SOCK");
        FSavedAgent = qgetenv("SSH_AUTH_SOCK");
        qunsetenv("SSH_AUTH_SOCK");
        FServer = std::make_unique<TSshServer>(FKeys.Path());
        ASSERT_GT(FServer->Port(), 0) << FServer->Error().toStdString();
        QString error;
        ASSERT_TRUE(MakeSshKey(FKeys.Path(), "user_key", "open sesame", error)) << error.toStdString();
        ASSERT_TRUE(FServer->Authorize("user_key"));
        FConnection.KnownHostsFile = FKeys.File("known_hosts");
        FSettings = SftpSettings("127.0.0.1", FServer->Port(), FRoot.Path() + "site/deep");
        FSettings.KeyFile = FKeys.File("user_key");
    }
    void TearDown() override {
        if (FHadAgent)
            qputenv("SSH_AUTH_SOCK", FSavedAgent);
    }
    QString Local(const QString& name, const QByteArray& bytes) {
        WriteBytes(FLocal.File(name), bytes);
        return FLocal.File(name);
    }
    // A client of its own, logged in with the key file.
    std::unique_ptr<TXoSftp> LoggedInClient() {
        auto client = std::make_unique<TXoSftp>();
        client->SetHost("127.0.0.1");
        client->SetPort(FServer->Port());
        client->SetUserID(FSettings.UserID);
        client->SetKeyFile(FSettings.KeyFile);
        client->SetKnownHostsFile(FConnection.KnownHostsFile);
        client->SetTimeOut(15000);
        client->OnHostKeyQuestion = [](const QString&) { return true; };
        client->OnPassphrase = [](const QString&, QString& secret) {
            secret = "open sesame";
            return true;
        };
        client->Connect();
        return client;
    }
    QStringList Remote() const { return QDir(FSettings.RemoteDir).entryList(QDir::Files, QDir::Name); }
    // A run that accepts the unknown host key and gives the key file's passphrase.
    std::unique_ptr<TUploadRun> Run(const QStringList& files) {
        auto run = std::make_unique<TUploadRun>(FConnection, FSettings, "", files);
        run->RecordFile = FKeys.File("uploads.json");
        run->OnTrustQuestion = [this](const QString& question) {
            FQuestions << question;
            return true;
        };
        run->OnSecret = [this](const QString&, QString& secret) {
            secret = "open sesame";
            return true;
        };
        return run;
    }

    TTempDir FKeys;
    TTempDir FRoot;
    TTempDir FLocal;
    std::unique_ptr<TSshServer> FServer;
    TSftpUploadConnection FConnection;
    TFtpSettings FSettings;
    QStringList FQuestions;
    bool FHadAgent = false;
    QByteArray FSavedAgent;
};

// Into a folder made level by level, every file byte for byte, each page only after what it links to and
// index.html last, as the server's folder shows between files. The host key is asked about once (by its
// fingerprint) and kept; a wrong passphrase is asked again. The next run stores nothing unchanged.
TEST_F(TSftpUploadTest, StoresAFolderInOrderByteForByte) {
    QByteArray big(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7919 >> 3);
    const QStringList files = {Local("index.html", "<html>index</html>"), Local("b.html", "<html>b</html>"),
                               Local("a.jpg", big), Local("vl_a.jpg", QByteArray(500, 'v'))};
    auto run = Run(files);
    QStringList prompts;
    run->OnSecret = [&](const QString& prompt, QString& secret) {
        prompts << prompt;
        secret = prompts.size() == 1 ? "wrong" : "open sesame";
        return true;
    };
    QList<QStringList> seen;
    run->OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File.isEmpty())
            seen << Remote();
    };
    const TUploadResult& result = run->Run();
    ASSERT_EQ(result.Failure, "");
    EXPECT_EQ(WithoutRunTime(result.Notes()), "Upload done: 4 files stored, 0 skipped, 0 removed, in T s");
    EXPECT_EQ(prompts.size(), 2);
    ASSERT_EQ(FQuestions.size(), 1);
    EXPECT_TRUE(FQuestions[0].contains(FConnection.Client().HostKeyFingerprint()));
    EXPECT_TRUE(FConnection.Client().HostKeyFingerprint().startsWith("SHA256:"));
    EXPECT_EQ(FConnection.Client().LoggedInBy(), "key file");
    for (const QStringList& names : seen) {
        if (names.contains("b.html"))
            EXPECT_TRUE(names.contains("a.jpg") && names.contains("vl_a.jpg"))
                << names.join(' ').toStdString();
        if (names.contains("index.html"))
            EXPECT_EQ(names.size(), 4) << names.join(' ').toStdString();
    }
    EXPECT_EQ(Remote(), QStringList({"a.jpg", "b.html", "index.html", "vl_a.jpg"}));
    EXPECT_EQ(ReadBytes(FSettings.RemoteDir + "/a.jpg"), big);
    EXPECT_EQ(ReadBytes(FSettings.RemoteDir + "/index.html"), "<html>index</html>");
    EXPECT_FALSE(FConnection.IsConnected());

    Local("b.html", "<html>b, changed</html>");
    auto again = Run(files);
    const TUploadResult& second = again->Run();
    EXPECT_EQ(second.Failure, "");
    EXPECT_EQ(second.Stored, 1);
    EXPECT_EQ(second.Unchanged, 3);
    EXPECT_EQ(FQuestions.size(), 1); // the key is known now
    EXPECT_EQ(ReadBytes(FSettings.RemoteDir + "/b.html"), "<html>b, changed</html>");
}

// A published file replaced again and again is never missing on the server, as a watcher looking at its name
// all the while sees: the server offers the rename that replaces in one step, and the run says nothing of
// replacing otherwise.
TEST_F(TSftpUploadTest, ReplacedFileIsNeverMissing) {
    auto run = Run({Local("index.html", "<html>0</html>")});
    QStringList statuses;
    run->OnStatus = [&](const QString& text) { statuses << text; };
    ASSERT_EQ(run->Run().Failure, "");
    EXPECT_TRUE(statuses.filter("in one step").isEmpty()) << statuses.join('\n').toStdString();
    EXPECT_TRUE(FConnection.Client().ReplacesInOneStep());

    const QByteArray published = QFile::encodeName(FSettings.RemoteDir + "/index.html");
    std::atomic<bool> stop = false;
    std::atomic<int> missing = 0;
    std::thread watcher([&] {
        struct stat status {};
        while (!stop)
            if (::stat(published.constData(), &status) != 0)
                ++missing;
    });
    const auto join = qScopeGuard([&] {
        stop = true;
        watcher.join();
    });
    const auto connected = LoggedInClient();
    TXoSftp& client = *connected;
    client.ChangeDir(FSettings.RemoteDir);
    for (int i = 1; i <= 30; ++i) {
        client.Upload(Local("index.html", QString("<html>%1</html>").arg(i).toUtf8()), "index.html.part");
        client.Rename("index.html.part", "index.html");
    }
    // A refused rename leaves the connection in step with the server.
    EXPECT_THROW(client.Rename("gone.part", "index.html"), ERemoteRefusal);
    EXPECT_EQ(client.RemoteSize("index.html"), 15);
    client.Disconnect();
    EXPECT_EQ(missing.load(), 0);
    EXPECT_EQ(ReadBytes(FSettings.RemoteDir + "/index.html"), "<html>30</html>");
    EXPECT_EQ(Remote(), QStringList({"index.html"}));
}

// A full disk is the protocol's catch-all failure (status 4), said as such: not as a failure of no status,
// the one the close after it reports.
TEST_F(TSftpUploadTest, FullDiskIsToldAsAFailure) {
    if (!QFileInfo(QStringLiteral("/dev/full")).exists())
        GTEST_SKIP() << "this machine has no /dev/full";
    const auto client = LoggedInClient();
    try {
        client->Upload(Local("a.jpg", QByteArray(100000, 'a')), "/dev/full");
        ADD_FAILURE() << "stored onto /dev/full";
    } catch (const ERemoteRefusal& e) {
        EXPECT_EQ(e.Message(), "Cannot store /dev/full: failure");
    }
    EXPECT_TRUE(client->IsConnected());
}

// A file of many pieces under way at once, not a whole number of them, arrives byte for byte; so does its
// rest written on from an odd offset of a shortened copy. The connection serves the next request after each.
TEST_F(TSftpUploadTest, LargeFileArrivesWholeAndIsWrittenOnFromAnOffset) {
    QByteArray bytes(5 * 1024 * 1024 + 4321, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    const QString local = Local("large.bin", bytes);
    const auto client = LoggedInClient();
    const QString remote = FRoot.Path() + "large.bin";
    client->Upload(local, remote);
    EXPECT_EQ(client->SentCount(), bytes.size());
    EXPECT_TRUE(ReadBytes(remote) == bytes);
    const qint64 offset = 1234567;
    ASSERT_TRUE(QFile::resize(remote, offset));
    client->UploadFrom(local, remote, offset);
    EXPECT_EQ(client->SentCount(), bytes.size() - offset);
    EXPECT_TRUE(ReadBytes(remote) == bytes);
    EXPECT_EQ(client->RemoteSize(remote), bytes.size());
}

// A host alias of ~/.ssh/config leads to its HostName and Port, and logs in with its IdentityFile; a
// configuration that is no file to read stops the connection, naming it.
TEST_F(TSftpUploadTest, SshConfigEntryOfTheHostIsFollowed) {
    TTempDir home;
    const QByteArray savedHome = qgetenv("HOME");
    const auto restore = qScopeGuard([&] { qputenv("HOME", savedHome); });
    qputenv("HOME", QFile::encodeName(home.Path()));
    ASSERT_TRUE(QDir().mkpath(home.File(".ssh")));
    WriteBytes(
        home.File(".ssh/config"),
        QString("Host elsewhere\n    User nobody\nHost gallery-site\n    HostName 127.0.0.1\n    Port %1\n"
                "    IdentityFile %2\n")
            .arg(FServer->Port())
            .arg(FSettings.KeyFile)
            .toUtf8());
    TXoSftp client;
    client.SetHost("gallery-site");
    client.SetUserID(FSettings.UserID);
    client.SetKnownHostsFile(FConnection.KnownHostsFile);
    client.SetTimeOut(15000);
    client.OnHostKeyQuestion = [](const QString&) { return true; };
    client.OnPassphrase = [](const QString&, QString& secret) {
        secret = "open sesame";
        return true;
    };
    client.Connect();
    EXPECT_EQ(client.LoggedInBy(), "key file");
    client.Disconnect();

    QFile::remove(home.File(".ssh/config"));
    ASSERT_TRUE(QDir().mkpath(home.File(".ssh/config")));
    try {
        client.Connect();
        ADD_FAILURE() << "connected with a folder for ~/.ssh/config";
    } catch (const ESockError& e) {
        EXPECT_TRUE(e.Message().startsWith("The SSH configuration file " + home.File(".ssh/config") +
                                           " cannot be used: "))
            << e.Message().toStdString();
    }
}

// The picture gone since the last upload is removed after index.html only with "Remove stale files" on, and
// nothing outside the remote folder that an edited record names, by a relative or a full path.
TEST_F(TSftpUploadTest, RemovesStaleFilesOnlyWhenAskedAndOnlyInItsFolder) {
    ASSERT_TRUE(QDir().mkpath(FRoot.File("site/other")));
    WriteBytes(FRoot.File("top.txt"), "top");
    WriteBytes(FRoot.File("site/other/index.html"), "other");
    for (const bool removeStale : {false, true}) {
        SCOPED_TRACE(removeStale ? "removing stale files" : "keeping stale files");
        FSettings.RemoveStale = removeStale;
        FSettings.RemoteDir = FRoot.Path() + (removeStale ? "site/on" : "site/off");
        const QString record = FKeys.File(removeStale ? "on.json" : "off.json");
        auto first =
            Run({Local("index.html", "<html>1</html>"), Local("a.jpg", "a"), Local("gone.jpg", "g")});
        first->RecordFile = record;
        ASSERT_EQ(first->Run().Failure, "");
        AddToUploadRecord(record, {"../other/index.html", FRoot.File("top.txt")});
        QList<QStringList> seen;
        auto again = Run({Local("index.html", "<html>2</html>"), FLocal.File("a.jpg")});
        again->RecordFile = record;
        again->OnStatus = [&](const QString& text) {
            if (text.startsWith("Removing: "))
                seen << QStringList{text, QString::fromUtf8(ReadBytes(FSettings.RemoteDir + "/index.html"))};
        };
        const TUploadResult& result = again->Run();
        EXPECT_EQ(result.Failure, "");
        if (removeStale) {
            EXPECT_EQ(result.Removed, 1);
            EXPECT_EQ(WithoutRunTime(result.Notes()),
                      "Upload done: 1 file stored, 1 skipped, 1 removed, in T s");
            EXPECT_EQ(seen, QList<QStringList>({{"Removing: gone.jpg", "<html>2</html>"}}));
            EXPECT_EQ(Remote(), QStringList({"a.jpg", "index.html"}));
        } else {
            EXPECT_EQ(result.Removed, 0);
            EXPECT_EQ(seen, QList<QStringList>());
            EXPECT_EQ(Remote(), QStringList({"a.jpg", "gone.jpg", "index.html"}));
        }
        EXPECT_EQ(ReadBytes(FRoot.File("top.txt")), "top");
        EXPECT_EQ(ReadBytes(FRoot.File("site/other/index.html")), "other");
    }
}

// Thirty files over three connections: all arrive byte for byte, no page before every picture and
// index.html last, as the folder shows whenever a file is done; the further connections ask nothing again.
TEST_F(TSftpUploadTest, StoresOverSeveralConnectionsKeepingTheOrder) {
    FSettings.Connections = 3;
    QStringList files;
    for (int i = 0; i < 10; ++i) {
        files << Local(QString("p%1.jpg").arg(i), QByteArray(3000000 + i, static_cast<char>('a' + i)))
              << Local(QString("vl_p%1.jpg").arg(i), QByteArray(700, static_cast<char>('k' + i)));
        if (i < 9)
            files << Local(QString("p%1.html").arg(i), QString("<html>%1</html>").arg(i).toUtf8());
    }
    files << Local("index.html", "<html>index</html>");
    auto run = Run(files);
    int secrets = 0;
    run->OnSecret = [&](const QString&, QString& secret) {
        ++secrets;
        secret = "open sesame";
        return true;
    };
    int overOwn = 0; // files the run's own connection stored
    QList<QStringList> seen;
    run->OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File.isEmpty()) {
            seen << Remote();
        } else if (progress.Bytes == 0 && ++overOwn == 1) {
            // A store over loopback outruns an SSH log-in: the others get the time to open before the
            // run's own connection could have stored everything.
            QThread::msleep(1500);
        }
    };
    const TUploadResult& result = run->Run();
    ASSERT_EQ(result.Failure, "");
    EXPECT_EQ(result.Stored, 30);
    EXPECT_LT(overOwn, 30);
    EXPECT_EQ(FQuestions.size(), 1);
    EXPECT_EQ(secrets, 1);
    for (const QStringList& names : seen) {
        if (!names.filter(".html").isEmpty())
            EXPECT_EQ(names.filter(".jpg").size(), 20) << names.join(' ').toStdString();
        if (names.contains("index.html"))
            EXPECT_EQ(names.size(), 30) << names.join(' ').toStdString();
    }
    for (const QString& path : files)
        EXPECT_EQ(ReadBytes(FSettings.RemoteDir + "/" + QFileInfo(path).fileName()), ReadBytes(path))
            << path.toStdString();
}

// A host key nobody vouches for, and one that differs from the known one, stop the run before the log-in;
// a changed key is never even asked about.
struct THostKeyCase {
    const char* Name;
    bool KnownOther; // known_hosts holds another key for the server
    bool Answer;
    int Questions;
    const char* Failure;
};

class TSftpHostKeyTest : public TSftpUploadTest, public testing::WithParamInterface<THostKeyCase> {};

TEST_P(TSftpHostKeyTest, RefusesKeysNotTrusted) {
    const THostKeyCase& c = GetParam();
    if (c.KnownOther) {
        QString error;
        ASSERT_TRUE(MakeSshKey(FKeys.Path(), "other_key", "", error)) << error.toStdString();
        WriteBytes(FConnection.KnownHostsFile, FServer->KnownHostsLine(FKeys.File("other_key.pub")).toUtf8());
    }
    const QByteArray known = ReadBytes(FConnection.KnownHostsFile);
    auto run = Run({Local("a.jpg", "a")});
    run->OnTrustQuestion = [&](const QString& question) {
        FQuestions << question;
        return c.Answer;
    };
    const TUploadResult& result = run->Run();
    EXPECT_TRUE(result.Failure.startsWith(c.Failure)) << result.Failure.toStdString();
    EXPECT_EQ(FQuestions.size(), c.Questions);
    EXPECT_EQ(ReadBytes(FConnection.KnownHostsFile), known);
    EXPECT_FALSE(QDir(FSettings.RemoteDir).exists());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TSftpHostKeyTest,
    testing::Values(THostKeyCase{"Unknown", false, false, 1, "The host key of 127.0.0.1 ("},
                    THostKeyCase{"Changed", true, true, 0, "WARNING: the host key of 127.0.0.1 has changed"}),
    [](const testing::TestParamInfo<THostKeyCase>& info) { return std::string(info.param.Name); });

// A key file or known_hosts that is a pipe, or a link to /dev/zero, would hold libssh for ever: each is
// refused by name before libssh is given it, and the run ends.
TEST_F(TSftpUploadTest, KeyFileAndKnownHostsThatAreNoRegularFilesAreRefused) {
    const QString pipe = FKeys.File("pipe"), zeros = FKeys.File("zeros");
    MakeFifo(pipe);
    MakeZeroLink(zeros);
    const QString hosts = FConnection.KnownHostsFile;
    for (const QString& file : {pipe, zeros}) {
        FSettings.KeyFile = file;
        auto run = Run({Local("a.jpg", "a")});
        EXPECT_TRUE(run->Run().Failure.contains(
            "Key file " + file + " cannot be read: it is a pipe or a device, not a regular file"))
            << run->Result().Failure.toStdString();
    }
    FSettings.KeyFile = FKeys.File("user_key");
    for (const QString& file : {pipe, zeros}) {
        FConnection.KnownHostsFile = file;
        auto run = Run({Local("a.jpg", "a")});
        EXPECT_TRUE(run->Run().Failure.contains(
            "The known hosts file " + file + " cannot be used: it is a pipe or a device, not a regular file"))
            << run->Result().Failure.toStdString();
        FConnection.KnownHostsFile = hosts;
    }
    EXPECT_FALSE(QFileInfo::exists(FSettings.RemoteDir + "/a.jpg"));
}

// A further connection that meets another server than the first (another host key, as a listener in
// between would show) is stopped, the files go over the run's own connection, and the run ends with a
// warning, never a plain "Upload done".
TEST_F(TSftpUploadTest, FurtherConnectionMeetingAnotherHostKeyIsStoppedAndWarnedOf) {
    TOtherServerBehind relay(FServer->Port());
    ASSERT_GT(relay.Other.Port(), 0) << relay.Other.Error().toStdString();
    FSettings.Port = relay.Proxy.Port();
    FSettings.Connections = 2;
    const QStringList files = {Local("a.jpg", QByteArray(400000, 'a')),
                               Local("b.jpg", QByteArray(400000, 'b')), Local("c.jpg", "c"),
                               Local("index.html", "<html></html>")};
    auto run = Run(files);
    const TUploadResult& result = run->Run();
    EXPECT_EQ(result.Failure, "");
    EXPECT_EQ(result.Stored, 4);
    EXPECT_TRUE(
        result.Warning.startsWith("WARNING: a further connection to 127.0.0.1 met another server than "
                                  "the first and was stopped (someone may be listening in): WARNING: "
                                  "the host key of 127.0.0.1 has changed"))
        << result.Warning.toStdString();
    EXPECT_EQ(WithoutRunTime(result.Notes()),
              result.Warning + "; Upload done: 4 files stored, 0 skipped, 0 removed, in T s");
    EXPECT_EQ(FQuestions.size(), 1);
    EXPECT_EQ(Remote(), QStringList({"a.jpg", "b.jpg", "c.jpg", "index.html"}));
}

// A file of random bytes or zeros is said to hold no key; only a key that is encrypted needs a passphrase.
TEST_F(TSftpUploadTest, KeyFileWithoutAKeyIsToldFromOneThatNeedsItsPassphrase) {
    QByteArray random(2048, Qt::Uninitialized);
    for (qsizetype i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>(i * 7919 >> 3 ^ i * 31);
    WriteBytes(FKeys.File("random_bytes"), random);
    WriteBytes(FKeys.File("zeros"), QByteArray(4096, '\0'));
    const auto failure = [&](const QString& keyFile) {
        FSettings.KeyFile = keyFile;
        auto run = Run({Local("a.jpg", "a")});
        run->OnSecret = [](const QString&, QString&) { return false; };
        return run->Run().Failure;
    };
    for (const QString& name : {"random_bytes", "zeros"})
        EXPECT_EQ(
            failure(FKeys.File(name)),
            "Key file " + FKeys.File(name) +
                " holds no private key that can be read (OpenSSH or PEM format): the log-in was stopped");
    EXPECT_EQ(failure(FKeys.File("user_key")),
              "Key file " + FKeys.File("user_key") + " needs its passphrase: the log-in was stopped");
}

// An agent that takes the connection and never answers: the log-in waits one time-out for it and goes on
// with the key file; Abort ends the wait before that.
TEST_F(TSftpUploadTest, SilentAgentIsWaitedForOneTimeOutAndEndedByAbort) {
    TXoSftp client;
    client.SetHost("127.0.0.1");
    client.SetPort(FServer->Port());
    client.SetUserID(TSshServer::User());
    client.SetKeyFile(FSettings.KeyFile);
    client.SetKnownHostsFile(FConnection.KnownHostsFile);
    client.OnHostKeyQuestion = [](const QString&) { return true; };
    client.OnPassphrase = [](const QString&, QString& secret) {
        secret = "open sesame";
        return true;
    };
    {
        TSilentAgent agent(FKeys.Path());
        client.SetTimeOut(1000);
        client.Connect();
        EXPECT_TRUE(agent.Asked());
        EXPECT_EQ(client.LoggedInBy(), "key file");
        client.Disconnect();
    }
    TSilentAgent agent(FKeys.Path());
    client.SetKeyFile({});    // a key file that opens unasked, as this one now does, goes before the agent
    client.SetTimeOut(60000); // only the abort can end the wait in time
    QTimer asked;
    QObject::connect(&asked, &QTimer::timeout, [&] {
        if (agent.Asked())
            client.Abort();
    });
    asked.start(10);
    try {
        client.Connect();
        ADD_FAILURE() << "logged in by " << client.LoggedInBy().toStdString();
    } catch (const EAbortError& e) {
        EXPECT_EQ(e.Message(), "Log-in aborted");
    }
    EXPECT_FALSE(client.IsConnected());
}

// The agent started here holds a key the server accepts: no key file, no password.
TEST_F(TSftpUploadTest, LogsInThroughTheAgent) {
    TSshAgent agent(FKeys.Path());
    ASSERT_TRUE(agent.Running()) << agent.Error().toStdString();
    QString error;
    ASSERT_TRUE(MakeSshKey(FKeys.Path(), "agent_key", "", error)) << error.toStdString();
    ASSERT_TRUE(FServer->Authorize("agent_key"));
    ASSERT_TRUE(agent.Add(FKeys.File("agent_key"))) << agent.Error().toStdString();
    FSettings.KeyFile.clear();
    auto run = Run({Local("a.jpg", "agent")});
    // The socket handed to libssh is closed at the end: the run leaves no file open.
    const auto openFiles = [] { return QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size(); };
    const qsizetype before = openFiles();

    EXPECT_EQ(run->Run().Failure, "");
    EXPECT_EQ(openFiles(), before);

    EXPECT_EQ(FConnection.Client().LoggedInBy(), "agent");
    EXPECT_EQ(ReadBytes(FSettings.RemoteDir + "/a.jpg"), "agent");
}

// An agent with more keys than the server lets one try does not use them up before the key file that is set.
TEST_F(TSftpUploadTest, KeyFileGoesBeforeAnAgentFullOfOtherKeys) {
    TSshAgent agent(FKeys.Path());
    ASSERT_TRUE(agent.Running()) << agent.Error().toStdString();
    QString error;
    ASSERT_TRUE(MakeSshKey(FKeys.Path(), "plain_key", "", error)) << error.toStdString();
    ASSERT_TRUE(FServer->Authorize("plain_key"));
    FSettings.KeyFile = FKeys.File("plain_key");
    for (int i = 0; i < 7; ++i) {
        const QString name = "other_key" + QString::number(i);
        ASSERT_TRUE(MakeSshKey(FKeys.Path(), name, "", error)) << error.toStdString();
        ASSERT_TRUE(agent.Add(FKeys.File(name))) << agent.Error().toStdString();
    }
    auto run = Run({Local("a.jpg", "key")});
    EXPECT_EQ(run->Run().Failure, "");
    EXPECT_EQ(FConnection.Client().LoggedInBy(), "key file");
}

// Abort at the first bytes of a big file: the files before it stay, the big one is nowhere under its own
// name nor its temporary one. How long the abort took is printed, not asserted.
TEST_F(TSftpUploadTest, AbortEndsTheStoreAndLeavesNoFileBehind) {
    const QStringList files = {Local("a.bin", QByteArray(1000, 'a')),
                               Local("big.bin", QByteArray(64 * 1024 * 1024, 'b')), Local("c.bin", "c")};
    auto run = Run(files);
    std::chrono::steady_clock::time_point aborted;
    run->OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File == "big.bin" && progress.Bytes > 0 && !run->AbortRequested())
            QTimer::singleShot(0, [&] {
                aborted = std::chrono::steady_clock::now();
                run->Abort();
            });
    };
    const TUploadResult& result = run->Run();
    const auto took = std::chrono::steady_clock::now() - aborted;
    std::cout << "[ measured ] abort to end of run: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
    EXPECT_FALSE(result.Completed);
    EXPECT_EQ(result.Failed, "big.bin");
    EXPECT_EQ(result.Failure, "Upload aborted");
    EXPECT_EQ(Remote(), QStringList({"a.bin"}));
}

// A connection dropped a quarter into a large file is made again after a pause: the file is written on from
// where the server's copy ends and arrives whole. (The server may hold up to the pieces under way more than
// it acknowledged, so a later drop could find the copy already whole.) The key's passphrase, given once,
// opens it again.
TEST_F(TSftpUploadTest, LostConnectionIsResumedByteForByte) {
    QByteArray big(4 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7919 >> 5);
    TDroppingProxy proxy(FServer->Port());
    FSettings.Port = proxy.Port();
    auto run = Run({Local("index.html", "<html></html>"), Local("big.jpg", big)});
    run->ReconnectPauseMs = 50;
    int secrets = 0;
    run->OnSecret = [&](const QString&, QString& secret) {
        ++secrets;
        secret = "open sesame";
        return true;
    };
    run->OnProgress = [&](const TUploadProgress& progress) {
        if (progress.File == "big.jpg" && progress.Bytes > big.size() / 4 && proxy.Drops() == 0)
            proxy.DropNow();
    };
    QStringList statuses;
    run->OnStatus = [&](const QString& text) { statuses << text; };
    EXPECT_EQ(run->Run().Failure, "");
    EXPECT_EQ(proxy.Drops(), 1);
    EXPECT_EQ(secrets, 1);
    EXPECT_TRUE(
        statuses.contains("Connection lost while storing big.jpg: reconnecting in 0.05 s (attempt 1 of 3)"))
        << statuses.join('\n').toStdString();
    EXPECT_FALSE(statuses.filter(QRegularExpression("^Resuming: big.jpg from byte [1-9]")).isEmpty())
        << statuses.join('\n').toStdString();
    EXPECT_TRUE(ReadBytes(FSettings.RemoteDir + "/big.jpg") == big);
    EXPECT_EQ(Remote(), QStringList({"big.jpg", "index.html"}));
}

// A connection dropped in the middle of a file is made again; one that then meets another host key (as a
// listener in between would show) ends the run at once with the warning, and is not tried again.
TEST_F(TSftpUploadTest, ReconnectMeetingAnotherHostKeyEndsTheRunAtOnce) {
    TOtherServerBehind relay(FServer->Port());
    ASSERT_GT(relay.Other.Port(), 0) << relay.Other.Error().toStdString();
    FSettings.Port = relay.Proxy.Port();
    const QByteArray big(4 << 20, 'b');
    auto run = Run({Local("big.jpg", big)});
    run->ReconnectPauseMs = 50;
    run->OnProgress = [&](const TUploadProgress& progress) {
        if (progress.Bytes > big.size() / 2 && relay.Proxy.Drops() == 0)
            relay.Proxy.DropNow();
    };
    QStringList statuses;
    run->OnStatus = [&](const QString& text) { statuses << text; };
    const TUploadResult& result = run->Run();
    EXPECT_TRUE(result.Failure.startsWith(
        "Upload ended while storing big.jpg: WARNING: the host key of 127.0.0.1 has changed"))
        << result.Failure.toStdString();
    EXPECT_EQ(result.FailureKind, TNetFailure::Identity);
    EXPECT_EQ(statuses.filter("reconnecting in").size(), 1) << statuses.join('\n').toStdString();
    EXPECT_FALSE(Remote().contains("big.jpg"));
}

// An IPv6 address in brackets reaches a server on ::1; its host key is kept under that address.
TEST(SftpIpv6Test, StoresOverIpv6) {
    EnsureCoreApplication();
    if (!QTcpServer().listen(QHostAddress::LocalHostIPv6))
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    TTempDir keys, root, local;
    TSshServer server(keys.Path(), "::1");
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    QString error;
    ASSERT_TRUE(MakeSshKey(keys.Path(), "user_key", "", error)) << error.toStdString();
    ASSERT_TRUE(server.Authorize("user_key"));
    WriteBytes(local.File("a.jpg"), "over six");
    TFtpSettings settings = SftpSettings("[::1]", server.Port(), root.Path() + "v6");
    settings.KeyFile = keys.File("user_key");
    TSftpUploadConnection connection;
    connection.KnownHostsFile = keys.File("known_hosts");
    TUploadRun run(connection, settings, "", {local.File("a.jpg")});
    run.OnTrustQuestion = [](const QString&) { return true; };
    EXPECT_EQ(run.Run().Failure, "");
    EXPECT_EQ(ReadBytes(root.File("v6/a.jpg")), "over six");
    EXPECT_TRUE(ReadBytes(keys.File("known_hosts")).startsWith("[::1]:" + QByteArray::number(server.Port())));
}

// Where the server takes passwords, the password is what the log-in offers (no agent, no key file); refused,
// the failure says it was tried, and is told as a refused password. No account
// here has a password sshd could check, so only the refusal is seen.
TEST(SftpPasswordTest, RefusedPasswordIsToldAsSuch) {
    EnsureCoreApplication();
    const QByteArray agent = qgetenv("SSH_AUTH_SOCK");
    qunsetenv("SSH_AUTH_SOCK");
    TTempDir keys, root, local;
    TSshServer server(keys.Path(), "127.0.0.1", true);
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    WriteBytes(local.File("a.jpg"), "pw");
    const TFtpSettings settings = SftpSettings("127.0.0.1", server.Port(), root.Path() + "pw");
    TSftpUploadConnection connection;
    connection.KnownHostsFile = keys.File("known_hosts");
    TUploadRun run(connection, settings, "surely not the password", {local.File("a.jpg")});
    run.OnTrustQuestion = [](const QString&) { return true; };
    const QString failure = run.Run().Failure;
    if (!agent.isNull())
        qputenv("SSH_AUTH_SOCK", agent);
    EXPECT_EQ(failure, "Log-in as " + settings.UserID + " at 127.0.0.1 refused (tried: password)");
    EXPECT_EQ(run.Result().FailureKind, TNetFailure::PasswordRefused);
    EXPECT_FALSE(QFileInfo::exists(root.File("pw")));
}

} // namespace
