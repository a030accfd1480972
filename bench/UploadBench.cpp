// Uploads a gallery of 100 pictures (copy, thumbnail and page each, and index.html) twice from the real
// upload panel to pyftpdlib on 127.0.0.1, with "Upload only changed files" on, in clear and over TLS:
// prints the time of each upload and how many files each stored. The second upload is expected to store
// nothing.
#include "app/FtpFU.h"

#include "gallery/FtpTrust.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchDialogs.h"
#include "support/FtpTestSupport.h"

namespace {

constexpr int kPictures = 100;

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

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
        UploadTwice(app, "TLS  ", tls, "require", files, local.filePath("tls.json"), trustFile);
    return done ? 0 : 1;
}
