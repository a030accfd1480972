// The window driven by a command: message boxes as lines, progress on the error stream.
#include "app/VlxCliWindow.h"

#include <algorithm>

#include <QCoreApplication>
#include <QProgressBar>
#include <QTextStream>

#include "app/VlxApplication.h"

TModalResult TCliDialogs::MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) {
    Line(text);
    if (kind == TMsgKind::Error)
        ++ErrorBoxes;
    if (buttons == TMsgButtons::Ok)
        return TModalResult::Ok;
    if (AskYes && AskYes())
        return TModalResult::Yes;
    return buttons == TMsgButtons::YesNoCancel ? TModalResult::Cancel : TModalResult::No;
}

void TCliDialogs::ShowError(const QString& text) {
    Line(text);
    ++Errors;
}

// A message's lines after the first are indented under it; its blank lines are left out.
void TCliDialogs::Line(const QString& text) {
    FErr << "veltrix: " << text.split('\r', Qt::SkipEmptyParts).join("\n    ") << '\n';
    FErr.flush();
}

QProgressBar* TCliWindow::CreateStatusProgressBar(int max) {
    QProgressBar* bar = TVeltrixF::CreateStatusProgressBar(max);
    if (Progress) {
        Progress->NewPhase(max);
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [this](int value) {
            if (Progress)
                Progress->Value(value);
        });
    }
    return bar;
}

TErrorDialogsScope::TErrorDialogsScope() : FSaved(TVeltrixApp::ErrorDialogs()) {}

TErrorDialogsScope::~TErrorDialogsScope() {
    TVeltrixApp::SetErrorDialogs(FSaved);
}

void ProcessCliEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
