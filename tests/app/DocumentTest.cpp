// The gallery as a document, through the real window: saved and opened again whole, every edit undone and
// redone, missing pictures kept and found, bad files refused, and unsaved changes asked about.
#include "AppFixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "app/VlxDocumentCommands.h"
#include "app/VlxRunCommands.h"
#include "gallery/GalleryDocument.h"
#include "gallery/GalleryHistory.h"
#include "grid/GfxGrid.h"

namespace {

class TDocumentTest : public TAppTest {
protected:
    // Three pictures in two folders, placed as the user places them, with a look of their own.
    void MakeGallery() {
        ASSERT_TRUE(QDir().mkpath(FFiles.File("trip/day2")));
        D().PictureSets = {{MakePicture("trip/a.bmp", 40, 30), MakePicture("trip/b.bmp", 30, 40),
                            MakePicture("trip/day2/a.bmp", 20, 20)}};
        W().Grid()->SetCurrentCell(0, 0);
        W().Commands->GfxG_LoadPicture->trigger();
        ProcessEvents();
        W().Render->ThumbWSE->setValue(180);
        W().Html->PgTitleE->setText("Trip");
        ASSERT_EQ(W().CountPictures(), 3);
    }
    void SaveAs(const QString& file) {
        D().GalleryFiles = {file};
        W().Commands->SaveGalleryAsA->trigger();
        ProcessEvents();
    }
};

// An edit as the user makes it, with what must show after it.
struct TEdit {
    const char* Name;
    void (*Make)(TVeltrixF& window, TTestDialogs& dialogs);
};

class TUndoTest : public TDocumentTest, public testing::WithParamInterface<TEdit> {};

} // namespace

TEST_F(TDocumentTest, SavedClosedAndOpenedAgainGivesTheSameFile) {
    MakeGallery();
    EXPECT_TRUE(W().DocumentCmds->IsModified());
    EXPECT_EQ(W().windowTitle(), "Untitled[*]");
    const QString file = FFiles.File("trip.veltrix");
    SaveAs(file);
    const QByteArray saved = ReadBytes(file);
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_TRUE(saved.contains("\"picture\": \"trip/day2/a.bmp\"")) << saved.toStdString();
    EXPECT_FALSE(W().isWindowModified());
    EXPECT_EQ(W().windowTitle(), "trip[*]");
    const QStringList names{W().Grid()->Cells(0, 0), W().Grid()->Cells(1, 0), W().Grid()->Cells(2, 0)};

    Start();
    EXPECT_EQ(W().DocumentCmds->RecentGalleries(), QStringList{file});
    // While the pictures are read the window repaints, with a bar of how far the reading is.
    int barMaximum = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (const QProgressBar* bar : W().statusBar()->findChildren<QProgressBar*>())
            barMaximum = bar->maximum();
    });
    tick.start();
    W().Commands->RecentM->actions().value(0)->trigger();
    tick.stop();
    ProcessEvents();
    EXPECT_EQ(barMaximum, 3);
    EXPECT_TRUE(W().statusBar()->findChildren<QProgressBar*>().isEmpty());
    EXPECT_EQ(W().GalleryFile(), file);
    EXPECT_EQ(W().Render->ThumbWSE->value(), 180);
    EXPECT_EQ(W().Html->PgTitleE->text(), "Trip");
    EXPECT_EQ(QStringList({W().Grid()->Cells(0, 0), W().Grid()->Cells(1, 0), W().Grid()->Cells(2, 0)}),
              names);
    EXPECT_NE(W().Grid()->Objects(2, 0), nullptr);
    EXPECT_FALSE(W().DocumentCmds->IsModified());
    QFile::remove(file);
    W().Commands->SaveGalleryA->trigger();
    EXPECT_EQ(FirstDifference(saved, ReadBytes(file)), "");
    W().Render->ThumbWSE->setValue(190);
    EXPECT_TRUE(W().isWindowModified());
}

