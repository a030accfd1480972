// Gathering the window's settings into a profile record and applying records back.
#include "AppFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "app/VlxProfileCommands.h"
#include "gallery/GallerySettings.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "settings/VlxProfileU.h"

namespace {

TProfileRecord Gathered(const TVeltrixF& window) {
    TProfileRecord record;
    window.GatherProfile(record);
    return record;
}

// Every setting away from its start-up value.
TProfileRecord Unusual(const TVeltrixF& window) {
    TProfileRecord r = Gathered(window);
    r.Name = "Unusual";
    r.BkgColor = 0x123456;
    r.ThumbWidth = 201, r.ThumbHeight = 202, r.ThumbBevel.Size = 3, r.ThumbBevel.Style = gbRaised;
    r.ThumbBevel.Intensity = 40, r.MaskSize = 6, r.MaskStyle = gmRoundRect, r.ShadowSize = 7;
    r.ShadowDistance = 8, r.ShadowIntensity = 9, r.PicWidth = 111, r.PicHeight = 112, r.PicBevel.Size = 4;
    r.PicBevel.Style = gbLowered, r.PicBevel.Intensity = 33, r.Title = "Trip", r.TextColor = 0x010203;
    r.LinkColor = 0x040506, r.VLinkColor = 0x070809, r.ALinkColor = 0x0A0B0C, r.TableTitle = "Días";
    r.TableTitleFontSize = -2, r.TableTitleColor = 0x0000FF, r.TableTitleAlign = haLeft;
    r.TableAlign = haRight, r.Rows = 4, r.Columns = 5, r.CellSpacing = 9, r.PicInfo = 1 | 2;
    r.PicInfoFontSize = 3, r.PicInfoColor = 0x00FF00, r.PicInfoAlign = haRight, r.LineWidth = 50;
    r.BackLink = "../home.html", r.BackLinkText = "Home", r.BackLinkFontSize = 1, r.BackLinkAlign = haLeft;
    r.LinkInOrder = false, r.FitToWindow = false, r.PrevText = "Earlier", r.NextText = "Later";
    r.CaptionUnderThumb = true;
    r.PublishMeta = pmOrientationOnly;
    r.WebSize = false, r.WebMaxSide = 999, r.PublishOriginal = true;
    r.PageRows = 7;
    return r;
}

// Where two settings differ, as their profile forms show it.
std::string Difference(const TGallerySettings& a, const TGallerySettings& b) {
    return FirstDifference(ProfileFromSettings(a).ToBytes(), ProfileFromSettings(b).ToBytes()).toStdString();
}

} // namespace

TEST_F(TAppTest, AppliedProfileGathersBackUnchanged) {
    const TProfileRecord unusual = Unusual(W());
    W().ApplyProfile(unusual);
    TProfileRecord expected = unusual;
    expected.BkgFile = W().WorkDir() + "00123456.jpg";
    const QByteArray gathered = Gathered(W()).ToBytes();
    EXPECT_EQ(gathered, expected.ToBytes()) << FirstDifference(expected.ToBytes(), gathered).toStdString();
    EXPECT_EQ(W().ProfileName(), "Unusual");
    EXPECT_EQ(W().StatusP2->text(), "Profile:Unusual");
    EXPECT_EQ(W().Renderer().MaskStyle(), gmRoundRect);
    EXPECT_EQ(ShownPage()->TableTitleColor(), 0x0000FF);
    EXPECT_FALSE(W().Html->HtmlTabTitColCB->isChecked());
    EXPECT_EQ(W().Html->HtmlTabTitColP->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(W().Html->PicInfNameCB->isChecked());
    EXPECT_TRUE(W().Html->PicInfPicSizeCB->isChecked());
    EXPECT_FALSE(W().Html->PicInfSizeCB->isChecked());
    EXPECT_TRUE(W().Html->PicInfCaptionCB->isChecked());
    EXPECT_FALSE(W().Html->PgLinkOrderCB->isChecked());
    EXPECT_FALSE(ShownPage()->LinkInOrder());
    EXPECT_FALSE(ShownPage()->FitToWindow());
    EXPECT_EQ(ShownPage()->NextText(), "Later");
    EXPECT_EQ(W().Html->PubMetaCB->currentIndex(), pmOrientationOnly);
    EXPECT_EQ(W().Html->PgWebSizeSE->value(), 999);
    // The web size's box is a page setting like the others.
    W().Html->PgWebSizeCB->click();
    EXPECT_TRUE(Gathered(W()).WebSize);
    EXPECT_EQ(W().Html->HtmlPageRowsSE->value(), 7);
    W().Html->HtmlPageRowsSE->setValue(0);
    EXPECT_EQ(ShownPage()->PageRows(), 0);
}

TEST_F(TAppTest, ProfileSetsTheTableSizeOnlyWhenTheGridIsEmpty) {
    TProfileRecord record = Gathered(W());
    record.Rows = 4;
    record.Columns = 5;
    Load(0, 0, TestData("app/bmp_24bpp.bmp"));
    W().ApplyProfile(record);
    EXPECT_EQ(W().Grid()->ColCount(), 3);
    EXPECT_EQ(W().Grid()->RowCount(), 2);
    W().Grid()->ClearCell(0, 0);
    W().ApplyProfile(record);
    EXPECT_EQ(W().Grid()->ColCount(), 5);
    EXPECT_EQ(W().Grid()->RowCount(), 4);
    EXPECT_EQ(ShownPage()->Columns(), 5);
}

TEST_F(TAppTest, ApplyingShowsThePreviewOnceAndKeepsAutoUpdate) {
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    W().EventT->stop();
    W().Preview->ThumbI->clear();
    TProfileRecord record = Unusual(W());
    W().ApplyProfile(record);
    EXPECT_TRUE(W().Options->AutoUpdThumbCB->isChecked());
    EXPECT_FALSE(W().EventT->isActive()); // no delayed preview on top of the one shown
    EXPECT_EQ(W().Preview->ThumbI->pixmap().size(), QSize(201, 202));
}

TEST_F(TAppTest, ApplyingLeavesAutoUpdateOffWhenItWasOff) {
    W().Options->AutoUpdThumbCB->setChecked(false);
    W().ApplyProfile(Unusual(W()));
    EXPECT_FALSE(W().Options->AutoUpdThumbCB->isChecked());
}

TEST_F(TAppTest, MissingBackgroundFileIsReportedAndTheRestApplies) {
    TProfileRecord record = Unusual(W());
    record.BkgColor = clNone;
    record.BkgFile = FFiles.File("deleted.jpg");
    W().ApplyProfile(record);
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains("deleted.jpg")) << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(W().BkgFile(), W().WorkDir() + "clgray.jpg");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 201);
    EXPECT_EQ(W().Html->PgBackLinkTextE->text(), "Home");
    EXPECT_EQ(W().StatusP2->text(), "Profile:Unusual");
    EXPECT_TRUE(W().Options->AutoUpdThumbCB->isChecked());
}

