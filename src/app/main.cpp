// The program's entry: the command line when the first argument is a command, else the main window until
// it closes.
#include <cstdio>

#include <unistd.h>

#include <QTextStream>

#include "app/VeltrixU.h"
#include "app/VlxApplication.h"
#include "app/VlxCommandLine.h"

int main(int argc, char** argv) {
    if (IsCommandLine(argc, argv)) {
        // A command needs no display and must work where there is none.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        TVeltrixApp app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        QTextStream in(stdin);
        return RunCommandLine(app.arguments().mid(1), {},
                              {out, err, isatty(fileno(stderr)) != 0, &in, isatty(fileno(stdin)) != 0});
    }
    TVeltrixApp app(argc, argv);
    TVeltrixF window;
    window.show();
    return app.exec();
}
