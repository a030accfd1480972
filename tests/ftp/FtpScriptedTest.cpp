// FTP client against the scripted server: odd replies, refusals, silence, cut transfers, aborts, transcripts.
#include <optional>

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include "ftp/XoFtp.h"
#include "support/FtpTestSupport.h"
#include "support/ScriptedFtpServer.h"
#include "support/TestSupport.h"

namespace {

const QByteArray kListing = "total 8\r\n"
                            "drwxr-xr-x   2 ann      staff        4096 Jan 29 23:32 photos\r\n"
                            "-rw-r--r--   1 ann      staff        1234 Mar 04  2019 index.html\r\n";

class ScriptedFtpTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureCoreApplication();
        Client.SetHost("127.0.0.1");
        Client.SetPort(Server.Port());
        Client.SetUserID("anna");
        Client.SetPassword("secret");
        Client.SetTimeOut(5000); // bounds a test that goes wrong; no assertion depends on it
        Client.OnSuccess = [this](TCmdType type) { Events << "success " + QString::number(int(type)); };
        Client.OnFailure = [this](bool&, TCmdType type) {
            Events << "failure " + QString::number(int(type));
        };
        Client.OnUnSupportedFunction = [this](TCmdType type) {
            Events << "unsupported " + QString::number(int(type));
        };
        Client.OnConnectionFailed = [this](QObject*) { Events << "connection failed"; };
        Client.OnConnect = [this](QObject*) { Events << "connected"; };
    }

    // The transcript once the client is gone, with the varying PORT argument reduced to its address.
    QStringList Transcript() {
        Server.Stop();
        EXPECT_EQ(Server.Errors(), "");
        QStringList lines = Server.Transcript();
        for (QString& line : lines)
            if (line.startsWith("PORT 127,0,0,1,"))
                line = "PORT 127,0,0,1,...";
        return lines;
    }

    static QString DataCommand(bool passive) { return passive ? "PASV" : "PORT 127,0,0,1,..."; }

    TScriptedFtpServer Server;
    TXoFTP Client;
    QStringList Events;
};

// The message of what `action` throws, "" when it throws nothing.
template <typename E, typename F> QString ErrorOf(F action) {
    try {
        action();
    } catch (const E& e) {
        return e.Message();
    }
    return {};
}

TEST_F(ScriptedFtpTest, MultiLineReplyIsConsumedWhole) {
    Server.SetReply("PASS", "230-Welcome to the site\r\n \r\n230 Logged in.\r\n");
    Server.Start();
    Client.Connect();
    EXPECT_EQ(Client.ReplyCode(), 230);
    EXPECT_EQ(Client.LastReplyText(), "230-Welcome to the site\r\n");
    EXPECT_EQ(Client.CurrentDir(), "/pub/site");
    Client.ChangeDir("photos");
    Client.MakeDir("new");
    Client.Mode(1);
    Client.Disconnect();
    EXPECT_EQ(Events, QStringList({"connected", "success 15", "success 0", "success 1", "success 14"}));
    EXPECT_EQ(Transcript(),
              QStringList({"USER anna", "PASS secret", "PWD", "CWD photos", "MKD new", "TYPE A", "QUIT"}));
}

TEST_F(ScriptedFtpTest, GreetingOf421FailsTheConnection) {
    Server.SetGreeting("421 Too many users.\r\n");
    Server.Start();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.Connect(); }), "421 Too many users.");
    EXPECT_EQ(Events, QStringList({"connection failed"}));
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(Transcript(), QStringList({"QUIT"}));
}

// A server that accepts AUTH TLS and then does not speak TLS: a sentence naming the host, not an error stack.
TEST_F(ScriptedFtpTest, TlsHandshakeCutShortIsReportedNamingTheHost) {
    Server.SetReply("AUTH", "234 Proceed.\r\n");
    Server.SetCloseAfter("AUTH");
    Server.Start();
    Client.SetEncryption(TFtpEncryption::Auto);
    const QString error = ErrorOf<ESockError>([&] { Client.Connect(); });
    EXPECT_TRUE(error.startsWith("TLS handshake with 127.0.0.1 failed: ")) << error.toStdString();
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(Transcript(), QStringList({"AUTH TLS"}));
}

