#include "app/VlxRenderPanel.h"

#include <algorithm>
#include <type_traits>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include "app/VeltrixU.h"
#include "app/VlxControls.h"
#include "gallery/GallerySettings.h"

TRenderPanel::TRenderPanel(QAction* backgroundFile, QAction* backgroundColor, QObject* parent)
    : QObject(parent) {
    ThumbTab = CreateThumbnailTab(backgroundFile, backgroundColor);
    PictureTab = CreatePictureTab();
    for (QComboBox* list : {ThumbBevelTypCB, PicBevelTypCB})
        list->addItems(BevelStyleNames);
    MaskTypCB->addItems(MaskStyleNames);
    Bind();
}

QWidget* TRenderPanel::CreateThumbnailTab(QAction* backgroundFile, QAction* backgroundColor) {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("ThumbTS", columns);
    ThumbWSE = NewSpin("ThumbWSE", SettingRange(TSetting::ThumbWidth), "Thumbnail width");
    ThumbHSE = NewSpin("ThumbHSE", SettingRange(TSetting::ThumbHeight), "Thumbnail height");
    ThumbBevelSizSE =
        NewSpin("ThumbBevelSizSE", SettingRange(TSetting::ThumbBevelSize), "Thumbnail bevel size");
    ThumbBevelTypCB = NewList("ThumbBevelTypCB", "Thumbnail bevel style");
    ThumbBevelIntSE =
        NewSpin("ThumbBevelIntSE", SettingRange(TSetting::ThumbBevelIntensity), "Thumbnail bevel intensity");

    QGroupBox* size = NewGroup("Thumbnail");
    AddRows(NewGrid(size), 0, {{"Width", ThumbWSE}, {"Height", ThumbHSE}});
    QGroupBox* bevel = NewGroup("Bevel");
    AddRows(NewGrid(bevel), 0,
            {{"Size", ThumbBevelSizSE}, {"Style", ThumbBevelTypCB}, {"Intensity", ThumbBevelIntSE}});

    BkgFileP = new QLabel;
    BkgFileP->setObjectName("BkgFileP");
    BkgFileP->setMinimumWidth(160);
    BkgFileP->setFrameShape(QFrame::Panel);
    BkgFileP->setFrameShadow(QFrame::Sunken);
    BkgFileP->setAutoFillBackground(true);
    Hint(BkgFileP, "Background picture or color");
    BkgFileSB = NewSpeedButton("BkgFileSB", backgroundFile);
    BkgColorSB = NewSpeedButton("BkgColorSB", backgroundColor);
    QGroupBox* background = NewGroup("Background");
    QGridLayout* bkgGrid = NewGrid(background);
    bkgGrid->addWidget(BkgFileP, 0, 0, 1, 2);
    bkgGrid->addWidget(BkgFileSB, 1, 0);
    bkgGrid->addWidget(BkgColorSB, 1, 1);
    bkgGrid->setRowStretch(2, 1);

    columns->addWidget(size, 0, Qt::AlignTop);
    columns->addWidget(bevel, 0, Qt::AlignTop);
    columns->addWidget(background, 0, Qt::AlignTop);
    columns->addStretch();
    return tab;
}

QWidget* TRenderPanel::CreatePictureTab() {
    QHBoxLayout* columns;
    QWidget* tab = NewTab("PictureTS", columns);
    PicWSE = NewSpin("PicWSE", SettingRange(TSetting::PicWidth), "Picture width");
    PicHSE = NewSpin("PicHSE", SettingRange(TSetting::PicHeight), "Picture height");
    PicBevelSizSE = NewSpin("PicBevelSizSE", SettingRange(TSetting::PicBevelSize), "Picture bevel size");
    PicBevelTypCB = NewList("PicBevelTypCB", "Picture bevel style");
    PicBevelIntSE =
        NewSpin("PicBevelIntSE", SettingRange(TSetting::PicBevelIntensity), "Picture bevel intensity");
    MaskSizSE = NewSpin("MaskSizSE", SettingRange(TSetting::MaskSize), "Picture mask feather size");
    MaskTypCB = NewList("MaskTypCB", "Picture mask style");
    ShadowSizSE = NewSpin("ShadowSizSE", SettingRange(TSetting::ShadowSize), "Picture shadow size");
    ShadowDistSE = NewSpin("ShadowDistSE", SettingRange(TSetting::ShadowDistance), "Picture shadow distance");
    ShadowIntSE = NewSpin("ShadowIntSE", SettingRange(TSetting::ShadowIntensity), "Picture shadow intensity");

    QGroupBox* size = NewGroup("Picture");
    AddRows(NewGrid(size), 0, {{"Width", PicWSE}, {"Height", PicHSE}});
    QGroupBox* bevel = NewGroup("Bevel");
    AddRows(NewGrid(bevel), 0,
            {{"Size", PicBevelSizSE}, {"Style", PicBevelTypCB}, {"Intensity", PicBevelIntSE}});
    QGroupBox* mask = NewGroup("Mask");
    AddRows(NewGrid(mask), 0, {{"Feather", MaskSizSE}, {"Style", MaskTypCB}});
    QGroupBox* shadow = NewGroup("Shadow");
    AddRows(NewGrid(shadow), 0,
            {{"Size", ShadowSizSE}, {"Distance", ShadowDistSE}, {"Intensity", ShadowIntSE}});
    for (QGroupBox* group : {size, bevel, mask, shadow})
        columns->addWidget(group, 0, Qt::AlignTop);
    columns->addStretch();
    return tab;
}

