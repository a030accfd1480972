// The upload panel's test fixture.
#include "FtpPanelFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

#include "app/VlxApplication.h"

TTestWindow::TTestWindow() {
    const int widths[3] = {300, 120, 50};
    for (int i = 0; i < 3; ++i) {
        FPanels[i] = new QLabel(this);
        FPanels[i]->setFixedWidth(widths[i]);
        statusBar()->addWidget(FPanels[i]);
    }
    resize(696, 493);
}

void TTestWindow::ShowStatus(const QString& text) {
    Statuses << text;
    FPanels[0]->setText(text);
    statusBar()->repaint();
    if (OnStatus)
        OnStatus(text);
}

// Made as the window makes its bars: over panel 1, inside the status bar's border.
QProgressBar* TTestWindow::CreateStatusProgressBar(int max) {
    QStatusBar* bar = statusBar();
    auto* progress = new QProgressBar(bar);
    const int border = bar->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    progress->setGeometry(FPanels[0]->width() + 2, border + 2, FPanels[1]->width() - 2,
                          bar->height() - 2 * border - 2);
    progress->setRange(0, max);
    progress->setValue(0);
    progress->show();
    const size_t index = BarMaxima.size();
    BarMaxima.push_back(max);
    BarLastValue.push_back(0);
    QObject::connect(progress, &QProgressBar::valueChanged, this,
                     [this, index](int value) { BarLastValue[index] = value; });
    if (OnBarCreated)
        OnBarCreated(progress);
    return progress;
}

bool TTestWindow::event(QEvent* event) {
    if (static_cast<int>(event->type()) != WM_FTPUPLOADREQUEST)
        return QMainWindow::event(event);
    ++Requests;
    RunGuarded([this] {
        Panel->SetUploadFiles(Files);
        Panel->StartUpload();
    });
    return true;
}

void TFtpPanelTest::SetUp() {
    // Widgets need a QApplication, made before anything asks for a lesser one.
    EnsureApplication<QApplication>();
    FWindow = std::make_unique<TTestWindow>();
    FPanel = new TFtpF(FWindow.get(), FWindow.get());
    FWindow->Panel = FPanel;
    FWindow->setCentralWidget(FPanel);
    // The transcripts and servers of these tests are plain FTP; the TLS tests choose encryption themselves.
    FPanel->SetFtpEncryption("none");
    FWindow->show();
    TVeltrixApp::SetErrorDialogs(&FWindow->Shown);
}

void TFtpPanelTest::TearDown() {
    TVeltrixApp::SetErrorDialogs(nullptr);
    FWindow.reset();
    // Posted messages of a run that ended abnormally must not reach a later test's panel.
    QCoreApplication::removePostedEvents(nullptr);
}

void TFtpPanelTest::UploadAndWait() {
    const int before = FWindow->Requests;
    FPanel->UploadBB->click();
    ASSERT_TRUE(PumpUntil([&] { return FWindow->Requests > before && !FPanel->Uploading(); }));
    // A run ends inside the handling of its last message; what it posted last is handled here.
    QCoreApplication::processEvents();
}

void TFtpPanelTest::ExpectIdle() {
    EXPECT_EQ(FPanel->UploadBBKind(), TBitBtnKind::bkAll);
    EXPECT_EQ(FPanel->UploadBB->text(), "&Upload");
    EXPECT_TRUE(FPanel->UploadBB->isEnabled());
    EXPECT_TRUE(FPanel->GetRemoteDirSB->isEnabled());
    for (QLineEdit* edit : {FPanel->HostE, FPanel->PortE, FPanel->UserIDE, FPanel->PassE})
        EXPECT_TRUE(edit->isEnabled()) << edit->objectName().toStdString();
    EXPECT_TRUE(FPanel->PassiveCB->isEnabled());
    EXPECT_FALSE(FPanel->DirLV->isVisible());
    EXPECT_FALSE(FPanel->UploadFilesLB->isVisible());
    EXPECT_FALSE(FPanel->Uploading());
    EXPECT_FALSE(FPanel->Browsing());
    EXPECT_FALSE(FPanel->XoFTP().IsConnected());
    EXPECT_EQ(FPanel->ProgressBar(), nullptr);
}

void TFtpPanelTest::UseServer(int port, const QString& user, const QString& password) {
    FPanel->SetFtpHost("localhost");
    FPanel->SetFtpPort(QString::number(port));
    FPanel->SetFtpUserID(user);
    FPanel->PassE->setText(password);
}

QString CopyTestPicture(const QString& name, const QString& dir) {
    const QString path = dir + name;
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(TestData("ftppanel/" + name), path)) << name.toStdString();
    return path;
}