TEST_F(TAppTest, DamagedListIndexesSelectTheFirstItem) {
    TProfileRecord record = Gathered(W());
    record.MaskStyle = 9;
    record.TableAlign = 200;
    record.BackLinkAlign = 77;
    W().ApplyProfile(record);
    EXPECT_EQ(W().Render->MaskTypCB->currentIndex(), 0);
    EXPECT_EQ(W().Renderer().MaskStyle(), gmNone);
    EXPECT_EQ(ShownPage()->TableAlign(), haDefault);
    EXPECT_EQ(ShownPage()->BackLinkAlign(), haDefault);
}

TEST_F(TAppTest, ProfileListSelectsTheAppliedNameIgnoringCase) {
    TProfileRecord record = Gathered(W());
    record.Name = "DEFAULT";
    W().ApplyProfile(record);
    EXPECT_EQ(W().Options->ProfilesCB->currentText(), "default");
    record.Name = "absent";
    W().ApplyProfile(record);
    EXPECT_EQ(W().Options->ProfilesCB->currentIndex(), -1);
}

TEST_F(TAppTest, LongTextsAreCutToTheirFields) {
    W().Html->PgTitleE->setText(QString(150, QChar(0x00E9))); // two UTF-8 bytes each
    const TProfileRecord record = Gathered(W());
    EXPECT_EQ(record.Title, QString(50, QChar(0x00E9)));
}

// The defaults live in one place: the window starts with them, its tile in the working folder.
TEST_F(TAppTest, FreshWindowHoldsTheStartUpSettings) {
    TGallerySettings expected = StartUpSettings();
    expected.Background.File = W().WorkDir() + "clgray.jpg";
    EXPECT_TRUE(W().Settings() == expected) << Difference(expected, W().Settings());
}

// A stored profile out of range is brought into range before any panel sees it, and the panels show that.
TEST_F(TAppTest, StoredProfileOutOfRangeAppliesInRange) {
    TProfileRecord record = Gathered(W());
    record.Name = "Wild";
    record.ThumbWidth = 5000;
    record.ThumbBevel.Style = 9;
    record.Columns = 0;
    record.PicInfoFontSize = -7;
    record.ShadowIntensity = 250;
    W().Profiles()->AddProfile(record);
    W().ProfileCmds->UseProfile("Wild");
    TGallerySettings expected = SettingsFromProfile(record);
    expected.Background.File = W().BkgFile();
    EXPECT_TRUE(W().Settings() == expected) << Difference(expected, W().Settings());
    EXPECT_EQ(W().Render->ThumbWSE->value(), 500);
    EXPECT_EQ(W().Render->ThumbBevelTypCB->currentIndex(), gbNone);
    EXPECT_EQ(W().Html->GfxGridColSE->value(), 1);
    EXPECT_EQ(W().Grid()->ColCount(), 1);
    EXPECT_EQ(W().Html->PicInfFonSizSE->value(), -2);
    EXPECT_EQ(W().Render->ShadowIntSE->value(), 100);
}
