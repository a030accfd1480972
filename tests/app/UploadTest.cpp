// Uploading from the main window to a real FTP server (pyftpdlib on 127.0.0.1): the gallery generated for
// the upload, the run's files handed to the panel, and what happens when there is nothing sound to upload.
#include "AppFixture.h"
#include "GenTestSupport.h"
#include "UploadServer.h"

#include <csignal>
#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include "app/VlxRunCommands.h"
#include "cli/VlxCommandLine.h"
#include "grid/GfxGrid.h"
#include "settings/VlxConfigDir.h"
#include "support/DroppingProxy.h"
#include "support/HostileFiles.h"

namespace {

class TUploadTest : public TAppTest {
protected:
    // One server for the suite; every test stores into a remote folder of its own.
    static void SetUpTestSuite() {
        Root = std::make_unique<TTempDir>();
        Server = std::make_unique<TUploadServer>(Root->Path(), "anna", "s3cret pass");
    }
    static void TearDownTestSuite() {
        Server.reset();
        Root.reset();
    }
    void SetUp() override {
        TAppTest::SetUp();
        ASSERT_GT(Server->Port(), 0) << Server->Error().toStdString();
        UseServer();
    }

    TFtpF& P() { return *W().FtpF1; }

    // Test servers listen on free ports above 999, which the three-digit port field cannot hold: the field
    // keeps 21 and the client takes the server's port once the host is looked up.
    void UseServer() {
        P().SetFtpHost("localhost");
        P().SetFtpPort("21");
        P().SetFtpUserID("anna");
        P().PassE->setText("s3cret pass");
        TXoFTP& client = P().XoFTP();
        client.OnHostResolved = [&client, port = Server->Port(),
                                 panelHandler = client.OnHostResolved](QObject* sender) {
            client.SetPort(port);
            panelHandler(sender);
        };
    }

    // Three pictures in the 3 x 2 table of a fresh window.
    void LoadThree() {
        Load(0, 0, TestData("gen/jpeg_baseline_420.jpg"));
        Load(1, 0, TestData("gen/bmp_24bpp.bmp"));
        Load(0, 1, TestData("gen/ico_32bpp_bmp.ico"));
    }

    // Presses Upload and waits until the request is answered: files stored, or something shown instead.
    void PressUploadAndWait() {
        P().UploadBB->click();
        ASSERT_TRUE(PumpUntil([&] {
            const bool stored =
                !W().RunCmds->UsedFiles().isEmpty() && !P().Uploading() && P().UploadFilesLB->count() == 0;
            return stored || !D().Errors.isEmpty() || !D().Messages.empty();
        }));
        // The run ends inside the handling of its last message; what it posted last is handled here.
        ProcessEvents();
    }

    static inline std::unique_ptr<TTempDir> Root;
    static inline std::unique_ptr<TUploadServer> Server;
};

QStringList NamesOf(const QStringList& paths) {
    QStringList names;
    for (const QString& path : paths)
        names << QFileInfo(path).fileName();
    names.sort();
    return names;
}

} // namespace

// The working directory is the output directory of a fresh window: the run that the generate command
// would confirm twice goes ahead without a question.
TEST_F(TUploadTest, UploadGeneratesIntoTheWorkingDirectoryAndStoresEveryFileInACreatedFolder) {
    LoadThree();
    ASSERT_EQ(W().OutputDir(), W().WorkDir());
    ASSERT_TRUE(P().CreateDirCB->isChecked());
    P().SetFtpRemoteDir("gallery");

    PressUploadAndWait();

    EXPECT_TRUE(D().Messages.empty()) << D().Messages.front().Text.toStdString();
    // The background tile, and per picture its copy, its thumbnail and its page, then the table page.
    const QStringList used = W().RunCmds->UsedFiles();
    ASSERT_EQ(used.size(), 1 + 3 * 3 + 1);
    for (const QString& path : used) {
        EXPECT_TRUE(path.startsWith(W().WorkDir())) << path.toStdString();
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    }
    EXPECT_EQ(FilesIn(Root->File("gallery")), NamesOf(used));
    for (const QString& path : used) {
        const QString name = QFileInfo(path).fileName();
        QByteArray expected = ReadBytes(path);
        // Pages go as text, and this server keeps text with its own line ends.
        if (name.endsWith(".html"))
            expected.replace("\r\n", "\n");
        EXPECT_EQ(FirstDifference(expected, ReadBytes(Root->File("gallery/" + name))), "")
            << name.toStdString();
    }
    EXPECT_EQ(P().UploadFilesLB->count(), 0);
    EXPECT_FALSE(P().UploadFilesLB->isVisible());
    EXPECT_FALSE(P().XoFTP().IsConnected());
    EXPECT_EQ(P().UploadBB->text(), "&Upload");
}

