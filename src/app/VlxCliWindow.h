// What the commands share: the main window driven without a person, its message boxes turned into lines on
// the error stream, and progress drawn as a bar on a terminal or as one line per phase.
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "app/VeltrixU.h"
#include "app/VlxCommandLine.h"
#include "cli/VlxCliProgress.h"

class QTextStream;

// Message boxes and errors become lines on the error stream: nothing waits for a person.
class TCliDialogs : public TDialogs {
public:
    explicit TCliDialogs(QTextStream& err) : FErr(err) {}

    TModalResult MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) override;
    void ShowError(const QString& text) override;
    bool OpenPicture(QString&) override { return false; }
    bool ChooseColor(TColor&) override { return false; }
    bool SelectDirectory(QString&) override { return false; }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    bool OpenUrl(const QUrl&) override { return false; }

    // Answers a question that offers Yes; none answers No.
    std::function<bool()> AskYes;
    int Errors = 0;     // errors shown
    int ErrorBoxes = 0; // message boxes of the error kind shown

private:
    void Line(const QString& text);
    QTextStream& FErr;
};

// The main window, its progress bars also reported as progress.
class TCliWindow : public TVeltrixF {
public:
    TCliWindow(std::unique_ptr<TDialogs> dialogs, const TVeltrixPlaces& places)
        : TVeltrixF(std::move(dialogs), places) {}
    QProgressBar* CreateStatusProgressBar(int max) override;

    TCliProgress* Progress = nullptr;
};

// Puts the error display back as it was found, whatever way the command ends.
class TErrorDialogsScope {
public:
    TErrorDialogsScope();
    ~TErrorDialogsScope();
    TErrorDialogsScope(const TErrorDialogsScope&) = delete;
    TErrorDialogsScope& operator=(const TErrorDialogsScope&) = delete;

private:
    TDialogs* FSaved;
};

// Lets the window handle what is posted to it.
void ProcessCliEvents();
