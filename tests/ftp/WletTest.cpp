// Socket layer against a raw peer on 127.0.0.1: connecting, lines, transactions, files, listening.
#include <gtest/gtest.h>

#include <QTimer>

#include "ftp/Wlet.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

class WletTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureCoreApplication();
        Client.SetHost("127.0.0.1");
        Client.SetPort(Peer.Port());
        Client.SetTimeOut(5000); // bounds a test that goes wrong; no assertion depends on it
    }

    // Connects the client to the peer and accepts on the peer's side.
    void ConnectBoth() {
        Client.Connect();
        ASSERT_TRUE(Client.IsConnected());
        ASSERT_TRUE(Peer.AcceptNow());
    }

    TLoopbackPeer Peer;
    TWirelet Client;
};

class HostLookupTest : public WletTest, public testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(HostLookupTest, OnlyNamesAreLookedUp) {
    int resolved = 0;
    Client.OnHostResolved = [&](QObject*) { ++resolved; };
    Client.SetHost(GetParam().first);
    ConnectBoth();
    EXPECT_EQ(resolved, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostLookupTest,
                         testing::Values(std::make_pair("127.0.0.1", 0), std::make_pair("localhost", 1)));

TEST_F(WletTest, RefusedPortFailsAfterOnConnectionFailedAndLeavesTheInstanceUsable) {
    int failed = 0;
    Client.OnConnectionFailed = [&](QObject*) { ++failed; };
    const int port = TLoopbackPeer::FreePort();
    Client.SetPort(port);
    try {
        Client.Connect();
        FAIL() << "connected to a port where nothing listens";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(),
                  "Connection to 127.0.0.1 port " + QString::number(port) + " failed: connection refused");
    }
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(Client.LastSocketError(), 10061);
    EXPECT_FALSE(Client.IsConnected());
    Client.SetPort(Peer.Port());
    ConnectBoth();
}

TEST_F(WletTest, HostThatDoesNotResolveGetsOneChanceToBeCorrected) {
    Client.SetHost("");
    int asked = 0;
    Client.OnInvalidHost = [&](bool& handled) {
        ++asked;
        Client.SetHost("127.0.0.1");
        handled = true;
    };
    ConnectBoth();
    EXPECT_EQ(asked, 1);

    TWirelet other;
    other.SetHost("");
    other.OnInvalidHost = [&](bool& handled) { handled = true; };
    try {
        other.Connect();
        FAIL() << "connected without an address";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), "Unknown host: ");
    }
}

TEST_F(WletTest, ConnectingTwiceIsRefused) {
    ConnectBoth();
    EXPECT_THROW(Client.Connect(), ESockError);
}

TEST_F(WletTest, LineSplitOverPacketsIsJoinedAndTwoLinesComeOneByOne) {
    ConnectBoth();
    Peer.Send("220 hel");
    QTimer::singleShot(30, [&] { Peer.Send("lo world\r\n331 a\r\n332 b\n"); });
    EXPECT_EQ(Client.ReadLn(), "220 hello world\r\n");
    EXPECT_EQ(Client.ReadLn(), "331 a\r\n");
    EXPECT_TRUE(Client.DataAvailable());
    EXPECT_EQ(Client.ReadLn(), "332 b\n");
    EXPECT_FALSE(Client.DataAvailable());
}

TEST_F(WletTest, ClosedPeerGivesEmptyLineAndPartialLastLine) {
    ConnectBoth();
    Peer.Send("220 ok\r\nno line end");
    Peer.CloseConnection();
    EXPECT_EQ(Client.ReadLn(), "220 ok\r\n");
    EXPECT_EQ(Client.ReadLn(), "no line end");
    EXPECT_EQ(Client.ReadLn(), "");
    PumpFor(20);
    EXPECT_FALSE(Client.IsConnected());
}

TEST_F(WletTest, LineLongerThanTheBufferIsAnError) {
    ConnectBoth();
    Peer.Send(QByteArray(70000, 'x') + "\r\n");
    try {
        Client.ReadLn();
        FAIL() << "no error";
    } catch (const ESockError& e) {
        EXPECT_TRUE(e.Message().startsWith("Line longer than 65536 bytes")) << e.Message().toStdString();
    }
}

struct TReplyCase {
    const char* Label;
    QByteArray Reply; // sent before the peer closes
    QString Expected;
    int Code;
};

class TransactionTest : public WletTest, public testing::WithParamInterface<TReplyCase> {};

