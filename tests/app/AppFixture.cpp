// The main window's test fixture and the application every test of the window runs in.
#include "AppFixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QSpinBox>
#include <QThread>

#include "app/VlxApplication.h"
#include "grid/GfxGrid.h"
#include "grid/GfxGridPlacer.h"

namespace {

// The program's own application object, so that its error display is the one under test.
class TAppEnvironment : public testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<TVeltrixApp>(FArgc, FArgv);
    }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[12] = "test_app";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<TVeltrixApp> FApp;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new TAppEnvironment);

} // namespace

TModalResult TTestDialogs::MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) {
    Messages.push_back({kind, text, buttons});
    TModalResult answer = buttons == TMsgButtons::Ok ? TModalResult::Ok : TModalResult::Cancel;
    Take(Answers, answer);
    return answer;
}

bool TTestDialogs::OpenPicture(QString& path) {
    return Take(Pictures, path);
}

bool TTestDialogs::OpenPictures(QStringList& paths) {
    if (Take(PictureSets, paths))
        return true;
    return TDialogs::OpenPictures(paths);
}

bool TTestDialogs::ChooseColor(TColor& color) {
    return Take(Colors, color);
}

bool TTestDialogs::SelectDirectory(QString& dir) {
    DirectoryStarts << dir;
    return Take(Directories, dir);
}

bool TTestDialogs::InputQuery(const QString& caption, const QString& prompt, QString& value) {
    Queries.push_back({caption, prompt, value});
    return Take(Inputs, value);
}

void TAppTest::SetUp() {
    Start();
}

std::unique_ptr<TGfxThumbPage> TAppTest::ShownPage() const {
    auto page = std::make_unique<TGfxThumbPage>();
    page->SetSettings(FWindow->Settings().Page);
    page->SetBackground(QFileInfo(FWindow->BkgFile()).fileName());
    return page;
}

void TAppTest::TearDown() {
    if (FDialogs) {
        EXPECT_TRUE(FDialogs->Errors.isEmpty()) << FDialogs->Errors.join("\n").toStdString();
    }
    Stop();
}

void TAppTest::Start() {
    Stop();
    auto dialogs = std::make_unique<TTestDialogs>();
    FDialogs = dialogs.get();
    FWindow = std::make_unique<TVeltrixF>(std::move(dialogs),
                                          TVeltrixPlaces{FConfig.Path(), FTemp.Path(), FProgramDir});
    FWindow->show();
    ProcessEvents();
}

void TAppTest::Stop() {
    FWindow.reset();
    FDialogs = nullptr;
    ProcessEvents();
}

void TAppTest::ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    // Pictures placed in the background: until the last one is in its cell (at most 30 s) and the window
    // has heard of it.
    for (int i = 0; i < 3000 && TGfxGridPlacer::Running() > 0; ++i) {
        QThread::msleep(10);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void TAppTest::Load(int col, int row, const QString& path) {
    W().Grid()->LoadCell(col, row, path);
    ProcessEvents();
}

QString TAppTest::MakePicture(const QString& name, int width, int height) const {
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(QColor(200, 120, 40));
    const QString path = FFiles.File(name);
    EXPECT_TRUE(picture.save(path, "BMP")) << path.toStdString();
    return path;
}

void TAppTest::AllEffectsOn() {
    W().Render->MaskTypCB->setCurrentIndex(gmRoundRect);
    emit W().Render->MaskTypCB->activated(gmRoundRect);
    W().Render->ThumbBevelTypCB->setCurrentIndex(gbRaised);
    emit W().Render->ThumbBevelTypCB->activated(gbRaised);
    W().Render->PicBevelTypCB->setCurrentIndex(gbLowered);
    emit W().Render->PicBevelTypCB->activated(gbLowered);
    for (const auto& [spin, value] : {std::pair{W().Render->MaskSizSE, 5},
                                      {W().Render->ShadowSizSE, 4},
                                      {W().Render->ShadowDistSE, 3},
                                      {W().Render->ShadowIntSE, 80},
                                      {W().Render->ThumbBevelSizSE, 3},
                                      {W().Render->ThumbBevelIntSE, 60},
                                      {W().Render->PicBevelSizSE, 2},
                                      {W().Render->PicBevelIntSE, 70}})
        spin->setValue(value);
}
