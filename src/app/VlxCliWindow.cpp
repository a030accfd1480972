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

void TCliProgress::NewPhase(int total, const QString& name) {
    static const char* const names[] = {"copy", "thumbnails", "pages", "index"};
    EndPhase();
    FPhase = !name.isEmpty() ? name : FPhaseIndex < 4 ? names[FPhaseIndex] : "phase";
    ++FPhaseIndex;
    FTotal = total;
    FCount = 0;
}

void TCliProgress::Value(int value) {
    if (value == FCount)
        return;
    FCount = value;
    if (FStreams.ErrIsTerminal)
        Draw();
}

void TCliProgress::EndPhase() {
    if (FPhase.isEmpty() || FCount == 0)
        return;
    if (!FStreams.ErrIsTerminal)
        FStreams.Err << FPhase << ' ' << FCount << '/' << FTotal;
    FStreams.Err << '\n';
    FStreams.Err.flush();
    FPhase.clear();
}

void TCliProgress::Draw() {
    const int width = 30;
    const int filled = FTotal > 0 ? std::min(FCount, FTotal) * width / FTotal : width;
    FStreams.Err << '\r' << FPhase.leftJustified(11) << '[' << QString(filled, '#')
                 << QString(width - filled, ' ') << "] " << FCount << '/' << FTotal;
    FStreams.Err.flush();
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
