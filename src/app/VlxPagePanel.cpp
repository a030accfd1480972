#include "app/VlxPagePanel.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include "app/VeltrixU.h"
#include "app/VlxControls.h"
#include "gallery/GallerySettings.h"

namespace {

// A colour panel, its button and an optional "Default" box side by side.
QWidget* ColorRow(QLabel* panel, QToolButton* button, QCheckBox* defaultBox = nullptr) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(panel);
    layout->addWidget(button);
    if (defaultBox)
        layout->addWidget(defaultBox);
    layout->addStretch();
    return row;
}

QAction* NewColorAction(QObject* owner, const char* name, const QString& hint) {
    auto* action = new QAction(QApplication::style()->standardIcon(QStyle::SP_DesktopIcon), "Color", owner);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    return action;
}

// A colour and its "Default" box: the box is checked for the default colour, without telling it.
void ShowColor(TColor color, QLabel* panel, QCheckBox* defaultBox) {
    const QSignalBlocker blocker(defaultBox);
    defaultBox->setChecked(color == clNone);
    SetPanelColor(panel, color);
}

// A list's item index as the value it stands for; a list without a selection stands for the first value.
template <typename E> E ListValue(const QComboBox* list) {
    return static_cast<E>(std::max(0, list->currentIndex()));
}

} // namespace

TPagePanel::TPagePanel(std::function<bool(TColor&)> chooseColor, QObject* parent)
    : QObject(parent), FChooseColor(std::move(chooseColor)) {
    PicInfFontColorA = NewColorAction(this, "PicInf_FontColor", "Picture information font color");
    HeadFontColorA = NewColorAction(this, "Head_FontColor", "Table header font color");
    PageTab = CreatePageTab();
    TableTab = CreateTableTab();
    for (QComboBox* list : {HtmlTablAlignCB, PicInfFonAlignCB, HtmlTabTitAlignCB})
        for (const char* name : HtmlHAlignNames)
            list->addItem(name);
    Bind();
    BindColors();
}

QWidget* TPagePanel::CreatePageTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("HtmlPageTS", columns);
    PgColTextP = NewColorPanel("PgColTextP", "HTML text color");
    PgColLinkP = NewColorPanel("PgColLinkP", "HTML link color");
    PgColALinkP = NewColorPanel("PgColALinkP", "HTML active link color");
    PgColVLinkP = NewColorPanel("PgColVLinkP", "HTML followed link color");
    PgColTextSB = NewSpeedButton("PgColTextSB");
    PgColLinkSB = NewSpeedButton("PgColLinkSB");
    PgColALinkSB = NewSpeedButton("PgColALinkSB");
    PgColVLinkSB = NewSpeedButton("PgColVLinkSB");
    Hint(PgColTextSB, "HTML text color");
    Hint(PgColLinkSB, "HTML link color");
    Hint(PgColALinkSB, "HTML active link color");
    Hint(PgColVLinkSB, "HTML followed link color");
    QGroupBox* colors = NewGroup("Colors");
    AddRows(NewGrid(colors), 0,
            {{"Text", ColorRow(PgColTextP, PgColTextSB)},
             {"Link", ColorRow(PgColLinkP, PgColLinkSB)},
             {"Active link", ColorRow(PgColALinkP, PgColALinkSB)},
             {"Followed link", ColorRow(PgColVLinkP, PgColVLinkSB)}});

    const TGfxPageFrame start = StartUpSettings().Page.Frame;
    PgTitleE = NewEdit("PgTitleE", start.Title, "HTML page title");
    PgBackLinkE = NewEdit("PgBackLinkE", start.BackLink, "Back link URL");
    PgBackLinkTextE = NewEdit("PgBackLinkTextE", start.BackLinkText, "Back link text");
    PgLinkOrderCB = NewCheck("PgLinkOrderCB", "Link pictures in order",
                             "Previous and next links on every picture's page", start.LinkInOrder);
    PgPrevTextE = NewEdit("PgPrevTextE", start.PrevText, "Previous picture link text");
    PgNextTextE = NewEdit("PgNextTextE", start.NextText, "Next picture link text");
    PubMetaCB = NewList("PubMetaCB", "What the published copies of the pictures keep of their metadata");
    PubMetaCB->addItems({"Keep all metadata", "Remove location from published pictures",
                         "Remove all metadata but orientation"});
    PubMetaCB->setCurrentIndex(StartUpSettings().PublishMeta);
    const TWebSize web = StartUpSettings().Page.WebSize;
    PgWebSizeCB = NewCheck("PgWebSizeCB", "Publish pictures at most",
                           "Larger pictures are published as a smaller JPEG for their pages", web.Enabled);
    PgWebSizeSE = NewSpin("PgWebSizeSE", SettingRange(TSetting::WebSize),
                          "Longest side of a published picture, in pixels");
    PgWebSizeSE->setValue(web.MaxSide);
    PgOriginalCB =
        NewCheck("PgOriginalCB", "Also publish the original",
                 "The original of a picture published smaller is published too, linked from its page",
                 web.PublishOriginal);
    auto* webRow = new QWidget;
    auto* webLayout = new QHBoxLayout(webRow);
    webLayout->setContentsMargins(0, 0, 0, 0);
    webLayout->addWidget(PgWebSizeCB);
    webLayout->addWidget(PgWebSizeSE);
    webLayout->addWidget(new QLabel("pixels"));
    webLayout->addWidget(PgOriginalCB);
    webLayout->addStretch();
    QGroupBox* page = NewGroup("Page");
    QGridLayout* pageGrid = NewGrid(page);
    AddRows(pageGrid, 0,
            {{"Title", PgTitleE},
             {"Back link", PgBackLinkE},
             {"Back link text", PgBackLinkTextE},
             {"", PgLinkOrderCB},
             {"Previous link text", PgPrevTextE},
             {"Next link text", PgNextTextE},
             {"Picture metadata", PubMetaCB},
             {"", webRow}});
    pageGrid->setColumnMinimumWidth(1, 280);
    pageGrid->setRowStretch(7, 1);

    columns->addWidget(colors, 0, Qt::AlignTop);
    columns->addWidget(page, 1);
    return tab;
}

