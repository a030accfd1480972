// A real grid on the offscreen platform, pictures to put into it and a recorder of what it posts.
#include "GridFixture.h"

#include <QDropEvent>
#include <QImage>
#include <QUrl>

namespace {

class TApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_grid";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<TTestApplication>(argc, argv);
    }
    void TearDown() override { FApp.reset(); }

private:
    std::unique_ptr<TTestApplication> FApp;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

} // namespace

bool TTestApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception& error) {
        Errors.append(error.Message());
        return false;
    }
}

TTestApplication* TTestApplication::Instance() {
    return static_cast<TTestApplication*>(QCoreApplication::instance());
}

bool TEventLog::event(QEvent* event) {
    if (event->type() >= WM_GFXCELLLOADED && event->type() <= WM_GFXCELLSSWAPPED) {
        Types.push_back(event->type());
        return true;
    }
    return QObject::event(event);
}

void TTestGrid::startDrag(Qt::DropActions) {
    ++DragsStarted;
    Dragged.reset(CellDragData());
}

void GridTest::SetUp() {
    TTestApplication::Instance()->Errors.clear();
    FGrid = std::make_unique<TTestGrid>();
    FGrid->SetColCount(3);
    FGrid->SetRowCount(2);
    FGrid->SetMainWindow(&FLog);
    FGrid->SetAcceptFiles(true);
    FGrid->resize(400, 300);
    FGrid->show();
    QCoreApplication::processEvents();
    Posted();
}

void GridTest::TearDown() {
    FGrid.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(TTestApplication::Instance()->Errors.isEmpty())
        << TTestApplication::Instance()->Errors.join('\n').toStdString();
}

QString GridTest::MakePicture(const QString& name, int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(color);
    const QString path = FDir.File(name);
    EXPECT_TRUE(image.save(path, "BMP")) << path.toStdString();
    return path;
}

std::vector<int> GridTest::Posted() {
    QCoreApplication::sendPostedEvents(&FLog);
    return std::exchange(FLog.Types, {});
}

QPoint GridTest::CellCentre(int aCol, int aRow) const {
    return FGrid->visualRect(FGrid->model()->index(aRow, aCol)).center();
}

void GridTest::FillAll() {
    const QString picture = MakePicture("fill.bmp", 8, 6);
    for (int row = 0; row < FGrid->RowCount(); ++row)
        for (int col = 0; col < FGrid->ColCount(); ++col)
            FGrid->LoadCell(col, row, picture);
    Posted();
}

bool SendDragOver(TGfxGrid& grid, const QMimeData& data, const QPoint& pos) {
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &move);
    return move.isAccepted();
}

bool SendDrop(TGfxGrid& grid, const QMimeData& data, const QPoint& pos) {
    if (!SendDragOver(grid, data, pos))
        return false;
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid.viewport(), &drop);
    return drop.isAccepted();
}

std::unique_ptr<QMimeData> FileDrop(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}
