// The command line: its arguments, its exit statuses, and the gallery it writes against the window's.
#include "AppFixture.h"
#include "GenTestSupport.h"

#include <csignal>
#include <cstdio>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTextStream>

#include "app/VlxRunCommands.h"
#include "cli/VlxCommandLine.h"
#include "gallery/GalleryNames.h"
#include "grid/GfxGrid.h"
#include "html/WebFiles.h"
#include "settings/VlxConfigDir.h"

namespace {

const QStringList kPictures{"gen/jpeg_baseline_420.jpg", "gen/bmp_24bpp.bmp", "gen/ico_32bpp_bmp.ico"};

class TCommandLineTest : public TAppTest {
protected:
    // Runs the command in this process on the fixture's folders; its streams are kept in Out and Err.
    int Run(const QStringList& args) {
        Out.clear();
        Err.clear();
        QTextStream out(&Out);
        QTextStream err(&Err);
        return RunCommandLine(args, TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}}, {out, err, false});
    }
    static QStringList Pictures() {
        QStringList paths;
        for (const QString& name : kPictures)
            paths << TestData(name);
        return paths;
    }
    QString Out;
    QString Err;
};

struct TBadArgs {
    const char* Name;
    QStringList Args;
    const char* Error;
};

class TBadArgsTest : public TCommandLineTest, public testing::WithParamInterface<TBadArgs> {};

struct TFailure {
    const char* Name;
    const char* Profile;
    const char* OutDir; // under the fixture's files folder
    const char* Picture;
    const char* Error; // the line that must be on the error stream, with FILES for the files folder
};

class TFailureTest : public TCommandLineTest, public testing::WithParamInterface<TFailure> {};

} // namespace

