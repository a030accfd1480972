// Uploads a gallery of 100 pictures (copy, thumbnail and page each, and index.html) twice from the real
// upload panel to pyftpdlib on 127.0.0.1, with "Upload only changed files" on, in clear and over TLS:
// prints the time of each upload and how many files each stored. The second upload is expected to store
// nothing. Then the time of the same 301 files straight on loopback and through a proxy that delays each
// direction by 25 ms, over FTP and SFTP (sshd as the tests start it), with 1 and with 3 connections, and
// beside them lftp mirror -R -P 3 over both and OpenSSH's sftp -b. With the argument "sftp-large" only one
// 16 MB file over SFTP, straight and through the proxy, and the same file by sftp -b and lftp put.
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
#include "support/FtpTestSupport.h"
#include "support/SshTestServer.h"
#include "upload/UploadRun.h"

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

constexpr int kDelayMs = 25; // each way: 50 ms per round trip

// A peer client's run, timed, and how many files reached the folder it stored into (none given: not told).
void TimePeer(const QString& label, const QString& program, const QStringList& arguments,
              const QString& remoteFolder) {
    if (!QFileInfo(program).isExecutable()) {
        std::printf("%s: %s is not installed (scripts/bench-corpus installs it)\n", qPrintable(label),
                    qPrintable(program));
        return;
    }
    QProcess peer;
    peer.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    peer.start(program, arguments);
    peer.closeWriteChannel();
    // The servers' own output is read meanwhile: pyftpdlib stops when its log finds its pipe full.
    while (!peer.waitForFinished(20) && peer.state() != QProcess::NotRunning && clock.elapsed() < 600000)
        QCoreApplication::processEvents();
    const double seconds = clock.elapsed() / 1000.0;
    const QString stored =
        remoteFolder.isEmpty()
            ? QString()
            : QString(", %1 files stored").arg(QDir(remoteFolder).entryList(QDir::Files).size());
    std::printf("%s: %.2f s%s (exit %d, log-in included)%s\n", qPrintable(label), seconds, qPrintable(stored),
                peer.exitCode(),
                peer.exitCode() == 0 ? "" : qPrintable(": " + QString::fromUtf8(peer.readAll()).left(300)));
}

// lftp's run of commands, with nothing asked, retried or kept between runs.
QStringList LftpArguments(const QString& commands) {
    return {"-c",
            "set cmd:interactive false; set net:max-retries 1; set net:timeout 30; set ftp:ssl-allow no; "
            "set ftp:passive-mode on; " +
                commands};
}

// ssh as OpenSSH's clients are told to run here: the bench's key, its known hosts, no question.
QStringList SshOptions(const QString& keys) {
    return {"-i", keys + "user_key",
            "-o", "UserKnownHostsFile=" + keys + "known_hosts",
            "-o", "StrictHostKeyChecking=no",
            "-o", "BatchMode=yes",
            "-F", "/dev/null"};
}

// OpenSSH's sftp running a batch file against the tests' sshd at port.
QStringList SftpBatchArguments(const QString& batch, int port, const QString& keys) {
    return QStringList{"-q", "-b", batch, "-P", QString::number(port)} + SshOptions(keys) +
           QStringList{TSshServer::User() + "@127.0.0.1"};
}

// lftp over SFTP to the tests' sshd at port, running command there.
QStringList LftpSftpArguments(int port, const QString& keys, const QString& command) {
    return LftpArguments(
        "set sftp:connect-program '/usr/bin/ssh -a -x " + SshOptions(keys).join(' ') +
        QString("'; open -u %1, -p %2 sftp://127.0.0.1; ").arg(TSshServer::User()).arg(port) + command);
}

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
        // The peers, into folders of their own.
        const QString gallery = QFileInfo(files.first()).absolutePath();
        const QString prefix = QString("p%1_").arg(delay);
        const int ftpPort = ftpProxy ? ftpProxy->Port() : ftp.Port();
        const int sshPort = sshProxy ? sshProxy->Port() : sshd.Port();
        TimePeer("lftp mirror -R -P 3, FTP " + where, "/usr/bin/lftp",
                 LftpArguments(QString("open -u bench,'bench pass' -p %1 127.0.0.1; mirror -R -P 3 %2 %3lftp")
                                   .arg(ftpPort)
                                   .arg(gallery, prefix)),
                 ftpRoot.filePath(prefix + "lftp"));
        const QString sshFolder = sftpRoot.filePath(prefix + "sftp");
        QDir().mkpath(sshFolder);
        QFile batch(keys.filePath(prefix + "batch"));
        if (batch.open(QIODevice::WriteOnly))
            for (const QString& file : files)
                batch.write(("put " + file + " " + sshFolder + "/\n").toUtf8());
        batch.close();
        TimePeer("OpenSSH sftp -b, SFTP " + where, "/usr/bin/sftp",
                 SftpBatchArguments(batch.fileName(), sshPort, keys.path() + "/"), sshFolder);
        const QString lftpFolder = sftpRoot.filePath(prefix + "lftp");
        TimePeer(
            "lftp mirror -R -P 3, SFTP " + where, "/usr/bin/lftp",
            LftpSftpArguments(sshPort, keys.path() + "/", "mirror -R -P 3 " + gallery + " " + lftpFolder),
            lftpFolder);
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
        QFile batch(local.filePath("batch"));
        if (batch.open(QIODevice::WriteOnly))
            batch.write(("put " + file + " " + target + ".openssh\n").toUtf8());
        batch.close();
        TimePeer("OpenSSH sftp -b, 16 MB file, " + where, "/usr/bin/sftp",
                 SftpBatchArguments(batch.fileName(), port, keys.path() + "/"), {});
        TimePeer("lftp put, 16 MB file, " + where, "/usr/bin/lftp",
                 LftpSftpArguments(port, keys.path() + "/", "put " + file + " -o " + target + ".lftp"), {});
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
