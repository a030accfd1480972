// The generation run without a window: a run stopped in any phase leaves only whole files under the
// gallery's names, nothing is written through a link or from a file that is no picture, and another
// gallery's files are removed only when agreed.
#include <gtest/gtest.h>

#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "gallery/Gallery.h"
#include "publish/GalleryRun.h"
#include "publish/RunRecord.h"
#include "support/HostileFiles.h"
#include "support/TestSupport.h"

namespace {

class TCancelTest : public testing::TestWithParam<TRunPhase> {
protected:
    void SetUp() override { EnsureGuiApplication(); }
};

} // namespace

TEST_P(TCancelTest, StoppedRunLeavesOnlyWholeFiles) {
    TTempDir pictures;
    QStringList files;
    for (int i = 0; i < 6; ++i) {
        files << pictures.File(QString("p%1.jpg").arg(i));
        WriteBytes(files.back(), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    }
    TGallery gallery;
    gallery.SetTableSize(3, 2);
    gallery.Settings.Page.WebSize.MaxSide = 160; // web-sized pictures too
    ASSERT_TRUE(gallery.PlaceFiles(files).empty());
    TTempDir out;
    TRunCancel cancel;
    TGalleryRun run(gallery);
    run.Threads = 1;
    const TRunResult result = run.Run(
        out.Path(),
        [&](const TRunProgress& progress) {
            if (progress.Phase == GetParam() && progress.Done >= 1)
                cancel.Cancel();
        },
        &cancel);

    EXPECT_TRUE(result.Cancelled);
    EXPECT_EQ(result.Failure, kRunCancelled);
    const QStringList left = QDir(out.Path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_FALSE(left.contains("index.html"));
    for (const QString& name : left) {
        if (name == kRunRecordName)
            continue; // the run's own record of what it wrote
        EXPECT_TRUE(result.Written.contains(out.File(name))) << name.toStdString();
        if (name.endsWith(".jpg")) {
            TGfxBaseIm picture;
            EXPECT_NO_THROW(picture.LoadPicture(out.File(name)));
            EXPECT_TRUE(picture.HasImage()) << name.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, TCancelTest,
                         testing::Values(TRunPhase::Copy, TRunPhase::Web, TRunPhase::Thumbnails,
                                         TRunPhase::Pages),
                         [](const auto& info) { return RunPhaseName(info.param).toStdString(); });

// The names the gallery keeps in its index follow the cells: a name freed by a cleared or dropped cell is
// given again, the same file keeps one name, and no picture's page may be the table page.
TEST(GalleryNames, FreedNamesAreGivenAgain) {
    EnsureGuiApplication();
    TTempDir dir;
    const auto picture = [&](const QString& path) {
        QDir().mkpath(QFileInfo(dir.File(path)).path());
        WriteBytes(dir.File(path), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
        return dir.File(path);
    };
    TGallery gallery;
    gallery.SetPlainNames(true);
    gallery.SetTableSize(3, 1);
    ASSERT_TRUE(
        gallery.PlaceFiles({picture("a/img.jpg"), picture("b/img.jpg"), picture("c/index.jpg")}).empty());
    const auto names = [&] {
        QStringList list;
        for (int col = 0; col < gallery.Columns(); ++col)
            list << gallery.Cell(col, 0).Name;
        return list;
    };
    EXPECT_EQ(names(), QStringList({"img.jpg", "img-2.jpg", "index-2.jpg"}));
    gallery.ClearCell(0, 0);
    ASSERT_TRUE(gallery.PlaceFiles({picture("d/img.jpg")}).empty());
    gallery.SetTableSize(1, 1);
    gallery.SetTableSize(3, 1);
    ASSERT_TRUE(gallery.PlaceFiles({picture("e/img.jpg"), dir.File("d/img.jpg")}).empty());
    EXPECT_EQ(names(), QStringList({"img.jpg", "img-2.jpg", "img.jpg"}));
    EXPECT_EQ(gallery.CountPictures(), 3);
}

// The stretches kept for the next run share one budget: a picture it has no room for keeps none, and its
// thumbnail is rendered from the file instead, to the same bytes; a cleared cell gives its room back.
TEST(KeptStretchBudget, PicturesBeyondItAreReadAgainToTheSameThumbnails) {
    EnsureGuiApplication();
    TTempDir pictures;
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files << pictures.File(QString("p%1.jpg").arg(i));
        WriteBytes(files.back(), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    }
    const long long before = KeptStretchBytes();
    const long long budget = KeptStretchBudget();
    const auto restore = qScopeGuard([&] { SetKeptStretchBudget(budget); });
    const auto generate = [&](const TTempDir& out) {
        TGallery gallery;
        gallery.SetTableSize(3, 1);
        EXPECT_TRUE(gallery.PlaceFiles(files).empty());
        const long long all = KeptStretchBytes() - before;
        QList<bool> kept;
        for (int col = 0; col < 3; ++col)
            kept << bool(
                gallery.Kept(col, 0).For(gallery.Settings.Thumb.PictureBox(), TFileStamp::Of(files[col])));
        TGalleryRun run(gallery);
        run.Threads = 1;
        EXPECT_TRUE(run.Run(out.Path()).Ok());
        gallery.ClearCell(0, 0);
        EXPECT_LT(KeptStretchBytes() - before, all);
        return kept;
    };
    TTempDir whole, part;
    EXPECT_EQ(generate(whole), QList<bool>({true, true, true}));
    const long long each = [&] {
        TGallery one;
        one.SetTableSize(1, 1);
        EXPECT_TRUE(one.PlaceFiles(files.mid(0, 1)).empty());
        return KeptStretchBytes() - before;
    }();
    ASSERT_GT(each, 0);
    SetKeptStretchBudget(before + 2 * each);
    EXPECT_EQ(generate(part), QList<bool>({true, true, false}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadBytes(part.File(QString("vl_p%1.jpg").arg(i))),
                  ReadBytes(whole.File(QString("vl_p%1.jpg").arg(i))))
            << i;
}

namespace {

TGallery TwoPictures(const TTempDir& pictures, const QStringList& names) {
    QStringList files;
    for (const QString& name : names) {
        files << pictures.File(name);
        WriteBytes(files.back(), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    }
    TGallery gallery;
    gallery.SetPlainNames(true);
    gallery.SetTableSize(2, 1);
    gallery.Settings.Page.WebSize.Enabled = false;
    EXPECT_TRUE(gallery.PlaceFiles(files).empty());
    return gallery;
}

} // namespace

// A link at any name the run writes (the table page, a thumbnail, a picture page, the colour tile, the
// record) is replaced by the file: nothing outside the folder is ever written.
TEST(GalleryRunLinks, LinksInTheFolderAreReplacedNeverWrittenThrough) {
    EnsureGuiApplication();
    TTempDir pictures;
    TGallery gallery = TwoPictures(pictures, {"p0.jpg", "p1.jpg"});
    gallery.Settings.Background = {QString(), 0x808080};
    TTempDir out;
    TTempDir elsewhere;
    const QStringList linked{"index.html",  "vl_p0.jpg", "p0.html", "p1.jpg", ColorTileName(0x808080),
                             kRunRecordName};
    for (const QString& name : linked) {
        WriteBytes(elsewhere.File(name), "precious");
        ASSERT_TRUE(QFile::link(elsewhere.File(name), out.File(name)));
    }
    TGalleryRun run(gallery);
    const TRunResult result = run.Run(out.Path());
    ASSERT_TRUE(result.Ok()) << result.Failure.toStdString();
    for (const QString& name : linked) {
        EXPECT_EQ(ReadBytes(elsewhere.File(name)), "precious") << name.toStdString();
        EXPECT_FALSE(QFileInfo(out.File(name)).isSymLink()) << name.toStdString();
        EXPECT_TRUE(QFileInfo(out.File(name)).isFile()) << name.toStdString();
    }
}

// Files another gallery's run wrote are removed only when the user agrees; the same gallery's go unasked.
TEST(GalleryRunForeign, AnotherGallerysFilesAreRemovedOnlyWhenAgreed) {
    EnsureGuiApplication();
    TTempDir pictures;
    TTempDir out;
    TGallery first = TwoPictures(pictures, {"a.jpg", "b.jpg"});
    TGallery second = TwoPictures(pictures, {"c.jpg"});
    const auto runAs = [&](TGallery& gallery, const QString& id, std::optional<bool> answer, int& asked) {
        TGalleryRun run(gallery);
        run.GalleryId = id;
        if (answer)
            run.ConfirmForeignRemoval = [&asked, answer](int files) {
                asked = files;
                return *answer;
            };
        return run.Run(out.Path());
    };
    int asked = -1;
    ASSERT_TRUE(runAs(first, "first", std::nullopt, asked).Ok());
    // Not asked (a command line run): left, and forgotten by the record.
    TRunResult result = runAs(second, "second", std::nullopt, asked);
    EXPECT_EQ(result.FilesRemoved, 0);
    EXPECT_EQ(result.FilesLeft, 6);
    EXPECT_TRUE(QFile::exists(out.File("a.jpg")));
    ASSERT_TRUE(runAs(first, "first", std::nullopt, asked).Ok());
    // Asked: No leaves them, Yes removes them.
    result = runAs(second, "second", false, asked);
    EXPECT_EQ(asked, 6);
    EXPECT_TRUE(QFile::exists(out.File("b.html")));
    ASSERT_TRUE(runAs(first, "first", std::nullopt, asked).Ok());
    result = runAs(second, "second", true, asked);
    EXPECT_EQ(result.FilesRemoved, 6);
    EXPECT_FALSE(QFile::exists(out.File("a.jpg")));
    // Its own stale files go unasked.
    asked = -1;
    second.ClearCell(0, 0);
    ASSERT_TRUE(second.PlaceFiles({pictures.File("a.jpg")}).empty());
    result = runAs(second, "second", false, asked);
    EXPECT_EQ(asked, -1);
    EXPECT_EQ(result.FilesRemoved, 3);
    EXPECT_FALSE(QFile::exists(out.File("c.jpg")));
}

// Every picture is looked at before anything is written: a text file under a picture's name is never
// published, and the folder stays empty.
TEST(GalleryRunCheck, AFileThatIsNoPictureOfItsKindStopsTheRunBeforeAnyWrite) {
    EnsureGuiApplication();
    TTempDir pictures;
    TGallery gallery = TwoPictures(pictures, {"good.jpg"});
    WriteBytes(pictures.File("secret.jpg"), "user=ann password=hunter2\n");
    WriteBytes(pictures.File("real.png"), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    for (const QString& bad : {"secret.jpg", "real.png"}) {
        TGalleryCell cell;
        cell.Name = QString(bad).replace('.', "_x.");
        cell.Source = pictures.File(bad);
        gallery.SetCell(1, 0, cell);
        TTempDir out;
        const TRunResult result = TGalleryRun(gallery).Run(out.Path());
        EXPECT_FALSE(result.Ok());
        EXPECT_TRUE(result.Failure.startsWith("Cannot load " + pictures.File(bad)))
            << result.Failure.toStdString();
        EXPECT_TRUE(result.Failure.endsWith("(cell 1, 0); nothing was written"))
            << result.Failure.toStdString();
        EXPECT_EQ(QDir(out.Path()).entryList(QDir::Files | QDir::Hidden), QStringList()) << bad.toStdString();
    }
}

// A run onto a full disk stops at its first file saying so and naming the folder, not "Unknown error".
TEST(GalleryRunFaults, FullDiskIsNamed) {
    EnsureGuiApplication();
    TTinyDisk disk;
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    disk.Fill();
    TGallery gallery;
    gallery.SetTableSize(1, 1);
    ASSERT_TRUE(gallery.PlaceFiles({TestData("gen/jpeg_baseline_420.jpg")}).empty());
    TGalleryRun run(gallery);
    const TRunResult result = run.Run(disk.Path());
    EXPECT_TRUE(
        result.Failure.contains("no space left on the device of the folder " + QDir::cleanPath(disk.Path())))
        << result.Failure.toStdString();
}

// A background picture that is gone, or is no picture, is named as the gallery's background.
TEST(GalleryRunFaults, BadBackgroundIsNamedAsTheBackground) {
    EnsureGuiApplication();
    TTempDir dir;
    WriteBytes(dir.File("garbage.jpg"), "not a picture at all");
    for (const auto& [file, why] : {std::pair(dir.File("gone.jpg"), "is not found"),
                                    std::pair(dir.File("garbage.jpg"), "cannot be read: ")}) {
        TGallery gallery;
        gallery.SetTableSize(1, 1);
        ASSERT_TRUE(gallery.PlaceFiles({TestData("gen/jpeg_baseline_420.jpg")}).empty());
        gallery.Settings.Background = {file, clNone};
        TTempDir out;
        TGalleryRun run(gallery);
        const TRunResult result = run.Run(out.Path());
        EXPECT_TRUE(result.Failure.startsWith("The gallery's background picture " + file + " " + why))
            << result.Failure.toStdString();
    }
}
