// Upload panel: its checks, the commands it sends (scripted server) and how each failure ends a run.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "FtpPanelFixture.h"
#include "support/ScriptedFtpServer.h"

namespace {

using FtpPanelTest = TFtpPanelTest;

TEST_F(FtpPanelTest, StartsIdleWithThePlaceholderAccountPassiveModeAndTakesAnyPort) {
    ExpectIdle();
    EXPECT_EQ(FPanel->FtpHost(), "ftp.example.com");
    EXPECT_EQ(FPanel->FtpUserID(), "MyUserID");
    EXPECT_EQ(FPanel->FtpPort(), "21");
    EXPECT_EQ(FPanel->PassE->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(FPanel->CreateDirCB->isChecked());
    EXPECT_TRUE(FPanel->PassiveCB->isChecked());
    EXPECT_FALSE(FPanel->UploadFilesLB->isEnabled());
    for (const char* port : {"65535", "7"}) {
        FPanel->SetFtpPort(port);
        EXPECT_EQ(FPanel->FtpPort(), port);
    }
    FPanel->PortE->clear();
    QTest::keyClicks(FPanel->PortE, "1234567");
    EXPECT_EQ(FPanel->FtpPort(), "12345");
    EXPECT_EQ(FWindow->Statuses, QStringList());
}

// A port field holding the usual port of the protocol and encryption follows them; one typed stays.
TEST_F(FtpPanelTest, UsualPortFollowsProtocolAndEncryption) {
    const auto choose = [](QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    };
    choose(FPanel->ProtocolCB, 1);
    EXPECT_EQ(FPanel->FtpPort(), "22");
    EXPECT_FALSE(FPanel->EncryptionCB->isEnabled());
    EXPECT_TRUE(FPanel->KeyFileE->isEnabled());
    choose(FPanel->ProtocolCB, 0);
    choose(FPanel->EncryptionCB, 3);
    EXPECT_EQ(FPanel->FtpPort(), "990");
    EXPECT_EQ(FPanel->Settings().Encryption, TFtpEncryption::Implicit);
    FPanel->SetFtpPort("2121");
    choose(FPanel->EncryptionCB, 1);
    EXPECT_EQ(FPanel->FtpPort(), "2121");
}

struct TRefusedStart {
    const char* Name;
    QStringList Files;
    const char* RemoteDir;
    const char* Message;
};

class FtpPanelRefusedStartTest : public TFtpPanelTest, public testing::WithParamInterface<TRefusedStart> {};

// Refused before any connection: the server would note a connection, and none is listening anyway.
TEST_P(FtpPanelRefusedStartTest, ShowsAnErrorBoxAndChangesNothing) {
    UseServer(TLoopbackPeer::FreePort(), "anna", "pw");
    FWindow->Files = GetParam().Files;
    FPanel->SetFtpRemoteDir(GetParam().RemoteDir);
    UploadAndWait();
    EXPECT_EQ(FWindow->Shown.Messages, QStringList({GetParam().Message}));
    ASSERT_EQ(FWindow->Shown.MessageKinds.size(), 1u);
    EXPECT_EQ(FWindow->Shown.MessageKinds[0], TMsgKind::Error);
    EXPECT_EQ(FWindow->Statuses, QStringList());
    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Checks, FtpPanelRefusedStartTest,
    testing::Values(TRefusedStart{"NoFiles", {}, "gallery", "No files to upload"},
                    TRefusedStart{"BlankDir", {"/x/a.jpg"}, " \t ", "Remote directory not defined"},
                    TRefusedStart{"EmptyDir", {"/x/a.jpg"}, "", "Remote directory not defined"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TTypeCase {
    const char* FileName;
    const char* TypeCommand;
};

class FtpPanelTypeTest : public TFtpPanelTest, public testing::WithParamInterface<TTypeCase> {};

// The whole conversation of a one-file run, with the transfer type chosen by the file's extension.
TEST_P(FtpPanelTypeTest, SendsTheDirectoryAsTypedAndTheTypeByExtension) {
    TScriptedFtpServer server;
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    const QString path = FLocal.File(GetParam().FileName);
    WriteBytes(path, "content\r\n");
    FWindow->Files = {path};
    FPanel->SetFtpRemoteDir(" photos");

    UploadAndWait();
    server.Stop();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    const QString name = QString(GetParam().FileName).section('/', -1);
    EXPECT_EQ(server.Transcript(),
              QStringList({"USER anna", "PASS pw", "PWD", "CWD  photos", GetParam().TypeCommand, "PASV",
                           "STOR " + name + ".part", "RNFR " + name + ".part", "RNTO " + name, "QUIT"}));
    EXPECT_EQ(server.Stored(), "content\r\n");
    EXPECT_TRUE(FWindow->Statuses.contains("Uploading: " + name));
}

INSTANTIATE_TEST_SUITE_P(Extensions, FtpPanelTypeTest,
                         testing::Values(TTypeCase{"PAGE.HTML", "TYPE A"}, TTypeCase{"page.htm", "TYPE A"},
                                         TTypeCase{"Notes.Txt", "TYPE A"}, TTypeCase{"page.shtml", "TYPE I"},
                                         TTypeCase{"picture.jpg", "TYPE I"}, TTypeCase{"README", "TYPE I"},
                                         TTypeCase{"html", "TYPE I"}));

struct TDirRefusal {
    const char* Name;
    bool Create;
    const char* MkdReply;
    QStringList Commands; // after PWD, up to QUIT
    const char* Status;
    QStringList Messages;
    const char* Error;
};

class FtpPanelDirRefusalTest : public TFtpPanelTest, public testing::WithParamInterface<TDirRefusal> {};

TEST_P(FtpPanelDirRefusalTest, EndsTheStartWithTheServersReply) {
    TScriptedFtpServer server;
    server.SetReply("CWD", "550 No such directory.\r\n");
    server.SetReply("MKD", GetParam().MkdReply);
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    FWindow->Files = {FLocal.File("a.jpg")};
    FPanel->SetFtpRemoteDir("gallery");
    FPanel->CreateDirCB->setChecked(GetParam().Create);

    UploadAndWait();
    server.Stop();

    EXPECT_EQ(server.Transcript().mid(3), GetParam().Commands);
    EXPECT_TRUE(FWindow->Statuses.contains(GetParam().Status));
    EXPECT_EQ(FWindow->Shown.Messages, GetParam().Messages);
    EXPECT_EQ(FWindow->Shown.Errors, QStringList({GetParam().Error}));
    EXPECT_EQ(FPanel->UploadFilesLB->count(), 1);
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(Refusals, FtpPanelDirRefusalTest,
                         testing::Values(TDirRefusal{"NoCreate",
                                                     false,
                                                     "257 \"gallery\" created.\r\n",
                                                     {"CWD gallery", "QUIT"},
                                                     "ChangeDir failure",
                                                     {},
                                                     "550 No such directory."},
                                         TDirRefusal{"CreateRefused",
                                                     true,
                                                     "550 Permission denied.\r\n",
                                                     {"CWD gallery", "MKD gallery", "QUIT"},
                                                     "MakeDir failure",
                                                     {},
                                                     "550 Permission denied."},
                                         TDirRefusal{"CreateUnsupported",
                                                     true,
                                                     "502 MKD not implemented.\r\n",
                                                     {"CWD gallery", "MKD gallery", "QUIT"},
                                                     "MakeDir failure",
                                                     {"MakeDir unsupported"},
                                                     "502 MKD not implemented."}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A refused store ends the run at once: no later file is tried, and the refused one and the rest stay listed.
TEST_F(FtpPanelTest, RefusedStoreEndsTheRunKeepingTheFilesNotStored) {
    TScriptedFtpServer server;
    server.SetReply("STOR", "553 Could not create file.\r\n");
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        WriteBytes(FLocal.File(name), "x");
    FWindow->Files = {FLocal.File("a.jpg"), FLocal.File("b.jpg"), FLocal.File("c.jpg")};
    FPanel->SetFtpRemoteDir("gallery");

    UploadAndWait();
    server.Stop();

    EXPECT_EQ(server.Transcript().filter("STOR"), QStringList({"STOR a.jpg.part"}));
    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"553 Could not create file."}));
    EXPECT_TRUE(FWindow->Statuses.contains("Upload failure"));
    EXPECT_EQ(FPanel->UploadFilesLB->count(), 3);
    ExpectIdle();
}

// Abort pressed before the store's data flows still cancels that store, and the run ends there.
TEST_F(FtpPanelTest, AbortBeforeTheDataFlowsCancelsTheStore) {
    TScriptedFtpServer server;
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    WriteBytes(FLocal.File("a.jpg"), "x");
    WriteBytes(FLocal.File("b.jpg"), "y");
    FWindow->Files = {FLocal.File("a.jpg"), FLocal.File("b.jpg")};
    FPanel->SetFtpRemoteDir("gallery");
    FWindow->OnStatus = [&](const QString& text) {
        if (text == "Uploading: a.jpg")
            FPanel->UploadBB->click();
    };

    UploadAndWait();
    server.Stop();

    EXPECT_EQ(server.Transcript().filter("STOR"), QStringList({"STOR a.jpg.part"}));
    EXPECT_EQ(server.Stored(), "");
    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"Socket send aborted"}));
    EXPECT_EQ(FPanel->UploadFilesLB->count(), 2);
    ExpectIdle();
}

struct TStoreCase {
    const char* Name;
    const char* Verb; // whose reply is replaced
    const char* Reply;
    bool Final;         // the reply after the data rather than before it
    QStringList Stores; // STOR, RNFR, RNTO and DELE as sent
    QStringList Errors;
};

class FtpPanelStoreTest : public TFtpPanelTest, public testing::WithParamInterface<TStoreCase> {};

// Pictures and other files first, pages after them and index.html last; each store goes to a temporary
// name that is renamed once the server confirmed it, and deleted when it did not.
TEST_P(FtpPanelStoreTest, StoresPagesLastUnderATemporaryNameUntilConfirmed) {
    TScriptedFtpServer server;
    if (GetParam().Final)
        server.SetFinalReply(GetParam().Verb, GetParam().Reply);
    else if (*GetParam().Verb)
        server.SetReply(GetParam().Verb, GetParam().Reply);
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    QStringList files;
    for (const char* name : {"index.html", "a.jpg", "p1.html", "style.css", "b.jpg"}) {
        WriteBytes(FLocal.File(name), "x");
        files << FLocal.File(name);
    }
    FWindow->Files = files;
    FPanel->SetFtpRemoteDir("gallery");

    UploadAndWait();
    server.Stop();

    const QRegularExpression stores("^(STOR|RNFR|RNTO|DELE) ");
    EXPECT_EQ(server.Transcript().filter(stores), GetParam().Stores);
    EXPECT_EQ(FWindow->Shown.Errors, GetParam().Errors);
    EXPECT_EQ(FWindow->Shown.Messages, QStringList());
    const QString noRename = "The server refused to rename: files were stored directly under their names";
    EXPECT_EQ(FWindow->Statuses.filter(noRename).size(), QString(GetParam().Verb) == "RNFR" ? 1 : 0);
    ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpPanelStoreTest,
    testing::Values(TStoreCase{"Renamed",
                               "",
                               "",
                               false,
                               {"STOR a.jpg.part", "RNFR a.jpg.part", "RNTO a.jpg", "STOR style.css.part",
                                "RNFR style.css.part", "RNTO style.css", "STOR b.jpg.part", "RNFR b.jpg.part",
                                "RNTO b.jpg", "STOR p1.html.part", "RNFR p1.html.part", "RNTO p1.html",
                                "STOR index.html.part", "RNFR index.html.part", "RNTO index.html"},
                               {}},
                    TStoreCase{"RenameRefused",
                               "RNFR",
                               "502 Command not implemented.\r\n",
                               false,
                               // RNTO goes with RNFR, and is refused after it
                               {"STOR a.jpg.part", "RNFR a.jpg.part", "RNTO a.jpg", "DELE a.jpg.part",
                                "STOR a.jpg", "STOR style.css", "STOR b.jpg", "STOR p1.html", "STOR index.html"},
                               {}},
                    TStoreCase{"StoreFailed",
                               "STOR",
                               "451 Failure writing to local file.\r\n",
                               true,
                               {"STOR a.jpg.part", "DELE a.jpg.part"},
                               {"451 Failure writing to local file."}}),
    [](const auto& info) { return std::string(info.param.Name); });

// The connection is lost between two files: the run ends and says so instead of waiting for ever.
TEST_F(FtpPanelTest, LostConnectionEndsTheRunWithAMessage) {
    TScriptedFtpServer server;
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    WriteBytes(FLocal.File("a.jpg"), "x");
    WriteBytes(FLocal.File("b.jpg"), "y");
    FPanel->SetUploadFiles({FLocal.File("a.jpg"), FLocal.File("b.jpg")});
    FPanel->SetFtpRemoteDir("gallery");

    FPanel->StartUpload(); // posts the first file's message
    ASSERT_TRUE(FPanel->Uploading());
    FPanel->SetUploadFiles({FLocal.File("b.jpg")}); // the run's list is not replaced under it
    FPanel->XoFTP().CloseSocket(); // what the client does when it hears that the server closed
    ASSERT_TRUE(PumpUntil([&] { return !FPanel->Uploading(); }));
    server.Stop();

    EXPECT_EQ(FWindow->Shown.Errors,
              QStringList({"Upload ended: not connected to localhost (2 files not uploaded)"}));
    EXPECT_EQ(server.Transcript().filter("STOR"), QStringList());
    ExpectIdle();
}

// No greeting ever comes (the connection is taken but never answered): the attempt ends after the
// time-out, and the window works all the while.
TEST_F(FtpPanelTest, SilentServerEndsTheAttemptAfterTheTimeOutWhileEventsGoOn) {
    TLoopbackPeer silent;
    UseServer(silent.Port(), "anna", "pw");
    FWindow->Files = {FLocal.File("a.jpg")};
    FPanel->SetFtpRemoteDir("gallery");
    bool timerRan = false;
    QTimer::singleShot(50, FWindow.get(), [&] {
        timerRan = true;
        FPanel->RemoteDirE->setText("typed while waiting");
    });

    UploadAndWait();

    EXPECT_TRUE(timerRan);
    EXPECT_EQ(FPanel->FtpRemoteDir(), "typed while waiting");
    EXPECT_EQ(FWindow->Shown.Errors,
              QStringList({"Reply timed out: localhost did not send its greeting within 15 s"}));
    ExpectIdle();
}

TEST_F(FtpPanelTest, NothingListeningShowsConnectionFailedAndReturnsToIdle) {
    UseServer(TLoopbackPeer::FreePort(), "anna", "pw");
    FWindow->Files = {FLocal.File("a.jpg")};
    FPanel->SetFtpRemoteDir("gallery");

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Messages, QStringList({"Connection Failed"}));
    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"Connection to localhost port " + FPanel->FtpPort() +
                                                  " failed: connection refused"}));
    ExpectIdle();
}

