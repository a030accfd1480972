// Upload panel against a real FTP server (pyftpdlib on 127.0.0.1): uploads, browsing, log-in, abort.
#include <random>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "FtpPanelFixture.h"

namespace {

class FtpPanelServerTest : public TFtpPanelTest {
protected:
    // One server for the suite; every test works in a remote folder of its own.
    static void SetUpTestSuite() {
        Root = std::make_unique<TTempDir>();
        Server = std::make_unique<TPyFtpServer>(Root->Path(), "anna", "s3cret pass");
    }
    static void TearDownTestSuite() {
        Server.reset();
        Root.reset();
    }
    void SetUp() override {
        TFtpPanelTest::SetUp();
        ASSERT_GT(Server->Port(), 0) << Server->Error().toStdString();
        UseServer(Server->Port(), "anna", "s3cret pass");
    }

    // The browser's items: ".." first, then the folders in the server's order, here sorted.
    static QStringList DirNames(const QListWidget* list) {
        QStringList names;
        for (int i = 1; i < list->count(); ++i)
            names << list->item(i)->text();
        names.sort();
        return (list->count() > 0 ? QStringList{list->item(0)->text()} : QStringList()) + names;
    }

    static inline std::unique_ptr<TTempDir> Root;
    static inline std::unique_ptr<TPyFtpServer> Server;
};

QByteArray RandomBytes(qsizetype size) {
    std::mt19937 generator(8);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Every missing level of the remote directory is made.
TEST_F(FtpPanelServerTest, UploadStoresEveryFileInACreatedDirectoryAndEmptiesTheList) {
    const QString page = FLocal.File("index.html");
    WriteBytes(page, "<html>\r\n<body>\r\n</body>\r\n</html>\r\n");
    FWindow->Files = {CopyTestPicture("jpeg_baseline_420.jpg", FLocal.Path()),
                      CopyTestPicture("bmp_24bpp.bmp", FLocal.Path()), page};
    FPanel->SetFtpRemoteDir("/gallery/sub dir/deep");
    FPanel->ConnectionsSE->setValue(1); // a progress bar per file, over the panel's own client

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    const QString dir = Root->File("gallery/sub dir/deep/");
    for (const char* name : {"jpeg_baseline_420.jpg", "bmp_24bpp.bmp"}) {
        const QByteArray sent = ReadBytes(FLocal.File(name));
        EXPECT_EQ(FirstDifference(sent, ReadBytes(dir + name)), "") << name;
    }
    // Stored as text: this server keeps text with its own line ends.
    EXPECT_EQ(ReadBytes(dir + "index.html"), "<html>\n<body>\n</body>\n</html>\n");
    EXPECT_TRUE(FWindow->Statuses.contains("Uploading: bmp_24bpp.bmp"));
    EXPECT_TRUE(FWindow->Statuses.contains("MakeDir success"));
    ASSERT_EQ(FWindow->BarMaxima.size(), 3u);
    EXPECT_EQ(FWindow->BarMaxima[1], QFileInfo(FLocal.File("bmp_24bpp.bmp")).size());
    EXPECT_EQ(FWindow->BarLastValue[1], FWindow->BarMaxima[1]);
    EXPECT_EQ(FPanel->UploadFilesLB->count(), 0);
    ExpectIdle();
}

// "TLS if the server offers it" on a server without TLS: the run says while and after it stores that the
// files go unencrypted, and why.
TEST_F(FtpPanelServerTest, TlsIfOfferedOnAServerWithoutTlsSaysTheUploadIsNotEncrypted) {
    FPanel->SetFtpEncryption("auto");
    FWindow->Files = {CopyTestPicture("bmp_24bpp.bmp", FLocal.Path())};
    FPanel->SetFtpRemoteDir("clear");

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    EXPECT_TRUE(QFile::exists(Root->File("clear/bmp_24bpp.bmp")));
    EXPECT_TRUE(FWindow->Statuses.contains("Connected, not encrypted: localhost does not offer TLS"));
    EXPECT_TRUE(
        FWindow->Statuses.contains("Uploading: bmp_24bpp.bmp (not encrypted: localhost does not offer TLS)"));
    EXPECT_EQ(WithoutRunTime(FWindow->Statuses.last()),
              "Upload done: 1 file stored, 0 skipped, 0 removed, in T s; Not encrypted: localhost does not "
              "offer TLS");
    ExpectIdle();
}

TEST_F(FtpPanelServerTest, MissingFileIsSkippedAndNamedAndTheRunGoesOn) {
    QDir(Root->Path()).mkpath("skip");
    const QString gone = FLocal.File("gone.jpg");
    FWindow->Files = {gone, CopyTestPicture("bmp_24bpp.bmp", FLocal.Path()), FLocal.File("gone too.jpg")};
    FPanel->SetFtpRemoteDir("skip");
    FPanel->CreateDirCB->setChecked(false);

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    EXPECT_TRUE(QFile::exists(Root->File("skip/bmp_24bpp.bmp")));
    EXPECT_FALSE(QFile::exists(Root->File("skip/gone.jpg")));
    EXPECT_TRUE(FWindow->Statuses.contains("File not found, skipped: " + gone));
    EXPECT_EQ(WithoutRunTime(FWindow->Statuses.last()),
              "Upload done: 1 file stored, 0 skipped, 0 removed, in T s; Not found, not uploaded: gone.jpg, "
              "gone too.jpg");
    ExpectIdle();
}

TEST_F(FtpPanelServerTest, BrowseListsFoldersEnteringOneSetsTheRemoteDirAndUploadClosesTheBrowser) {
    QDir(Root->Path()).mkpath("browse/photos/2004");
    QDir(Root->Path()).mkpath("browse/old-2004");
    WriteBytes(Root->File("browse/readme.txt"), "not a folder");
    FPanel->SetFtpRemoteDir("browse");

    FPanel->GetRemoteDirSB->click();
    ASSERT_TRUE(FPanel->Browsing());
    EXPECT_TRUE(FPanel->DirLV->isVisible());
    EXPECT_FALSE(FPanel->GetRemoteDirSB->isEnabled()); // a second press cannot reach it
    EXPECT_FALSE(FPanel->HostE->isEnabled());
    EXPECT_EQ(FPanel->FtpRemoteDir(), "browse"); // as typed until a folder is picked

    auto enter = [&](const QString& name) {
        const auto found = FPanel->DirLV->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        const QPoint at = FPanel->DirLV->visualItemRect(found[0]).center();
        QTest::mouseClick(FPanel->DirLV->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(FPanel->DirLV->viewport(), Qt::LeftButton, {}, at);
    };
    enter("browse");
    EXPECT_EQ(FPanel->FtpRemoteDir(), "/browse");
    EXPECT_EQ(DirNames(FPanel->DirLV), QStringList({"..", "old-2004", "photos"}));
    enter("photos");
    enter("..");
    enter("old-2004");
    EXPECT_EQ(FPanel->FtpRemoteDir(), "/browse/old-2004");
    EXPECT_TRUE(FPanel->DirLV->isEnabled());
    EXPECT_EQ(FWindow->Shown.Errors, QStringList());

    // Upload while browsing: the browser and its connection close, a fresh connection stores the file.
    FWindow->Files = {CopyTestPicture("jpeg_baseline_420.jpg", FLocal.Path())};
    UploadAndWait();
    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    EXPECT_TRUE(QFile::exists(Root->File("browse/old-2004/jpeg_baseline_420.jpg")));
    ExpectIdle();
}

// The server's idle time-out while the browser is open: the panel is idle at once, showing the server's
// reply.
TEST_F(FtpPanelServerTest, IdleTimeOutWhileBrowsingReturnsToIdleWithTheServersReply) {
    TPyFtpServer impatient(Root->Path(), "anna", "s3cret pass", 1);
    ASSERT_GT(impatient.Port(), 0) << impatient.Error().toStdString();
    UseServer(impatient.Port(), "anna", "s3cret pass");

    FPanel->GetRemoteDirSB->click();
    ASSERT_TRUE(FPanel->Browsing());
    ASSERT_TRUE(PumpUntil([&] { return !FPanel->Browsing(); }));

    EXPECT_EQ(FWindow->Statuses.last(), "421 Control connection timed out.");
    EXPECT_EQ(FWindow->Shown.Messages, QStringList());
    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    ExpectIdle();
}

TEST_F(FtpPanelServerTest, WrongPasswordShowsTheServersReplyAndReturnsToIdle) {
    FPanel->PassE->setText("wrong");
    FWindow->Files = {CopyTestPicture("bmp_24bpp.bmp", FLocal.Path())};
    FPanel->SetFtpRemoteDir("never");

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Messages, QStringList({"Connection Failed"}));
    ASSERT_EQ(FWindow->Shown.Errors.size(), 1);
    EXPECT_TRUE(FWindow->Shown.Errors[0].startsWith("530 ")) << FWindow->Shown.Errors[0].toStdString();
    EXPECT_FALSE(QDir(Root->File("never")).exists());
    ExpectIdle();
}

// A second upload stores what changed here (new content) or there (a copy of another size), and leaves out
// the rest: a copy the test replaced with one of the same size stays as the test left it.
TEST_F(FtpPanelServerTest, ChangedOnlyStoresWhatChangedHereOrOnTheServer) {
    FPanel->SetUploadRecordFile(FLocal.File("uploads.json"));
    WriteBytes(FLocal.File("index.html"), "<html>\r\n</html>\r\n");
    QStringList files;
    for (const QString name : {"a.jpg", "b.jpg", "c.jpg", "index.html"}) {
        if (!name.endsWith(".html"))
            WriteBytes(FLocal.File(name), QByteArray(1000, name[0].toLatin1()));
        files << FLocal.File(name);
    }
    FWindow->Files = files;
    FPanel->SetFtpRemoteDir("changed");
    UploadAndWait();
    ASSERT_EQ(FWindow->Shown.Errors, QStringList());

    const QString dir = Root->File("changed/");
    for (const char* name : {"a.jpg", "b.jpg", "index.html"})
        WriteBytes(dir + name, QByteArray(QFileInfo(dir + name).size(), 'm'));
    WriteBytes(dir + "c.jpg", "cut short");
    WriteBytes(FLocal.File("b.jpg"), QByteArray(1000, 'B'));
    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    EXPECT_EQ(ReadBytes(dir + "a.jpg"), QByteArray(1000, 'm'));
    EXPECT_EQ(ReadBytes(dir + "index.html"), QByteArray(15, 'm')); // the server's size of a page sent as text
    EXPECT_EQ(ReadBytes(dir + "b.jpg"), QByteArray(1000, 'B'));
    EXPECT_EQ(ReadBytes(dir + "c.jpg"), QByteArray(1000, 'c'));
    EXPECT_EQ(WithoutRunTime(FWindow->Statuses.last()),
              "Upload done: 2 files stored, 2 skipped, 0 removed, in T s");
    const QByteArray record = ReadBytes(FLocal.File("uploads.json"));
    EXPECT_TRUE(
        record.contains("\"ftp://anna@localhost:" + QByteArray::number(Server->Port()) + "/changed\""));

    // The same folder typed from the server's root is the same target.
    FPanel->SetFtpRemoteDir("/changed/");
    UploadAndWait();
    EXPECT_EQ(WithoutRunTime(FWindow->Statuses.last()),
              "Upload done: 0 files stored, 4 skipped, 0 removed, in T s");

    FPanel->ChangedOnlyCB->setChecked(false);
    UploadAndWait();
    EXPECT_EQ(ReadBytes(dir + "a.jpg"), QByteArray(1000, 'a'));
    ExpectIdle();
}

// The file published earlier stays as it was, and the half-stored one leaves nothing behind.
TEST_F(FtpPanelServerTest, AbortDuringALargeFileEndsTheRunAndKeepsThePublishedFile) {
    QDir(Root->Path()).mkpath("abort");
    WriteBytes(Root->File("abort/big.bin"), "published");
    WriteBytes(FLocal.File("big.bin"), RandomBytes(32 * 1024 * 1024));
    FWindow->Files = {FLocal.File("big.bin"), CopyTestPicture("bmp_24bpp.bmp", FLocal.Path())};
    FPanel->SetFtpRemoteDir("abort");
    FPanel->ConnectionsSE->setValue(1); // the picture must not arrive over another connection meanwhile
    // The press arrives while the first bytes of the big file are on their way.
    FWindow->OnBarCreated = [&](QProgressBar* bar) {
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
            if (value > 0 && FPanel->UploadBBKind() == TBitBtnKind::bkAbort && FPanel->UploadBB->isEnabled())
                FPanel->UploadBB->click();
        });
    };

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"Socket send aborted"}));
    EXPECT_TRUE(FWindow->Statuses.contains("Upload failure"));
    EXPECT_EQ(FPanel->UploadFilesLB->count(), 2);
    EXPECT_EQ(QDir(Root->File("abort")).entryList(QDir::Files | QDir::Hidden), QStringList({"big.bin"}));
    EXPECT_EQ(ReadBytes(Root->File("abort/big.bin")), "published");
    ExpectIdle();
}

