// The main window's test fixture: a window on the offscreen platform with dialogs the test answers.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include <QList>
#include <QStringList>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/VeltrixU.h"
#include "app/VlxAboutPanel.h"
#include "app/VlxDialogs.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxPagePanel.h"
#include "app/VlxPreviewPanel.h"
#include "app/VlxRenderPanel.h"
#include "html/GfxHtml.h"
#include "support/TestSupport.h"

// Readable strings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// The front of a queue of answers; false when it is empty.
template <typename T> bool Take(std::deque<T>& queue, T& value) {
    if (queue.empty())
        return false;
    value = queue.front();
    queue.pop_front();
    return true;
}

// Dialogs answered from queues; an empty queue cancels. Everything shown is recorded.
class TTestDialogs : public TDialogs {
public:
    struct TShown {
        TMsgKind Kind;
        QString Text;
        TMsgButtons Buttons;
    };
    struct TQuery {
        QString Caption;
        QString Prompt;
        QString Initial;
    };

    TModalResult MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) override;
    void ShowError(const QString& text) override { Errors << text; }
    bool OpenPicture(QString& path) override;
    // A set of files when one is queued, else the single picture queued.
    bool OpenPictures(QStringList& paths) override;
    bool ChooseColor(TColor& color) override;
    bool SelectDirectory(QString& dir) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
    // Both gallery file dialogs answer from GalleryFiles.
    bool OpenGalleryFile(QString& path) override { return Take(GalleryFiles, path); }
    bool SaveGalleryFile(QString& path) override { return Take(GalleryFiles, path); }
    bool OpenUrl(const QUrl& url) override {
        Opened << url;
        return UrlsOpen;
    }

    std::deque<TModalResult> Answers;
    std::deque<QString> Pictures;
    std::deque<QStringList> PictureSets;
    bool UrlsOpen = true; // false: the desktop has no handler for addresses
    std::deque<TColor> Colors;
    std::deque<QString> Directories;
    std::deque<QString> Inputs;
    std::deque<QString> GalleryFiles;

    std::vector<TShown> Messages;
    std::vector<TQuery> Queries;
    QStringList DirectoryStarts;
    QStringList Errors;
    QList<QUrl> Opened;
};

class TAppTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A window on the fixture's folders; the previous one is closed first.
    void Start();
    void Stop();
    // Lets posted notifications reach the window.
    static void ProcessEvents();

    // Places a picture file into a grid cell and lets the window hear of it.
    void Load(int col, int row, const QString& path);
    // A picture of the given size, written as a BMP file.
    QString MakePicture(const QString& name, int width, int height) const;
    // Every thumbnail effect on, the style lists chosen as a user chooses them.
    void AllEffectsOn();

    TVeltrixF& W() { return *FWindow; }
    // The table page as the window's settings make it, its background named as a run names it.
    std::unique_ptr<TGfxThumbPage> ShownPage() const;
    TTestDialogs& D() { return *FDialogs; }

    TTempDir FConfig;
    TTempDir FTemp;
    TTempDir FFiles;
    QString FProgramDir; // where an earlier version kept the settings files; none when empty
    std::unique_ptr<TVeltrixF> FWindow;
    TTestDialogs* FDialogs = nullptr;
};