QWidget* TPagePanel::CreateTableTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("HtmlTableTS", columns);
    const TGfxPageSettings start = StartUpSettings().Page;
    GfxGridColSE = NewSpin("GfxGridColSE", SettingRange(TSetting::Columns), "Table columns number");
    GfxGridRowSE = NewSpin("GfxGridRowSE", SettingRange(TSetting::Rows), "Table rows number");
    HtmlTablAlignCB = NewList("HtmlTablAlignCB", "Table align");
    HtmlTablCellSpacSE =
        NewSpin("HtmlTablCellSpacSE", SettingRange(TSetting::CellSpacing), "Table cell sapcing");
    HtmlFitWindowCB = NewCheck("HtmlFitWindowCB", "Fit pictures to the window",
                               "Pictures shrink to the width of a phone's or a small window's screen",
                               start.Frame.FitToWindow);
    HtmlPageRowsSE = NewSpin("HtmlPageRowsSE", SettingRange(TSetting::PageRows),
                             "Rows of the table on each table page; All: the whole table on one page");
    HtmlPageRowsSE->setSpecialValueText("All");
    QGroupBox* table = NewGroup("Table");
    AddRows(NewGrid(table), 0,
            {{"Columns", GfxGridColSE},
             {"Rows", GfxGridRowSE},
             {"Align", HtmlTablAlignCB},
             {"Spacing", HtmlTablCellSpacSE},
             {"Rows per page", HtmlPageRowsSE},
             {"", HtmlFitWindowCB}});

    PicInfNameCB = NewCheck("PicInfNameCB", "File name", "Picture information: file name");
    PicInfPicSizeCB = NewCheck("PicInfPicSizeCB", "Picture sizes", "Picture information: picture sizes");
    PicInfSizeCB = NewCheck("PicInfSizeCB", "File size", "Picture information: file size");
    PicInfCaptionCB = NewCheck("PicInfCaptionCB", "Caption", "Each picture's caption under its thumbnail",
                               start.CaptionUnderThumb);
    PicInfFonSizSE = NewSpin("PicInfFonSizSE", SettingRange(TSetting::PicInfoFontSize),
                             "Picture information font relative size");
    PicInfFonAlignCB = NewList("PicInfFonAlignCB", "Picture information text alignment");
    PicInfFonColP = NewColorPanel("PicInfFonColP", "Picture information font color");
    PicInfFonColSB = NewSpeedButton("PicInfFonColSB", PicInfFontColorA);
    PicInfFonColDefCB = NewCheck("PicInfFonColDefCB", "Default", "Default picture information font color");
    QGroupBox* info = NewGroup("Picture information");
    QGridLayout* infoGrid = NewGrid(info);
    infoGrid->addWidget(PicInfNameCB, 0, 0);
    infoGrid->addWidget(PicInfPicSizeCB, 1, 0);
    infoGrid->addWidget(PicInfSizeCB, 2, 0);
    infoGrid->addWidget(PicInfCaptionCB, 3, 0);
    AddRows(infoGrid, 1,
            {{"Size", PicInfFonSizSE},
             {"Align", PicInfFonAlignCB},
             {"Color", ColorRow(PicInfFonColP, PicInfFonColSB, PicInfFonColDefCB)}});

    HtmlTabTitleE = NewEdit("HtmlTabTitleE", start.TableTitle, "Table header - text on top of table");
    HtmlTabTitSizSE = NewSpin("HtmlTabTitSizSE", SettingRange(TSetting::TableTitleFontSize),
                              "Table header font relative size");
    HtmlTabTitAlignCB = NewList("HtmlTabTitAlignCB", "Table header text alignment");
    HtmlTabTitColP = NewColorPanel("HtmlTabTitColP", "Table header font color");
    HtmlTabTitColSB = NewSpeedButton("HtmlTabTitColSB", HeadFontColorA);
    HtmlTabTitColCB = NewCheck("HtmlTabTitColCB", "Default", "Default table header font color");
    QGroupBox* header = NewGroup("Table header");
    AddRows(NewGrid(header), 0,
            {{"Text", HtmlTabTitleE},
             {"Size", HtmlTabTitSizSE},
             {"Align", HtmlTabTitAlignCB},
             {"Color", ColorRow(HtmlTabTitColP, HtmlTabTitColSB, HtmlTabTitColCB)}});

    columns->addWidget(table, 0, Qt::AlignTop);
    columns->addWidget(info, 0, Qt::AlignTop);
    columns->addWidget(header, 1, Qt::AlignTop);
    return tab;
}

