// Uploads a gallery of 100 pictures (copy, thumbnail and page each, and index.html) twice from the real
// upload panel to pyftpdlib on 127.0.0.1, with "Upload only changed files" on, in clear and over TLS:
// prints the time of each upload and how many files each stored. The second upload is expected to store
// nothing. Then the time of the same 301 files through a proxy that delays each direction by 50 ms, over FTP
// and SFTP (sshd as the tests start it), with 1 and with 3 connections, and straight on loopback. With the
// argument "sftp-large" only one 16 MB file over SFTP, through a proxy adding 50 ms per round trip, and the
// same file by OpenSSH's sftp client where it is installed.
#include "app/FtpFU.h"

#include "upload/FtpTrust.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchDialogs.h"
#include "DelayProxy.h"
#include "ftp/XoSftp.h"
#include "upload/UploadRun.h"
#include "support/FtpTestSupport.h"
#include "support/SshTestServer.h"

namespace {

constexpr int kPictures = 100;

// sshd as the tests start it, taking the bench's own key; false, saying why, when it does not.
bool Authorized(TSshServer& sshd, const QString& keys) {
    QString error;
    if (sshd.Port() != 0 && MakeSshKey(keys, "user_key", "", error) && sshd.Authorize("user_key"))
        return true;
    std::printf("no SSH server: %s %s\n", qPrintable(sshd.Error()), qPrintable(error));
    return false;
}

class TBenchWindow : public QMainWindow, public TFtpFWindow {
public:
    void ShowStatus(const QString& text) override {
        if (text.startsWith("Uploading: "))
            ++Stored;
        Last = text;
    }
    QProgressBar* CreateStatusProgressBar(int max) override {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, max);
        return bar;
    }
    TDialogs& Dialogs() const override { return FDialogs; }
    QObject* MainForm() override { return nullptr; }

    int Stored = 0;
    QString Last;

private:
    mutable TBenchDialogs FDialogs{TModalResult::Ok};
};

// Pictures of about 200 KB and thumbnails of about 10 KB, each with bytes of its own, and their pages.
QStringList MakeGallery(const QString& dir) {
    QStringList files;
    for (int i = 0; i < kPictures; ++i) {
        const QString name = QString("pic%1").arg(i, 3, 10, QChar('0'));
        for (const auto& [suffix, size] : {std::pair{".jpg", 200 * 1024}, std::pair{"_t.jpg", 10 * 1024}}) {
            QByteArray bytes(size, char('a' + i % 26));
            bytes.replace(0, name.size(), name.toLatin1());
            QFile file(dir + name + suffix);
            if (file.open(QIODevice::WriteOnly))
                file.write(bytes);
            files << file.fileName();
        }
        QFile page(dir + name + ".html");
        if (page.open(QIODevice::WriteOnly))
            page.write(("<html>\r\n<img src=\"" + name + ".jpg\">\r\n</html>\r\n").toLatin1());
        files << page.fileName();
    }
    QFile index(dir + "index.html");
    if (index.open(QIODevice::WriteOnly))
        index.write("<html>\r\n</html>\r\n");
    return files << index.fileName();
}

// Two uploads of the files to the server, the second expected to store nothing.
bool UploadTwice(QApplication& app, const char* label, const TPyFtpServer& server, const QString& encryption,
                 const QStringList& files, const QString& recordFile, const QString& trustFile) {
    TBenchWindow window;
    TFtpF panel(&window, &window);
    panel.SetUploadRecordFile(recordFile);
    panel.SetTrustFile(trustFile);
    panel.SetFtpEncryption(encryption);
    panel.SetFtpHost("127.0.0.1");
    panel.SetFtpPort(QString::number(server.Port()));
    panel.SetFtpUserID("bench");
    panel.PassE->setText("bench pass");
    panel.SetFtpRemoteDir("gallery");
    for (int run = 1; run <= 2; ++run) {
        window.Stored = 0;
        panel.SetUploadFiles(files);
        QElapsedTimer clock;
        clock.start();
        try {
            panel.StartUpload();
        } catch (const std::exception& e) {
            std::printf("error: %s\n", e.what());
            return false;
        }
        while (panel.Uploading() && clock.elapsed() < 600000)
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        std::printf("%s upload %d: %.3f s, %d files stored; status: %s\n", label, run,
                    clock.elapsed() / 1000.0, window.Stored, qPrintable(window.Last));
    }
    return true;
}

