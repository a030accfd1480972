// The options file read into one value: stored values out of range come out in range.
#include <gtest/gtest.h>

#include "gallery/GalleryOptions.h"
#include "support/TestSupport.h"

namespace {

struct TStored {
    const char* Name;
    const char* Text; // the options file
    int Width;
    int Height;
    int Port;
    bool Noted; // reading says what it mended
};

class TOptionsRangeTest : public testing::TestWithParam<TStored> {};

// Width and height as the spin edits hold them; a port that is none gives port 21 and says so. A key that
// is not a number keeps what was held before.
TEST_P(TOptionsRangeTest, ComeOutInRange) {
    TTempDir dir;
    WriteBytes(dir.File("vlx.ini"), GetParam().Text);
    TOptions current;
    current.TableGrid.Height = 70;
    const TOptions options = ReadOptions(dir.File("vlx.ini"), current);
    EXPECT_EQ(options.TableGrid.Width, GetParam().Width);
    EXPECT_EQ(options.TableGrid.Height, GetParam().Height);
    EXPECT_EQ(options.Ftp.Port, GetParam().Port);
    EXPECT_EQ(options.Notes.size(), GetParam().Noted ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TOptionsRangeTest,
    testing::Values(
        TStored{"InRange", "[TableGrid]\nWidth=80\nHeight=90\n[Ftp]\nPort=2121\n", 80, 90, 2121, false},
        TStored{"TooLarge", "[TableGrid]\nWidth=5000\nHeight=201\n[Ftp]\nPort=99999\n", 200, 200, 21, true},
        TStored{"TooSmall", "[TableGrid]\nWidth=-3\nHeight=9\n[Ftp]\nPort=0\n", 10, 10, 21, true},
        TStored{"NotNumbers", "[TableGrid]\nWidth=wide\nHeight=\n[Ftp]\nPort=ftp\n", 64, 70, 21, true},
        TStored{"Missing", "", 64, 70, 21, false}),
    [](const auto& info) { return std::string(info.param.Name); });

// What is written reads back the same, the FTP settings included (SFTP with its key file, implicit TLS).
TEST(OptionsFileTest, WrittenOptionsReadBack) {
    TTempDir dir;
    TOptions options;
    options.Common = {true, false, false, "Trip"};
    options.TableGrid = {80, 90, false};
    options.Ftp = {"files.example.net",
                   2121,
                   "ann",
                   " /www/pictures",
                   false,
                   TFtpEncryption::Implicit,
                   false,
                   true,
                   TUploadProtocol::Sftp,
                   "/home/ann/.ssh/id_ed25519",
                   5};
    options.Ftp.RememberPassword = true;
    WriteOptions(dir.File("vlx.ini"), options);
    const TOptions read = ReadOptions(dir.File("vlx.ini"));
    EXPECT_EQ(read.Common.Profile, "Trip");
    EXPECT_TRUE(read.Common.LoadOnStartup);
    EXPECT_FALSE(read.Common.ClearTmpDir);
    EXPECT_EQ(read.TableGrid.Height, 90);
    EXPECT_FALSE(read.TableGrid.AutoUpdate);
    EXPECT_EQ(read.Ftp, options.Ftp);
}

// Connections stored out of range come into it, like the port; files written before the setting get 3.
TEST(OptionsFileTest, ConnectionsComeOutInRange) {
    TTempDir dir;
    for (const auto& [stored, connections] :
         {std::pair{"[Ftp]\nConnections=12\n", 8}, {"[Ftp]\nConnections=0\n", 1}, {"[Ftp]\nHost=h\n", 3}}) {
        WriteBytes(dir.File("vlx.ini"), stored);
        EXPECT_EQ(ReadOptions(dir.File("vlx.ini")).Ftp.Connections, connections) << stored;
    }
}

} // namespace