// TLS required and the greeting's wait cancelled (a further connection of an upload that is over): not
// even the goodbye goes in clear.
TEST_F(ScriptedFtpTest, RequiredTlsSendsNothingBeforeTheGreeting) {
    Server.SetGreeting("");
    Server.Start();
    Client.SetEncryption(TFtpEncryption::Require);
    QTimer::singleShot(200, [this] { Client.Cancel(); });
    EXPECT_NE(ErrorOf<ESockError>([&] { Client.Connect(); }), "");
    EXPECT_EQ(Transcript(), QStringList());
}

TEST_F(ScriptedFtpTest, RefusedLogInFailsAndCloses) {
    Server.SetReply("PASS", "530 Login incorrect.\r\n");
    Server.Start();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.Connect(); }), "530 Login incorrect.");
    EXPECT_EQ(Events, QStringList({"connection failed"}));
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", "QUIT"}));
}

// What a failed log-in was, as the reply (or its absence) tells it: a refused password apart from an
// account refused before the password went, a server that hung up and one that fell silent.
struct TLogInFailureCase {
    const char* Name;
    QByteArray Verb;
    QByteArray Reply; // empty: the server closes the connection on the verb; "-": it never answers
    TNetFailure Kind;
};

class LogInFailureTest : public ScriptedFtpTest, public testing::WithParamInterface<TLogInFailureCase> {};

TEST_P(LogInFailureTest, CarriesItsKind) {
    const TLogInFailureCase& c = GetParam();
    if (c.Reply.isEmpty())
        Server.SetCloseOn(c.Verb);
    else if (c.Reply == "-")
        Server.SetSilent(c.Verb);
    else
        Server.SetReply(c.Verb, c.Reply);
    Server.Start();
    Client.SetTimeOut(200);
    std::optional<TNetFailure> kind;
    try {
        Client.Connect();
    } catch (const ENetError& e) {
        kind = e.Kind();
    }
    EXPECT_EQ(kind, c.Kind);
    EXPECT_FALSE(Client.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LogInFailureTest,
    testing::Values(TLogInFailureCase{"PasswordRefused", "PASS", "530 Login incorrect.\r\n",
                                      TNetFailure::PasswordRefused},
                    TLogInFailureCase{"AccountRefused", "USER", "530 Not allowed here.\r\n",
                                      TNetFailure::LogInRefused},
                    TLogInFailureCase{"ServerBusy", "PASS", "421 Too many users.\r\n", TNetFailure::Refused},
                    TLogInFailureCase{"ServerHangsUp", "PASS", "", TNetFailure::Lost},
                    TLogInFailureCase{"ServerFallsSilent", "PASS", "-", TNetFailure::TimedOut}),
    [](const testing::TestParamInfo<TLogInFailureCase>& info) { return std::string(info.param.Name); });

TEST_F(ScriptedFtpTest, SilentServerTimesOutInsteadOfHanging) {
    Server.SetGreeting("");
    Server.Start();
    Client.SetTimeOut(200);
    EXPECT_EQ(ErrorOf<ESockError>([&] { Client.Connect(); }),
              "Reply timed out: 127.0.0.1 did not send its greeting within 0.2 s");
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(Transcript(), QStringList());
}

TEST_F(ScriptedFtpTest, ServerFallingSilentAfterACommandTimesOut) {
    Server.SetSilent("CWD");
    Server.Start();
    Client.Connect();
    Client.SetTimeOut(200);
    EXPECT_EQ(ErrorOf<ESockError>([&] { Client.ChangeDir("photos"); }),
              "Reply timed out: 127.0.0.1 did not answer CWD within 0.2 s");
    // The server is out of step: the close sends no QUIT that would only wait once more.
    Client.Disconnect();
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", "CWD photos"}));
}

// Replies that never end, however steadily their lines come: each ends after one time-out as a whole, or at
// its size limit, or at once on Abort; no QUIT follows (the server is out of step) and no other command.
struct TEndlessCase {
    const char* Name;
    QByteArray Verb; // empty: the greeting
    QByteArray Line;
    int EveryMs;
    int TimeOut;
    int AbortAfterMs; // 0: no abort
    QString Error;
};

class EndlessReplyTest : public ScriptedFtpTest, public testing::WithParamInterface<TEndlessCase> {};

TEST_P(EndlessReplyTest, EndsAfterOneTimeOutOrItsSizeOrAnAbort) {
    const TEndlessCase& c = GetParam();
    Server.SetEndless(c.Verb, c.Line, c.EveryMs);
    Server.Start();
    Client.SetTimeOut(c.TimeOut);
    if (c.AbortAfterMs > 0)
        QTimer::singleShot(c.AbortAfterMs, [&] { Client.Abort(); });
    QString error;
    try {
        Client.Connect();
        Client.Rename("a.jpg.part", "a.jpg");
    } catch (const ESockError& e) {
        error = (dynamic_cast<const EAbortError*>(&e) ? "abort: " : "") + e.Message();
    }
    EXPECT_EQ(error, c.Error);
    if (Client.IsConnected()) {
        EXPECT_TRUE(Client.OutOfStep());
        EXPECT_TRUE(ErrorOf<ESockError>([&] { Client.CurrentDir(); }).startsWith("Command PWD not sent"));
        Client.Disconnect();
    }
    EXPECT_EQ(Transcript(), c.Verb.isEmpty()
                                ? QStringList()
                                : QStringList({"USER anna", "PASS secret", "RNFR a.jpg.part", "RNTO a.jpg"}));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EndlessReplyTest,
    testing::Values(TEndlessCase{"GreetingEvery200ms", "", "220-still greeting\r\n", 200, 1000, 0,
                                 "Reply timed out: 127.0.0.1 did not send its greeting within 1 s"},
                    TEndlessCase{
                        "GreetingAtFullSpeed", "", "220-" + QByteArray(60, 'g') + "\r\n", 0, 5000, 0,
                        "Reply too long: 127.0.0.1 sent more than 1 MiB and did not send its greeting"},
                    TEndlessCase{"RenameEvery200ms", "RNTO", "250-still renaming\r\n", 200, 1000, 0,
                                 "Reply timed out: 127.0.0.1 did not answer RNTO within 1 s"},
                    TEndlessCase{"RenameAborted", "RNTO", "250-still renaming\r\n", 200, 30000, 500,
                                 "abort: Socket readln aborted"}),
    [](const testing::TestParamInfo<TEndlessCase>& info) { return std::string(info.param.Name); });

TEST_F(ScriptedFtpTest, ServerClosingInsteadOfAnsweringIsNoSuccess) {
    Server.SetCloseOn("CWD");
    Server.Start();
    int disconnected = 0;
    Client.OnDisconnect = [&](QObject*) { ++disconnected; };
    Client.Connect();
    Events.clear();
    EXPECT_EQ(ErrorOf<ESockError>([&] { Client.ChangeDir("photos"); }), "Connection closed by 127.0.0.1");
    EXPECT_EQ(Events, QStringList());
    PumpFor(20);
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(disconnected, 1);
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", "CWD photos"}));
}

class UnsupportedTest : public ScriptedFtpTest, public testing::WithParamInterface<int> {};

TEST_P(UnsupportedTest, RefusalsFrom500To502AreReportedAsUnsupported) {
    const QByteArray reply = QByteArray::number(GetParam()) + " Not here.\r\n";
    Server.SetReply("SITE", reply);
    Server.Start();
    Client.Connect();
    Events.clear();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.DoCommand("SITE CHMOD 644 a"); }), reply.trimmed());
    const bool unsupported = GetParam() >= 500 && GetParam() <= 502;
    EXPECT_EQ(Events,
              unsupported ? QStringList({"unsupported 14", "failure 14"}) : QStringList({"failure 14"}));
}