constexpr int kDelayMs = 50; // each way

// One run of the files with the settings (a folder of its own per run), timed.
void TimeRun(const char* label, TUploadConnection& connection, TFtpSettings settings, const QString& password,
             const QStringList& files) {
    for (int connections : {1, 3}) {
        settings.Connections = connections;
        settings.RemoteDir += QString::number(connections);
        TUploadRun run(connection, settings, password, files);
        run.OnTrustQuestion = [](const QString&) { return true; };
        run.OnSecret = [](const QString&, QString& secret) {
            secret.clear();
            return true;
        };
        QString told;
        run.OnStatus = [&told](const QString& text) {
            if (text.startsWith("Server allowed"))
                told = " (" + text + ")";
        };
        QElapsedTimer clock;
        clock.start();
        const TUploadResult& result = run.Run();
        std::printf("%s, %d %s: %.2f s, %d files stored%s%s\n", label, connections,
                    connections == 1 ? "connection " : "connections", clock.elapsed() / 1000.0, result.Stored,
                    result.Failure.isEmpty() ? "" : qPrintable("; failed: " + result.Failure),
                    qPrintable(told));
        settings.RemoteDir.chop(1);
    }
}

// FTP and SFTP, straight and through the delaying proxy.
bool DelayedRuns(const QStringList& files) {
    QTemporaryDir ftpRoot, keys, sftpRoot;
    const TPyFtpServer ftp(ftpRoot.path(), "bench", "bench pass");
    if (ftp.Port() == 0) {
        std::printf("no FTP server: %s\n", qPrintable(ftp.Error()));
        return false;
    }
    qunsetenv("SSH_AUTH_SOCK");
    TSshServer sshd(keys.path() + "/");
    if (!Authorized(sshd, keys.path() + "/"))
        return false;
    for (int delay : {0, kDelayMs}) {
        std::unique_ptr<TDelayProxy> ftpProxy, sshProxy;
        if (delay > 0) {
            ftpProxy = std::make_unique<TDelayProxy>(static_cast<quint16>(ftp.Port()), delay, true);
            sshProxy = std::make_unique<TDelayProxy>(static_cast<quint16>(sshd.Port()), delay, false);
        }
        const QString where = delay > 0 ? QString(" %1 ms each way").arg(delay) : QString(" loopback");
        TXoFTP client;
        TFtpUploadConnection ftpConnection(client);
        TFtpSettings settings;
        settings.Host = "127.0.0.1";
        settings.Port = ftpProxy ? ftpProxy->Port() : ftp.Port();
        settings.UserID = "bench";
        settings.RemoteDir = QString("d%1_").arg(delay);
        settings.ChangedOnly = false;
        TimeRun(qPrintable("FTP " + where), ftpConnection, settings, "bench pass", files);
        TSftpUploadConnection sftpConnection;
        sftpConnection.KnownHostsFile = keys.filePath("known_hosts");
        settings.Protocol = TUploadProtocol::Sftp;
        settings.Port = sshProxy ? sshProxy->Port() : sshd.Port();
        settings.UserID = TSshServer::User();
        settings.KeyFile = keys.filePath("user_key");
        settings.RemoteDir = sftpRoot.filePath(QString("d%1_").arg(delay));
        TimeRun(qPrintable("SFTP" + where), sftpConnection, settings, "", files);
    }
    return true;
}

