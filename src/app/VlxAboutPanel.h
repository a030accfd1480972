// The "About" tab: the program's name, version and date, and links to its author and home page.
#pragma once

#include <QObject>

class QLabel;
class QPushButton;
class QWidget;

class TAboutPanel : public QObject {
    Q_OBJECT

public:
    explicit TAboutPanel(QObject* parent = nullptr);

    QWidget* Tab;
    QLabel* VersionL;
    QLabel* DateL;
    QPushButton* MailLB;
    QPushButton* HomeLB;

signals:
    // A link was clicked: the window opens it with the desktop's program for it.
    void OpenAsked(const QString& url);
};
