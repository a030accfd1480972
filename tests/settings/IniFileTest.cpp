// The options file: defaults, value forms, the written layout, foreign lines kept, refused writes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "settings/VlxIniFile.h"
#include "support/TestSupport.h"

namespace {

struct TDefaultsCase {
    const char* Label;
    std::optional<QByteArray> Content; // nullopt: no file at all
};

void PrintTo(const TDefaultsCase& c, std::ostream* os) {
    *os << c.Label;
}

class IniDefaults : public testing::TestWithParam<TDefaultsCase> {};

TEST_P(IniDefaults, MissingFileSectionOrKeyReadsTheDefaults) {
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    if (GetParam().Content)
        WriteBytes(path, *GetParam().Content);
    const TIniFile ini(path);
    EXPECT_TRUE(ini.ReadBool("Common", "ClearTmpDir", true));
    EXPECT_FALSE(ini.ReadBool("Common", "LoadOnStartup", false));
    EXPECT_EQ(ini.ReadInteger("TableGrid", "Width", 64), 64);
    EXPECT_EQ(ini.ReadString("Ftp", "Port", "21"), "21");
    EXPECT_EQ(ini.ReadString("Ftp", "Host", ""), "");
    EXPECT_EQ(GetParam().Content.has_value(), QFile::exists(path)) << "reading must not create the file";
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniDefaults,
    testing::Values(TDefaultsCase{"no file", std::nullopt}, TDefaultsCase{"empty file", QByteArray()},
                    TDefaultsCase{"other sections only", QByteArray("[Other]\nWidth=9\nHost=x\n")},
                    TDefaultsCase{"keys before any section", QByteArray("Width=9\nPort=99\nClearTmpDir=0\n")},
                    TDefaultsCase{"sections without those keys",
                                  QByteArray("[Common]\n[TableGrid]\nW=1\n[Ftp]\n")},
                    TDefaultsCase{"binary junk", QByteArray("\x00\xFF[\x80=\n=\n[", 9)}));

struct TNumberCase {
    const char* Value;
    int Expected; // read with the default 42
};

void PrintTo(const TNumberCase& c, std::ostream* os) {
    *os << '"' << c.Value << '"';
}

class IniIntegers : public testing::TestWithParam<TNumberCase> {};

TEST_P(IniIntegers, DecimalIntegerOrTheDefault) {
    TTempDir dir;
    WriteBytes(dir.File("vlx.ini"), QByteArray("[TableGrid]\nWidth=") + GetParam().Value + "\n");
    EXPECT_EQ(TIniFile(dir.File("vlx.ini")).ReadInteger("TableGrid", "Width", 42), GetParam().Expected)
        << GetParam().Value;
}

INSTANTIATE_TEST_SUITE_P(Values, IniIntegers,
                         testing::Values(TNumberCase{"64", 64}, TNumberCase{"  500  ", 500},
                                         TNumberCase{"-5", -5}, TNumberCase{"0", 0}, TNumberCase{"abc", 42},
                                         TNumberCase{"12abc", 42}, TNumberCase{"", 42},
                                         TNumberCase{"0x10", 42}, TNumberCase{"1.5", 42},
                                         TNumberCase{"99999999999", 42}, TNumberCase{"\"64\"", 64}));

struct TBoolCase {
    const char* Value;
    bool Default;
    bool Expected;
};

void PrintTo(const TBoolCase& c, std::ostream* os) {
    *os << '"' << c.Value << "\" default " << c.Default;
}

class IniBooleans : public testing::TestWithParam<TBoolCase> {};

TEST_P(IniBooleans, TrueWhenNotZero) {
    TTempDir dir;
    WriteBytes(dir.File("vlx.ini"), QByteArray("[Common]\nLoadOnStartup=") + GetParam().Value + "\n");
    EXPECT_EQ(TIniFile(dir.File("vlx.ini")).ReadBool("Common", "LoadOnStartup", GetParam().Default),
              GetParam().Expected)
        << GetParam().Value;
}

INSTANTIATE_TEST_SUITE_P(Values, IniBooleans,
                         testing::Values(TBoolCase{"1", false, true}, TBoolCase{"0", true, false},
                                         TBoolCase{"2", false, true}, TBoolCase{"-1", false, true},
                                         TBoolCase{"true", false, false}, TBoolCase{"yes", true, true},
                                         TBoolCase{"", true, true}));

// Writes every option key in the order the options are saved.
void SaveAll(TIniFile& ini, bool load, const QString& profile, int width, const QString& host) {
    ini.WriteBool("Common", "LoadOnStartup", load);
    ini.WriteBool("Common", "OverFileConf", !load);
    ini.WriteBool("Common", "ClearTmpDir", true);
    ini.WriteString("Common", "Profile", profile);
    ini.WriteInteger("TableGrid", "Width", width);
    ini.WriteInteger("TableGrid", "Height", -80);
    ini.WriteBool("TableGrid", "AutoUpdate", load);
    ini.WriteString("Ftp", "Host", host);
    ini.WriteString("Ftp", "Port", "21");
    ini.WriteString("Ftp", "UserID", "ann");
    ini.WriteString("Ftp", "RemoteDir", "/www/my photos");
}

QByteArray SavedFile(const char* load, const char* overFile, const char* profile, const char* width,
                     const char* host) {
    return QByteArray("[Common]\nLoadOnStartup=") + load + "\nOverFileConf=" + overFile +
           "\nClearTmpDir=1\nProfile=" + profile + "\n[TableGrid]\nWidth=" + width +
           "\nHeight=-80\nAutoUpdate=" + load + "\n[Ftp]\nHost=" + host +
           "\nPort=21\nUserID=ann\nRemoteDir=/www/my photos\n";
}

TEST(IniFile, SavingWritesSectionsAndKeysInPlainForm) {
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    TIniFile ini(path);
    SaveAll(ini, true, "My profile", 64, "ftp.example.org");
    QByteArray expected = SavedFile("1", "0", "My profile", "64", "ftp.example.org");
    EXPECT_EQ(ReadBytes(path), expected) << FirstDifference(expected, ReadBytes(path)).toStdString();

    // Saving again replaces each value where it stands.
    SaveAll(ini, false, "Strand", 200, "");
    expected = SavedFile("0", "1", "Strand", "200", "");
    EXPECT_EQ(ReadBytes(path), expected) << FirstDifference(expected, ReadBytes(path)).toStdString();
    EXPECT_EQ(ini.ReadString("Ftp", "Host", "unset"), "");
    EXPECT_EQ(ini.ReadString("Ftp", "RemoteDir", ""), "/www/my photos");
}

// A file edited by hand: other letter case, blanks around '=', comments, CRLF line breaks, an unknown key.
TEST(IniFile, HandEditedFileIsReadAndOnlyTheWrittenKeyChanges) {
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    const QByteArray original = "; Veltrix options\r\n[common]\r\n  loadonstartup = 1\r\nColour=blue\r\n"
                                "\r\n; upload\r\n[FTP]\r\nHOST = ftp.example.org \r\nPort=2121";
    WriteBytes(path, original);
    TIniFile ini(path);
    EXPECT_TRUE(ini.ReadBool("Common", "LoadOnStartup", false));
    EXPECT_EQ(ini.ReadString("Ftp", "Host", ""), "ftp.example.org");
    EXPECT_EQ(ini.ReadString("Ftp", "Port", "21"), "2121");

    ini.WriteString("Common", "Profile", "Strand");
    ini.WriteString("Ftp", "Port", "21");
    ini.WriteString("Ftp", "UserID", "ann");
    ini.WriteInteger("TableGrid", "Width", 64);
    const QByteArray expected =
        "; Veltrix options\r\n[common]\r\n  loadonstartup = 1\r\nColour=blue\r\n"
        "Profile=Strand\r\n\r\n; upload\r\n[FTP]\r\nHOST = ftp.example.org \r\nPort=21\r\n"
        "UserID=ann\r\n[TableGrid]\r\nWidth=64\r\n";
    EXPECT_EQ(ReadBytes(path), expected) << FirstDifference(expected, ReadBytes(path)).toStdString();
}

TEST(IniFile, FirstOccurrenceOfARepeatedKeyOrSectionCounts) {
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    WriteBytes(path, "[Ftp]\nHost=first\nHost=second\n[Ftp]\nHost=third\nPort=2121\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Ftp", "Host", ""), "first");
    EXPECT_EQ(ini.ReadString("Ftp", "Port", ""), "2121");
    ini.WriteString("Ftp", "Host", "new");
    EXPECT_EQ(ini.ReadString("Ftp", "Host", ""), "new");
    EXPECT_EQ(ReadBytes(path), "[Ftp]\nHost=new\nHost=second\n[Ftp]\nHost=third\nPort=2121\n");
}