INSTANTIATE_TEST_SUITE_P(Codes, UnsupportedTest, testing::Values(500, 501, 502, 503, 550, 421));

TEST_F(ScriptedFtpTest, HandledFailureRaisesNothing) {
    Server.SetReply("CWD", "550 No such directory.\r\n");
    Server.Start();
    Client.Connect();
    Client.OnFailure = [](bool& handled, TCmdType) { handled = true; };
    EXPECT_NO_THROW(Client.ChangeDir("missing"));
}

class TransferTest : public ScriptedFtpTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        ScriptedFtpTest::SetUp();
        Client.SetPassive(GetParam());
        Client.SetParseList(true);
        WriteBytes(Dir.File("a.jpg"), "JPEG bytes");
    }

    TTempDir Dir;
};

TEST_P(TransferTest, StoreRefusedWith550IsReportedTwiceThenRaised) {
    Server.SetReply("STOR", "550 Permission denied.\r\n");
    Server.Start();
    Client.Connect();
    Events.clear();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.Upload(Dir.File("a.jpg"), "a.jpg"); }),
              "550 Permission denied.");
    EXPECT_EQ(Events, QStringList({"failure 9", "failure 9"}));
    Client.Disconnect();
    EXPECT_EQ(Transcript(),
              QStringList({"USER anna", "PASS secret", DataCommand(GetParam()), "STOR a.jpg", "QUIT"}));
}

