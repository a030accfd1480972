// Generation runs of the real window into real folders: the checks before a run, the files a run writes
// and what a failing run leaves.
#include "AppFixture.h"
#include "GenTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include "app/VlxRunCommands.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "html/GfxLists.h"

namespace {

const QString kJpeg = "gen/jpeg_baseline_420.jpg";
const QString kBmp = "gen/bmp_24bpp.bmp";
const QString kIcon = "gen/ico_32bpp_bmp.ico";

class TGenerateTest : public TAppTest {
protected:
    // Three pictures in a 2 x 2 table, the bottom-right cell empty.
    void LoadThreeIn2x2() {
        W().Html->GfxGridColSE->setValue(2);
        W().Html->GfxGridRowSE->setValue(2);
        Load(0, 0, TestData(kJpeg));
        Load(1, 0, TestData(kBmp));
        Load(0, 1, TestData(kIcon));
    }
    // The cell names of the filled cells, row by row.
    QStringList CellNames() {
        QStringList names;
        for (int row = 0; row < W().Grid()->RowCount(); ++row)
            for (int col = 0; col < W().Grid()->ColCount(); ++col)
                if (!W().Grid()->IsCellEmpty(col, row))
                    names << W().Grid()->Cells(col, row);
        return names;
    }
    // A fresh folder as the output directory.
    QString UseOutputDir(const QString& name = "out") {
        const QString dir = FFiles.File(name + "/");
        EXPECT_TRUE(QDir().mkpath(dir));
        W().SetOutputDir(dir);
        return dir;
    }
    QList<QProgressBar*> ProgressBars() { return W().statusBar()->findChildren<QProgressBar*>(); }
};

QString PageOf(const QString& cellName) {
    return cellName.left(cellName.lastIndexOf('.')) + ".html";
}

struct TRefusal {
    const char* Name;
    QAction* TWindowCommands::*Action;
    const char* Text;
};

class TEmptyGridTest : public TGenerateTest, public testing::WithParamInterface<TRefusal> {};

} // namespace