TEST_P(TBadArgsTest, ExitsTwoNamingTheArgument) {
    EXPECT_EQ(Run(GetParam().Args), kCliBadArguments);
    EXPECT_TRUE(Err.startsWith(QString("veltrix: ") + GetParam().Error + "\nUsage: veltrix generate"))
        << Err.toStdString();
    EXPECT_TRUE(Out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, TBadArgsTest,
    testing::Values(TBadArgs{"NoCommand", {}, "No command given"},
                    TBadArgs{"UnknownCommand", {"publish"}, "Unknown command publish"},
                    TBadArgs{"UnknownOption", {"generate", "--colour", "red"}, "Unknown option --colour"},
                    TBadArgs{"NoValue", {"generate", "--profile"}, "Option --profile needs a value"},
                    TBadArgs{"ZeroColumns",
                             {"generate", "--columns", "0"},
                             "Option --columns: \"0\" is not a number from 1 to 100"},
                    TBadArgs{"NoProfile",
                             {"generate", "--columns", "2", "--out", "o", "a.jpg"},
                             "Missing --profile NAME"},
                    TBadArgs{"NoFiles",
                             {"generate", "--profile", "p", "--columns", "2", "--out", "o"},
                             "No picture files given"},
                    TBadArgs{"UploadWithoutFolder", {"upload"}, "Missing --out DIR"},
                    TBadArgs{"TooManyConnections",
                             {"upload", "--out", "o", "--connections", "9"},
                             "Option --connections: \"9\" is not a number from 1 to 8"},
                    TBadArgs{"PasswordAsArgument",
                             {"upload", "--out", "o", "--password", "x"},
                             "No --password: give it in VELTRIX_FTP_PASSWORD or on standard input"},
                    TBadArgs{"TooMany",
                             {"generate", "--profile", "p", "--columns", "1", "--rows", "1", "--out", "o",
                              "a.jpg", "b.jpg"},
                             "2 pictures do not fit a table of 1 columns and 1 rows"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_P(TFailureTest, ExitsOneWithTheErrorAndWritesNoFolder) {
    const QString picture = GetParam().Picture[0] ? TestData(GetParam().Picture) : FFiles.File("gone.jpg");
    QFile blocker(FFiles.File("file.txt"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const QString dir = FFiles.File(GetParam().OutDir);
    EXPECT_EQ(Run({"generate", "--profile", GetParam().Profile, "--columns", "2", "--out", dir, picture}),
              kCliFailed);
    const QString expected =
        QString(GetParam().Error).replace("FILES/", FFiles.Path()).replace("CONFIG/", FConfig.Path());
    EXPECT_TRUE(Err.contains(expected + "\n")) << Err.toStdString();
    EXPECT_TRUE(Out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, TFailureTest,
    testing::Values(TFailure{"MissingProfile", "nope", "out", "gen/bmp_24bpp.bmp",
                             "veltrix: Profile \"nope\" not found in CONFIG/profiles.vlx"},
                    TFailure{"MissingPicture", "default", "out", "",
                             "veltrix: Cannot load FILES/gone.jpg: the file does not exist"},
                    // A file stands where the folder should be made.
                    TFailure{"UnwritableFolder", "default", "file.txt/out", "gen/bmp_24bpp.bmp",
                             "veltrix: Cannot write into the folder FILES/file.txt/out/: FILES/file.txt is a "
                             "file, not a folder; choose another output folder"},
                    TFailure{"OutIsAFile", "default", "file.txt", "gen/bmp_24bpp.bmp",
                             "veltrix: --out FILES/file.txt is a file, not a folder"}),
    [](const auto& info) { return std::string(info.param.Name); });

// `veltrix upload` without a password refuses before connecting; an empty one given on purpose (an empty
// line, or the variable set empty) is used. The server's port has nobody listening: an attempt fails there.
TEST_F(TCommandLineTest, UploadWithoutAPasswordRefusesAndSaysHowToGiveOne) {
    WriteBytes(FConfig.File(kOptionsFileName), "[Ftp]\nHost=127.0.0.1\nPort=1\nUserID=anna\nRemoteDir=x\n");
    ASSERT_TRUE(QDir().mkpath(FFiles.File("site")));
    WriteBytes(FFiles.File("site/index.html"), "<html></html>");
    struct TCase {
        const char* Variable; // null: not set
        QString Input;
        bool Refused;
    };
    for (const TCase& c : {TCase{nullptr, "", true}, TCase{nullptr, "\n", false}, TCase{"", "", false}}) {
        if (c.Variable)
            qputenv(kFtpPasswordVariable, c.Variable);
        else
            qunsetenv(kFtpPasswordVariable);
        QString input = c.Input;
        QTextStream out(&Out), err(&Err), in(&input);
        Out.clear();
        Err.clear();
        EXPECT_EQ(RunCommandLine({"upload", "--out", FFiles.File("site")},
                                 TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}},
                                 {out, err, false, &in, false}),
                  kCliFailed);
        const QString refusal =
            "veltrix: no password given: set the environment variable VELTRIX_FTP_PASSWORD "
            "(it may be empty) or give the password as a line on standard input\n";
        EXPECT_EQ(Err == refusal, c.Refused) << Err.toStdString();
        EXPECT_EQ(Err.contains("127.0.0.1 port 1"), !c.Refused) << Err.toStdString();
    }
    qunsetenv(kFtpPasswordVariable);
}

// An options file without a server or a user is named as what to mend, before anything is asked or sent.
TEST_F(TCommandLineTest, UploadWithoutAServerOrAUserSaysWhatToSet) {
    ASSERT_TRUE(QDir().mkpath(FFiles.File("site")));
    WriteBytes(FFiles.File("site/index.html"), "<html></html>");
    for (const auto& [ini, refusal] :
         {std::pair{"[Ftp]\nUserID=anna\n", "veltrix: No FTP server in the options file"},
          std::pair{"[Ftp]\nHost=127.0.0.1\nPort=1\n", "veltrix: No FTP user in the options file"}}) {
        WriteBytes(FConfig.File(kOptionsFileName), ini);
        EXPECT_EQ(Run({"upload", "--out", FFiles.File("site")}), kCliFailed);
        EXPECT_TRUE(Err.startsWith(refusal)) << Err.toStdString();
    }
}

// The folder is the window's, byte for byte, for a profile with every effect on; the profile comes from the
// profiles file, not from a window's state.
TEST_F(TCommandLineTest, WritesTheWindowsGalleryForTheProfile) {
    AllEffectsOn();
    W().Html->PicInfNameCB->setChecked(true);
    W().Html->PgTitleE->setText("Holiday");
    D().Inputs = {"look"};
    W().Options->Prf_AddA->trigger();
    ProcessEvents();

    const QString cliDir = FFiles.File("cli");
    ASSERT_EQ(
        Run(QStringList{"generate", "--profile", "look", "--columns", "2", "--out", cliDir} + Pictures()),
        kCliOk)
        << Err.toStdString();
    EXPECT_EQ(Out, cliDir + "\n");
    EXPECT_EQ(Err, "copy 3/3\nthumbnails 3/3\npages 3/3\nindex 3/3\n11 files written, 0 kept, 0 removed\n");

    W().Html->GfxGridColSE->setValue(2);
    W().Html->GfxGridRowSE->setValue(2);
    for (int i = 0; i < Pictures().size(); ++i)
        Load(i % 2, i / 2, Pictures()[i]);
    const QString winDir = FFiles.File("win/");
    W().RunCmds->GenerateInto(winDir);

    EXPECT_EQ(FilesIn(winDir).size(), 11);
    EXPECT_EQ(FolderDifference(cliDir, winDir), "");
}

// A saved gallery file is written as the window writes that gallery; a picture gone since is named and left
// out.
TEST_F(TCommandLineTest, WritesTheWindowsGalleryForAGalleryFile) {
    AllEffectsOn();
    W().Html->PicInfNameCB->setChecked(true);
    W().Html->PgTitleE->setText("Holiday");
    const QString gone = FFiles.File("gone.bmp");
    ASSERT_TRUE(QFile::copy(TestData(kPictures[1]), gone));
    W().Html->GfxGridColSE->setValue(2);
    for (int i = 0; i < Pictures().size(); ++i)
        Load(i % 2, i / 2, Pictures()[i]);
    Load(1, 1, gone);
    D().GalleryFiles = {FFiles.File("holiday.veltrix")};
    W().Commands->SaveGalleryAsA->trigger();
    W().Grid()->ClearCell(1, 1);
    ASSERT_TRUE(QFile::remove(gone));
    const QString winDir = FFiles.File("win/");
    W().RunCmds->GenerateInto(winDir);

    ASSERT_EQ(Run({"generate", "--gallery", FFiles.File("holiday.veltrix")}), kCliOk) << Err.toStdString();
    EXPECT_EQ(Out, FFiles.File("holiday") + "\n");
    EXPECT_TRUE(Err.startsWith("veltrix: " + gone + " not found; it is not published\n"))
        << Err.toStdString();
    EXPECT_EQ(FilesIn(winDir).size(), 11);
    EXPECT_EQ(FolderDifference(FFiles.File("holiday"), winDir), "");
}

// A gallery file from elsewhere: a cell that is no picture of its kind is named and left out, as the window
// leaves it out, and page texts that can run script are pointed out.
TEST_F(TCommandLineTest, AGalleryFileFromElsewhereIsToldWhatItCannotPublish) {
    ASSERT_TRUE(QFile::copy(TestData(kPictures[0]), FFiles.File("good.jpg")));
    WriteBytes(FFiles.File("bad.jpg"), "user=ann password=hunter2\n");
    WriteBytes(FFiles.File("g.veltrix"), R"({"format": "veltrix-gallery", "version": 1,
        "table": {"columns": 2, "rows": 1}, "settings": {"page": {"title": "<svg onload=alert(1)>"}},
        "cells": [{"column": 0, "row": 0, "picture": "good.jpg", "name": "good.jpg"},
                  {"column": 1, "row": 0, "picture": "bad.jpg", "name": "bad.jpg"}]})");
    ASSERT_EQ(Run({"generate", "--gallery", FFiles.File("g.veltrix")}), kCliOk) << Err.toStdString();
    EXPECT_TRUE(Err.contains("veltrix: " + FFiles.File("bad.jpg") + " cannot be read ("))
        << Err.toStdString();
    EXPECT_TRUE(Err.contains("can run script in a visitor's browser: Title")) << Err.toStdString();
    EXPECT_TRUE(QFile::exists(FFiles.File("g/good.jpg")));
    EXPECT_FALSE(QFile::exists(FFiles.File("g/bad.jpg")));
}

// However a picture is typed, relative or absolute, it is published under the one name the window gives it.
TEST_F(TCommandLineTest, NamesPicturesFromTheirAbsolutePath) {
    ASSERT_TRUE(QDir().mkpath(FFiles.File("pics")));
    ASSERT_TRUE(QFile::copy(TestData(kPictures[1]), FFiles.File("pics/anim.bmp")));
    Load(0, 0, FFiles.File("pics/anim.bmp"));
    const QString name = W().Grid()->Cells(0, 0);
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FFiles.File("pics")));
    QStringList written;
    for (const QString& typed :
         {QString("anim.bmp"), QString("../pics/anim.bmp"), FFiles.File("pics/anim.bmp")}) {
        const QString dir = FFiles.File("out-" + QString::number(written.size()));
        EXPECT_EQ(Run({"generate", "--profile", "default", "--columns", "1", "--out", dir, typed}), kCliOk)
            << Err.toStdString();
        written << FilesIn(dir).filter(".bmp").join(' ');
    }
    QDir::setCurrent(saved);
    const QString expected = name + " vl_" + name;
    EXPECT_EQ(written, QStringList({expected, expected, expected}));
}

// The program itself takes the command line: help, version and a bad argument, with their statuses.
TEST(ProgramCommandLine, AnswersWithoutADisplay) {
    struct TCase {
        QStringList Args;
        int Status;
        const char* Out;
    };
    for (const TCase& c :
         {TCase{{"--version"}, 0, "veltrix v1.16\n"}, TCase{{"--help"}, 0, "Usage: veltrix generate"},
          TCase{{"generate", "--rows"}, 2, ""}}) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.insert("DISPLAY", "");
        program.setProcessEnvironment(env);
        program.start(VELTRIX_PROGRAM, c.Args);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), c.Status) << c.Args.join(' ').toStdString();
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        EXPECT_TRUE(c.Out[0] ? out.startsWith(c.Out) : out.isEmpty())
            << c.Args.join(" ").toStdString() << ": " << out.toStdString();
    }
}

