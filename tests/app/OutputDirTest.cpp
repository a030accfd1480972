// Copying a picture once, choosing the output directory and clearing the working directory on exit.
#include "AppFixture.h"
#include "GenTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "publish/GalleryFiles.h"

namespace {

enum class TDest {
    Missing,
    OtherSize,
    OlderSameSize,
    NewerSameSize,
    SameFile,
    SameFileThroughLink,
    MissingSource
};

struct TCopyCase {
    const char* Name;
    TDest Dest;
    bool Copied;
};

class TCopyFileOnceTest : public testing::TestWithParam<TCopyCase> {
protected:
    TTempDir FDir;
};

} // namespace

namespace {

// The copy's modification time, seconds after the source's.
void SetModifiedAfter(const QString& path, const QString& source, int seconds) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QFileInfo(source).lastModified().addSecs(seconds),
                                 QFileDevice::FileModificationTime));
}

} // namespace

TEST_P(TCopyFileOnceTest, CopiesOntoNothingOrAnOutdatedCopy) {
    const QString source = FDir.File("a.jpg");
    WriteBytes(source, "source bytes");
    QString dest = FDir.File("out/a.jpg");
    ASSERT_TRUE(QDir().mkdir(FDir.File("out")));
    switch (GetParam().Dest) {
    case TDest::Missing:
        break;
    case TDest::OtherSize:
        WriteBytes(dest, "older copy");
        break;
    case TDest::OlderSameSize:
        WriteBytes(dest, "older bytes!");
        SetModifiedAfter(dest, source, -60);
        break;
    case TDest::NewerSameSize:
        WriteBytes(dest, "copied bytes");
        SetModifiedAfter(dest, source, 60);
        break;
    case TDest::SameFile:
        dest = FDir.File("out/../a.jpg");
        break;
    case TDest::SameFileThroughLink:
        ASSERT_TRUE(QFile::link(FDir.Path(), FDir.File("link")));
        dest = FDir.File("link/a.jpg");
        break;
    case TDest::MissingSource:
        ASSERT_TRUE(QFile::remove(source));
        break;
    }
    const QByteArray before = ReadBytes(dest);
    CopyFileOnce(source, dest);
    if (GetParam().Copied) {
        EXPECT_EQ(ReadBytes(dest), "source bytes");
    } else {
        EXPECT_EQ(ReadBytes(dest), before);
    }
    if (GetParam().Dest != TDest::MissingSource) {
        EXPECT_EQ(ReadBytes(source), "source bytes");
    }
    // No temporary file is left beside the copy.
    EXPECT_LE(FilesIn(FDir.File("out")).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, TCopyFileOnceTest,
                         testing::Values(TCopyCase{"Missing", TDest::Missing, true},
                                         // The picture changed since it was copied.
                                         TCopyCase{"OtherSize", TDest::OtherSize, true},
                                         TCopyCase{"OlderSameSize", TDest::OlderSameSize, true},
                                         // Taken for the same: the copy is kept.
                                         TCopyCase{"NewerSameSize", TDest::NewerSameSize, false},
                                         TCopyCase{"SameFile", TDest::SameFile, false},
                                         TCopyCase{"SameFileThroughLink", TDest::SameFileThroughLink, false},
                                         TCopyCase{"MissingSource", TDest::MissingSource, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TCopyFileOnceErrorTest, FailedCopyNamesBothFilesAndLeavesNothing) {
    TTempDir dir;
    WriteBytes(dir.File("a.jpg"), "bytes");
    const QString dest = dir.File("no such folder/a.jpg");
    try {
        CopyFileOnce(dir.File("a.jpg"), dest);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(dir.File("a.jpg"))) << e.what();
        EXPECT_TRUE(e.Message().contains(dest)) << e.what();
    }
    EXPECT_EQ(FilesIn(dir.Path()), QStringList{"a.jpg"});
}

namespace {

struct TDirCase {
    const char* Name;
    const char* Chosen; // relative to the test's folder; empty: the dialog is cancelled
    bool Exists;
    TModalResult Answer;
    bool Changes;
};

class TOutputDirTest : public TAppTest, public testing::WithParamInterface<TDirCase> {};

} // namespace

TEST_P(TOutputDirTest, ChosenFolderBecomesTheOutputDirectory) {
    const TDirCase& c = GetParam();
    const QString chosen = FFiles.File(c.Chosen);
    if (c.Exists) {
        ASSERT_TRUE(QDir().mkpath(chosen));
    }
    if (*c.Chosen)
        D().Directories = {chosen};
    D().Answers = {c.Answer};
    W().Commands->OutputDirA->trigger();
    ASSERT_EQ(D().DirectoryStarts, QStringList{W().WorkDir()}); // the dialog starts at the output directory
    const QString expected = c.Changes ? QDir::cleanPath(chosen) + "/" : W().WorkDir();
    EXPECT_EQ(W().OutputDir(), expected);
    EXPECT_EQ(W().OutputDirP->text(), expected);
    EXPECT_EQ(D().Messages.size(), (!c.Exists && *c.Chosen) ? 1u : 0u);
    if (!c.Exists && *c.Chosen) {
        EXPECT_EQ(QFileInfo(chosen).isDir(), c.Answer == TModalResult::Yes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TOutputDirTest,
    testing::Values(TDirCase{"Existing", "gallery", true, TModalResult::Cancel, true},
                    TDirCase{"ExistingWithSlash", "gallery/", true, TModalResult::Cancel, true},
                    TDirCase{"Cancelled", "", false, TModalResult::Cancel, false},
                    TDirCase{"TypedNewConfirmed", "new/deeper", false, TModalResult::Yes, true},
                    TDirCase{"TypedNewDeclined", "new/deeper", false, TModalResult::No, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TAppTest, ChosenFileIsNoOutputDirectory) {
    WriteBytes(FFiles.File("plain.txt"), "x");
    D().Directories = {FFiles.File("plain.txt")};
    W().Commands->OutputDirA->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains("plain.txt"));
    D().Errors.clear();
    EXPECT_EQ(W().OutputDir(), W().WorkDir());
}

TEST_F(TAppTest, ExitClearsTheWorkingDirectoryOnlyWhenAsked) {
    const QString work = W().WorkDir();
    WriteBytes(work + "page.html", "x");
    WriteBytes(work + ".hidden", "x");
    ASSERT_TRUE(QDir().mkdir(work + "keep"));
    WriteBytes(work + "keep/inner.txt", "x");

    W().Options->ClearTmpDirCB->setChecked(false);
    W().Commands->ExitA->trigger();
    EXPECT_FALSE(W().isVisible());
    EXPECT_TRUE(QFile::exists(work + "page.html"));

    Start();
    EXPECT_TRUE(W().Options->ClearTmpDirCB->isChecked());
    W().Commands->ExitA->trigger();
    EXPECT_FALSE(W().isVisible());
    EXPECT_TRUE(FilesIn(work).isEmpty());
    EXPECT_TRUE(QFile::exists(work + "keep/inner.txt"));
    EXPECT_TRUE(W().StatusP0->text().startsWith("Deleting: " + work));
}

namespace {

// Answers the desktop's directory dialog once it shows: types a path and presses OK. The dialog is
// closed unanswered when the path field cannot be found, so the test never waits on it.
void AnswerDirectoryDialog(const QString& typed, bool& answered) {
    QTimer::singleShot(0, [typed, &answered] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) {
            edit->setText(typed);
            QMetaObject::invokeMethod(dialog, "accept"); // as the OK button does
            answered = true;
        } else {
            dialog->reject();
        }
    });
}

} // namespace

TEST(TQtDialogsTest, DirectoryDialogTakesATypedFolderThatDoesNotExistYet) {
    TTempDir dir;
    TQtDialogs dialogs(nullptr);
    for (const QString& typed : {dir.File("existing"), dir.File("new folder")}) {
        if (typed.endsWith("existing")) {
            ASSERT_TRUE(QDir().mkdir(typed));
        }
        bool answered = false;
        AnswerDirectoryDialog(typed, answered);
        QString chosen = dir.Path();
        ASSERT_TRUE(dialogs.SelectDirectory(chosen)) << typed.toStdString();
        EXPECT_TRUE(answered);
        EXPECT_EQ(QDir::cleanPath(chosen), QDir::cleanPath(typed));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.File("new folder"))); // made by the window, after asking
}