// Active mode, chosen with the check box, refused by the server: the user is told to try passive mode.
TEST_F(FtpPanelTest, RefusedActiveModeSuggestsPassiveMode) {
    TScriptedFtpServer server;
    server.SetReply("PORT", "550 Permission denied.\r\n");
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    const QString path = FLocal.File("a.jpg");
    WriteBytes(path, "jpeg");
    FWindow->Files = {path};
    FPanel->SetFtpRemoteDir("gallery");
    FPanel->PassiveCB->setChecked(false);

    UploadAndWait();
    server.Stop();

    EXPECT_EQ(
        FWindow->Shown.Errors,
        QStringList({"Active mode (PORT) refused by the server (550 Permission denied.): try passive mode"}));
    EXPECT_TRUE(server.Transcript().contains("TYPE I"));
    ExpectIdle();
}

// A server that stopped taking data and answers nothing more: Abort brings the panel to idle at once, not
// after the time-out. The temporary file's delete is sent, and not waited for beyond a moment; the next
// upload into the folder tries it again first.
TEST_F(FtpPanelTest, AbortOfAStalledStoreIsIdleAtOnce) {
    TScriptedFtpServer server;
    server.SetStallData(true);
    server.SetSilent("DELE");
    server.SetConnections(2);
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    WriteBytes(FLocal.File("big.bin"), QByteArray(16 * 1024 * 1024, 'b'));
    FWindow->Files = {FLocal.File("big.bin")};
    FPanel->SetFtpRemoteDir("gallery");
    QElapsedTimer clock;
    FWindow->OnBarCreated = [&](QProgressBar*) {
        QTimer::singleShot(300, FPanel, [&] {
            clock.start();
            FPanel->UploadBB->click();
        });
    };

    UploadAndWait();
    const qint64 ms = clock.elapsed();

    EXPECT_LT(ms, 5000) << "milliseconds from Abort to idle (the time-out is 15 s)";
    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"Socket send aborted"}));
    EXPECT_TRUE(server.Transcript().contains("DELE big.bin.part"));
    ExpectIdle();

    FWindow->OnBarCreated = nullptr;
    WriteBytes(FLocal.File("a.jpg"), "jpeg");
    FWindow->Files = {FLocal.File("a.jpg")};
    UploadAndWait();
    server.Stop();
    const QStringList second = server.Transcript().mid(server.Transcript().lastIndexOf("USER anna"));
    EXPECT_EQ(second.mid(0, 6),
              QStringList({"USER anna", "PASS pw", "PWD", "CWD gallery", "DELE big.bin.part", "TYPE I"}));
    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"Socket send aborted"}));
}

