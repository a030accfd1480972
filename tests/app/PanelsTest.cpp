// The settings tabs: each control passes its value on at once, and the preview follows.
#include "AppFixture.h"

#include <functional>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"

namespace {

struct TRendererControl {
    const char* Name;
    QSpinBox* TRenderPanel::*Control;
    int Value;
    std::function<int(const TGfxThumbnail&)> Setting;
};

void PrintTo(const TRendererControl& row, std::ostream* out) {
    *out << row.Name;
}

class TRendererControlTest : public TAppTest, public testing::WithParamInterface<TRendererControl> {};

} // namespace

TEST_P(TRendererControlTest, PassesValueToRendererAndMarksThumbnailsStale) {
    const TRendererControl& row = GetParam();
    W().SetThumbsStale(false);
    (W().Render->*row.Control)->setValue(row.Value);
    EXPECT_EQ(row.Setting(W().Renderer()), row.Value);
    EXPECT_TRUE(W().ThumbsStale());
    EXPECT_TRUE(W().EventT->isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Controls, TRendererControlTest,
    testing::Values(
        TRendererControl{"ThumbWSE", &TRenderPanel::ThumbWSE, 321, [](auto& r) { return r.ThumbWidth(); }},
        TRendererControl{"ThumbHSE", &TRenderPanel::ThumbHSE, 99, [](auto& r) { return r.ThumbHeight(); }},
        TRendererControl{"ThumbBevelSizSE", &TRenderPanel::ThumbBevelSizSE, 7,
                         [](auto& r) { return r.ThumbBevel().Size; }},
        TRendererControl{"ThumbBevelIntSE", &TRenderPanel::ThumbBevelIntSE, 100,
                         [](auto& r) { return int(r.ThumbBevel().Intensity); }},
        TRendererControl{"PicWSE", &TRenderPanel::PicWSE, 30, [](auto& r) { return r.PicWidth(); }},
        TRendererControl{"PicHSE", &TRenderPanel::PicHSE, 500, [](auto& r) { return r.PicHeight(); }},
        TRendererControl{"PicBevelSizSE", &TRenderPanel::PicBevelSizSE, 3,
                         [](auto& r) { return r.PicBevel().Size; }},
        TRendererControl{"PicBevelIntSE", &TRenderPanel::PicBevelIntSE, 42,
                         [](auto& r) { return int(r.PicBevel().Intensity); }},
        TRendererControl{"MaskSizSE", &TRenderPanel::MaskSizSE, 12, [](auto& r) { return r.MaskSize(); }},
        TRendererControl{"ShadowSizSE", &TRenderPanel::ShadowSizSE, 8, [](auto& r) { return r.ShadowSize(); }},
        TRendererControl{"ShadowDistSE", &TRenderPanel::ShadowDistSE, 5,
                         [](auto& r) { return r.ShadowDistance(); }},
        TRendererControl{"ShadowIntSE", &TRenderPanel::ShadowIntSE, 50,
                         [](auto& r) { return int(r.ShadowIntensity()); }}));

TEST_F(TAppTest, SpinEditsForceValuesIntoTheirRange) {
    W().Render->ThumbWSE->setValue(20);
    EXPECT_EQ(W().Renderer().ThumbWidth(), 50);
    W().Html->PicInfFonSizSE->setValue(9);
    EXPECT_EQ(ShownPage()->PicInfoFontSize(), 4);
}

TEST_F(TAppTest, PickedListItemsSetTheirStyle) {
    W().Render->MaskTypCB->setCurrentIndex(gmEllipse);
    emit W().Render->MaskTypCB->activated(gmEllipse);
    W().Render->ThumbBevelTypCB->setCurrentIndex(gbLowered);
    emit W().Render->ThumbBevelTypCB->activated(gbLowered);
    W().Html->HtmlTabTitAlignCB->setCurrentIndex(haLeft);
    emit W().Html->HtmlTabTitAlignCB->activated(haLeft);
    EXPECT_EQ(W().Renderer().MaskStyle(), gmEllipse);
    EXPECT_EQ(W().Renderer().ThumbBevel().Style, gbLowered);
    EXPECT_EQ(ShownPage()->TableTitleAlign(), haLeft);
    // A list set by the program runs no handler.
    W().Render->PicBevelTypCB->setCurrentIndex(gbRaised);
    EXPECT_EQ(W().Renderer().PicBevel().Style, gbNone);
}

TEST_F(TAppTest, BurstOfChangesRendersOnePreviewWhenTheTimerFires) {
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    W().EventT->stop();
    W().Preview->ThumbI->clear();
    W().Render->ThumbWSE->setValue(200);
    W().Render->ThumbWSE->setValue(210);
    W().Render->ThumbWSE->setValue(220);
    EXPECT_TRUE(W().EventT->isActive());
    EXPECT_EQ(W().EventT->interval(), 1000);
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull()); // nothing rendered before the delay is over
    QMetaObject::invokeMethod(W().EventT, "timeout"); // the delay is over
    EXPECT_EQ(W().Preview->ThumbI->pixmap().width(), 220);
    EXPECT_FALSE(W().PreviewStale());
    EXPECT_TRUE(W().ThumbsStale()); // the gallery's thumbnails are still to be made
    EXPECT_FALSE(W().EventT->isActive());
}

