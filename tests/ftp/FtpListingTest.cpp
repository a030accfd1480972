// Directory listing parsers: one line at a time, and whole listings captured from real servers.
#include <gtest/gtest.h>

#include "ftp/XoFtp.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

namespace {

struct TLineCase {
    const char* Label;
    QString Line;
    bool Added;
    QString Name, Size, Date, Attr;
};

void PrintTo(const TLineCase& c, std::ostream* os) {
    *os << c.Label;
}

class UnixLineTest : public testing::TestWithParam<TLineCase> {};

TEST_P(UnixLineTest, PicksEntryAfterTheDate) {
    const TLineCase& c = GetParam();
    TFTPUnixList parser;
    parser.ParseLine(c.Line);
    ASSERT_EQ(parser.NameList.size(), c.Added ? 1 : 0);
    ASSERT_EQ(parser.AttrList.size(), parser.NameList.size());
    ASSERT_EQ(parser.DateList.size(), parser.NameList.size());
    ASSERT_EQ(parser.SizeList.size(), parser.NameList.size());
    if (!c.Added)
        return;
    EXPECT_EQ(parser.NameList[0], c.Name);
    EXPECT_EQ(parser.SizeList[0], c.Size);
    EXPECT_EQ(parser.DateList[0], c.Date);
    EXPECT_EQ(parser.AttrList[0], c.Attr);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UnixLineTest,
    testing::Values(
        TLineCase{"total_line", "total 24", false, {}, {}, {}, {}},
        TLineCase{"blank_line", "", false, {}, {}, {}, {}},
        TLineCase{"seven_fields", "-rw-r--r-- 1 ann 6 Jan 29 a.txt", false, {}, {}, {}, {}},
        TLineCase{"nine_fields_directory", "drwxr-xr-x 2 ann staff 4096 Jan 29 23:32 photos", true, "photos",
                  "4096", "Jan 29 23:32", "drwxr-xr-x"},
        TLineCase{"eight_fields_no_group", "-rw-r--r-- 1 ann 1234 Mar 4 2019 index.html", true, "index.html",
                  "1234", "Mar 4 2019", "-rw-r--r--"},
        TLineCase{"blank_runs_are_one_separator", "-rw-r--r--    1 ann   staff      6 Dec  8 19:37   a.jpg",
                  true, "a.jpg", "6", "Dec 8 19:37", "-rw-r--r--"},
        TLineCase{"name_with_blank_is_whole", "-rw-r--r-- 1 ann staff 1234 Dec 08 19:37 my picture.jpg", true,
                  "my picture.jpg", "1234", "Dec 08 19:37", "-rw-r--r--"},
        TLineCase{"folder_with_blank_runs_after_a_year", "drwxr-xr-x 2 ann staff 4096 Mar  4  2019 sub  dir",
                  true, "sub  dir", "4096", "Mar 4 2019", "drwxr-xr-x"},
        TLineCase{"name_that_looks_like_a_date", "-rw-r--r-- 1 1000 1000 5 Dec 8 9:05 Jan 29 2020 x", true,
                  "Jan 29 2020 x", "5", "Dec 8 9:05", "-rw-r--r--"},
        TLineCase{"symbolic_link_gives_link_name",
                  "lrwxrwxrwx 1 ann staff 10 Dec 08 19:37 my link -> index.html", true, "my link", "10",
                  "Dec 08 19:37", "lrwxrwxrwx"},
        TLineCase{"arrow_in_a_file_name_stays", "-rw-r--r-- 1 ann staff 10 Dec 08 19:37 a -> b", true,
                  "a -> b", "10", "Dec 08 19:37", "-rw-r--r--"},
        TLineCase{"no_date_is_read_from_the_end", "-rw-r--r-- 1 ann staff 10 2024-12-08 19:37 b.txt", true,
                  "b.txt", "staff", "10 2024-12-08 19:37", "-rw-r--r--"},
        TLineCase{"tab_is_part_of_a_field", "-rw-r--r-- 1 ann staff 6 Dec 08 19:37 a\tb.jpg", true,
                  "a\tb.jpg", "6", "Dec 08 19:37", "-rw-r--r--"},
        TLineCase{"trailing_blank_stays_in_the_name", "drwxr-xr-x 2 ann staff 4096 Jan 29 23:32 photos ",
                  true, "photos ", "4096", "Jan 29 23:32", "drwxr-xr-x"},
        TLineCase{"leading_blank_makes_empty_first_field", " drwxr-xr-x 2 ann staff 4096 Jan 29 23:32 photos",
                  true, "photos", "4096", "Jan 29 23:32", ""},
        TLineCase{
            "more_than_25_fields_keep_the_whole_name",
            "-rw-r--r-- 1 ann staff 77 Jan 29 23:32 a b c d e f g h i j k l m n o p q r s t u v w x y z",
            true, "a b c d e f g h i j k l m n o p q r s t u v w x y z", "77", "Jan 29 23:32", "-rw-r--r--"}),
    [](const testing::TestParamInfo<TLineCase>& info) { return std::string(info.param.Label); });

TEST(DirectoryListTest, OverlongFieldIsCutAt255Characters) {
    TFTPDirectoryList parser;
    parser.ParseLine("a " + QString(300, 'x') + " b");
    ASSERT_EQ(parser.FieldCount(), 3);
    EXPECT_EQ(parser.Field(2), QString(255, 'x'));
    EXPECT_EQ(parser.Field(3), "b");
    EXPECT_EQ(parser.Field(4), "");
}

TEST(DirectoryListTest, ClearStartsTheNextListingAtIndexZero) {
    TFTPUnixList parser;
    parser.ParseLine("-rw-r--r-- 1 ann staff 6 Dec 08 19:37 old.html");
    parser.Clear();
    EXPECT_TRUE(parser.NameList.isEmpty() && parser.SizeList.isEmpty() && parser.DateList.isEmpty() &&
                parser.AttrList.isEmpty());
    parser.ParseLine("-rw-r--r-- 1 ann staff 6 Dec 08 19:37 new.html");
    ASSERT_EQ(parser.NameList.size(), 1);
    EXPECT_EQ(parser.NameList[0], "new.html");
}

// Whole captured listings: the names, and which entries the upload panel would show as directories.
struct TCapture {
    const char* File;
    QStringList Names;
    QStringList Directories;
};

class CapturedListingTest : public testing::TestWithParam<TCapture> {};

TEST_P(CapturedListingTest, ParsesEveryLine) {
    const QByteArray bytes = ReadBytes(TestData(QString("ftp/") + GetParam().File));
    ASSERT_FALSE(bytes.isEmpty());
    TFTPUnixList parser;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        parser.ParseLine(QString::fromUtf8(line));
    }
    EXPECT_EQ(parser.NameList, GetParam().Names);
    QStringList directories;
    for (int i = 0; i < parser.NameList.size(); ++i)
        if (parser.AttrList[i].startsWith('d', Qt::CaseInsensitive))
            directories << parser.NameList[i];
    EXPECT_EQ(directories, GetParam().Directories);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CapturedListingTest,
    testing::Values(TCapture{"listing_pyftpdlib_link_blank_name.txt",
                             {"index.html", "link.html", "my picture.jpg", "photos", "sub dir"},
                             {"photos", "sub dir"}},
                    TCapture{"listing_ls_total_dot_entries.txt",
                             {".", "..", "index.html", "link.html", "my picture.jpg", "photos", "sub dir"},
                             {".", "..", "photos", "sub dir"}}));

} // namespace