TEST_P(TEmptyGridTest, RefusesAndWritesNothing) {
    const QString dir = UseOutputDir();
    const QStringList workFiles = FilesIn(W().WorkDir());
    (W().Commands.get()->*GetParam().Action)->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Information);
    EXPECT_EQ(D().Messages[0].Text, GetParam().Text);
    EXPECT_TRUE(FilesIn(dir).isEmpty());
    EXPECT_EQ(FilesIn(W().WorkDir()), workFiles);
    EXPECT_TRUE(D().Opened.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TEmptyGridTest,
    testing::Values(TRefusal{"Generate", &TWindowCommands::GeneratePageA, "No images to process"},
                    TRefusal{"View", &TWindowCommands::ViewPageA, "No images to view"},
                    TRefusal{"Table", &TWindowCommands::GenerateTableA, "No images to process"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TGenerateTest, WorkingDirectoryQuestionComesBeforeTheFilesAreCounted) {
    Load(0, 0, TestData(kJpeg));
    ASSERT_GT(FilesIn(W().WorkDir()).size(), 0); // the grey tile: counting would ask too
    D().Answers = {TModalResult::No};
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(D().Messages[0].Buttons, TMsgButtons::YesNo);
    EXPECT_EQ(D().Messages[0].Text,
              "Output directory\r" + W().WorkDir() + "\ris the temporary directory\r\rProcess anyway ?");
    EXPECT_FALSE(QFile::exists(W().WorkDir() + "index.html"));

    // Yes to the first question leads to the second.
    D().Messages.clear();
    D().Answers = {TModalResult::Yes, TModalResult::Yes};
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Messages.size(), 2u);
    EXPECT_TRUE(D().Messages[1].Text.startsWith("Output directory contains"));
    EXPECT_TRUE(QFile::exists(W().WorkDir() + "index.html"));
}

TEST_F(TGenerateTest, FolderWithTwelveFilesAsksAndNoWritesNothing) {
    Load(0, 0, TestData(kJpeg));
    const QString dir = UseOutputDir();
    for (int i = 0; i < 11; ++i)
        WriteBytes(dir + QString("file%1.txt").arg(i), "x");
    WriteBytes(dir + ".hidden", "x");          // counted too
    ASSERT_TRUE(QDir().mkdir(dir + "folder")); // not counted
    D().Answers = {TModalResult::No};
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(D().Messages[0].Text,
              "Output directory contains 12 files\rSame files will be overwritten\r\rContinue ?");
    EXPECT_EQ(FilesIn(dir).size(), 12);
}

TEST_F(TGenerateTest, EmptyFolderIsWrittenWithoutQuestions) {
    Load(0, 0, TestData(kJpeg));
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    EXPECT_TRUE(D().Messages.empty());
    EXPECT_TRUE(QFile::exists(dir + "index.html"));
}

TEST_F(TGenerateTest, ThreePicturesInTwoByTwoTable) {
    LoadThreeIn2x2();
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    const QStringList names = CellNames();
    ASSERT_EQ(names.size(), 3);

    // The used files in their fixed order: background, copies, thumbnails, pages, table page.
    QStringList expected{dir + "clgray.jpg"};
    for (const QString& name : names)
        expected << dir + name;
    for (const QString& name : names)
        expected << dir + "vl_" + name;
    for (const QString& name : names)
        expected << dir + PageOf(name);
    expected << dir + "index.html";
    EXPECT_EQ(W().RunCmds->UsedFiles(), expected);
    QStringList written = expected;
    for (QString& path : written)
        path = QFileInfo(path).fileName();
    written.sort();
    EXPECT_EQ(FilesIn(dir), written);

    // Copies are byte copies.
    EXPECT_EQ(ReadBytes(dir + names[0]), ReadBytes(TestData(kJpeg)));
    EXPECT_EQ(ReadBytes(dir + names[2]), ReadBytes(TestData(kIcon)));

    // Four cells, the fourth (bottom right) empty.
    const QStringList cells = TableCells(ReadBytes(dir + "index.html"));
    ASSERT_EQ(cells.size(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(cells[i].contains("vl_" + names[i])) << cells[i].toStdString();
    EXPECT_FALSE(cells[3].contains("<a", Qt::CaseInsensitive)) << cells[3].toStdString();
    EXPECT_FALSE(cells[3].contains("<img", Qt::CaseInsensitive)) << cells[3].toStdString();
}

TEST_F(TGenerateTest, ThumbnailsAreBaselineJpegsOfTheThumbnailSize) {
    LoadThreeIn2x2();
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    for (const QString& name : CellNames()) {
        const TJpegFrame frame = ReadJpegFrame(ReadBytes(dir + "vl_" + name));
        EXPECT_EQ(frame.Marker, 0xC0) << name.toStdString();
        EXPECT_EQ(frame.Width, 150) << name.toStdString();
        EXPECT_EQ(frame.Height, 120) << name.toStdString();
    }
    // The preview shows the last thumbnail and the flags are clear.
    EXPECT_FALSE(W().ThumbsStale());
    EXPECT_FALSE(W().PreviewStale());
    EXPECT_EQ(W().Grid()->Col(), 1);
    EXPECT_EQ(W().Grid()->Row(), 1);
}

TEST_F(TGenerateTest, PagesMatchThePageGeneratorAndReferOnlyToWrittenFiles) {
    LoadThreeIn2x2();
    W().SetBkgFile(TestData(kBmp));
    W().Html->HtmlTabTitleE->setText("Holiday");
    W().Html->PgBackLinkE->setText("../home.html");
    W().Html->PicInfNameCB->click();
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    const QStringList names = CellNames();

    TThumbnailList list;
    list.SetBaseDir(dir);
    for (const QString& name : names) {
        TThumbListItem* item = list.Add();
        item->SetPicName(name);
        item->SetThumbName("vl_" + name);
    }
    list.Add(); // the empty cell
    TGfxThumbPage table;
    table.Assign(*ShownPage());
    table.SetThumbList(&list);
    table.SaveToFile(FFiles.File("index.html"));
    const QByteArray expected = ReadBytes(FFiles.File("index.html"));
    const QByteArray actual = ReadBytes(dir + "index.html");
    EXPECT_EQ(actual, expected) << FirstDifference(expected, actual).toStdString();

    // A picture page: the picture alone, no title or information, leading back to the table page.
    TGfxPicPage pic;
    pic.Assign(*ShownPage());
    pic.SetRows(1);
    pic.SetColumns(1);
    pic.SetTableAlign(haCenter);
    pic.SetCellSpacing(0);
    pic.SetTableTitle("");
    pic.SetPicInfo(0);
    pic.SetBackLink("index.html");
    // Each page leads on to its neighbours in grid order, the empty cell skipped.
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        pic.SetPicFile(dir + name);
        pic.SetPrevPage(i > 0 ? PageOf(names[i - 1]) : QString());
        pic.SetNextPage(i + 1 < names.size() ? PageOf(names[i + 1]) : QString());
        pic.SaveToFile(FFiles.File("page.html"));
        const QByteArray expectedPage = ReadBytes(FFiles.File("page.html"));
        const QByteArray actualPage = ReadBytes(dir + PageOf(name));
        EXPECT_EQ(actualPage, expectedPage) << FirstDifference(expectedPage, actualPage).toStdString();
    }

    for (const QString& page : QStringList{"index.html", PageOf(names[0]), PageOf(names[2])}) {
        for (const QString& ref : LocalReferences(ReadBytes(dir + page))) {
            if (ref == "../home.html")
                continue; // the user's own back link, outside the gallery
            EXPECT_TRUE(QFile::exists(dir + ref)) << page.toStdString() << " -> " << ref.toStdString();
        }
    }
}

// The changed picture is copied again, so that its page shows it; the unchanged background's copy stays.
TEST_F(TGenerateTest, SecondRunReplacesThumbnailsPagesAndChangedCopies) {
    const QString source = MakePicture("Changing.bmp", 90, 60);
    Load(0, 0, source);
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    const QString name = W().Grid()->Cells(0, 0);
    const QByteArray copy = ReadBytes(dir + name);
    const QByteArray page = ReadBytes(dir + "index.html");
    const QByteArray background = ReadBytes(dir + "clgray.jpg");
    const QDateTime backgroundTime = QFileInfo(dir + "clgray.jpg").lastModified();

    QImage other(40, 30, QImage::Format_RGB888);
    other.fill(Qt::blue);
    ASSERT_TRUE(other.save(source, "BMP"));
    W().Render->ThumbWSE->setValue(100);
    W().Html->HtmlTabTitleE->setText("Second");
    D().Answers = {TModalResult::Yes};
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u); // the folder now holds files
    EXPECT_NE(ReadBytes(dir + name), copy);
    EXPECT_EQ(ReadBytes(dir + name), ReadBytes(source));
    EXPECT_EQ(ReadBytes(dir + "clgray.jpg"), background);
    EXPECT_EQ(QFileInfo(dir + "clgray.jpg").lastModified(), backgroundTime);
    EXPECT_EQ(ReadJpegFrame(ReadBytes(dir + "vl_" + name)).Width, 100);
    EXPECT_NE(ReadBytes(dir + "index.html"), page);
    EXPECT_TRUE(ReadBytes(dir + "index.html").contains("Second"));
}

TEST_F(TGenerateTest, ViewWritesIntoTheWorkingDirectoryAndOpensItsTablePage) {
    Load(0, 0, TestData(kJpeg));
    W().Commands->ViewPageA->trigger();
    EXPECT_TRUE(D().Messages.empty());
    ASSERT_EQ(D().Opened.size(), 1);
    EXPECT_EQ(D().Opened[0], QUrl::fromLocalFile(W().WorkDir() + "index.html"));
    EXPECT_TRUE(D().Opened[0].isLocalFile());
    EXPECT_TRUE(QFile::exists(W().WorkDir() + "vl_" + W().Grid()->Cells(0, 0)));

    // Afterwards another folder gets a complete set, thumbnails included.
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    EXPECT_EQ(FilesIn(dir).size(), 5);
    EXPECT_TRUE(QFile::exists(dir + "vl_" + W().Grid()->Cells(0, 0)));
}

TEST_F(TGenerateTest, ViewWithoutABrowserNamesThePage) {
    Load(0, 0, TestData(kJpeg));
    D().UrlsOpen = false;
    W().Commands->ViewPageA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Text,
              "No browser could be started to show the page.\rThe page is\r" + W().WorkDir() + "index.html");
}