void TPagePanel::Change(const std::function<void(TGfxPageSettings&)>& change) {
    change(FValue);
    emit Edited(FValue);
}

// Each control writes its field of the value and tells the whole value; the web size's three controls
// write it whole.
void TPagePanel::Bind() {
    const auto frameText = [this](QLineEdit* edit, QString TGfxPageFrame::*field) {
        connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& value) {
            Change([&](TGfxPageSettings& s) { s.Frame.*field = value; });
        });
    };
    frameText(PgTitleE, &TGfxPageFrame::Title);
    frameText(PgBackLinkE, &TGfxPageFrame::BackLink);
    frameText(PgBackLinkTextE, &TGfxPageFrame::BackLinkText);
    frameText(PgPrevTextE, &TGfxPageFrame::PrevText);
    frameText(PgNextTextE, &TGfxPageFrame::NextText);
    connect(HtmlTabTitleE, &QLineEdit::textChanged, this,
            [this](const QString& value) { Change([&](TGfxPageSettings& s) { s.TableTitle = value; }); });
    connect(PgLinkOrderCB, &QCheckBox::toggled, this,
            [this](bool on) { Change([&](TGfxPageSettings& s) { s.Frame.LinkInOrder = on; }); });
    const auto web = [this] {
        Change([this](TGfxPageSettings& s) {
            s.WebSize = {PgWebSizeCB->isChecked(), PgWebSizeSE->value(), PgOriginalCB->isChecked()};
        });
    };
    connect(PgWebSizeCB, &QCheckBox::toggled, this, web);
    connect(PgWebSizeSE, &QSpinBox::valueChanged, this, web);
    connect(PgOriginalCB, &QCheckBox::toggled, this, web);
    connect(HtmlFitWindowCB, &QCheckBox::toggled, this,
            [this](bool on) { Change([&](TGfxPageSettings& s) { s.Frame.FitToWindow = on; }); });
    connect(PicInfCaptionCB, &QCheckBox::toggled, this,
            [this](bool on) { Change([&](TGfxPageSettings& s) { s.CaptionUnderThumb = on; }); });
    connect(PubMetaCB, &QComboBox::activated, this, [this] {
        FMeta = ListValue<TPublishMeta>(PubMetaCB);
        emit PublishMetaEdited(FMeta);
    });

    // Sizes are taken when editing ends (Enter, leaving the field, the arrows), never at each keystroke.
    GfxGridColSE->setKeyboardTracking(false);
    GfxGridRowSE->setKeyboardTracking(false);
    for (QSpinBox* size : {GfxGridColSE, GfxGridRowSE})
        connect(size, &QSpinBox::valueChanged, this, [this] {
            FValue.Columns = GfxGridColSE->value();
            FValue.Rows = GfxGridRowSE->value();
            emit TableSizeAsked(FValue.Columns, FValue.Rows);
        });

    const auto spin = [this](QSpinBox* control, int TGfxPageSettings::*field) {
        connect(control, &QSpinBox::valueChanged, this,
                [this, field](int value) { Change([&](TGfxPageSettings& s) { s.*field = value; }); });
    };
    spin(HtmlTablCellSpacSE, &TGfxPageSettings::CellSpacing);
    spin(HtmlPageRowsSE, &TGfxPageSettings::PageRows);
    spin(PicInfFonSizSE, &TGfxPageSettings::PicInfoFontSize);
    spin(HtmlTabTitSizSE, &TGfxPageSettings::TableTitleFontSize);
    // Lists tell only an item the user picks; a profile shows its own.
    const auto list = [this](QComboBox* control, THtmlHAlign TGfxPageSettings::*field) {
        connect(control, &QComboBox::activated, this, [this, control, field] {
            Change([&](TGfxPageSettings& s) { s.*field = ListValue<THtmlHAlign>(control); });
        });
    };
    list(HtmlTablAlignCB, &TGfxPageSettings::TableAlign);
    list(PicInfFonAlignCB, &TGfxPageSettings::PicInfoAlign);
    list(HtmlTabTitAlignCB, &TGfxPageSettings::TableTitleAlign);
    // The three boxes always give all three bits.
    for (QCheckBox* box : {PicInfNameCB, PicInfPicSizeCB, PicInfSizeCB})
        connect(box, &QCheckBox::clicked, this, [this] {
            Change([this](TGfxPageSettings& s) {
                s.PicInfo = TPicInfo((PicInfNameCB->isChecked() ? PicInfoBit(piFileName) : 0) |
                                     (PicInfPicSizeCB->isChecked() ? PicInfoBit(piPicSize) : 0) |
                                     (PicInfSizeCB->isChecked() ? PicInfoBit(piFileSize) : 0));
            });
        });
}