// The server goes away as a store starts, again after each reconnect: the error names the file it cut.
TEST_F(FtpPanelTest, LostConnectionDuringAStoreNamesTheFile) {
    TScriptedFtpServer server;
    server.SetCloseOn("STOR");
    server.SetConnections(1 + TUploadRun::kReconnects); // each connection made again is lost the same way
    server.Start();
    UseServer(server.Port(), "anna", "pw");
    FPanel->ConnectionsSE->setValue(1); // one connection's reconnects
    WriteBytes(FLocal.File("a.jpg"), "jpeg");
    WriteBytes(FLocal.File("b.jpg"), "jpeg");
    FWindow->Files = {FLocal.File("a.jpg"), FLocal.File("b.jpg")};
    FPanel->SetFtpRemoteDir("gallery");

    UploadAndWait();
    server.Stop();

    EXPECT_EQ(FWindow->Shown.Errors,
              QStringList({"Upload ended while storing a.jpg: Connection closed by localhost (2 files not "
                           "uploaded)"}));
    ExpectIdle();
}

// The port field takes 1 to 65535 as typed; emptied, it gives (and on leaving shows) the port it held.
TEST_F(FtpPanelTest, PortFieldTakesOnlyPortNumbers) {
    FPanel->PortE->clear();
    QTest::keyClicks(FPanel->PortE, "0");
    EXPECT_EQ(FPanel->PortE->text(), "");
    QTest::keyClicks(FPanel->PortE, "70000");
    EXPECT_EQ(FPanel->PortE->text(), "7000");
    FPanel->PortE->selectAll();
    QTest::keyClick(FPanel->PortE, Qt::Key_Delete);
    EXPECT_EQ(FPanel->PortE->text(), "");
    EXPECT_EQ(FPanel->FtpPort(), "7000");
    QTest::keyClick(FPanel->PortE, Qt::Key_Return);
    EXPECT_EQ(FPanel->PortE->text(), "7000");
}

