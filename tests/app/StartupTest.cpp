// Start-up of the main window: its state afterwards, the "default" profile, and the window's frame.
#include "AppFixture.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "publish/GalleryFiles.h"
#include "settings/VlxProfileU.h"

namespace {

TProfileRecord ReadStored(const QString& fileName, const QString& name) {
    TProfileManager store(fileName);
    TProfileRecord record;
    const int index = store.FindProfile(name);
    EXPECT_GE(index, 0) << name.toStdString();
    store.ReadProfile(index, record);
    return record;
}

} // namespace

// In the window's own size, no page of settings squeezes a control below the height it needs to be seen
// and used (the pages hold more than fits: they scroll instead).
TEST_F(TAppTest, PagesSqueezeNoControl) {
    W().show();
    for (int i = 0; i < W().MainPC->count(); ++i) {
        W().MainPC->setCurrentIndex(i);
        QCoreApplication::processEvents();
        for (QWidget* control : W().MainPC->widget(i)->findChildren<QWidget*>())
            if (control->isVisible() && !qobject_cast<QAbstractSpinBox*>(control->parentWidget()) &&
                (qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
                 qobject_cast<QLineEdit*>(control) || qobject_cast<QAbstractSpinBox*>(control)))
                EXPECT_GE(control->height(), control->minimumSizeHint().height())
                    << W().MainPC->tabText(i).toStdString() << ": " << control->objectName().toStdString();
    }
}

// The line between the grid and the settings pages stays where the user left it, in the next window too.
TEST_F(TAppTest, SettingsPagesKeepTheHeightTheyWereLeftAt) {
    W().show();
    ProcessEvents();
    EXPECT_GE(W().MainPC->height(), 167);
    const QList<int> sizes = W().WorkSplitter->sizes();
    W().WorkSplitter->setSizes({sizes[0] + sizes[1] - 300, 300});
    ASSERT_EQ(W().MainPC->height(), 300);
    ASSERT_TRUE(W().close());
    Start();
    W().show();
    ProcessEvents();
    EXPECT_EQ(W().MainPC->height(), 300);
}

TEST_F(TAppTest, StartsWithItsDefaultWindowState) {
    EXPECT_EQ(W().windowTitle(), "Quorrin's Veltrix");
    // As large as the screen leaves room for, up to 1280 x 800, never below the designed size.
    const QSize room = W().screen()->availableGeometry().size();
    EXPECT_TRUE(W().width() <= std::min(1280, room.width()) && W().height() <= std::min(800, room.height()))
        << W().width() << " x " << W().height();
    EXPECT_GE(W().width(), std::min(1152, room.width() * 9 / 10));
    EXPECT_GE(W().height(), std::min(720, room.height() * 9 / 10));
    EXPECT_EQ(W().minimumWidth(), 696);
    EXPECT_EQ(W().MainPC->currentWidget(), W().About->Tab);
    EXPECT_EQ(W().About->VersionL->text(), "v1.16");
    EXPECT_EQ(W().About->DateL->text(), "October, 2004");
    EXPECT_EQ(W().MainPC->count(), 7);
    EXPECT_EQ(W().StatusP0->width(), 300);
    EXPECT_GE(W().StatusP1->width(), 120);
    EXPECT_GE(W().StatusP2->width(), 50);
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 0");
    EXPECT_EQ(W().StatusP2->text(), "Profile:default");
    EXPECT_EQ(W().ProfileName(), "default");
    EXPECT_EQ(W().Grid()->ColCount(), 3);
    EXPECT_EQ(W().Grid()->RowCount(), 2);
    EXPECT_EQ(ShownPage()->Columns(), 3);
    EXPECT_EQ(ShownPage()->Rows(), 2);
    EXPECT_FALSE(W().Grid()->PlainNames());
    EXPECT_TRUE(W().Grid()->AcceptFiles());
    EXPECT_EQ(W().Options->GGridWSE->value(), 64);
    EXPECT_EQ(W().Options->GGridHSE->value(), 64);
    EXPECT_FALSE(W().Options->LoadOnStartupCB->isChecked());
    EXPECT_TRUE(W().Options->AutoUpdThumbCB->isChecked());
}