TEST_P(TUndoTest, UndoRestoresTheGridAndTheSettingsAndRedoTheEdit) {
    MakeGallery();
    const TEditStatePtr before = W().EditState();
    GetParam().Make(W(), D());
    ProcessEvents();
    const TEditStatePtr after = W().EditState();
    ASSERT_FALSE(SameGallery(*before, *after));
    const int picturesAfter = W().CountPictures();

    W().Commands->UndoA->trigger();
    ProcessEvents();
    EXPECT_TRUE(SameGallery(*before, *W().EditState()));
    EXPECT_EQ(W().CountPictures(), 3);
    EXPECT_EQ(W().Html->GfxGridColSE->value(), before->Grid->Gallery.Columns());
    EXPECT_EQ(W().Render->ThumbWSE->value(), before->Settings.Thumb.ThumbWidth);
    for (int col = 0; col < 3; ++col)
        EXPECT_NE(W().Grid()->Objects(col, 0), nullptr) << "the preview of cell " << col << " came back";

    W().Commands->RedoA->trigger();
    ProcessEvents();
    EXPECT_TRUE(SameGallery(*after, *W().EditState()));
    EXPECT_EQ(W().CountPictures(), picturesAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, TUndoTest,
    testing::Values(TEdit{"place",
                          [](TVeltrixF& w, TTestDialogs& d) {
                              d.PictureSets = {{TestData("app/bmp_24bpp.bmp")}};
                              w.Grid()->SetCurrentCell(1, 1);
                              w.Commands->GfxG_LoadPicture->trigger();
                          }},
                    TEdit{"delete_key",
                          [](TVeltrixF& w, TTestDialogs&) {
                              w.Grid()->SetCurrentCell(1, 0);
                              QTest::keyClick(w.Grid(), Qt::Key_Delete);
                          }},
                    TEdit{"clear_all",
                          [](TVeltrixF& w, TTestDialogs& d) {
                              d.Answers = {TModalResult::No}; // discard the unsaved gallery
                              w.Commands->Gfx_ClearAll->trigger();
                          }},
                    TEdit{"shrink_dropping_pictures",
                          [](TVeltrixF& w, TTestDialogs& d) {
                              d.Answers = {TModalResult::Yes};
                              w.Html->GfxGridColSE->setValue(1);
                          }},
                    TEdit{"thumbnail_width", [](TVeltrixF& w, TTestDialogs&) { w.Render->ThumbWSE->setValue(90); }},
                    TEdit{"table_title",
                          [](TVeltrixF& w, TTestDialogs&) { w.Html->HtmlTabTitleE->setText("Other"); }},
                    TEdit{"move_by_ctrl_arrow",
                          [](TVeltrixF& w, TTestDialogs&) {
                              w.Grid()->SetCurrentCell(0, 0);
                              QTest::keyClick(w.Grid(), Qt::Key_Right, Qt::ControlModifier);
                          }},
                    TEdit{"caption_typed",
                          [](TVeltrixF& w, TTestDialogs&) {
                              w.Grid()->SetCurrentCell(1, 0);
                              QTest::keyClicks(w.Preview->CaptionE, "Dusk");
                          }},
                    TEdit{"exchange",
                          [](TVeltrixF& w, TTestDialogs&) {
                              // As a drag ends: the grid's own edit, made an undo step by the window.
                              w.Grid()->OnEdit(w.Grid(), "Exchange pictures", [&] {
                                  TGridContent content = w.Grid()->Content();
                                  content.Gallery.SwapCells(0, 0, 2, 0);
                                  std::swap(content.Previews[0], content.Previews[2]);
                                  w.Grid()->SetContent(content);
                              });
                          }}),
    [](const testing::TestParamInfo<TEdit>& info) { return std::string(info.param.Name); });

TEST_F(TDocumentTest, MissingPictureIsKeptListedOnceAndFoundInTheFolderPointedTo) {
    MakeGallery();
    const QString file = FFiles.File("trip.veltrix");
    SaveAs(file);
    TTempDir moved;
    ASSERT_TRUE(QDir().rename(FFiles.File("trip"), moved.File("trip")));

    D().Answers = {TModalResult::No}; // not looking for them yet
    W().DocumentCmds->OpenGallery(file);
    ASSERT_EQ(D().Messages.size(), 1u);
    const QString text = D().Messages.back().Text;
    EXPECT_TRUE(text.startsWith("3 of the gallery's pictures were not found:")) << text.toStdString();
    EXPECT_EQ(text.count(FFiles.File("trip/day2/a.bmp")), 1);
    EXPECT_TRUE(W().Grid()->IsCellMissing(2, 0));
    EXPECT_EQ(W().CountPictures(), 3);
    // Not published until found.
    W().RunCmds->GenerateInto(FFiles.File("out/"));
    EXPECT_FALSE(QFile::exists(FFiles.File("out/") + W().Grid()->Cells(0, 0)));

    D().Directories = {moved.File("trip")};
    W().Commands->FindMissingA->trigger();
    ProcessEvents();
    EXPECT_TRUE(D().Messages.back().Text.startsWith("3 of 3 missing pictures found"))
        << D().Messages.back().Text.toStdString();
    EXPECT_FALSE(W().Grid()->IsCellMissing(2, 0));
    EXPECT_EQ(W().Grid()->Gallery().Cell(2, 0).Source, moved.File("trip/day2/a.bmp"));
    EXPECT_TRUE(W().DocumentCmds->IsModified());
}

// Esc while the pictures are read stops the opening; the keys before it reach nothing meanwhile.
TEST_F(TDocumentTest, EscapeWhileOpeningLeavesTheGalleryShown) {
    MakeGallery();
    const QString file = FFiles.File("trip.veltrix");
    SaveAs(file);
    W().Render->ThumbWSE->setValue(190);
    D().Answers = {TModalResult::No}; // the change is not saved
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        QTest::keyClick(W().Grid(), Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(W().Grid(), Qt::Key_Escape);
    });
    tick.start();
    W().DocumentCmds->OpenGallery(file);
    tick.stop();
    EXPECT_EQ(W().StatusP0->text(), "Opening stopped: " + file);
    EXPECT_EQ(W().CountPictures(), 3);
    EXPECT_EQ(W().Render->ThumbWSE->value(), 190);
    EXPECT_TRUE(W().DocumentCmds->IsModified());
}

