#include "app/VlxPreviewPanel.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "app/VlxApplication.h"
#include "app/VlxDialogs.h"
#include "gfx/GfxCaption.h"
#include "gfx/GfxPic.h"

TPreviewPanel::TPreviewPanel(QMenu* menu, QObject* parent)
    : QObject(parent), FBackground(std::make_unique<TGfxBaseIm>()) {
    ThumbImP = new QFrame;
    ThumbImP->setObjectName("ThumbImP");
    ThumbImP->setFrameShape(QFrame::NoFrame);
    ThumbImP->setMinimumWidth(60);
    // The two images are stacked by hand: the background under the centred thumbnail, both filling the panel.
    ThumbBkgI = new QLabel(ThumbImP);
    ThumbBkgI->setObjectName("ThumbBkgI");
    ThumbBkgI->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ThumbI = new QLabel(ThumbImP);
    ThumbI->setObjectName("ThumbI");
    ThumbI->setAlignment(Qt::AlignCenter);
    ThumbI->setToolTip("Thumbnailed image. <Right> mouse  - for pulldown menu");
    ThumbI->setStatusTip(ThumbI->toolTip());
    ThumbI->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ThumbI, &QWidget::customContextMenuRequested, this,
            [this, menu](const QPoint& pos) { menu->popup(ThumbI->mapToGlobal(pos)); });
    ThumbImP->installEventFilter(this);

    // What the picture's page shows under it and its text alternative.
    CaptionE = new QLineEdit;
    CaptionE->setObjectName("CaptionE");
    CaptionE->setPlaceholderText("Caption");
    CaptionE->setToolTip("Caption of the picture: under it on its page, and its text for screen readers");
    CaptionE->setStatusTip(CaptionE->toolTip());
    CaptionE->setMaxLength(kMaxCaptionLength);
    CaptionE->setEnabled(false);
    connect(CaptionE, &QLineEdit::textEdited, this, &TPreviewPanel::CaptionEdited);

    Column = new QWidget;
    Column->setObjectName("PreviewColumnP");
    auto* layout = new QVBoxLayout(Column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(ThumbImP, 1);
    layout->addWidget(CaptionE);
}

TPreviewPanel::~TPreviewPanel() {
    ThumbImP->removeEventFilter(this);
}

void TPreviewPanel::SetTile(const TGfxBaseIm* tile) {
    FTile = tile;
    Retile();
}

// Any information text goes until the next preview.
void TPreviewPanel::Retile() {
    if (FTile == nullptr || !FTile->HasImage())
        return;
    TilePicture(*FTile, *FBackground, ThumbBkgI->width(), ThumbBkgI->height());
    ShowBackground();
}

void TPreviewPanel::ShowThumb(const QImage& thumb) {
    ThumbI->setPixmap(QPixmap::fromImage(thumb));
}

void TPreviewPanel::ClearThumb() {
    ThumbI->clear();
    ShowBackground();
}

void TPreviewPanel::ShowBackground() {
    ThumbBkgI->setPixmap(QPixmap::fromImage(FBackground->Bitmap()));
}

void TPreviewPanel::ShowInfo(const QStringList& lines, TColor color, int thumbHeight) {
    QImage picture = FBackground->Bitmap().copy();
    if (lines.isEmpty() || picture.isNull()) {
        ShowBackground();
        return;
    }
    QPainter painter(&picture);
    painter.setPen(ColorToQColor(color));
    const QFontMetrics metrics = painter.fontMetrics();
    int y = (ThumbI->height() - thumbHeight) / 2 + thumbHeight + 1;
    for (const QString& line : lines) {
        const int x = (ThumbI->width() - metrics.horizontalAdvance(line)) / 2;
        painter.drawText(x, y + metrics.ascent(), line);
        y += metrics.height() + 3;
    }
    painter.end();
    ThumbBkgI->setPixmap(QPixmap::fromImage(picture));
}

void TPreviewPanel::ShowCaption(bool enabled, const QString& caption) {
    CaptionE->setEnabled(enabled);
    // The gallery keeps the caption trimmed, the edit as typed.
    if (CaptionE->hasFocus() && enabled && CaptionText(CaptionE->text()) == caption)
        return;
    CaptionE->setText(caption);
}

// The background is tiled afresh for the new size.
bool TPreviewPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ThumbImP && event->type() == QEvent::Resize) {
        ThumbBkgI->setGeometry(ThumbImP->rect());
        ThumbI->setGeometry(ThumbImP->rect());
        RunGuarded([this] { Retile(); });
    }
    return QObject::eventFilter(watched, event);
}