TEST_F(TAppTest, WorkingDirectoryHoldsTheGreyBackground) {
    const QString workDir = FTemp.Path() + "vlx-" + QString::number(::geteuid()) + "/";
    EXPECT_EQ(W().WorkDir(), workDir);
    EXPECT_EQ(W().OutputDir(), workDir);
    EXPECT_EQ(W().OutputDirP->text(), workDir);
    EXPECT_EQ(W().BkgColor(), 0x808080);
    EXPECT_EQ(W().BkgFile(), workDir + "clgray.jpg");
    EXPECT_EQ(W().Renderer().Background().Width(), 100);
    EXPECT_EQ(ShownPage()->Background(), "clgray.jpg");
    EXPECT_EQ(W().IniFileName(), FConfig.Path() + "vlx.ini");
    // The preview background is the tile repeated over the whole image.
    EXPECT_EQ(W().Preview->Background().Bitmap().size(), W().Preview->ThumbBkgI->size());
}

namespace {

// What another account could have left at the usual place of the working folder.
struct TPlanted {
    const char* Name;
    void (*Plant)(const QString& usual, const QString& elsewhere);
};

class TWorkDirTest : public TAppTest, public testing::WithParamInterface<TPlanted> {};

} // namespace

// Nothing left there by someone else is used: the window makes a fresh private folder and writes nothing
// through what it found.
TEST_P(TWorkDirTest, UnfitFolderAtTheUsualPlaceIsNotUsed) {
    Stop();
    const QString usual = FTemp.Path() + "vlx-" + QString::number(::geteuid());
    ASSERT_TRUE(QDir(usual).removeRecursively());
    TTempDir elsewhere;
    GetParam().Plant(usual, elsewhere.Path());
    if (IsSkipped() || HasFatalFailure())
        return;
    Start();
    EXPECT_NE(W().WorkDir(), usual + "/");
    EXPECT_TRUE(W().WorkDir().startsWith(usual + "-")) << W().WorkDir().toStdString();
    EXPECT_EQ(PrivateFolderProblem(W().WorkDir()), "");
    EXPECT_TRUE(QFile::exists(W().WorkDir() + "clgray.jpg"));
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    EXPECT_TRUE(QDir(elsewhere.Path()).entryList(all).isEmpty());
    EXPECT_TRUE(QDir(usual).entryList(all).isEmpty());
    EXPECT_EQ(W().OutputDir(), W().WorkDir());
    // The next start takes the same fresh folder again.
    const QString fresh = W().WorkDir();
    Start();
    EXPECT_EQ(W().WorkDir(), fresh);
}

