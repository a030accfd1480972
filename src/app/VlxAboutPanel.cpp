#include "app/VlxAboutPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/VlxControls.h"
#include "gallery/Version.h"
#include "html/GfxHtml.h"

namespace {

// Buttons that look like the links they open.
const char* const kLinkStyle = "QPushButton { border: none; color: #0000EE; text-decoration: underline; }";
const char* const kMailAddress = "mailto:quorrin@veltrix.example.org";

QPushButton* NewLink(const char* name, const QString& caption, const QString& hint) {
    auto* link = new QPushButton(caption);
    link->setObjectName(name);
    link->setStyleSheet(kLinkStyle);
    link->setCursor(Qt::PointingHandCursor);
    Hint(link, hint);
    return link;
}

} // namespace

TAboutPanel::TAboutPanel(QObject* parent) : QObject(parent) {
    QHBoxLayout* columns;
    Tab = NewTab("AboutTS", columns);
    auto* name = new QLabel("Quorrin's Veltrix");
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    name->setFont(big);
    auto* purpose = new QLabel("Makes a web gallery of thumbnails and pages from your pictures.");
    VersionL = new QLabel(kVeltrixVersion);
    VersionL->setObjectName("VersionL");
    DateL = new QLabel(kVeltrixDate);
    DateL->setObjectName("DateL");
    MailLB = NewLink("MailLB", "Write to the author", "Send a mail to the author");
    HomeLB = NewLink("HomeLB", "Veltrix home page", "Open the Veltrix home page");
    connect(MailLB, &QPushButton::clicked, this, [this] { emit OpenAsked(kMailAddress); });
    connect(HomeLB, &QPushButton::clicked, this, [this] { emit OpenAsked(kVeltrixHomePage); });

    auto* text = new QWidget;
    auto* grid = NewGrid(text);
    grid->addWidget(name, 0, 0, 1, 2);
    grid->addWidget(purpose, 1, 0, 1, 2);
    grid->addWidget(VersionL, 2, 0);
    grid->addWidget(DateL, 2, 1);
    grid->addWidget(MailLB, 3, 0, Qt::AlignLeft);
    grid->addWidget(HomeLB, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    columns->addWidget(text, 1, Qt::AlignTop);
}
