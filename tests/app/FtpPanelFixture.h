// The upload panel's test fixture: the panel in a small window that records what the panel shows.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QMainWindow>
#include <QStringList>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/FtpFU.h"
#include "support/FtpTestSupport.h"
#include "support/TestSupport.h"

class QLabel;

// Message boxes and the error display, recorded; every box is answered OK.
class TShownDialogs : public TDialogs {
public:
    TModalResult MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) override {
        Messages << text;
        MessageKinds.push_back(kind);
        MessageButtons.push_back(buttons);
        return buttons == TMsgButtons::Ok ? TModalResult::Ok : Answer;
    }
    void ShowError(const QString& text) override { Errors << text; }
    bool OpenPicture(QString&) override { return false; }
    bool ChooseColor(TColor&) override { return false; }
    bool SelectDirectory(QString&) override { return false; }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
    bool OpenUrl(const QUrl&) override { return true; }

    TModalResult Answer = TModalResult::No; // to every question
    QStringList Messages;                   // every message box text, in order
    std::vector<TMsgKind> MessageKinds;
    std::vector<TMsgButtons> MessageButtons;
    QStringList Errors; // the application's error display
};

// Stands in for the main window: a status bar of three panels, recorded message boxes and errors, and
// a request handler that hands over a file list and starts the upload, as the window's handler does
// after its generation run.
class TTestWindow : public QMainWindow, public TFtpFWindow {
public:
    TTestWindow();

    void ShowStatus(const QString& text) override;
    QProgressBar* CreateStatusProgressBar(int max) override;
    TDialogs& Dialogs() const override { return Shown; }
    QObject* MainForm() override { return this; }

    TFtpF* Panel = nullptr;
    QStringList Files;    // what the upload request hands to the panel
    QStringList Statuses; // every status text, in order
    mutable TShownDialogs Shown;
    std::vector<int> BarMaxima;    // range of each progress bar made
    std::vector<int> BarLastValue; // the last position each bar showed
    int Requests = 0;
    std::function<void(QProgressBar*)> OnBarCreated;
    std::function<void(const QString&)> OnStatus;

protected:
    bool event(QEvent* event) override;

private:
    QLabel* FPanels[3];
};

class TFtpPanelTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Presses Upload and waits until the run it starts is over.
    void UploadAndWait();
    // The panel is idle: idle button enabled, connection fields enabled, no browser, no file list, no bar.
    void ExpectIdle();
    // Points the panel at a server on this machine, by name, on the free port the server listens on.
    void UseServer(int port, const QString& user, const QString& password);

    std::unique_ptr<TTestWindow> FWindow;
    TFtpF* FPanel = nullptr;
    TTempDir FLocal;
};

// Copies a committed test picture into dir; returns the copy's path.
QString CopyTestPicture(const QString& name, const QString& dir);