// Enter on the question whether to trust a certificate answers No.
TEST_F(FtpPanelTest, TrustQuestionAnswersNoToEnter) {
    TQtDialogs dialogs(FWindow.get());
    QString defaultButton;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    // Should the box not be found above, it is closed rather than left waiting.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(5000);
    EXPECT_EQ(dialogs.MessageBox(TMsgKind::Confirmation, "Trust?", TMsgButtons::YesNoDefaultNo),
              TModalResult::No);
    EXPECT_EQ(defaultButton.remove('&'), "No");
}

TEST_F(FtpPanelTest, EmptyPortIsRefusedByValue) {
    FPanel->PortE->setText("");
    FWindow->Files = {FLocal.File("a.jpg")};
    FPanel->SetFtpRemoteDir("gallery");

    UploadAndWait();

    EXPECT_EQ(FWindow->Shown.Errors, QStringList({"Port \"\" is not a valid port number"}));
    ExpectIdle();
}

// A failed browse closes the browser and leaves its reason in the status bar.
TEST_F(FtpPanelTest, FailedBrowseClosesTheBrowserWithItsReason) {
    TScriptedFtpServer server;
    server.SetReply("PASS", "530 Login incorrect.\r\n");
    server.Start();
    UseServer(server.Port(), "anna", "pw");

    FPanel->GetRemoteDirSB->click();
    server.Stop();

    EXPECT_EQ(FWindow->Shown.Messages, QStringList({"Connection Failed"}));
    EXPECT_EQ(FWindow->Statuses.last(), "530 Login incorrect.");
    EXPECT_EQ(FWindow->Shown.Errors, QStringList());
    ExpectIdle();
}

} // namespace