TEST_F(TAppTest, NoDelayedPreviewWithAutoUpdateOff) {
    W().Options->AutoUpdThumbCB->setChecked(false);
    W().Render->ThumbHSE->setValue(200);
    EXPECT_TRUE(W().ThumbsStale());
    EXPECT_FALSE(W().EventT->isActive());
}

class TFewerColumnsTest : public TAppTest, public testing::WithParamInterface<TModalResult> {};

TEST_P(TFewerColumnsTest, AskFirstAndFreeThePicturesOfTheLostColumnOnlyOnYes) {
    const QString picture = TestData("app/bmp_24bpp.bmp");
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            Load(col, row, picture);
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 6");
    D().Answers = {GetParam()};
    W().Html->GfxGridColSE->setValue(2);
    ProcessEvents();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Text, "2 pictures would leave the grid.\rChange the table to 2x2 ?");
    if (GetParam() != TModalResult::Yes) {
        EXPECT_EQ(W().Html->GfxGridColSE->value(), 3);
        EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 6");
        return;
    }
    EXPECT_EQ(W().Grid()->ColCount(), 2);
    EXPECT_EQ(ShownPage()->Columns(), 2);
    EXPECT_EQ(W().StatusP1->text(), "Table: 2x2  Images: 4");
    W().Html->GfxGridColSE->setValue(3);
    EXPECT_TRUE(W().Grid()->IsCellEmpty(2, 0));
    EXPECT_TRUE(W().Grid()->IsCellEmpty(2, 1));
    EXPECT_EQ(D().Messages.size(), 1u); // growing asks nothing
}

INSTANTIATE_TEST_SUITE_P(Answers, TFewerColumnsTest, testing::Values(TModalResult::Yes, TModalResult::No));

// "12" typed into Columns passes through 1: nothing happens until editing ends.
TEST_F(TAppTest, TypedTableSizeAppliesWhenEditingEnds) {
    for (int col = 0; col < 3; ++col)
        Load(col, 0, TestData("app/bmp_24bpp.bmp"));
    W().Html->GfxGridColSE->setFocus();
    W().Html->GfxGridColSE->selectAll();
    QTest::keyClicks(W().Html->GfxGridColSE, "12");
    ProcessEvents();
    EXPECT_EQ(W().Grid()->ColCount(), 3);
    EXPECT_EQ(W().CountPictures(), 3);
    QTest::keyClick(W().Html->GfxGridColSE, Qt::Key_Return);
    ProcessEvents();
    EXPECT_EQ(W().Grid()->ColCount(), 12);
    EXPECT_EQ(W().CountPictures(), 3);
    EXPECT_TRUE(D().Messages.empty());
}

struct TTypedCase {
    const char* Typed;
    int Value;
};

class TTypedSpinTest : public TAppTest, public testing::WithParamInterface<TTypedCase> {};

