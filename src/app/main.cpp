// The program's entry: the application with its error display, and the main window until it closes.
#include "app/VeltrixU.h"
#include "app/VlxApplication.h"

int main(int argc, char** argv) {
    TVeltrixApp app(argc, argv);
    TVeltrixF window;
    window.show();
    return app.exec();
}