// STOR goes with PASV; a server that refuses it so, as one might that wants the data connection first, is
// asked again in the usual order, and the replies stay in step.
TEST_P(TransferTest, StoreRefusedWith425IsAskedAgainInTheUsualOrder) {
    Server.SetReply("STOR", "425 Can't open data connection.\r\n");
    Server.Start();
    Client.Connect();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.Upload(Dir.File("a.jpg"), "a.jpg"); }),
              "425 Can't open data connection.");
    EXPECT_EQ(Client.CurrentDir(), "/pub/site");
    Client.Disconnect();
    QStringList expected{"USER anna", "PASS secret", DataCommand(GetParam()), "STOR a.jpg"};
    if (GetParam())
        expected << "PASV" << "STOR a.jpg";
    EXPECT_EQ(Transcript(), expected + QStringList({"PWD", "QUIT"}));
}

TEST_P(TransferTest, StoreSendsTheFileAndSucceeds) {
    Server.Start();
    Client.Connect();
    Events.clear();
    Client.Upload(Dir.File("a.jpg"), "");
    EXPECT_EQ(Events, QStringList({"success 9"}));
    EXPECT_EQ(Client.TransferSize(), 10);
    Client.Disconnect();
    EXPECT_EQ(Transcript(),
              QStringList({"USER anna", "PASS secret", DataCommand(GetParam()), "STOR a.jpg", "QUIT"}));
    EXPECT_EQ(Server.Stored(), "JPEG bytes");
}

TEST_P(TransferTest, StoreTheServerCouldNotCompleteIsAFailure) {
    Server.SetFinalReply("STOR", "451 Local error in processing.\r\n");
    Server.Start();
    Client.Connect();
    Events.clear();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.Upload(Dir.File("a.jpg"), "a.jpg"); }),
              "451 Local error in processing.");
    EXPECT_EQ(Events, QStringList({"failure 9", "failure 9"}));
}

TEST_P(TransferTest, ListingIsParsedAndTheServerTypeAskedOncePerConnection) {
    Server.SetListing(kListing);
    Server.Start();
    Client.Connect();
    QStringList items;
    Client.OnListItem = [&](const QString& line) { items << line; };
    Client.List();
    Client.List();
    EXPECT_EQ(Client.Vendor(), kVendorUnix);
    ASSERT_NE(Client.Parser(), nullptr);
    EXPECT_EQ(Client.Parser()->NameList, QStringList({"photos", "index.html"}));
    EXPECT_EQ(items.size(), 6);
    EXPECT_EQ(items[0], "total 8");
    Client.Disconnect();
    EXPECT_EQ(Client.Vendor(), kVendorUnknown);
    const QString data = DataCommand(GetParam());
    EXPECT_EQ(Transcript(),
              QStringList({"USER anna", "PASS secret", "SYST", data, "LIST", data, "LIST", "QUIT"}));
}

TEST_P(TransferTest, ListingCutShortIsAFailure) {
    Server.SetListing(kListing);
    Server.SetCloseDataAfter(kListing.indexOf("photos"));
    Server.Start();
    Client.Connect();
    QStringList items;
    Client.OnListItem = [&](const QString& line) { items << line; };
    Events.clear();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.List(); }), "426 Connection closed; transfer aborted.");
    EXPECT_EQ(items.size(), 2);
    EXPECT_EQ(Events, QStringList({"success 14", "failure 4"}));
}

// A full disk: the server's reason is the error, not the reset of the data connection that came with it.
TEST_P(TransferTest, StoreCutShortByTheServerFailsWithItsReplyAndKeepsRepliesInStep) {
    const QString big = Dir.File("big.bin");
    WriteBytes(big, QByteArray(16 * 1024 * 1024, 'b'));
    Server.SetCloseDataAfter(65536);
    Server.SetFinalReply("STOR", "451 Failure writing to local file.\r\n");
    Server.Start();
    Client.Connect();
    Events.clear();
    EXPECT_EQ(ErrorOf<Exception>([&] { Client.Upload(big, "big.bin"); }),
              "451 Failure writing to local file.");
    EXPECT_TRUE(Events.startsWith("failure 9"));
    EXPECT_EQ(Client.CurrentDir(), "/pub/site");
    EXPECT_NO_THROW(Client.Disconnect());
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", DataCommand(GetParam()), "STOR big.bin",
                                         "PWD", "QUIT"}));
}

