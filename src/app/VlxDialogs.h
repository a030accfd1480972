// Every dialog, message box and shell request of the main window, behind one interface tests can answer.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include "common/VlxTypes.h"

class QColor;
class QInputDialog;
class QWidget;

// What a message box is about; decides its icon and title.
enum class TMsgKind { Information, Warning, Error, Confirmation };

// The buttons of a message box and the one the user pressed.
// YesNoDefaultNo: for a question whose Yes cannot be taken back; Enter answers No.
enum class TMsgButtons { Ok, YesNoCancel, YesNo, YesNoDefaultNo };
enum class TModalResult { Ok, Yes, No, Cancel };

class TDialogs {
public:
    virtual ~TDialogs() = default;

    virtual TModalResult MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) = 0;
    // A message around a list that may be long (files refused, pictures missing): text, the list, then after
    // (lines separated by '\r', as in every text here). The desktop's box shows a long list scrolling, with
    // its count, and never grows past the screen. Here: one message box of all the lines.
    virtual TModalResult ListMessageBox(TMsgKind kind, const QString& text, const QStringList& list,
                                        const QString& after, TMsgButtons buttons) {
        QStringList lines = QStringList{text} + list;
        if (!after.isEmpty())
            lines << after;
        return MessageBox(kind, lines.join('\r'), buttons);
    }
    // The application's default error display.
    virtual void ShowError(const QString& text) = 0;
    // Open-picture dialog; false when cancelled. path holds the chosen file.
    virtual bool OpenPicture(QString& path) = 0;
    // Open-picture dialog taking several files; false when cancelled. One file unless overridden.
    virtual bool OpenPictures(QStringList& paths) {
        QString path;
        if (!OpenPicture(path))
            return false;
        paths = QStringList{path};
        return true;
    }
    // Gallery file dialogs: the file to open, or the name to save under (starting at path); false when
    // cancelled.
    virtual bool OpenGalleryFile(QString& path) { return (void)path, false; }
    virtual bool SaveGalleryFile(QString& path) { return (void)path, false; }
    // The folder the open-picture dialogs start in, and its last choice.
    virtual QString PictureDir() const { return FPictureDir; }
    virtual void SetPictureDir(const QString& dir) { FPictureDir = dir; }
    // Colour dialog starting at the colour last chosen in it; false when cancelled.
    virtual bool ChooseColor(TColor& color) = 0;
    // Directory selection starting at dir; false when cancelled.
    virtual bool SelectDirectory(QString& dir) = 0;
    // Single-line input box; false when cancelled.
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // The same for a secret: what is typed is not shown.
    virtual bool PasswordQuery(const QString& caption, const QString& prompt, QString& value) {
        return InputQuery(caption, prompt, value);
    }
    // Opens an address with the desktop's handler (mail client, browser); false when none could open it.
    virtual bool OpenUrl(const QUrl& url) = 0;

private:
    QString FPictureDir;
};

// The real dialogs of the desktop.
class TQtDialogs : public TDialogs {
public:
    explicit TQtDialogs(QWidget* parent) : FParent(parent) {}

    TModalResult MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) override;
    TModalResult ListMessageBox(TMsgKind kind, const QString& text, const QStringList& list,
                                const QString& after, TMsgButtons buttons) override;
    void ShowError(const QString& text) override;
    bool OpenPicture(QString& path) override;
    bool OpenPictures(QStringList& paths) override;
    bool ChooseColor(TColor& color) override;
    bool SelectDirectory(QString& dir) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool PasswordQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool OpenUrl(const QUrl& url) override;
    bool OpenGalleryFile(QString& path) override;
    bool SaveGalleryFile(QString& path) override;
    QString PictureDir() const override { return FLastPictureDir; }
    void SetPictureDir(const QString& dir) override { FLastPictureDir = dir; }

private:
    QWidget* FParent;
    TColor FLastColor = 0; // one colour dialog serves every colour control and starts where it was left
    QString FLastPictureDir;
};

// The single-line input box, wide enough for its whole title, which the window manager shows followed by the
// application's name.
QInputDialog* NewInputBox(QWidget* parent, const QString& caption, const QString& prompt,
                          const QString& value);

// TColor (0x00BBGGRR) to and from Qt's colour.
QColor ColorToQColor(TColor color);
TColor QColorToColor(const QColor& color);