TEST_F(TGenerateTest, EachPhaseShowsItsTextsWithAProgressBarOverTheTablePanel) {
    Load(0, 0, TestData(kJpeg));
    Load(1, 0, TestData(kBmp));
    const QString dir = UseOutputDir();
    QStringList texts;
    int withoutOneBar = 0;
    bool barOverPanel = true;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const QList<QProgressBar*> bars = ProgressBars();
        if (bars.size() != 1) {
            ++withoutOneBar;
            return;
        }
        barOverPanel = barOverPanel && W().StatusP1->geometry().contains(bars[0]->geometry()) &&
                       bars[0]->maximum() == 2 && bars[0]->isVisible();
        if (texts.isEmpty() || texts.last() != W().StatusP0->text())
            texts << W().StatusP0->text();
        // A command while the run lets events through starts nothing.
        W().Commands->GeneratePageA->trigger();
        W().Commands->ViewPageA->trigger();
    });
    tick.start();
    W().Commands->GeneratePageA->trigger();
    tick.stop();
    const QString jpeg = W().Grid()->Cells(0, 0);
    const QString bmp = W().Grid()->Cells(1, 0);
    // Progress is shown at most ten times a second, so a sampling timer may see the texts of later files
    // or not; each phase shows its first file's.
    texts.removeAll("Process: jpeg_baseline_420.jpg");
    texts.removeAll("Process: bmp_24bpp.bmp");
    texts.removeAll("Copy: bmp_24bpp.bmp to " + bmp);
    texts.removeAll("Wrte page: " + PageOf(bmp));
    const QStringList expected{
        "Copy: jpeg_baseline_420.jpg to " + jpeg,
        "Wrte page: " + PageOf(jpeg),
    };
    EXPECT_EQ(texts, expected);
    // The run ends saying what it wrote and where; the preview follows the cell the run ended on (empty).
    EXPECT_EQ(W().StatusP0->text(),
              "Gallery written: 2 pictures in " + dir + " (8 files written, 0 kept, 0 removed)");
    EXPECT_EQ(QPoint(W().Grid()->Col(), W().Grid()->Row()), QPoint(2, 1));
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    EXPECT_EQ(withoutOneBar, 0);
    EXPECT_TRUE(barOverPanel);
    EXPECT_TRUE(ProgressBars().isEmpty());
    EXPECT_TRUE(D().Messages.empty());
    EXPECT_TRUE(D().Opened.isEmpty());
}