INSTANTIATE_TEST_SUITE_P(
    Planted, TWorkDirTest,
    testing::Values(TPlanted{"Link",
                             [](const QString& usual, const QString& elsewhere) {
                                 ASSERT_TRUE(QFile::link(elsewhere, usual));
                             }},
                    TPlanted{"OpenToOthers",
                             [](const QString& usual, const QString&) {
                                 ASSERT_TRUE(QDir().mkdir(usual));
                                 ASSERT_EQ(::chmod(QFile::encodeName(usual).constData(), 0777), 0);
                             }},
                    TPlanted{"File", [](const QString& usual, const QString&) { WriteBytes(usual, "x"); }},
                    // Another account: made here by giving the folder away, which only root may do.
                    TPlanted{"OtherOwner",
                             [](const QString& usual, const QString&) {
                                 ASSERT_TRUE(QDir().mkdir(usual));
                                 ASSERT_EQ(::chmod(QFile::encodeName(usual).constData(), 0700), 0);
                                 if (::chown(QFile::encodeName(usual).constData(), 65534, 65534) != 0)
                                     GTEST_SKIP() << "only root can give a folder to another user";
                             }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TAppTest, RendererAndPageDefaultsReachTheControls) {
    EXPECT_EQ(W().Render->ThumbWSE->value(), 150);
    EXPECT_EQ(W().Render->ThumbHSE->value(), 120);
    EXPECT_EQ(W().Render->PicWSE->value(), 130);
    EXPECT_EQ(W().Render->PicHSE->value(), 100);
    EXPECT_EQ(W().Render->MaskTypCB->count(), 4);
    EXPECT_EQ(W().Render->MaskTypCB->itemText(2), "Round Rectangle");
    EXPECT_EQ(W().Html->HtmlTablAlignCB->currentText(), "Center");
    EXPECT_EQ(W().Html->HtmlTablCellSpacSE->value(), 5);
    EXPECT_EQ(W().Html->HtmlTabTitSizSE->value(), 2);
    EXPECT_EQ(W().Html->PicInfFonSizSE->value(), -1);
    EXPECT_TRUE(W().Html->HtmlTabTitColCB->isChecked());
    EXPECT_TRUE(W().Html->PicInfFonColDefCB->isChecked());
    const std::unique_ptr<TGfxThumbPage> page = ShownPage();
    EXPECT_EQ(page->Title(), "Pictures - Quorrin's Veltrix");
    EXPECT_EQ(page->LinkColor(), 0x00EE0000);
    EXPECT_EQ(page->VLinkColor(), 0x008B1A55);
    EXPECT_EQ(page->ALinkColor(), 0x00EE0000);
    EXPECT_EQ(page->TextColor(), 0);
    EXPECT_EQ(page->TableTitleColor(), clNone);
    EXPECT_EQ(page->BackLinkAlign(), haRight);
    EXPECT_EQ(page->LineWidth(), 100);
    EXPECT_EQ(page->BackLink(), "index.html");
    EXPECT_EQ(page->BackLinkText(), "Return");
    EXPECT_EQ(W().Html->PgColLinkP->palette().color(QPalette::Window), QColor(0, 0, 238));
}

TEST_F(TAppTest, FirstStartStoresDefaultWithOneByOneTable) {
    const TProfileRecord stored = ReadStored(FConfig.File("profiles.vlx"), "default");
    EXPECT_EQ(stored.Name, "default");
    EXPECT_EQ(stored.Rows, 1);
    EXPECT_EQ(stored.Columns, 1);
    EXPECT_EQ(stored.ThumbWidth, 150);
    EXPECT_EQ(stored.BkgColor, 0x808080);
    EXPECT_EQ(stored.Title, "Pictures - Quorrin's Veltrix");
    EXPECT_EQ(stored.TableTitleColor, clNone);
    EXPECT_EQ(stored.CellSpacing, 5);
    // The pages of a new gallery link their pictures in order and fit a phone's screen.
    EXPECT_TRUE(stored.LinkInOrder);
    EXPECT_TRUE(stored.FitToWindow);
    EXPECT_EQ(stored.PrevText, "Previous");
    EXPECT_EQ(stored.NextText, "Next");
    // Its pictures go out at most 2048 pixels on their long side, without their originals.
    EXPECT_TRUE(stored.WebSize);
    EXPECT_EQ(stored.WebMaxSide, 2048);
    EXPECT_FALSE(stored.PublishOriginal);
    EXPECT_TRUE(ShownPage()->LinkInOrder());
    EXPECT_TRUE(ShownPage()->FitToWindow());
    EXPECT_EQ(W().Options->ProfilesCB->count(), 1);
}

// A profiles file written before the order links and the fit: its profiles read with both off, the file is
// left as it was, and the gallery's pages are the plain ones.
TEST_F(TAppTest, ProfilesFileFromBeforeLoadsWithTheNewSettingsOff) {
    Stop();
    const QString fileName = FConfig.File("profiles.vlx");
    QByteArray file;
    for (const char* name : {"default", "Trip"}) {
        TProfileRecord record = ReadStored(fileName, "default");
        record.Name = name;
        record.ThumbWidth = 120;
        QByteArray slot = record.ToBytes().left(TProfileRecord::kSize);
        file += slot + QByteArray(TProfileManager::kSlotSize - slot.size(), '\0');
    }
    WriteBytes(fileName, file);
    Start();
    EXPECT_EQ(ReadBytes(fileName), file);
    EXPECT_EQ(W().Profiles()->ProfileNames(), (QStringList{"default", "Trip"}));
    EXPECT_EQ(W().Render->ThumbWSE->value(), 120);
    EXPECT_FALSE(W().Html->PgLinkOrderCB->isChecked());
    EXPECT_FALSE(W().Html->HtmlFitWindowCB->isChecked());
    EXPECT_FALSE(W().Html->PgWebSizeCB->isChecked());
    EXPECT_EQ(W().Html->PgNextTextE->text(), "Next");

    Load(0, 0, TestData("app/bmp_24bpp.bmp"));
    Load(1, 0, TestData("app/jpeg_baseline_420.jpg"));
    const QString dir = FFiles.File("out/");
    ASSERT_TRUE(QDir().mkpath(dir));
    W().SetOutputDir(dir);
    W().Commands->GeneratePageA->trigger();
    const QStringList pages = QDir(dir).entryList({"*.html"});
    EXPECT_EQ(pages.size(), 3);
    for (const QString& page : pages) {
        const QByteArray text = ReadBytes(dir + page);
        EXPECT_FALSE(text.contains("viewport") || text.contains("Next")) << page.toStdString();
    }
}

TEST_F(TAppTest, LaterStartAppliesExistingDefaultAndLeavesItUntouched) {
    Stop();
    const QString fileName = FConfig.File("profiles.vlx");
    TProfileRecord custom = ReadStored(fileName, "default");
    custom.ThumbWidth = 200;
    custom.Rows = 4;
    custom.Columns = 5;
    custom.BkgColor = 0x0080FF;
    {
        TProfileManager store(fileName);
        store.WriteProfile(store.FindProfile("default"), custom);
    }
    const QByteArray before = ReadBytes(fileName);
    Start();
    EXPECT_EQ(ReadBytes(fileName), before);
    EXPECT_EQ(W().Render->ThumbWSE->value(), 200);
    EXPECT_EQ(W().Renderer().ThumbWidth(), 200);
    EXPECT_EQ(W().BkgFile(), W().WorkDir() + "000080ff.jpg");
    // Start-up ends with a 3 x 2 table whatever the profile holds.
    EXPECT_EQ(W().Grid()->ColCount(), 3);
    EXPECT_EQ(W().Grid()->RowCount(), 2);
}

TEST_F(TAppTest, UnopenableProfilesFileIsReportedAndTheWindowStillOpens) {
    Stop();
    ASSERT_TRUE(QFile::remove(FConfig.File("profiles.vlx")));
    ASSERT_TRUE(QDir().mkdir(FConfig.File("profiles.vlx"))); // a folder where the file should be
    auto dialogs = std::make_unique<TTestDialogs>();
    TTestDialogs* shown = dialogs.get();
    TVeltrixF window(std::move(dialogs), TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}});
    ASSERT_EQ(shown->Errors.size(), 1);
    EXPECT_TRUE(shown->Errors[0].contains("profiles.vlx")) << shown->Errors[0].toStdString();
    EXPECT_EQ(window.Profiles(), nullptr);
    shown->Errors.clear();
    // What start-up made before the store stays usable.
    window.Commands->Gfx_ShowThumb->trigger();
    EXPECT_TRUE(shown->Errors.isEmpty());
}