// A picture changed on disk and the gallery generated again: the second upload stores exactly the files
// whose bytes changed. The server's copies are first replaced with marks of the same size, so a mark still
// there is a file left out.
TEST_F(TUploadTest, SecondUploadStoresOnlyTheFilesWhoseBytesChanged) {
    const QString picture = FFiles.File("changing.jpg");
    WriteBytes(picture, ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    LoadThree();
    Load(1, 1, picture);
    P().SetFtpRemoteDir("changes");
    int logIns = 0;
    TXoFTP& client = P().XoFTP();
    client.OnConnect = [&logIns, panelHandler = client.OnConnect](QObject* sender) {
        ++logIns;
        panelHandler(sender);
    };
    PressUploadAndWait();
    ASSERT_TRUE(D().Errors.isEmpty()) << D().Errors[0].toStdString();
    auto snapshot = [&] {
        QHash<QString, QByteArray> files;
        for (const QString& path : W().RunCmds->UsedFiles())
            files.insert(QFileInfo(path).fileName(), ReadBytes(path));
        return files;
    };
    const QHash<QString, QByteArray> before = snapshot();
    const QString dir = Root->File("changes/");
    for (const QString& name : FilesIn(dir))
        WriteBytes(dir + name, QByteArray(QFileInfo(dir + name).size(), 'm'));

    WriteBytes(picture, ReadBytes(TestData("gen/jpeg_progressive.jpg")));
    P().UploadBB->click();
    ASSERT_TRUE(PumpUntil([&] { return logIns == 2 && !P().Uploading() && !client.IsConnected(); }));

    ASSERT_TRUE(D().Errors.isEmpty()) << D().Errors[0].toStdString();
    QStringList changed, stored;
    const QHash<QString, QByteArray> after = snapshot();
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (before.value(it.key()) != it.value())
            changed << it.key();
        if (!ReadBytes(dir + it.key()).startsWith("mmm"))
            stored << it.key();
    }
    changed.sort();
    stored.sort();
    EXPECT_EQ(stored, changed);
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_LT(changed.size(), after.size());
}

struct TRefusal {
    const char* Name;
    std::function<void(TVeltrixF&, const TTempDir&)> Arrange;
    const char* Shown;  // the start of the one text shown, in a message box or the error display
    bool Error;         // shown by the error display rather than a message box
    const char* Remote; // the remote folder that must not appear
};

class TUploadRefusalTest : public TUploadTest, public testing::WithParamInterface<TRefusal> {
protected:
    void Arrange() { GetParam().Arrange(W(), FFiles); }
};

// Nothing is stored and the panel stays idle, its list empty, when there is no sound gallery to upload.
TEST_P(TUploadRefusalTest, ShowsWhyAndStoresNothing) {
    Arrange();
    P().SetFtpRemoteDir(GetParam().Remote);

    PressUploadAndWait();

    ASSERT_EQ(D().Errors.size() + D().Messages.size(), 1u);
    const QString text = GetParam().Error ? D().Errors[0] : D().Messages[0].Text;
    EXPECT_TRUE(text.startsWith(GetParam().Shown)) << text.toStdString();
    D().Errors.clear();
    ProcessEvents();
    EXPECT_FALSE(QFileInfo::exists(Root->File(GetParam().Remote)));
    EXPECT_EQ(P().UploadFilesLB->count(), 0);
    EXPECT_FALSE(P().Uploading());
    EXPECT_FALSE(P().XoFTP().IsConnected());
}