class IniStrings : public testing::TestWithParam<const char*> {};

// Reading drops blanks around a value and one pair of enclosing quotes; what is written reads back whole.
TEST_P(IniStrings, WrittenValueReadsBackUnchanged) {
    TTempDir dir;
    TIniFile ini(dir.File("vlx.ini"));
    const QString value = QString::fromUtf8(GetParam());
    ini.WriteString("Ftp", "RemoteDir", value);
    ini.WriteString("Ftp", "UserID", "ann");
    EXPECT_EQ(ini.ReadString("Ftp", "RemoteDir", "unset"), value);
    EXPECT_EQ(ini.ReadString("Ftp", "UserID", ""), "ann");
}

INSTANTIATE_TEST_SUITE_P(Values, IniStrings,
                         testing::Values("", "/www/photos", " leading", "trailing\t", "\"quoted\"",
                                         "'single'", "\"", "\"half", "a=b=c", "; not a comment",
                                         "[not a section]", "Bücher/写真", "x\"y'"));

TEST(IniFile, PlainValuesAreWrittenAsTheyAre) {
    TTempDir dir;
    TIniFile ini(dir.File("vlx.ini"));
    ini.WriteString("Ftp", "RemoteDir", "a=b; c [d]");
    ini.WriteString("Ftp", "Host", " padded ");
    EXPECT_EQ(ReadBytes(dir.File("vlx.ini")), "[Ftp]\nRemoteDir=a=b; c [d]\nHost=\" padded \"\n");
}