// Picture width, 30 to 500: a typed value outside goes to the nearer bound when editing ends.
TEST_P(TTypedSpinTest, OutOfRangeGoesToTheNearestBound) {
    W().Render->PicWSE->setFocus();
    W().Render->PicWSE->selectAll();
    QTest::keyClicks(W().Render->PicWSE, GetParam().Typed);
    QTest::keyClick(W().Render->PicWSE, Qt::Key_Return);
    EXPECT_EQ(W().Render->PicWSE->value(), GetParam().Value);
    EXPECT_EQ(W().Renderer().PicWidth(), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(Values, TTypedSpinTest,
                         testing::Values(TTypedCase{"10", 30}, TTypedCase{"900", 500}, TTypedCase{"77", 77}));

// Every command of the tool bar and of the grid's menu is in the menu bar too; Ctrl+Q quits.
TEST_F(TAppTest, MenuBarCarriesEveryCommand) {
    QList<QAction*> inMenus;
    std::function<void(QMenu*)> gather = [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            inMenus << action;
            if (action->menu())
                gather(action->menu());
        }
    };
    for (QAction* top : W().menuBar()->actions())
        gather(top->menu());
    QList<QAction*> commands = W().Commands->GfxGridPM->actions();
    for (QToolBar* bar : W().findChildren<QToolBar*>())
        commands << bar->actions();
    for (QAction* command : commands)
        if (!command->isSeparator() && !qobject_cast<QWidgetAction*>(command))
            EXPECT_TRUE(inMenus.contains(command)) << command->objectName().toStdString();
    EXPECT_EQ(W().Commands->ExitA->shortcut(), QKeySequence(QKeySequence::Quit));
}

TEST_F(TAppTest, TipsNameTheKeyAndBoxesFitTheirText) {
    EXPECT_EQ(W().Commands->GeneratePageA->toolTip(), "Generate HTML page (Ctrl+P)");
    EXPECT_EQ(W().Commands->GeneratePageA->statusTip(), "Generate HTML page");
    EXPECT_EQ(W().Commands->ExitA->toolTip(), "Exit Veltrix");
    // The upload list's rows are as tall as the font; input boxes as wide as their title.
    W().FtpF1->SetUploadFiles({W().WorkDir() + "pic_g.html"});
    EXPECT_GE(W().FtpF1->UploadFilesLB->sizeHintForRow(0), W().FtpF1->UploadFilesLB->fontMetrics().height());
    const std::unique_ptr<QInputDialog> box(NewInputBox(&W(), "Add current profile", "Profile name", ""));
    EXPECT_GT(box->minimumWidth(), box->fontMetrics().horizontalAdvance(
                                       QString::fromUtf8("Add current profile \u2014 Quorrin's Veltrix")));
}

// The desktop's box for 2,000 missing pictures fits the screen: the list scrolls under the text, its count
// is shown, and the buttons stay on the screen and answer.
TEST_F(TAppTest, LongListFitsTheScreenAndAnswers) {
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines << QString("/home/ann/pictures/trip/%1.jpg not found").arg(i);
    TQtDialogs dialogs(&W());
    bool checked = false;
    // Whatever happens, the box is closed, so that a failure cannot leave the test waiting on it.
    QTimer::singleShot(20000, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(PumpUntil([] { return QApplication::activeModalWidget() != nullptr; }));
        QWidget* box = QApplication::activeModalWidget();
        const auto close = qScopeGuard([box] { box->close(); });
        const QRect screen = box->screen()->availableGeometry();
        EXPECT_LE(box->frameGeometry().height(), screen.height());
        EXPECT_LE(box->frameGeometry().width(), screen.width());
        auto* list = box->findChild<QListWidget*>("ListBoxLines");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->count(), 2000);
        EXPECT_TRUE(list->verticalScrollBar()->isVisible());
        bool counted = false;
        for (const QLabel* label : box->findChildren<QLabel*>())
            counted = counted || label->text() == "2,000 in this list";
        EXPECT_TRUE(counted);
        QPushButton* no = nullptr;
        for (QPushButton* button : box->findChildren<QPushButton*>())
            if (button->text().remove('&') == "No")
                no = button;
        ASSERT_NE(no, nullptr);
        EXPECT_TRUE(box->rect().contains(QRect(no->mapTo(box, QPoint(0, 0)), no->size())));
        checked = true;
        no->click();
    });
    EXPECT_EQ(dialogs.ListMessageBox(TMsgKind::Warning, "2000 of the gallery's pictures were not found:",
                                     lines, "Look for them in another folder ?", TMsgButtons::YesNo),
              TModalResult::No);
    EXPECT_TRUE(checked);
}

TEST_F(TAppTest, LargestTableIsHundredByHundred) {
    W().Html->GfxGridColSE->setValue(100);
    W().Html->GfxGridRowSE->setValue(100);
    EXPECT_EQ(W().Grid()->ColCount(), 100);
    EXPECT_EQ(ShownPage()->Rows(), 100);
    EXPECT_EQ(W().StatusP1->text(), "Table: 100x100  Images: 0");
}