// A run that fails midway has written part of the gallery; none of that part goes to the server.
void OutputDirUnderAFile(TVeltrixF& window, const TTempDir& files) {
    WriteBytes(files.File("plain-file"), "not a folder");
    window.SetOutputDir(files.File("plain-file/out/"));
    window.Grid()->LoadCell(0, 0, TestData("gen/bmp_24bpp.bmp"));
}

// A picture that went away after it was placed: the run stops at it, after the background tile.
void PictureGoneBeforeTheRun(TVeltrixF& window, const TTempDir& files) {
    const QString picture = files.File("soon-gone.bmp");
    WriteBytes(picture, ReadBytes(TestData("gen/bmp_24bpp.bmp")));
    window.Grid()->LoadCell(0, 0, picture);
    QCoreApplication::sendPostedEvents(); // the preview shows the placed picture while it is there
    QFile::remove(picture);
    window.SetOutputDir(files.File(""));
}

INSTANTIATE_TEST_SUITE_P(Cases, TUploadRefusalTest,
                         testing::Values(TRefusal{"EmptyTable", [](TVeltrixF&, const TTempDir&) {},
                                                  "No images to process", false, "empty"},
                                         TRefusal{"OutputDirCannotBeMade", OutputDirUnderAFile,
                                                  "Cannot write into the folder ", true, "unmade"},
                                         TRefusal{"PictureGone", PictureGoneBeforeTheRun, "Cannot load ",
                                                  true, "gone"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The panel's list shows what the latest run wrote whenever the FTP tab comes up; it stays hidden until
// an upload runs.
TEST_F(TUploadTest, ShowingTheFtpTabHandsTheLatestRunsFilesToThePanel) {
    ASSERT_TRUE(W().FtpTS->isAncestorOf(W().FtpF1));
    auto items = [&] {
        QStringList texts;
        for (int i = 0; i < P().UploadFilesLB->count(); ++i)
            texts << P().UploadFilesLB->item(i)->text();
        return texts;
    };
    Load(0, 0, TestData("gen/bmp_24bpp.bmp"));
    W().RunCmds->GenerateInto(FFiles.File("first/"));
    ASSERT_FALSE(W().RunCmds->UsedFiles().isEmpty());
    EXPECT_EQ(items(), QStringList());

    W().MainPC->setCurrentWidget(W().FtpTS);
    EXPECT_EQ(items(), W().RunCmds->UsedFiles());
    EXPECT_FALSE(P().UploadFilesLB->isVisible());

    Load(1, 0, TestData("gen/jpeg_baseline_420.jpg"));
    W().RunCmds->GenerateInto(FFiles.File("second/"));
    const QStringList second = W().RunCmds->UsedFiles();
    EXPECT_NE(items(), second);
    W().MainPC->setCurrentWidget(W().Options->Tab);
    W().MainPC->setCurrentWidget(W().FtpTS);
    EXPECT_EQ(items(), second);
}

// `veltrix upload` stores a generated folder with the options file's FTP settings, the password from
// standard input or the environment; a second run stores nothing, a refused log-in fails the command.
TEST_F(TUploadTest, CommandLineStoresAFolderWithTheOptionsFileSettings) {
    LoadThree();
    const QString site = FFiles.File("site/");
    W().RunCmds->GenerateInto(site);
    WriteBytes(
        FConfig.File(kOptionsFileName),
        QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=cli\n").arg(Server->Port()).toUtf8());
    QString out, err;
    auto run = [&](QString input) {
        out.clear();
        err.clear();
        QTextStream outStream(&out), errStream(&err), inStream(&input);
        return RunCommandLine({"upload", "--out", site}, TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}},
                              {outStream, errStream, false, &inStream, false});
    };
    qunsetenv(kFtpPasswordVariable);
    ASSERT_EQ(run("s3cret pass\n"), kCliOk) << err.toStdString();
    EXPECT_EQ(out, QString("ftp://anna@127.0.0.1:%1/cli\n").arg(Server->Port()));
    const QStringList names = FilesIn(site);
    EXPECT_EQ(WithoutRunTime(err),
              QString("upload %1/%1\nveltrix: Upload done: %1 files stored, 0 skipped, 0 removed, in T s\n")
                  .arg(names.size()));
    ASSERT_EQ(FilesIn(Root->File("cli")), names);
    for (const QString& name : names) {
        QByteArray expected = ReadBytes(site + name);
        if (name.endsWith(".html"))
            expected.replace("\r\n", "\n");
        EXPECT_EQ(FirstDifference(expected, ReadBytes(Root->File("cli/" + name))), "") << name.toStdString();
    }

    qputenv(kFtpPasswordVariable, "s3cret pass");
    EXPECT_EQ(run(""), kCliOk) << err.toStdString();
    EXPECT_TRUE(WithoutRunTime(err).endsWith(
        QString("veltrix: Upload done: 0 files stored, %1 skipped, 0 removed, in T s\n").arg(names.size())))
        << err.toStdString();

    qputenv(kFtpPasswordVariable, "wrong");
    EXPECT_EQ(run(""), kCliFailed);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("530")) << err.toStdString();
    qunsetenv(kFtpPasswordVariable);
}

// A pipe, or a link to /dev/zero, in the folder would be waited on or hashed for ever: `veltrix upload` names
// each on standard error and stores the rest.
TEST_F(TUploadTest, CommandLineSkipsWhatIsNoRegularFile) {
    const QString site = FFiles.File("site/");
    ASSERT_TRUE(QDir().mkpath(site));
    WriteBytes(site + "a.bin", QByteArray(1000, 'a'));
    MakeFifo(site + "pipe.html");
    MakeZeroLink(site + "zeros.jpg");
    WriteBytes(
        FConfig.File(kOptionsFileName),
        QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=odd\n").arg(Server->Port()).toUtf8());
    qputenv(kFtpPasswordVariable, "s3cret pass");
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunCommandLine({"upload", "--out", site}, TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}},
                             {outStream, errStream}),
              kCliOk)
        << err.toStdString();
    qunsetenv(kFtpPasswordVariable);
    for (const char* name : {"pipe.html", "zeros.jpg"})
        EXPECT_TRUE(err.contains("veltrix: " + site + name +
                                 " is not uploaded: it is a pipe or a device, not a regular file\n"))
            << err.toStdString();
    EXPECT_EQ(FilesIn(Root->File("odd")), QStringList{"a.bin"});
}