TEST_F(TGenerateTest, FailingRunStopsThereAndSaysWhere) {
    Load(0, 0, TestData(kJpeg));
    const QString gone = MakePicture("gone.bmp", 30, 20);
    Load(1, 0, gone);
    ASSERT_TRUE(QFile::remove(gone));
    const QString dir = UseOutputDir();
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains("gone.bmp")) << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(W().StatusP0->text(), "Stopped at: " + gone);
    EXPECT_TRUE(ProgressBars().isEmpty());
    // Every picture is looked at before the first file is written: nothing was.
    const QString jpeg = W().Grid()->Cells(0, 0);
    EXPECT_FALSE(QFile::exists(dir + jpeg));
    EXPECT_FALSE(QFile::exists(dir + "vl_" + jpeg));
    EXPECT_FALSE(QFile::exists(dir + W().Grid()->Cells(1, 0)));
    EXPECT_FALSE(QFile::exists(dir + "index.html"));
}

// Links planted in the working folder, at names the run writes, are replaced and never written through.
TEST_F(TGenerateTest, ViewNeverWritesThroughALinkInTheWorkingFolder) {
    Load(0, 0, TestData(kJpeg));
    const QString name = W().Grid()->Cells(0, 0);
    WriteBytes(FFiles.File("victim.txt"), "precious");
    for (const QString& file : {QString("index.html"), name, "vl_" + name, PageOf(name)})
        ASSERT_TRUE(QFile::link(FFiles.File("victim.txt"), W().WorkDir() + file));
    W().Commands->ViewPageA->trigger();
    EXPECT_EQ(ReadBytes(FFiles.File("victim.txt")), "precious");
    EXPECT_EQ(ReadBytes(W().WorkDir() + name), ReadBytes(TestData(kJpeg)));
    for (const QString& file : {QString("index.html"), name, "vl_" + name, PageOf(name)})
        EXPECT_FALSE(QFileInfo(W().WorkDir() + file).isSymLink()) << file.toStdString();
}

