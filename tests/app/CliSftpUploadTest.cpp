// `veltrix upload` over SFTP: the real program against a real OpenSSH server on 127.0.0.1, with keys made
// at test time.
#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "cli/VlxCliStreams.h"
#include "support/SshTestServer.h"
#include "support/TestSupport.h"

namespace {

// A site folder, the options file naming the server with a key file, and the host key known from the home
// folder's known_hosts; the program runs with no agent unless one is given.
class TProgramSftpUpload : public testing::Test {
protected:
    void SetUp() override {
        // The window's tests share the program: theirs is the application object it may need to be.
        EnsureApplication<QApplication>();
        Program = std::make_unique<QProcess>();
        Server = std::make_unique<TSshServer>(Keys);
        ASSERT_GT(Server->Port(), 0) << Server->Error().toStdString();
        QString error;
        ASSERT_TRUE(MakeSshKey(Keys, "user_key", "", error)) << error.toStdString();
        ASSERT_TRUE(Server->Authorize("user_key"));
        ASSERT_TRUE(QDir().mkpath(Dir.File("home/.ssh")) && QDir().mkpath(Dir.File("site")) &&
                    QDir().mkpath(Dir.File("config/Quorrin's Veltrix")));
        WriteBytes(Dir.File("home/.ssh/known_hosts"), Server->KnownHostsLine(Keys + "host_key.pub").toUtf8());
        WriteOptions(Keys + "user_key");
    }

    void WriteOptions(const QString& keyFile) {
        WriteBytes(
            Dir.File("config/Quorrin's Veltrix/vlx.ini"),
            QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=%2\nRemoteDir=%3\nProtocol=sftp\nKeyFile=%4\n")
                .arg(Server->Port())
                .arg(TSshServer::User(), Remote, keyFile)
                .toUtf8());
    }

    void Start(const QString& agent = {}, const QString& password = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {kFtpPasswordVariable, "SSH_AUTH_SOCK"})
            env.remove(name);
        if (!agent.isEmpty())
            env.insert("SSH_AUTH_SOCK", agent);
        if (!password.isNull())
            env.insert(kFtpPasswordVariable, password);
        env.insert("HOME", Dir.File("home"));
        env.insert("XDG_CONFIG_HOME", Dir.File("config"));
        Program->setProcessEnvironment(env);
        Program->start(VELTRIX_PROGRAM, {"upload", "--out", Dir.File("site")});
        Program->closeWriteChannel();
    }

    TTempDir Dir, Root;
    // Not named after the application, whose apostrophe sshd's configuration would not take.
    QTemporaryDir KeyDir{QDir::tempPath() + "/veltrix-sftp-XXXXXX"};
    QString Keys = KeyDir.path() + "/";
    std::unique_ptr<TSshServer> Server;
    QString Remote = Root.Path() + "www";
    std::unique_ptr<QProcess> Program;
};

// Logged in by the key file: every file arrives byte for byte, and the command names where, saying that the
// folder is an absolute one.
TEST_F(TProgramSftpUpload, StoresAFolderByteForByteWithAKeyFile) {
    QByteArray picture(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<char>(i * 7919 >> 3);
    const QHash<QString, QByteArray> files = {
        {"a.jpg", picture}, {"vl_a.jpg", QByteArray(500, '\0')}, {"index.html", "<html>\r\n</html>\r\n"}};
    for (auto file = files.begin(); file != files.end(); ++file)
        WriteBytes(Dir.File("site/" + file.key()), file.value());
    Start();
    ASSERT_TRUE(Program->waitForFinished(60000));
    EXPECT_EQ(Program->exitCode(), 0) << Program->readAllStandardError().toStdString();
    EXPECT_EQ(Program->readAllStandardOutput(), QString("sftp://%1@127.0.0.1:%2, folder %3\n")
                                                    .arg(TSshServer::User())
                                                    .arg(Server->Port())
                                                    .arg(Remote));
    EXPECT_EQ(QDir(Remote).entryList(QDir::Files).size(), files.size());
    for (auto file = files.begin(); file != files.end(); ++file)
        EXPECT_EQ(FirstDifference(file.value(), ReadBytes(Remote + "/" + file.key())), "")
            << file.key().toStdString();
}

// An encrypted key opened by the passphrase in the variable, as the password would be taken: the key file
// named in the options, and without one the user's default key. A wrong passphrase is said to be wrong.
TEST_F(TProgramSftpUpload, PassphraseComesFromTheVariableForTheKeyFileAndTheDefaultKey) {
    QString error;
    ASSERT_TRUE(MakeSshKey(Keys, "locked_key", "open sesame", error)) << error.toStdString();
    ASSERT_TRUE(Server->Authorize("locked_key"));
    ASSERT_TRUE(QFile::copy(Keys + "locked_key", Dir.File("home/.ssh/id_ed25519")));
    WriteBytes(Dir.File("site/index.html"), "<html></html>");
    struct TCase {
        QString KeyFile, Password, Error;
    };
    const QList<TCase> cases = {
        {Keys + "locked_key", "open sesame", ""},
        {"", "open sesame", ""},
        {Keys + "locked_key", "not it",
         "Key file " + Keys + "locked_key did not take the passphrase given: the log-in was stopped"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE((c.KeyFile.isEmpty() ? QString("default key") : c.KeyFile).toStdString());
        QFile::remove(Remote + "/index.html");
        WriteOptions(c.KeyFile);
        Start({}, c.Password);
        ASSERT_TRUE(Program->waitForFinished(60000));
        const QString err = QString::fromUtf8(Program->readAllStandardError());
        if (c.Error.isEmpty()) {
            EXPECT_EQ(Program->exitCode(), 0) << err.toStdString();
            EXPECT_EQ(ReadBytes(Remote + "/index.html"), "<html></html>");
        } else {
            EXPECT_EQ(Program->exitCode(), kCliFailed);
            EXPECT_TRUE(err.contains(c.Error)) << err.toStdString();
        }
    }
}

// An agent that takes the connection and never answers: SIGTERM, sent while the program waits for it, stops
// the command as Abort does, saying so. No key file is set: one that opens unasked goes before the agent.
TEST_F(TProgramSftpUpload, SigtermEndsTheWaitForASilentAgent) {
    WriteOptions({});
    WriteBytes(Dir.File("site/a.jpg"), "a");
    WriteBytes(Dir.File("site/index.html"), "<html></html>");
    TSilentAgent agent(Keys);
    Start(agent.Path());
    for (int waited = 0; !agent.Asked() && waited < 30000; waited += 20)
        QThread::msleep(20);
    ASSERT_TRUE(agent.Asked()) << Program->readAllStandardError().toStdString();
    Program->terminate();
    ASSERT_TRUE(Program->waitForFinished(30000));
    EXPECT_EQ(Program->exitCode(), kCliFailed);
    EXPECT_TRUE(Program->readAllStandardError().endsWith(
        "veltrix: Upload stopped by SIGTERM (2 files not uploaded)\n"));
    EXPECT_FALSE(QDir(Remote).exists());
}

} // namespace