// `veltrix upload` stopped by Ctrl-C or SIGTERM acts as Abort: the file being stored leaves no temporary
// file on the server and the command fails saying why, counting only the files still to store. What arrived
// before is recorded as it arrived, so the next run leaves it out. Asked for TLS where the server has none,
// the command says the upload is not encrypted.
TEST_F(TUploadTest, CommandLineStoppedByASignalAbortsAndKeepsWhatArrived) {
    const QString site = FFiles.File("site/");
    ASSERT_TRUE(QDir().mkpath(site));
    WriteBytes(site + "a.bin", QByteArray(1000, 'a'));
    WriteBytes(site + "b.bin", QByteArray(1000, 'b'));
    WriteBytes(site + "c.bin", QByteArray(4 * 1024 * 1024, 'c'));
    WriteBytes(site + "d.html", "<p>d</p>");
    WriteBytes(FConfig.File(kOptionsFileName),
               QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=stopped\nEncryption=auto\n"
                       "Connections=1\n") // the big file over the command's own client
                   .arg(Server->Port())
                   .toUtf8());
    qputenv(kFtpPasswordVariable, "s3cret pass");
    QString out, err;
    auto run = [&](int signal) {
        out.clear();
        err.clear();
        // The command's own client gets the signal at the first bytes of the big file.
        QTimer::singleShot(0, [&, signal] {
            for (TXoFTP* command : qApp->findChildren<TXoFTP*>("XoFTP", Qt::FindDirectChildrenOnly)) {
                if (signal == 0)
                    continue;
                TXoFTP& client = *command;
                client.OnPacketSent = [&client, signal, handler = client.OnPacketSent](QObject* sender) {
                    handler(sender);
                    if (client.TransferSize() > 1000 && client.DataSentCount() > 0)
                        std::raise(signal);
                };
            }
        });
        QTextStream outStream(&out), errStream(&err);
        return RunCommandLine({"upload", "--out", site}, TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}},
                              {outStream, errStream, false, nullptr, false});
    };
    const QString notEncrypted = "veltrix: not encrypted: 127.0.0.1 does not offer TLS\n";

    EXPECT_EQ(run(SIGINT), kCliFailed);
    EXPECT_TRUE(err.startsWith(notEncrypted)) << err.toStdString();
    EXPECT_TRUE(err.endsWith("veltrix: Upload stopped by SIGINT (2 files not uploaded)\n"))
        << err.toStdString();
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(FilesIn(Root->File("stopped")), QStringList({"a.bin", "b.bin"}));

    // A temporary file left by a process killed while storing goes at the start of the next upload.
    WriteBytes(Root->File("stopped/d.html.part"), "cut short");
    EXPECT_EQ(run(SIGTERM), kCliFailed);
    EXPECT_TRUE(err.endsWith("veltrix: Upload stopped by SIGTERM (2 files not uploaded)\n"))
        << err.toStdString();
    EXPECT_EQ(FilesIn(Root->File("stopped")), QStringList({"a.bin", "b.bin"}));

    EXPECT_EQ(run(0), kCliOk) << err.toStdString();
    EXPECT_TRUE(
        WithoutRunTime(err).endsWith("veltrix: Upload done: 2 files stored, 2 skipped, 0 removed, in T s; "
                                     "Not encrypted: 127.0.0.1 does not offer TLS\n"))
        << err.toStdString();
    EXPECT_EQ(FilesIn(Root->File("stopped")), QStringList({"a.bin", "b.bin", "c.bin", "d.html"}));

    // The page after the changed file is unchanged: it is not counted as left.
    WriteBytes(site + "c.bin", QByteArray(4 * 1024 * 1024, 'C'));
    EXPECT_EQ(run(SIGTERM), kCliFailed);
    EXPECT_TRUE(err.endsWith("veltrix: Upload stopped by SIGTERM (1 file not uploaded)\n"))
        << err.toStdString();
    qunsetenv(kFtpPasswordVariable);
}

