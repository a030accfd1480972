// The benchmarks' message boxes: nothing waits for a person; what would have been shown is printed.
#pragma once

#include <cstdio>

#include "app/VlxDialogs.h"

class TBenchDialogs : public TDialogs {
public:
    // answer: what every question is answered with.
    explicit TBenchDialogs(TModalResult answer) : FAnswer(answer) {}

    TModalResult MessageBox(TMsgKind, const QString& text, TMsgButtons) override {
        std::printf("message: %s\n", qPrintable(text));
        return FAnswer;
    }
    void ShowError(const QString& text) override { std::printf("error: %s\n", qPrintable(text)); }
    bool OpenPicture(QString&) override { return false; }
    bool ChooseColor(TColor&) override { return false; }
    bool SelectDirectory(QString&) override { return false; }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    bool OpenUrl(const QUrl&) override { return true; }

private:
    TModalResult FAnswer;
};
