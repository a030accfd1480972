// Reply text handling of the FTP client and the socket error texts, without a network.
#include <cerrno>

#include <gtest/gtest.h>

#include "ftp/XoFtp.h"
#include "support/FtpTestSupport.h"

namespace {

using namespace XoFtpReply;

TEST(ReplyTest, NthFieldCountsFromOneAndKeepsEmptyFields) {
    EXPECT_EQ(NthField("a,b,,d", ',', 1), "a");
    EXPECT_EQ(NthField("a,b,,d", ',', 3), "");
    EXPECT_EQ(NthField("a,b,,d", ',', 4), "d");
    EXPECT_EQ(NthField("a,b,,d", ',', 5), "");
    EXPECT_EQ(NthField("", ',', 1), "");
    EXPECT_EQ(NthField("257 \"/pub/site\" is current", '"', 2), "/pub/site");
}

struct TPasvCase {
    const char* Label;
    QString Reply;
    int Port; // 0: refused
};

class PasvTest : public testing::TestWithParam<TPasvCase> {};

TEST_P(PasvTest, PortFromFieldsFiveAndSix) {
    if (GetParam().Port == 0) {
        EXPECT_THROW(PasvPort(GetParam().Reply), FTPException);
        return;
    }
    EXPECT_EQ(PasvPort(GetParam().Reply), GetParam().Port);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PasvTest,
    testing::Values(TPasvCase{"other_address", "227 Entering Passive Mode (192,168,1,2,19,137).\r\n", 5001},
                    TPasvCase{"no_parenthesis", "227 =127,0,0,1,4,1\r\n", 1025},
                    TPasvCase{"blanks_between", "227 Passive (127, 0, 0, 1, 200, 7)\r\n", 51207},
                    TPasvCase{"too_few_fields", "227 Entering Passive Mode (127,0,0,1)\r\n", 0},
                    TPasvCase{"byte_out_of_range", "227 Entering Passive Mode (127,0,0,1,256,1)\r\n", 0},
                    TPasvCase{"not_a_number", "227 Entering Passive Mode (127,0,0,1,x,1)\r\n", 0},
                    TPasvCase{"port_zero", "227 Entering Passive Mode (127,0,0,1,0,0)\r\n", 0},
                    TPasvCase{"empty", "", 0}),
    [](const testing::TestParamInfo<TPasvCase>& info) { return std::string(info.param.Label); });

TEST(ReplyTest, PasvRefusalNamesTheReply) {
    try {
        PasvPort("227 nonsense\r\n");
        FAIL() << "no exception";
    } catch (const FTPException& e) {
        EXPECT_EQ(e.Message(), "Unusable passive mode reply: 227 nonsense");
    }
}

class EpsvTest : public testing::TestWithParam<TPasvCase> {};

TEST_P(EpsvTest, PortBetweenTheLastBars) {
    if (GetParam().Port == 0)
        EXPECT_THROW(XoFtpReply::EpsvPort(GetParam().Reply), FTPException);
    else
        EXPECT_EQ(XoFtpReply::EpsvPort(GetParam().Reply), GetParam().Port);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EpsvTest,
    testing::Values(TPasvCase{"plain", "229 Entering extended passive mode (|||6446|).\r\n", 6446},
                    TPasvCase{"highest_port", "229 ok (|||65535|)\r\n", 65535},
                    TPasvCase{"no_bars", "229 Entering extended passive mode\r\n", 0},
                    TPasvCase{"port_too_large", "229 (|||65536|)\r\n", 0},
                    TPasvCase{"not_a_number", "229 (|||x|)\r\n", 0}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(ReplyTest, QuotedPathReadsDoubledQuotesAsOne) {
    using XoFtpReply::QuotedPath;
    EXPECT_EQ(QuotedPath("257 \"/pub/site\" is the current directory.\r\n"), "/pub/site");
    EXPECT_EQ(QuotedPath("257 \"/up/q\"\"dir\"\r\n"), "/up/q\"dir");
    EXPECT_EQ(QuotedPath("257 \"/a \"\"b\"\" c\" created\r\n"), "/a \"b\" c");
    EXPECT_EQ(QuotedPath("257 \"\"\"\"\r\n"), "\"");
    EXPECT_EQ(QuotedPath("257 \"/open"), "/open");
    EXPECT_EQ(QuotedPath("257 no quotes\r\n"), "");
}

TEST(ReplyTest, VendorFromSystInTableOrder) {
    EXPECT_EQ(VendorFromSyst("215 UNIX Type: L8\r\n"), kVendorUnix);
    EXPECT_EQ(VendorFromSyst("215 VMS system\r\n"), kVendorVms);
    EXPECT_EQ(VendorFromSyst("215 VM/ESA\r\n"), kVendorVm);
    EXPECT_EQ(VendorFromSyst("215 OS/400 is the remote operating system\r\n"), kVendorOs400);
    EXPECT_EQ(VendorFromSyst("215 unix lower case\r\n"), kVendorOther);
    EXPECT_EQ(VendorFromSyst("502 SYST not understood\r\n"), kVendorOther);
}

TEST(ReplyTest, TransactionTypeFromTheFirstWordCaseSensitive) {
    EXPECT_EQ(TransTypeOf("CWD /pub"), TCmdType::ChangeDir);
    EXPECT_EQ(TransTypeOf("cwd /pub"), TCmdType::DoCommand);
    EXPECT_EQ(TransTypeOf("MKD new"), TCmdType::MakeDir);
    EXPECT_EQ(TransTypeOf("DELE old.html"), TCmdType::Delete);
    EXPECT_EQ(TransTypeOf("RMD old"), TCmdType::RemoveDir);
    EXPECT_EQ(TransTypeOf("PWD"), TCmdType::CurrentDir);
    EXPECT_EQ(TransTypeOf("PWD "), TCmdType::DoCommand);
    EXPECT_EQ(TransTypeOf("TYPE A"), TCmdType::DoCommand);
}

// Feeds the lines after `first` until the reply ends; returns how many were consumed.
int LinesConsumed(const QStringList& lines) {
    int used = 1;
    QString current = lines[0];
    while (Continues(lines[0], current)) {
        current = used < lines.size() ? lines[used] : QString();
        ++used;
    }
    return used;
}

TEST(ReplyTest, MultiLineRepliesEndAtTheirLastLine) {
    EXPECT_EQ(LinesConsumed({"230-Welcome\r\n", " \r\n", "230 Logged in\r\n", "200 next\r\n"}), 3);
    EXPECT_EQ(LinesConsumed({"220 Ready\r\n", "200 next\r\n"}), 1);
    // Lines in between need no prefix of their own; the reply ends at the same code and a blank.
    EXPECT_EQ(LinesConsumed({"211-Features:\r\n", "MDTM\r\n", "211-x\r\n", "211 End\r\n", "200 next\r\n"}),
              4);
    EXPECT_EQ(LinesConsumed({"211-Features:\r\n", "211\r\n", "200 next\r\n"}), 2);
    // The connection closing ends a reply that never got its last line.
    EXPECT_EQ(LinesConsumed({"230-Welcome\r\n", "more\r\n"}), 3);
}

TEST(ReplyTest, CommandsWithLineBreaksAreRefused) {
    EXPECT_NO_THROW(CheckCommandText("STOR my picture.jpg"));
    EXPECT_THROW(CheckCommandText("STOR a\r\nDELE index.html"), FTPException);
    EXPECT_THROW(CheckCommandText("STOR a\nb"), FTPException);
    EXPECT_THROW(CheckCommandText(QString("STOR a") + QChar(0) + "b"), FTPException);
    try {
        CheckCommandText("PASS Zq9\nXw7");
        FAIL() << "no exception";
    } catch (const FTPException& e) {
        EXPECT_FALSE(e.Message().contains("Zq9")) << "the refusal must not show a password";
    }
}

TEST(SocketErrorTest, TextsOfTheTable) {
    EXPECT_EQ(TWirelet::ErrorText(10061), "10061:Connection refused");
    EXPECT_EQ(TWirelet::ErrorText(12345), "Unknown Error No. 12345");
    EXPECT_EQ(TWirelet::ErrorText(0), "");
    EXPECT_EQ(TWirelet::ErrorText(TWirelet::SocketErrorOf(ECONNREFUSED)), "10061:Connection refused");
    EXPECT_EQ(TWirelet::ErrorText(TWirelet::SocketErrorOf(ENOTCONN)), "10057:Socket is not connected");
}

TEST(SocketErrorTest, ReplyCodeFromLeadingDigits) {
    EXPECT_EQ(TWirelet::ReplyCodeOf("220 Ready\r\n"), 220);
    EXPECT_EQ(TWirelet::ReplyCodeOf("hello\r\n"), 0);
    EXPECT_EQ(TWirelet::ReplyCodeOf(""), 0);
    EXPECT_EQ(TWirelet::ReplyCodeOf("230-Welcome"), 230);
    EXPECT_EQ(TWirelet::ReplyCodeOf("99999 too big"), 0);
    EXPECT_EQ(TWirelet::ReplyCodeOf("12345678901234 more than ten digits"), 0);
}

} // namespace