// The pictures' reading begins before the application object takes Qt's own options out of the arguments:
// begun for other arguments than the command's, it is dropped, and only the pictures named are placed.
TEST(ProgramCommandLine, GenerateLeavesQtsOwnOptionsToQt) {
    TTempDir dir;
    WriteBytes(dir.File("a.jpg"), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.File("config"));
    program.setProcessEnvironment(env);
    program.start(VELTRIX_PROGRAM, {"generate", "--profile", "default", "--columns", "1", "--out",
                                    dir.File("out"), dir.File("a.jpg"), "-platform", "offscreen"});
    ASSERT_TRUE(program.waitForFinished(30000));
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
    EXPECT_EQ(FilesIn(dir.File("out")).size(), 5); // the picture, its thumbnail and page, index, tile
    // Its own progress and end lines only: none of Qt's complaints.
    static const QRegularExpression own(R"(^(\w+ \d+/\d+|\d+ files? written, \d+ kept, \d+ removed)$)");
    for (const QString& line : errors.split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(own.match(line).hasMatch()) << line.toStdString();
}

// Every entry under a folder, with its size, so that a file made or changed there shows.
QStringList Listing(const QString& dir, QDirIterator::IteratorFlags flags = QDirIterator::Subdirectories) {
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, flags);
    while (it.hasNext()) {
        it.next();
        entries << it.filePath() + " " + QString::number(it.fileInfo().size());
    }
    entries.sort();
    return entries;
}

