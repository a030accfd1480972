// The "Thumbnail" and "Picture" tabs: how thumbnails are rendered, as one value the tabs show and edit, and
// the thumbnails' background.
#pragma once

#include <QObject>

#include "common/VlxTypes.h"
#include "gfx/GfxPic.h"

class QAction;
class QComboBox;
class QLabel;
class QSpinBox;
class QToolButton;
class QWidget;

class TRenderPanel : public QObject {
    Q_OBJECT

public:
    // The background's buttons run the window's actions for a picture file and a colour.
    TRenderPanel(QAction* backgroundFile, QAction* backgroundColor, QObject* parent = nullptr);

    // Shows the settings without telling them back as an edit.
    void Show(const TGfxThumbSettings& settings);
    // The settings the tabs show.
    const TGfxThumbSettings& Value() const { return FValue; }
    // The background shown: a picture file's name, or a colour's tile (clNone for a picture).
    void ShowBackground(const QString& fileName, TColor color);

    QWidget* ThumbTab;
    QWidget* PictureTab;

    // "Thumbnail"
    QSpinBox* ThumbWSE;
    QSpinBox* ThumbHSE;
    QSpinBox* ThumbBevelSizSE;
    QComboBox* ThumbBevelTypCB;
    QSpinBox* ThumbBevelIntSE;
    QLabel* BkgFileP;
    QToolButton* BkgFileSB;
    QToolButton* BkgColorSB;

    // "Picture"
    QSpinBox* PicWSE;
    QSpinBox* PicHSE;
    QSpinBox* PicBevelSizSE;
    QComboBox* PicBevelTypCB;
    QSpinBox* PicBevelIntSE;
    QSpinBox* MaskSizSE;
    QComboBox* MaskTypCB;
    QSpinBox* ShadowSizSE;
    QSpinBox* ShadowDistSE;
    QSpinBox* ShadowIntSE;

signals:
    // The user changed a setting: value is the whole of them as the tabs now show them. A list tells only
    // an item the user picked.
    void Edited(const TGfxThumbSettings& value);

private:
    QWidget* CreateThumbnailTab(QAction* backgroundFile, QAction* backgroundColor);
    QWidget* CreatePictureTab();
    void Bind();

    TGfxThumbSettings FValue;
};