// A line break would let a value add keys of its own to the file; nothing is written.
TEST(IniFile, ValueWithLineBreakIsRefusedAndNothingWritten) {
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    TIniFile ini(path);
    ini.WriteString("Ftp", "Host", "ftp.example.org");
    const QByteArray before = ReadBytes(path);
    EXPECT_THROW(ini.WriteString("Ftp", "Host", "evil\n[Common]\nLoadOnStartup=1"), EIniFileException);
    EXPECT_THROW(ini.WriteString("Ftp", "Ho=st", "x"), EIniFileException);
    EXPECT_THROW(ini.WriteString("F]tp", "Host", "x"), EIniFileException);
    EXPECT_EQ(ReadBytes(path), before);
}

class IniRefusedWrite : public testing::TestWithParam<QFile::Permissions> {};

// The earlier keys stay written, the refused one raises the message naming the file, nothing is lost.
TEST_P(IniRefusedWrite, RaisesUnableToWriteAndKeepsTheFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the super-user";
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    TIniFile ini(path);
    ini.WriteBool("Common", "LoadOnStartup", true);
    const QByteArray before = ReadBytes(path);
    ASSERT_TRUE(QFile::setPermissions(path, GetParam()));
    try {
        ini.WriteBool("Common", "OverFileConf", false);
        ADD_FAILURE() << "write was not refused";
    } catch (const EIniFileException& e) {
        EXPECT_TRUE(e.Message().startsWith("Unable to write to " + path + ": ")) << e.Message().toStdString();
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(ReadBytes(path), before);
}

INSTANTIATE_TEST_SUITE_P(Permissions, IniRefusedWrite,
                         testing::Values(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther,
                                         QFile::Permissions(QFile::WriteOwner)));

// The reason comes from the system and the path is named.
TEST(IniFile, WriteToAPathThatIsNoFileIsRefused) {
    TTempDir dir;
    const std::pair<QString, QString> cases[] = {{dir.Path().chopped(1), "it is a folder"},
                                                 {dir.File("missing/vlx.ini"), "No such file or directory"}};
    for (const auto& [path, reason] : cases) {
        try {
            TIniFile(path).WriteString("Ftp", "Host", "x");
            ADD_FAILURE() << "wrote " << path.toStdString();
        } catch (const EIniFileException& e) {
            EXPECT_TRUE(e.Message().startsWith("Unable to write to " + path + ": "))
                << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(reason)) << e.Message().toStdString();
        }
    }
}

struct TRefusedFileCase {
    const char* Label;
    const char* Reason;
};

void PrintTo(const TRefusedFileCase& c, std::ostream* os) {
    *os << c.Label;
}

class IniRefusedFile : public testing::TestWithParam<TRefusedFileCase> {};

// A pipe would block start-up for ever, a huge file would take minutes: both are refused on reading and
// on writing with the reason, and stay as they are.
TEST_P(IniRefusedFile, ReadAndWriteRaiseAndLeaveTheFile) {
    TTempDir dir;
    const QString path = dir.File("vlx.ini");
    const bool pipe = std::string(GetParam().Label) == "pipe";
    const bool zeros = std::string(GetParam().Label) == "zeros";
    QByteArray big;
    if (pipe) {
        ASSERT_EQ(mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    } else if (zeros) {
        ASSERT_TRUE(QFile::link("/dev/zero", path));
    } else {
        big = "[Common]\nLoadOnStartup=1\n" + QByteArray(kMaxIniFileBytes, ';');
        WriteBytes(path, big);
    }
    TIniFile ini(path);
    for (int write = 0; write < 2; ++write) {
        try {
            write ? ini.WriteBool("Common", "LoadOnStartup", false)
                  : (void)ini.ReadBool("Common", "LoadOnStartup", false);
            ADD_FAILURE() << "not refused, write " << write;
        } catch (const EIniFileException& e) {
            EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(GetParam().Reason)) << e.Message().toStdString();
        }
    }
    if (!pipe && !zeros) {
        EXPECT_EQ(ReadBytes(path), big);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, IniRefusedFile,
                         testing::Values(TRefusedFileCase{"pipe", "not a regular file"},
                                         TRefusedFileCase{"zeros", "not a regular file"},
                                         TRefusedFileCase{"big", "more than the 1048576 bytes allowed"}));

} // namespace
