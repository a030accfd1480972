// The preview beside the grid: the current cell's thumbnail centred on the background tiled to the panel's
// size, the picture information drawn under it, and the cell's caption below it, which the user edits.
#pragma once

#include <memory>

#include <QObject>
#include <QStringList>

#include "common/VlxTypes.h"

class QFrame;
class QImage;
class QLabel;
class QLineEdit;
class QMenu;
class QWidget;
class TGfxBaseIm;

class TPreviewPanel : public QObject {
    Q_OBJECT

public:
    // menu: what a right click on the thumbnail shows.
    explicit TPreviewPanel(QMenu* menu, QObject* parent = nullptr);
    ~TPreviewPanel() override;

    // The panel with the caption under it, for the window's splitter.
    QWidget* Column;
    QFrame* ThumbImP;
    QLabel* ThumbBkgI;
    QLabel* ThumbI;
    // The current cell's caption; disabled on an empty cell.
    QLineEdit* CaptionE;

    // The tile the background is made of (the renderer's background picture), tiled over the panel now
    // and again whenever the panel's size changes; a tile without a picture leaves the background as it is.
    void SetTile(const TGfxBaseIm* tile);
    void Retile();
    // The background as tiled to the panel's size.
    const TGfxBaseIm& Background() const { return *FBackground; }

    void ShowThumb(const QImage& thumb);
    // No thumbnail, the background bare.
    void ClearThumb();
    // The background without the information text.
    void ShowBackground();
    // The lines centred under a thumbnail of thumbHeight centred in the panel, one pixel below it, in color.
    void ShowInfo(const QStringList& lines, TColor color, int thumbHeight);
    // The caption edit shows the caption; left alone while it holds the same text being typed.
    void ShowCaption(bool enabled, const QString& caption);

signals:
    // The user typed in the caption edit: its text as it stands.
    void CaptionEdited(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<TGfxBaseIm> FBackground;
    const TGfxBaseIm* FTile = nullptr;
};
