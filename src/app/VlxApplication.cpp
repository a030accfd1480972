// The application's default error display.
#include "app/VlxApplication.h"

#include <cstdio>
#include <exception>

#include "app/VlxDialogs.h"
#include "common/VlxTypes.h"
#include "gallery/Version.h"

TDialogs* TVeltrixApp::FErrorDialogs = nullptr;

TVeltrixApp::TVeltrixApp(int& argc, char** argv) : QApplication(argc, argv) {
    UseOneHeap();
    setApplicationName(kApplicationName);
    setApplicationDisplayName(kApplicationName);
    // Ties the windows to the installed desktop entry "veltrix.desktop" (menu name and icon).
    setDesktopFileName("veltrix");
}

bool TVeltrixApp::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}

void TVeltrixApp::SetErrorDialogs(TDialogs* dialogs) {
    FErrorDialogs = dialogs;
}

TDialogs* TVeltrixApp::ErrorDialogs() {
    return FErrorDialogs;
}

void TVeltrixApp::ShowCurrentException() {
    QString text;
    try {
        throw;
    } catch (const Exception& e) {
        text = e.Message();
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = "Unknown error";
    }
    if (FErrorDialogs) {
        // A failing error display must not take the program down with it.
        try {
            FErrorDialogs->ShowError(text);
            return;
        } catch (...) {
        }
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        TVeltrixApp::ShowCurrentException();
    }
}