// The options are read all the same, and saving them keeps the profile name that could not be used.
TEST_F(TAppTest, OptionsAreReadAndKeptWhenTheProfilesFileCannotBeOpened) {
    Stop();
    ASSERT_TRUE(QFile::remove(FConfig.File("profiles.vlx")));
    ASSERT_TRUE(QDir().mkdir(FConfig.File("profiles.vlx")));
    WriteBytes(FConfig.File("vlx.ini"), "[Common]\nLoadOnStartup=1\nProfile=mine\n[TableGrid]\nWidth=100\n");
    auto dialogs = std::make_unique<TTestDialogs>();
    TTestDialogs* shown = dialogs.get();
    TVeltrixF window(std::move(dialogs), TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}});
    ASSERT_EQ(shown->Errors.size(), 1);
    EXPECT_TRUE(shown->Errors[0].contains(FConfig.File("profiles.vlx") + "\": Is a directory"))
        << shown->Errors[0].toStdString();
    EXPECT_EQ(window.Options->GGridWSE->value(), 100);
    window.Commands->SaveOptionsA->trigger();
    window.Options->Prf_AddA->trigger();
    ASSERT_EQ(shown->Errors.size(), 2);
    EXPECT_TRUE(shown->Errors[1].contains("not open") && shown->Errors[1].contains("Is a directory"))
        << shown->Errors[1].toStdString();
    const QByteArray saved = ReadBytes(FConfig.File("vlx.ini"));
    EXPECT_TRUE(saved.contains("Profile=mine\n") && saved.contains("Width=100\n")) << saved.toStdString();
}