// A connection lost in the middle of a file: the command says so and that it resumed, a line each, and the
// socket error it got over is not told as an error.
TEST_F(TUploadTest, CommandLineTellsOfAReconnectAndAResume) {
    const QString site = FFiles.File("lost/");
    ASSERT_TRUE(QDir().mkpath(site));
    const QByteArray bytes(8 * 1024 * 1024, 'c');
    WriteBytes(site + "c.bin", bytes);
    TDroppingProxy proxy(Server->Port());
    WriteBytes(FConfig.File(kOptionsFileName),
               QString("[Ftp]\nHost=127.0.0.1\nPort=%1\nUserID=anna\nRemoteDir=lost\nConnections=1\n")
                   .arg(proxy.Port())
                   .toUtf8());
    qputenv(kFtpPasswordVariable, "s3cret pass");
    QTimer::singleShot(0, [&proxy] {
        for (TXoFTP* command : qApp->findChildren<TXoFTP*>("XoFTP", Qt::FindDirectChildrenOnly)) {
            TXoFTP& client = *command;
            client.OnPacketSent = [&client, &proxy, handler = client.OnPacketSent](QObject* sender) {
                if (handler)
                    handler(sender);
                if (client.DataSentCount() > (1 << 20) && proxy.Drops() == 0)
                    proxy.DropNow();
            };
        }
    });
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int code =
        RunCommandLine({"upload", "--out", site}, TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}},
                       {outStream, errStream, false, nullptr, false});
    qunsetenv(kFtpPasswordVariable);
    EXPECT_EQ(code, kCliOk) << err.toStdString();
    EXPECT_EQ(proxy.Drops(), 1);
    EXPECT_TRUE(
        err.contains("veltrix: Connection lost while storing c.bin: reconnecting in 1 s (attempt 1 of 3)\n"))
        << err.toStdString();
    EXPECT_TRUE(err.contains("veltrix: Resuming: c.bin from byte ")) << err.toStdString();
    EXPECT_FALSE(err.contains("Error ")) << err.toStdString();
    EXPECT_EQ(FirstDifference(ReadBytes(Root->File("lost/c.bin")), bytes), "");
}