// Without a display and without Qt's platform set, `veltrix generate` writes its gallery and nothing else:
// the home folder, the temporary folder and the program's own folder are left as they were. A picture named
// by bytes that are not UTF-8 (Latin-1 "caf\xE9.bmp", passed through a stand-in in the temporary folder),
// typed relative to the current folder, is read by its bytes and published under valid names, tagged from its
// absolute path.
TEST(ProgramCommandLine, GenerateWritesNothingOutsideItsFolder) {
    TTempDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.File("home")) && QDir().mkpath(dir.File("tmp")));
    WriteBytes(dir.File("b.bmp"), ReadBytes(TestData("gen/bmp_24bpp.bmp")));
    const QByteArray folder = QFile::encodeName(dir.Path());
    ASSERT_EQ(std::rename((folder + "b.bmp").constData(), (folder + "caf\xE9.bmp").constData()), 0);
    WriteBytes(dir.File("a.jpg"), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    const QString programDir = QFileInfo(VELTRIX_PROGRAM).absolutePath();
    const QStringList before = Listing(dir.File("home")) + Listing(dir.File("tmp")) +
                               Listing(programDir, QDirIterator::NoIteratorFlags);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
        env.remove(name);
    env.insert("DISPLAY", "");
    env.insert("HOME", dir.File("home"));
    env.insert("TMPDIR", dir.File("tmp"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.Path());
    const char* const command =
        R"sh(exec "$0" generate --profile default --columns 2 --out out a.jpg "$(printf 'caf\351.bmp')")sh";
    program.start("/bin/sh", {"-c", command, VELTRIX_PROGRAM});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(FilesIn(dir.File("out")).size(), 8); // 2 pictures, 2 thumbnails, 2 pages, index, tile
    const QString name = FilePart(TaggedName(dir.File("café.bmp")));
    for (const QString& file : {name, "vl_" + name, PageName(name)})
        EXPECT_TRUE(QFileInfo::exists(dir.File("out/" + file))) << file.toStdString();
    EXPECT_EQ(Listing(dir.File("home")) + Listing(dir.File("tmp")) +
                  Listing(programDir, QDirIterator::NoIteratorFlags),
              before);
    // The temporary folder's removal cannot name it otherwise.
    std::rename((folder + "caf\xE9.bmp").constData(), (folder + "b.bmp").constData());
}

// Ctrl-C at the password prompt of `veltrix upload` on a terminal ends the program with the terminal's echo
// back on, so the shell that started it does not go on typing blind.
TEST(ProgramCommandLine, InterruptedPasswordPromptGivesTheEchoBack) {
    TTempDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.File("config/Quorrin's Veltrix")) && QDir().mkpath(dir.File("site")));
    WriteBytes(dir.File("config/Quorrin's Veltrix/vlx.ini"), "[Ftp]\nHost=127.0.0.1\nPort=1\nUserID=anna\n");
    WriteBytes(dir.File("site/index.html"), "<html></html>");
    // Everything the child needs is made before the fork: after it only exec is safe in a threaded process.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(kFtpPasswordVariable);
    env.insert("XDG_CONFIG_HOME", dir.File("config"));
    std::vector<QByteArray> entries;
    for (const QString& entry : env.toStringList())
        entries.push_back(entry.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    QByteArray site = QFile::encodeName(dir.File("site"));
    char upload[] = "upload", out[] = "--out", program[] = VELTRIX_PROGRAM;
    char* const argv[] = {program, upload, out, site.data(), nullptr};
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execve(program, argv, envp.data());
        ::_exit(127);
    }
    QByteArray shown;
    for (int wait = 0; wait < 300 && !shown.contains("Password for"); ++wait) {
        pollfd ready{terminal, POLLIN, 0};
        char bytes[256];
        const ssize_t got = ::poll(&ready, 1, 100) > 0 ? ::read(terminal, bytes, sizeof bytes) : 0;
        if (got > 0)
            shown.append(bytes, got);
    }
    ASSERT_TRUE(shown.contains("Password for")) << shown.toStdString();
    termios asked{};
    ASSERT_EQ(tcgetattr(terminal, &asked), 0);
    EXPECT_FALSE(asked.c_lflag & ECHO);
    ASSERT_EQ(::write(terminal, "\x03", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    termios after{};
    ASSERT_EQ(tcgetattr(terminal, &after), 0);
    EXPECT_TRUE(after.c_lflag & ECHO);
    ::close(terminal);
}