void TPagePanel::BindColors() {
    const struct {
        QToolButton* Button;
        QLabel* Panel;
        TColor TGfxPageFrame::*Field;
    } pageColors[] = {{PgColTextSB, PgColTextP, &TGfxPageFrame::TextColor},
                      {PgColLinkSB, PgColLinkP, &TGfxPageFrame::LinkColor},
                      {PgColVLinkSB, PgColVLinkP, &TGfxPageFrame::VLinkColor},
                      {PgColALinkSB, PgColALinkP, &TGfxPageFrame::ALinkColor}};
    for (const auto& known : pageColors)
        connect(known.Button, &QToolButton::clicked, this, [this, known] {
            TColor color = 0;
            if (!FChooseColor(color))
                return;
            SetPanelColor(known.Panel, color);
            Change([&](TGfxPageSettings& s) { s.Frame.*known.Field = color; });
        });

    // A colour with a "Default" box: the box gives the default colour, and unchecked asks for one; a colour
    // not chosen leaves the setting as it was.
    const struct {
        QAction* Action;
        QLabel* Panel;
        QCheckBox* DefaultBox;
        TColor TGfxPageSettings::*Field;
    } textColors[] = {{PicInfFontColorA, PicInfFonColP, PicInfFonColDefCB, &TGfxPageSettings::PicInfoColor},
                      {HeadFontColorA, HtmlTabTitColP, HtmlTabTitColCB, &TGfxPageSettings::TableTitleColor}};
    for (const auto& known : textColors) {
        const auto set = [this, known](TColor color) {
            ShowColor(color, known.Panel, known.DefaultBox);
            Change([&](TGfxPageSettings& s) { s.*known.Field = color; });
        };
        const auto choose = [this, set] {
            TColor color = 0;
            if (FChooseColor(color))
                set(color);
        };
        connect(known.Action, &QAction::triggered, this, choose);
        connect(known.DefaultBox, &QCheckBox::clicked, this, [known, set, choose] {
            if (known.DefaultBox->isChecked())
                set(clNone);
            else
                choose();
        });
    }
}