// The folder the user chose is named with the system's reason, not a file the run would have made in it.
TEST_F(TGenerateTest, FolderThatCannotBeWrittenIsReportedAsTheUserChoseIt) {
    Load(0, 0, TestData(kJpeg));
    WriteBytes(FFiles.File("file.txt"), "x");
    const QString dir = FFiles.File("file.txt/out/");
    W().SetOutputDir(dir);
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_EQ(D().Errors[0], "Cannot write into the folder " + dir + ": " + FFiles.File("file.txt") +
                                 " is a file, not a folder; choose another output folder");
    D().Errors.clear();
}

TEST_F(TGenerateTest, UnwritableFolderIsReportedNamingTheFile) {
    Load(0, 0, TestData(kJpeg));
    const QString dir = UseOutputDir();
    // A folder where the thumbnail should go: neither a copy nor a rename can put a file there.
    const QString thumb = dir + "vl_" + W().Grid()->Cells(0, 0);
    ASSERT_TRUE(QDir().mkdir(thumb));
    D().Answers = {TModalResult::Yes};
    W().Commands->GeneratePageA->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains(thumb)) << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(W().StatusP0->text(), "Stopped at: " + thumb);
    EXPECT_TRUE(ProgressBars().isEmpty());
}

// Thumbnails made on several threads hold the bytes one thread writes, and those of the window's own
// renderer (at the run's quality, 75), every effect on.
TEST_F(TGenerateTest, ThreadsWriteTheBytesOfOneThread) {
    AllEffectsOn();
    LoadThreeIn2x2();
    const QString one = FFiles.File("one/");
    const QString three = FFiles.File("three/");
    W().RunCmds->SetRenderThreads(1);
    W().RunCmds->GenerateInto(one);
    W().RunCmds->SetRenderThreads(3);
    W().RunCmds->GenerateInto(three);
    EXPECT_EQ(FolderDifference(one, three), "");
    const QString own = FFiles.File("own.jpg");
    W().Renderer().Source().LoadPicture(TestData(kBmp));
    W().Renderer().Render();
    W().Renderer().SaveAsJpeg(own, 75);
    QFile a(own);
    QFile b(three + "vl_" + W().Grid()->Cells(1, 0));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll());
}

// One thread fails: the run stops at its file, and no thread leaves a part of a file behind.
TEST_F(TGenerateTest, FailureInOneThreadStopsTheRun) {
    LoadThreeIn2x2();
    const QString dir = UseOutputDir();
    const QString thumb = dir + "vl_" + W().Grid()->Cells(1, 0);
    ASSERT_TRUE(QDir().mkdir(thumb));
    W().RunCmds->SetRenderThreads(3);
    EXPECT_THROW(W().RunCmds->GenerateInto(dir), Exception);
    EXPECT_EQ(W().StatusP0->text(), "Stopped at: " + thumb);
    for (const QString& name : FilesIn(dir))
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
    EXPECT_FALSE(QFile::exists(dir + "index.html"));
}
