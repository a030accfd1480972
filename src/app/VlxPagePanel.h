// The "Html Page" and "Html table" tabs: how the pages look, as one value the tabs show and edit, the
// published copies' metadata rule, and the table's size, which the window confirms before the grid takes it.
#pragma once

#include <functional>

#include <QObject>

#include "common/VlxTypes.h"
#include "gallery/PublishMetaChoice.h"
#include "html/GfxHtml.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;
class QWidget;

class TPagePanel : public QObject {
    Q_OBJECT

public:
    // Colours are chosen with chooseColor (the window's dialog); false when the user cancelled.
    explicit TPagePanel(std::function<bool(TColor&)> chooseColor, QObject* parent = nullptr);

    // Shows the settings without telling them back as an edit.
    void Show(const TGfxPageSettings& page, TPublishMeta meta);
    // Shows the table's size without asking for it; a size out of range takes the nearer bound.
    void ShowTableSize(int cols, int rows);
    // The settings the tabs show.
    const TGfxPageSettings& Value() const { return FValue; }
    TPublishMeta PublishMeta() const { return FMeta; }

    QWidget* PageTab;
    QWidget* TableTab;
    // The colour commands of the picture information and the table header.
    QAction* PicInfFontColorA;
    QAction* HeadFontColorA;

    // "Html Page"
    QToolButton* PgColTextSB;
    QToolButton* PgColLinkSB;
    QToolButton* PgColALinkSB;
    QToolButton* PgColVLinkSB;
    QLabel* PgColTextP;
    QLabel* PgColLinkP;
    QLabel* PgColALinkP;
    QLabel* PgColVLinkP;
    QLineEdit* PgTitleE;
    QLineEdit* PgBackLinkE;
    QLineEdit* PgBackLinkTextE;
    QCheckBox* PgLinkOrderCB;
    QLineEdit* PgPrevTextE;
    QLineEdit* PgNextTextE;
    QComboBox* PubMetaCB; // the item index is the TPublishMeta value
    QCheckBox* PgWebSizeCB;
    QSpinBox* PgWebSizeSE;
    QCheckBox* PgOriginalCB;

    // "Html table"
    QSpinBox* GfxGridColSE;
    QSpinBox* GfxGridRowSE;
    QComboBox* HtmlTablAlignCB;
    QSpinBox* HtmlTablCellSpacSE;
    QSpinBox* HtmlPageRowsSE;
    QCheckBox* HtmlFitWindowCB;
    QCheckBox* PicInfCaptionCB;
    QCheckBox* PicInfNameCB;
    QCheckBox* PicInfPicSizeCB;
    QCheckBox* PicInfSizeCB;
    QSpinBox* PicInfFonSizSE;
    QComboBox* PicInfFonAlignCB;
    QToolButton* PicInfFonColSB;
    QLabel* PicInfFonColP;
    QCheckBox* PicInfFonColDefCB;
    QLineEdit* HtmlTabTitleE;
    QSpinBox* HtmlTabTitSizSE;
    QComboBox* HtmlTabTitAlignCB;
    QToolButton* HtmlTabTitColSB;
    QLabel* HtmlTabTitColP;
    QCheckBox* HtmlTabTitColCB;

signals:
    // The user changed a setting other than the table's size: value is the whole of them as the tabs now
    // show them. A list tells only an item the user picked.
    void Edited(const TGfxPageSettings& value);
    void PublishMetaEdited(TPublishMeta meta);
    // The user asked for a table size; the tabs show it already, ShowTableSize puts back one refused.
    void TableSizeAsked(int cols, int rows);

private:
    QWidget* CreatePageTab();
    QWidget* CreateTableTab();
    void Bind();
    void BindColors();
    // Changes the value and tells it.
    void Change(const std::function<void(TGfxPageSettings&)>& change);

    std::function<bool(TColor&)> FChooseColor;
    TGfxPageSettings FValue;
    TPublishMeta FMeta = kPublishMetaDefault;
};