// A pipe would block start-up for ever: it is refused with its name and the window opens with defaults.
TEST_F(TAppTest, OptionsFileThatIsAPipeIsRefused) {
    Stop();
    ASSERT_EQ(mkfifo(FConfig.File("vlx.ini").toLocal8Bit().constData(), 0600), 0);
    auto dialogs = std::make_unique<TTestDialogs>();
    TTestDialogs* shown = dialogs.get();
    TVeltrixF window(std::move(dialogs), TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}});
    ASSERT_EQ(shown->Errors.size(), 1);
    EXPECT_TRUE(shown->Errors[0].contains(FConfig.File("vlx.ini"))) << shown->Errors[0].toStdString();
    EXPECT_FALSE(window.Options->LoadOnStartupCB->isChecked());
}

TEST_F(TAppTest, LoadOnStartupIsReadFromTheOptionsFile) {
    Stop();
    WriteBytes(FConfig.File("vlx.ini"), "[Common]\r\nLoadOnStartup=1\r\n");
    Start();
    EXPECT_TRUE(W().Options->LoadOnStartupCB->isChecked());
}

TEST_F(TAppTest, HintsGoToTheFirstStatusPanel) {
    W().ShowStatus("Working");
    QStatusTipEvent tip("Thumbnail width");
    QCoreApplication::sendEvent(&W(), &tip);
    EXPECT_EQ(W().StatusP0->text(), "Thumbnail width");
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 0");
}

TEST_F(TAppTest, CommandsCarryTheirKeysAndHints) {
    struct TRow {
        QAction* Action;
        const char* Key;
        const char* Hint;
    };
    const TRow rows[] = {
        {W().Commands->NewProjectA, "Ctrl+N", "Clear table grid, keeping the settings"},
        {W().Commands->Gfx_ShowThumb, "F5", "Show thumbnailed image"},
        {W().Commands->ViewPageA, "Ctrl+U", "View HTML page"},
        {W().Commands->GeneratePageA, "Ctrl+P", "Generate HTML page"},
        {W().Commands->OutputDirA, "Ctrl+D", "Set output directory"},
        {W().Commands->SaveOptionsA, "Ctrl+O", "Save options"},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(row.Action->shortcut(), QKeySequence(row.Key)) << row.Hint;
        EXPECT_EQ(row.Action->statusTip(), row.Hint);
    }
    // Every control of the settings tabs has a hint.
    for (QWidget* tab :
         {W().ThumbTS, W().PictureTS, W().Html->PageTab, W().Html->TableTab, W().Options->Tab}) {
        for (QWidget* control : tab->findChildren<QWidget*>()) {
            const bool named = !control->objectName().isEmpty() && !control->objectName().startsWith("qt_");
            const bool setting = qobject_cast<QSpinBox*>(control) || qobject_cast<QComboBox*>(control) ||
                                 qobject_cast<QLineEdit*>(control) || qobject_cast<QCheckBox*>(control);
            if (named && setting) {
                EXPECT_FALSE(control->toolTip().isEmpty()) << control->objectName().toStdString();
            }
        }
    }
}