// Each control writes its field of the value and tells the whole value.
void TRenderPanel::Bind() {
    const auto spin = [this](QSpinBox* control, auto field) {
        connect(control, &QSpinBox::valueChanged, this, [this, field](int value) {
            field(FValue) = decltype(+field(FValue))(value);
            emit Edited(FValue);
        });
    };
    spin(ThumbWSE, [](TGfxThumbSettings& s) -> int& { return s.ThumbWidth; });
    spin(ThumbHSE, [](TGfxThumbSettings& s) -> int& { return s.ThumbHeight; });
    spin(ThumbBevelSizSE, [](TGfxThumbSettings& s) -> int& { return s.ThumbBevel.Size; });
    spin(ThumbBevelIntSE, [](TGfxThumbSettings& s) -> std::uint8_t& { return s.ThumbBevel.Intensity; });
    spin(PicWSE, [](TGfxThumbSettings& s) -> int& { return s.PicWidth; });
    spin(PicHSE, [](TGfxThumbSettings& s) -> int& { return s.PicHeight; });
    spin(PicBevelSizSE, [](TGfxThumbSettings& s) -> int& { return s.PicBevel.Size; });
    spin(PicBevelIntSE, [](TGfxThumbSettings& s) -> std::uint8_t& { return s.PicBevel.Intensity; });
    spin(MaskSizSE, [](TGfxThumbSettings& s) -> int& { return s.MaskSize; });
    spin(ShadowSizSE, [](TGfxThumbSettings& s) -> int& { return s.ShadowSize; });
    spin(ShadowDistSE, [](TGfxThumbSettings& s) -> int& { return s.ShadowDistance; });
    spin(ShadowIntSE, [](TGfxThumbSettings& s) -> std::uint8_t& { return s.ShadowIntensity; });
    // Lists tell only an item the user picks; a profile shows its own. Without a selection a list stands
    // for its first item.
    const auto list = [this](QComboBox* control, auto field) {
        connect(control, &QComboBox::activated, this, [this, control, field] {
            field(FValue) = static_cast<std::remove_reference_t<decltype(field(FValue))>>(
                std::max(0, control->currentIndex()));
            emit Edited(FValue);
        });
    };
    list(ThumbBevelTypCB, [](TGfxThumbSettings& s) -> TGfxBevelStyle& { return s.ThumbBevel.Style; });
    list(PicBevelTypCB, [](TGfxThumbSettings& s) -> TGfxBevelStyle& { return s.PicBevel.Style; });
    list(MaskTypCB, [](TGfxThumbSettings& s) -> TGfxMaskStyle& { return s.MaskStyle; });
}

void TRenderPanel::Show(const TGfxThumbSettings& s) {
    FValue = s;
    const QSignalBlocker blockers[] = {
        QSignalBlocker(ThumbWSE),        QSignalBlocker(ThumbHSE),        QSignalBlocker(ThumbBevelSizSE),
        QSignalBlocker(ThumbBevelTypCB), QSignalBlocker(ThumbBevelIntSE), QSignalBlocker(PicWSE),
        QSignalBlocker(PicHSE),          QSignalBlocker(PicBevelSizSE),   QSignalBlocker(PicBevelTypCB),
        QSignalBlocker(PicBevelIntSE),   QSignalBlocker(MaskSizSE),       QSignalBlocker(MaskTypCB),
        QSignalBlocker(ShadowSizSE),     QSignalBlocker(ShadowDistSE),    QSignalBlocker(ShadowIntSE)};
    ThumbWSE->setValue(s.ThumbWidth);
    ThumbHSE->setValue(s.ThumbHeight);
    ThumbBevelSizSE->setValue(s.ThumbBevel.Size);
    ThumbBevelTypCB->setCurrentIndex(s.ThumbBevel.Style);
    ThumbBevelIntSE->setValue(s.ThumbBevel.Intensity);
    PicWSE->setValue(s.PicWidth);
    PicHSE->setValue(s.PicHeight);
    PicBevelSizSE->setValue(s.PicBevel.Size);
    PicBevelTypCB->setCurrentIndex(s.PicBevel.Style);
    PicBevelIntSE->setValue(s.PicBevel.Intensity);
    MaskSizSE->setValue(s.MaskSize);
    MaskTypCB->setCurrentIndex(s.MaskStyle);
    ShadowSizSE->setValue(s.ShadowSize);
    ShadowDistSE->setValue(s.ShadowDistance);
    ShadowIntSE->setValue(s.ShadowIntensity);
}

void TRenderPanel::ShowBackground(const QString& fileName, TColor color) {
    BkgFileP->setText(" " + fileName + " ");
    SetPanelColor(BkgFileP, color);
}