// One file of random bytes, not a whole number of write requests, stored once straight and once through the
// delaying proxy.
bool LargeSftpFile() {
    QTemporaryDir keys, local, remote;
    qunsetenv("SSH_AUTH_SOCK");
    TSshServer sshd(keys.path() + "/");
    if (!Authorized(sshd, keys.path() + "/"))
        return false;
    QByteArray bytes(16 * 1024 * 1024 + 12345, Qt::Uninitialized);
    QRandomGenerator(45).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    const QString file = local.filePath("large.bin");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return false;
    out.close();
    for (int delay : {0, 25}) {
        std::unique_ptr<TDelayProxy> proxy;
        if (delay > 0)
            proxy = std::make_unique<TDelayProxy>(static_cast<quint16>(sshd.Port()), delay, false);
        const int port = proxy ? proxy->Port() : sshd.Port();
        const QString where = delay > 0 ? QString("%1 ms each way").arg(delay) : QString("loopback");
        TXoSftp client;
        client.SetHost("127.0.0.1");
        client.SetPort(port);
        client.SetUserID(TSshServer::User());
        client.SetKeyFile(keys.filePath("user_key"));
        client.SetKnownHostsFile(keys.filePath("known_hosts"));
        client.SetTimeOut(60000);
        client.OnHostKeyQuestion = [](const QString&) { return true; };
        const QString target = remote.filePath(QString("large%1.bin").arg(delay));
        try {
            client.Connect();
            QElapsedTimer clock;
            clock.start();
            client.Upload(file, target);
            const double seconds = clock.elapsed() / 1000.0;
            client.Disconnect();
            QFile stored(target);
            const bool same = stored.open(QIODevice::ReadOnly) && stored.readAll() == bytes;
            std::printf("SFTP 16 MB file, %s: %.2f s, %.1f MB/s%s\n", qPrintable(where), seconds,
                        bytes.size() / seconds / 1e6, same ? "" : " (NOT THE SAME BYTES)");
        } catch (const std::exception& e) {
            std::printf("SFTP 16 MB file, %s: error: %s\n", qPrintable(where), e.what());
            return false;
        }
        if (QFileInfo("/usr/bin/sftp").isExecutable()) {
            QFile batch(local.filePath("batch"));
            if (!batch.open(QIODevice::WriteOnly))
                return false;
            batch.write(("put " + file + " " + target + ".openssh\n").toUtf8());
            batch.close();
            QProcess sftp;
            QElapsedTimer clock;
            clock.start();
            sftp.start("/usr/bin/sftp",
                       {"-q", "-b", batch.fileName(), "-P", QString::number(port), "-i",
                        keys.filePath("user_key"), "-o", "UserKnownHostsFile=" + keys.filePath("known_hosts"),
                        "-o", "StrictHostKeyChecking=no", "-o", "BatchMode=yes", "-F", "/dev/null",
                        TSshServer::User() + "@127.0.0.1"});
            sftp.waitForFinished(600000);
            std::printf("OpenSSH sftp -b, 16 MB file, %s: %.2f s (exit %d, log-in included)\n",
                        qPrintable(where), clock.elapsed() / 1000.0, sftp.exitCode());
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && QString(argv[1]) == "sftp-large")
        return LargeSftpFile() ? 0 : 1;
    QTemporaryDir local, plainRemote, tlsRemote;
    QString error;
    const QString fingerprint = MakeTestCertificate(local.path(), "127.0.0.1", error);
    if (fingerprint.isEmpty()) {
        std::printf("no certificate: %s\n", qPrintable(error));
        return 1;
    }
    // The bench's own certificate is trusted as a user who accepted it once would have it.
    const QString trustFile = local.filePath("ftp-trust.json");
    FtpTrust::Trust(trustFile, "127.0.0.1", fingerprint);
    const TPyFtpServer plain(plainRemote.path(), "bench", "bench pass");
    const TPyFtpServer tls(tlsRemote.path(), "bench", "bench pass", 0,
                           {"--tls", local.filePath("127.0.0.1.pem"), local.filePath("127.0.0.1.key")});
    for (const TPyFtpServer* server : {&plain, &tls}) {
        if (server->Port() == 0) {
            std::printf("no FTP server: %s\n", qPrintable(server->Error()));
            return 1;
        }
    }
    QDir(local.path()).mkdir("gallery");
    const QStringList files = MakeGallery(local.filePath("gallery") + "/");
    std::printf("%lld files, upload only changed files on\n", static_cast<long long>(files.size()));
    const bool done =
        UploadTwice(app, "plain", plain, "none", files, local.filePath("plain.json"), trustFile) &&
        UploadTwice(app, "TLS  ", tls, "require", files, local.filePath("tls.json"), trustFile) &&
        DelayedRuns(files);
    return done ? 0 : 1;
}