TEST_P(TransactionTest, ReplyCodeFromLeadingDigits) {
    ConnectBoth();
    QStringList reports;
    Client.SetReportLevel(1);
    Client.OnStatus = [&](QObject*, const QString& text) { reports << text; };
    Peer.Send(GetParam().Reply);
    Peer.CloseConnection();
    EXPECT_EQ(Client.Transaction("NOOP"), GetParam().Expected);
    EXPECT_EQ(Client.ReplyCode(), GetParam().Code);
    EXPECT_EQ(Client.LastReplyText(), GetParam().Expected);
    EXPECT_EQ(reports,
              GetParam().Expected.isEmpty() ? QStringList() : QStringList{GetParam().Expected.trimmed()});
}

INSTANTIATE_TEST_SUITE_P(
    Replies, TransactionTest,
    testing::Values(TReplyCase{"code", "220 Service ready\r\n", "220 Service ready\r\n", 220},
                    TReplyCase{"no_digits", "Hello there\r\n", "Hello there\r\n", 0},
                    TReplyCase{"empty_read", "", "", 0}),
    [](const testing::TestParamInfo<TReplyCase>& info) { return std::string(info.param.Label); });

TEST_F(WletTest, TransactionSendsTheCommandAsOneLine) {
    ConnectBoth();
    Peer.Send("200 ok\r\n");
    Client.Transaction("TYPE I");
    EXPECT_EQ(Peer.Receive(2000), "TYPE I\r\n");
}

TEST_F(WletTest, SilentPeerTimesOutAndCancelEndsAWaitWithoutLimit) {
    ConnectBoth();
    Client.SetTimeOut(100);
    try {
        Client.ReadLn();
        FAIL() << "no time-out";
    } catch (const EAbortError&) {
        FAIL() << "a time-out is no user's cancel";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), "Reply timed out");
    }
    Client.SetTimeOut(0);
    QTimer::singleShot(30, [&] { Client.Cancel(); });
    try {
        Client.ReadLn();
        FAIL() << "not cancelled";
    } catch (const EAbortError& e) {
        EXPECT_EQ(e.Message(), "Socket readln aborted");
    }
    // The flag was cleared: the instance reads again.
    Peer.Send("ok\n");
    EXPECT_EQ(Client.ReadLn(), "ok\n");
}

TEST_F(WletTest, SendFileOfAnEmptyFileSendsNothing) {
    TTempDir dir;
    WriteBytes(dir.File("empty.bin"), {});
    ConnectBoth();
    int packets = 0;
    Client.OnPacketSent = [&](QObject*) { ++packets; };
    Client.SendFile(dir.File("empty.bin"));
    EXPECT_EQ(Client.SentCount(), 0);
    EXPECT_EQ(packets, 0);
    Client.CloseSocket();
    EXPECT_EQ(Peer.Receive(2000), "");
}

TEST_F(WletTest, SendFileOfAMissingFileNamesIt) {
    ConnectBoth();
    try {
        Client.SendFile("/nonexistent/veltrix/picture.jpg");
        FAIL() << "no error";
    } catch (const ESockError& e) {
        EXPECT_TRUE(e.Message().contains("/nonexistent/veltrix/picture.jpg")) << e.Message().toStdString();
    }
}

TEST_F(WletTest, LocalAddressAndPortGiveThePortArgument) {
    ConnectBoth();
    const int port = Peer.RemotePort();
    EXPECT_EQ(Client.LocalAddressText(), "127,0,0,1");
    EXPECT_EQ(Client.LocalPortText(), QString(",%1,%2").arg(port >> 8).arg(port & 0xFF));
}

TEST_F(WletTest, ListenAcceptsOneConnection) {
    TWirelet listener;
    listener.SetTimeOut(5000);
    listener.Listen(true);
    const QString portText = listener.LocalPortText();
    const int port = portText.section(',', 1, 1).toInt() * 256 + portText.section(',', 2, 2).toInt();
    TLoopbackPeer caller;
    ASSERT_TRUE(caller.ConnectTo(port));
    listener.UseSocket(listener.Accept());
    EXPECT_TRUE(listener.IsConnected());
    caller.Send("150 data\r\n");
    EXPECT_EQ(listener.ReadLn(), "150 data\r\n");
}

TEST_F(WletTest, AcceptGivesUpAfterTheTimeOut) {
    TWirelet listener;
    listener.SetTimeOut(100);
    listener.Listen(true);
    try {
        listener.Accept();
        FAIL() << "accepted nothing";
    } catch (const ESockError& e) {
        EXPECT_EQ(e.Message(), "Accepting Timed out");
    }
}

} // namespace