void TPagePanel::Show(const TGfxPageSettings& s, TPublishMeta meta) {
    std::vector<QSignalBlocker> blockers;
    for (QObject* control : std::initializer_list<QObject*>{
             PgTitleE,         PgBackLinkE,     PgBackLinkTextE,  PgLinkOrderCB,      PgPrevTextE,
             PgNextTextE,      PgWebSizeCB,     PgWebSizeSE,      PgOriginalCB,       PubMetaCB,
             HtmlTablAlignCB,  HtmlTablCellSpacSE, HtmlPageRowsSE, HtmlFitWindowCB,    PicInfNameCB,
             PicInfPicSizeCB,  PicInfSizeCB,    PicInfCaptionCB,  PicInfFonSizSE,     PicInfFonAlignCB,
             HtmlTabTitleE,    HtmlTabTitSizSE, HtmlTabTitAlignCB})
        blockers.emplace_back(control);
    FValue = s;
    FValue.Columns = GfxGridColSE->value();
    FValue.Rows = GfxGridRowSE->value();
    FMeta = meta;
    PgTitleE->setText(s.Frame.Title);
    SetPanelColor(PgColTextP, s.Frame.TextColor);
    SetPanelColor(PgColLinkP, s.Frame.LinkColor);
    SetPanelColor(PgColVLinkP, s.Frame.VLinkColor);
    SetPanelColor(PgColALinkP, s.Frame.ALinkColor);
    PgBackLinkE->setText(s.Frame.BackLink);
    PgBackLinkTextE->setText(s.Frame.BackLinkText);
    PgLinkOrderCB->setChecked(s.Frame.LinkInOrder);
    PgPrevTextE->setText(s.Frame.PrevText);
    PgNextTextE->setText(s.Frame.NextText);
    PgWebSizeCB->setChecked(s.WebSize.Enabled);
    PgWebSizeSE->setValue(s.WebSize.MaxSide);
    PgOriginalCB->setChecked(s.WebSize.PublishOriginal);
    PubMetaCB->setCurrentIndex(meta);
    HtmlTablAlignCB->setCurrentIndex(s.TableAlign);
    HtmlTablCellSpacSE->setValue(s.CellSpacing);
    HtmlPageRowsSE->setValue(s.PageRows);
    HtmlFitWindowCB->setChecked(s.Frame.FitToWindow);
    PicInfNameCB->setChecked(s.PicInfo & PicInfoBit(piFileName));
    PicInfPicSizeCB->setChecked(s.PicInfo & PicInfoBit(piPicSize));
    PicInfSizeCB->setChecked(s.PicInfo & PicInfoBit(piFileSize));
    PicInfCaptionCB->setChecked(s.CaptionUnderThumb);
    PicInfFonSizSE->setValue(s.PicInfoFontSize);
    PicInfFonAlignCB->setCurrentIndex(s.PicInfoAlign);
    ShowColor(s.PicInfoColor, PicInfFonColP, PicInfFonColDefCB);
    HtmlTabTitleE->setText(s.TableTitle);
    HtmlTabTitSizSE->setValue(s.TableTitleFontSize);
    HtmlTabTitAlignCB->setCurrentIndex(s.TableTitleAlign);
    ShowColor(s.TableTitleColor, HtmlTabTitColP, HtmlTabTitColCB);
}

void TPagePanel::ShowTableSize(int cols, int rows) {
    const QSignalBlocker colBlocker(GfxGridColSE);
    const QSignalBlocker rowBlocker(GfxGridRowSE);
    GfxGridColSE->setValue(cols);
    GfxGridRowSE->setValue(rows);
    FValue.Columns = GfxGridColSE->value();
    FValue.Rows = GfxGridRowSE->value();
}