TEST_P(TransferTest, AbortDuringAStoreEndsItAndKeepsRepliesInStep) {
    const QString big = Dir.File("big.bin");
    WriteBytes(big, QByteArray(16 * 1024 * 1024, 'b'));
    Server.Start();
    Client.Connect();
    Client.OnPacketSent = [&](QObject*) { Client.Abort(); };
    Events.clear();
    EXPECT_EQ(ErrorOf<EAbortError>([&] { Client.Upload(big, "big.bin"); }), "Socket send aborted");
    EXPECT_EQ(Events, QStringList({"failure 9"}));
    EXPECT_EQ(Client.CurrentDir(), "/pub/site");
    Client.Disconnect();
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", DataCommand(GetParam()), "STOR big.bin",
                                         "PWD", "QUIT"}));
}

// A server that stopped taking data: Abort ends the store at once, a stall after one time-out, and neither
// waits for a closing reply that does not come.
TEST_P(TransferTest, StalledStoreEndsAtOnceOnAbortAndAfterOneTimeOut) {
    const QString big = Dir.File("big.bin");
    WriteBytes(big, QByteArray(16 * 1024 * 1024, 'b'));
    Server.SetStallData(true);
    Server.Start();
    Client.SetTimeOut(1000);
    Client.Connect();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(200, [&] { Client.Abort(); });
    EXPECT_EQ(ErrorOf<EAbortError>([&] { Client.Upload(big, "big.bin"); }), "Socket send aborted");
    EXPECT_LT(clock.elapsed(), 900);
    clock.restart();
    EXPECT_EQ(ErrorOf<ESockError>([&] { Client.Upload(big, "big.bin"); }), "Send timed out: " + big);
    EXPECT_LT(clock.elapsed(), 1700);
    clock.restart();
    EXPECT_NO_THROW(Client.Disconnect());
    EXPECT_LT(clock.elapsed(), 500);
    const QString data = DataCommand(GetParam());
    EXPECT_EQ(Transcript(),
              QStringList({"USER anna", "PASS secret", data, "STOR big.bin", data, "STOR big.bin", "QUIT"}));
}

// A listing that never ends is stopped at its size limit, or after eight time-outs however steadily its lines
// come, naming the server; the connection stays in step for the next command.
TEST_P(TransferTest, EndlessListingIsStoppedBySizeAndByTime) {
    const QByteArray line = "-rw-r--r--   1 ann      staff  1 Mar 04  2019 " + QByteArray(8000, 'n') + "\r\n";
    Server.SetEndless("LIST", line, 0);
    Server.SetConnections(2);
    Server.Start();
    Client.Connect();
    EXPECT_EQ(ErrorOf<ESockError>([&] { Client.List(); }),
              "Listing from 127.0.0.1 stopped: it is longer than 64 MiB");
    EXPECT_EQ(Client.CurrentDir(), "/pub/site");
    Client.Disconnect();

    Server.SetEndlessEvery(20);
    Client.SetTimeOut(200);
    Client.Connect();
    EXPECT_EQ(ErrorOf<ESockError>([&] { Client.List(); }),
              "Listing from 127.0.0.1 stopped: it took longer than 1.6 s");
    Client.Disconnect();
    const QString data = DataCommand(GetParam());
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", "SYST", data, "LIST", "PWD", "QUIT",
                                         "USER anna", "PASS secret", "SYST", data, "LIST", "QUIT"}));
}

TEST_P(TransferTest, SecondListingFromAHandlerIsRefused) {
    Server.SetListing(kListing);
    Server.Start();
    Client.Connect();
    QStringList refusals;
    Client.OnListItem = [&](const QString&) {
        refusals << ErrorOf<Exception>([&] { Client.List(); });
        refusals << ErrorOf<Exception>([&] { Client.Upload(Dir.File("a.jpg"), "a.jpg"); });
    };
    Client.List();
    ASSERT_EQ(refusals.size(), 6);
    EXPECT_EQ(refusals[0], "A list command is already being processed!");
    EXPECT_EQ(refusals[1], "A data transfer is already being processed!");
    EXPECT_EQ(Client.Parser()->NameList.size(), 2);
}

TEST_P(TransferTest, NameWithALineBreakIsNeverSent) {
    Server.Start();
    Client.Connect();
    EXPECT_NE(ErrorOf<FTPException>([&] { Client.Upload(Dir.File("a.jpg"), "a.jpg\r\nDELE index.html"); }),
              "");
    Client.Disconnect();
    EXPECT_EQ(Transcript(), QStringList({"USER anna", "PASS secret", "QUIT"}));
}

