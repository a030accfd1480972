// The program's entry: until the main window exists, a small window that says what Veltrix is.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorrin's Veltrix");
    QLabel label("Veltrix: a web gallery maker (the main window is being built).");
    label.setWindowTitle("Quorrin's Veltrix");
    label.resize(480, 120);
    label.show();
    return app.exec();
}