TEST_F(TAppTest, UncheckingDefaultAndCancellingKeepsTheDefaultColour) {
    const QColor buttonFace = W().style()->standardPalette().color(QPalette::Button);
    W().Html->PicInfFonColDefCB->click(); // unchecks, then the colour dialog is cancelled
    EXPECT_FALSE(W().Html->PicInfFonColDefCB->isChecked());
    EXPECT_EQ(ShownPage()->PicInfoColor(), clNone);
    EXPECT_EQ(W().Html->PicInfFonColP->palette().color(QPalette::Window), buttonFace);
}

TEST_F(TAppTest, DefaultBoxesRenderThePreviewOnlyForPictureInformation) {
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    D().Colors = {0x0000FF, 0x0000FF};
    W().Html->PicInfFonColDefCB->click();
    W().Html->HtmlTabTitColCB->click();
    EXPECT_EQ(ShownPage()->PicInfoColor(), 0x0000FF);
    EXPECT_EQ(ShownPage()->TableTitleColor(), 0x0000FF);
    EXPECT_EQ(W().Html->HtmlTabTitColP->palette().color(QPalette::Window), QColor(255, 0, 0));

    W().Preview->ThumbI->clear();
    W().Html->HtmlTabTitColCB->click();
    EXPECT_EQ(ShownPage()->TableTitleColor(), clNone);
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    W().Html->PicInfFonColDefCB->click();
    EXPECT_EQ(ShownPage()->PicInfoColor(), clNone);
    EXPECT_FALSE(W().Preview->ThumbI->pixmap().isNull());
}

TEST_F(TAppTest, PageSettingsNeverRenderThePreview) {
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    W().Preview->ThumbI->clear();
    W().Html->PgTitleE->setText("Holiday");
    D().Colors = {0x00FF00};
    W().Html->PgColLinkSB->click();
    W().Html->HtmlTablAlignCB->setCurrentIndex(haLeft);
    emit W().Html->HtmlTablAlignCB->activated(haLeft);
    W().Html->PgBackLinkE->setText("../index.html");
    W().Html->PgBackLinkTextE->setText("Back");
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    const std::unique_ptr<TGfxThumbPage> page = ShownPage();
    EXPECT_EQ(page->Title(), "Holiday");
    EXPECT_EQ(page->LinkColor(), 0x00FF00);
    EXPECT_EQ(page->TableAlign(), haLeft);
    EXPECT_EQ(page->BackLink(), "../index.html");
    EXPECT_EQ(page->BackLinkText(), "Back");
    EXPECT_EQ(W().Html->PgColLinkP->palette().color(QPalette::Window), QColor(0, 255, 0));
}

TEST_F(TAppTest, PictureInformationBoxesGiveAllThreeBits) {
    W().Html->PicInfNameCB->click();
    W().Html->PicInfSizeCB->click();
    EXPECT_EQ(ShownPage()->PicInfo(), 1 | 4);
    Load(0, 0, TestData("app/jpeg_baseline_420.jpg"));
    W().ShowThumb();
    const QImage withText = W().Preview->ThumbBkgI->pixmap().toImage();
    EXPECT_NE(withText, W().Preview->Background().Bitmap().convertToFormat(withText.format()));
    // Clearing them all takes the text away without rendering the thumbnail again.
    W().Html->PicInfNameCB->click();
    W().Preview->ThumbI->clear();
    W().Html->PicInfSizeCB->click();
    EXPECT_EQ(ShownPage()->PicInfo(), 0);
    EXPECT_TRUE(W().Preview->ThumbI->pixmap().isNull());
    const QImage plain = W().Preview->ThumbBkgI->pixmap().toImage();
    EXPECT_EQ(plain, W().Preview->Background().Bitmap().convertToFormat(plain.format()));
}

TEST_F(TAppTest, RedrawRebuildsCellPreviewsAtTheNewCellSize) {
    Load(1, 1, MakePicture("wide.bmp", 1024, 768));
    EXPECT_EQ(W().Grid()->Objects(1, 1)->Bitmap().size(), QSize(60, 45));
    W().Options->GGridWSE->setValue(128);
    W().Options->GGridHSE->setValue(128);
    EXPECT_EQ(W().Grid()->Objects(1, 1)->Bitmap().size(), QSize(60, 45));
    W().Options->BitBtn1->click();
    ProcessEvents();
    EXPECT_EQ(W().Grid()->Objects(1, 1)->Bitmap().size(), QSize(124, 93));
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 1");
}