// A refused PORT or PASV names the mode and suggests the other one.
TEST_P(TransferTest, RefusedDataModeSaysSoAndSuggestsTheOtherMode) {
    Server.SetReply(GetParam() ? "PASV" : "PORT", "550 Permission denied.\r\n");
    Server.Start();
    Client.Connect();
    EXPECT_EQ(ErrorOf<FTPException>([&] { Client.Upload(Dir.File("a.jpg"), "a.jpg"); }),
              GetParam()
                  ? "Passive mode (PASV) refused by the server (550 Permission denied.): try active mode"
                  : "Active mode (PORT) refused by the server (550 Permission denied.): try passive mode");
    EXPECT_TRUE(Client.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "PASV" : "PORT";
                         });

// A server's idle time-out: "421" and a close while nothing runs. The close is seen at once with the
// server's text, and the event loop stays idle instead of spinning on the unread reply.
TEST_F(ScriptedFtpTest, CloseAnnouncedWhileIdleIsSeenAtOnceWithoutSpinning) {
    Server.SetReply("PWD", "257 \"/up/q\"\"dir\" is current.\r\n421 Timeout.\r\n");
    Server.SetCloseAfter("PWD");
    Server.Start();
    Client.Connect();
    QStringList closes;
    Client.OnDisconnect = [&](QObject*) {
        closes << (Client.PeerClosed() ? "peer: " : "self: ") + Client.ClosingReason();
    };
    EXPECT_EQ(Client.CurrentDir(), "/up/q\"dir");
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    QEventLoop idle;
    QTimer::singleShot(2000, &idle, &QEventLoop::quit);
    idle.exec();
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    const auto ms = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
               (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
    };
    EXPECT_LT(ms(after) - ms(before), 200) << "milliseconds of CPU time in 2 s of idle event loop";
    EXPECT_FALSE(Client.IsConnected());
    EXPECT_EQ(closes, QStringList({"peer: 421 Timeout."}));
    EXPECT_EQ(ErrorOf<Exception>([&] { Client.ChangeDir("x"); }), "Not Connected");
}

TEST_F(ScriptedFtpTest, PassiveDataGoesToTheHostNotToTheAddressInTheReply) {
    Server.SetPasvAddress("192,168,1,2");
    Server.SetListing(kListing);
    Server.Start();
    Client.SetPassive(true);
    Client.Connect();
    QStringList items;
    Client.OnListItem = [&](const QString& line) { items << line; };
    Client.List();
    EXPECT_EQ(items.size(), 3);
    EXPECT_TRUE(Events.endsWith("success 4"));
}

struct TFirewallCase {
    const char* Label;
    TFirewallType Type;
    bool Authenticate;
    QStringList Transcript;
};

class FirewallTest : public ScriptedFtpTest, public testing::WithParamInterface<TFirewallCase> {};

TEST_P(FirewallTest, LogInThroughTheProxy) {
    Server.Start();
    Client.SetHost("ftp.example.com");
    Client.SetProxy("127.0.0.1");
    Client.SetProxyPort(static_cast<quint16>(Server.Port()));
    Client.SetFirewallType(GetParam().Type);
    Client.SetFWAuthenticate(GetParam().Authenticate);
    Client.SetFWUserID("wall");
    Client.SetFWPassword("fire");
    Client.Connect();
    Client.Disconnect();
    EXPECT_EQ(Transcript(), GetParam().Transcript);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, FirewallTest,
    testing::Values(TFirewallCase{"user_at_host",
                                  TFirewallType::FTUser,
                                  false,
                                  {"USER anna@ftp.example.com", "PASS secret", "QUIT"}},
                    TFirewallCase{"open",
                                  TFirewallType::FtOpen,
                                  false,
                                  {"OPEN ftp.example.com", "USER anna", "PASS secret", "QUIT"}},
                    TFirewallCase{"site",
                                  TFirewallType::FtSite,
                                  false,
                                  {"SITE ftp.example.com", "USER anna", "PASS secret", "QUIT"}},
                    TFirewallCase{
                        "authenticated_first",
                        TFirewallType::FTUser,
                        true,
                        {"USER wall", "PASS fire", "USER anna@ftp.example.com", "PASS secret", "QUIT"}}),
    [](const testing::TestParamInfo<TFirewallCase>& info) { return std::string(info.param.Label); });

} // namespace
