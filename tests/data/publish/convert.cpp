// Converts a picture into the format its output name gives (make.sh builds it with Qt's image plugins).
#include <QGuiApplication>
#include <QImage>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QImage in(argv[1]);
    return !in.isNull() && in.save(argv[2]) ? 0 : 1;
}
