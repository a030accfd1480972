// `veltrix upload` over SFTP: the real program against a real OpenSSH server on 127.0.0.1, with keys made
// at test time.
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "cli/VlxCliStreams.h"
#include "support/SshTestServer.h"
#include "support/TestSupport.h"

namespace {

// Logged in by the key file of the options file, the host key known from the home folder's known_hosts:
// every file arrives byte for byte, and the command names where.
TEST(ProgramSftpUpload, StoresAFolderByteForByteWithAKeyFile) {
    // The window's tests share the program: theirs is the application object it may need to be.
    EnsureApplication<QApplication>();
    TTempDir dir, root;
    // Not named after the application, whose apostrophe sshd's configuration would not take.
    QTemporaryDir keyDir(QDir::tempPath() + "/veltrix-sftp-XXXXXX");
    const QString keys = keyDir.path() + "/";
    TSshServer server(keys);
    ASSERT_GT(server.Port(), 0) << server.Error().toStdString();
    QString error;
    ASSERT_TRUE(MakeSshKey(keys, "user_key", "", error)) << error.toStdString();
    ASSERT_TRUE(server.Authorize("user_key"));
    ASSERT_TRUE(QDir().mkpath(dir.File("home/.ssh")) && QDir().mkpath(dir.File("site")) &&
                QDir().mkpath(dir.File("config/Quorrin's Veltrix")));
    WriteBytes(dir.File("home/.ssh/known_hosts"), server.KnownHostsLine(keys + "host_key.pub").toUtf8());
    QByteArray picture(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<char>(i * 7919 >> 3);
    const QHash<QString, QByteArray> files = {
        {"a.jpg", picture}, {"vl_a.jpg", QByteArray(500, '\0')}, {"index.html", "<html>\r\n</html>\r\n"}};
    for (auto file = files.begin(); file != files.end(); ++file)
        WriteBytes(dir.File("site/" + file.key()), file.value());
    const QString remote = root.Path() + "www";
    WriteBytes(dir.File("config/Quorrin's Veltrix/vlx.ini"),
               QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=%2\nRemoteDir=%3\nProtocol=sftp\nKeyFile=%4\n")
                   .arg(server.Port())
                   .arg(TSshServer::User(), remote, keys + "user_key")
                   .toUtf8());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {kFtpPasswordVariable, "SSH_AUTH_SOCK"})
        env.remove(name);
    env.insert("HOME", dir.File("home"));
    env.insert("XDG_CONFIG_HOME", dir.File("config"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(VELTRIX_PROGRAM, {"upload", "--out", dir.File("site")});
    program.closeWriteChannel();
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.readAllStandardOutput(),
              QString("sftp://%1@127.0.0.1:%2/%3\n").arg(TSshServer::User()).arg(server.Port()).arg(remote));
    EXPECT_EQ(QDir(remote).entryList(QDir::Files).size(), files.size());
    for (auto file = files.begin(); file != files.end(); ++file)
        EXPECT_EQ(FirstDifference(file.value(), ReadBytes(remote + "/" + file.key())), "")
            << file.key().toStdString();
}

} // namespace