// A step of the settings alone shares the table with the state before it.
TEST_F(TDocumentTest, SettingsStepsShareTheTable) {
    MakeGallery();
    W().Render->ThumbWSE->setValue(181);
    const TEditStatePtr state = W().EditState();
    EXPECT_EQ(state->Grid, W().EditState()->Grid);
    W().Grid()->ClearCurrentCell();
    EXPECT_NE(state->Grid, W().EditState()->Grid);
}

struct TBadGallery {
    const char* Name;
    const char* Text;
    const char* Says;
};

class TBadGalleryTest : public TDocumentTest, public testing::WithParamInterface<TBadGallery> {};

TEST_P(TBadGalleryTest, IsRefusedAndTheGalleryShownStays) {
    MakeGallery();
    const QString file = FFiles.File("bad.veltrix");
    WriteBytes(file, GetParam().Text);
    D().GalleryFiles = {file};
    D().Answers = {TModalResult::No};
    W().Commands->OpenGalleryA->trigger();
    ProcessEvents();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains(GetParam().Says)) << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(W().CountPictures(), 3);
    EXPECT_EQ(W().Render->ThumbWSE->value(), 180);
    EXPECT_EQ(ReadBytes(file), QByteArray(GetParam().Text));
}

INSTANTIATE_TEST_SUITE_P(
    Files, TBadGalleryTest,
    testing::Values(TBadGallery{"damaged", "{\"format\": \"veltrix-gal", "is damaged"},
                    TBadGallery{"future", R"({"format": "veltrix-gallery", "version": 7})",
                                "newer version of Veltrix"}),
    [](const testing::TestParamInfo<TBadGallery>& info) { return std::string(info.param.Name); });

TEST_F(TDocumentTest, UnsavedChangesAreAskedAboutBeforeTheyAreLost) {
    MakeGallery();
    // Cancel: nothing happens.
    D().Answers = {TModalResult::Cancel};
    W().Commands->NewProjectA->trigger();
    EXPECT_EQ(W().CountPictures(), 3);
    EXPECT_FALSE(W().close());
    EXPECT_TRUE(W().isVisible());
    // Save: the gallery is saved first, then the new one keeps the settings.
    const QString file = FFiles.File("kept.veltrix");
    D().Answers = {TModalResult::Yes};
    D().GalleryFiles = {file};
    W().Commands->NewProjectA->trigger();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(W().CountPictures(), 0);
    EXPECT_EQ(W().Render->ThumbWSE->value(), 180);
    EXPECT_EQ(W().GalleryFile(), "");
    // Discard: gone without saving; the question came once each time.
    W().DocumentCmds->OpenGallery(file);
    W().Render->ThumbWSE->setValue(100);
    D().Answers = {TModalResult::No};
    const size_t asked = D().Messages.size();
    EXPECT_TRUE(W().close());
    EXPECT_EQ(D().Messages.size(), asked + 1);
    EXPECT_TRUE(
        D().Messages.back().Text.startsWith("The gallery \"kept.veltrix\" has changes that are not saved."));
    EXPECT_TRUE(ReadBytes(file).contains("\"width\": 180"));
}

// A gallery keeps its output folder (a new one starts in the working folder: it never writes into the
// last gallery's), Save never writes over a file another program changed unasked, FTP settings typed are
// asked about at exit, and page texts that can run script are pointed out when a file is opened.
TEST_F(TDocumentTest, EachGalleryKeepsItsFolderAndNothingIsLostOrWrittenOverUnasked) {
    MakeGallery();
    const QString site = FFiles.File("site/");
    W().SetOutputDir(site);
    W().Html->PgTitleE->setText("Trip <script>alert(1)</script>");
    const QString file = FFiles.File("trip.veltrix");
    SaveAs(file);
    W().Commands->NewProjectA->trigger();
    EXPECT_NE(W().OutputDir(), site);
    W().DocumentCmds->OpenGallery(file);
    EXPECT_EQ(W().OutputDir(), site);
    ASSERT_FALSE(D().Messages.empty());
    EXPECT_TRUE(D().Messages.back().Text.contains("can run script in a visitor's browser: Title"))
        << D().Messages.back().Text.toStdString();

    const QByteArray theirs = ReadBytes(file) + "\n";
    WriteBytes(file, theirs);
    W().Render->ThumbWSE->setValue(190);
    D().Answers = {TModalResult::Cancel};
    W().Commands->SaveGalleryA->trigger();
    EXPECT_TRUE(D().Messages.back().Text.contains("was changed by another program"));
    EXPECT_EQ(ReadBytes(file), theirs);
    D().Answers = {TModalResult::Yes};
    W().Commands->SaveGalleryA->trigger();
    EXPECT_TRUE(ReadBytes(file).contains("\"width\": 190"));

    W().FtpF1->HostE->setText("ftp.example.net");
    D().Answers = {TModalResult::Cancel};
    EXPECT_FALSE(W().close());
    EXPECT_TRUE(D().Messages.back().Text.startsWith("The FTP settings have changes that are not saved."));
    D().Answers = {TModalResult::No};
    EXPECT_TRUE(W().close());
}