// The whole server stops answering while three connections store: Abort brings the panel to idle at once,
// not after the connections' time-outs.
TEST_F(FtpPanelServerTest, AbortWithEveryConnectionStalledIsIdleAtOnce) {
    TPyFtpServer stalling(Root->Path(), "anna", "s3cret pass");
    ASSERT_GT(stalling.Port(), 0) << stalling.Error().toStdString();
    UseServer(stalling.Port(), "anna", "s3cret pass");
    QStringList files;
    for (int i = 0; i < 6; ++i) {
        files << FLocal.File(QString("p%1.bin").arg(i));
        WriteBytes(files.last(), RandomBytes(4 << 20));
    }
    FWindow->Files = files;
    FPanel->SetFtpRemoteDir("stalled");
    FPanel->ConnectionsSE->setValue(3);
    bool paused = false;
    QElapsedTimer clock;
    FWindow->OnBarCreated = [&](QProgressBar* bar) {
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
            if (value == 0 || paused)
                return;
            paused = true;
            stalling.Pause();
            QTimer::singleShot(300, FPanel, [&] {
                clock.start();
                FPanel->UploadBB->click();
            });
        });
    };

    UploadAndWait();
    const qint64 ms = clock.elapsed();
    stalling.Resume();

    ASSERT_TRUE(paused);
    EXPECT_LT(ms, 2500) << "milliseconds from Abort to idle (each connection's time-out is 15 s)";
    ExpectIdle();
}

} // namespace
