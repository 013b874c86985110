// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UColorPanel.h"

#include "app/PanelColor.h"
#include "app/Shape.h"
#include "controls/QuorSlider.h"
#include "controls/SimpleColorSelector.h"
#include "document/DualImage.h"
#include "engine/LineSampler.h"
#include "platform/qt/InputEvents.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Exception.h"

#include <QGridLayout>
#include <QPalette>

namespace {
// The shift of a slider position: 50 is none, each step a hundredth.
float ShiftOf(const TQuorSlider* Slider) {
    return static_cast<float>((Slider->Position() - 50) / 100.0);
}

TColor ColorOfInk(TColor32 C) {
    return static_cast<TColor>(WinColor(C));
}
} // namespace

TColorPanel::TColorPanel(TShape* Variant0, TShape* Variant1, TShape* Variant2, TShape* Variant3,
                         TShape* Variant4, TShape* Variant5, TShape* Variant6, TShape* Variant7,
                         TShape* Variant8, TShape* Variant9, TShape* FixedSwatch,
                         TSimpleColorSelector* VariantSelector, TSimpleColorSelector* FixedSelector,
                         QAbstractButton* ResetButton, TQuorSlider* HueSlider, TQuorSlider* SaturationSlider,
                         TQuorSlider* BrightnessSlider, QAbstractButton* VariantsButton,
                         QAbstractButton* AutoButton, QAbstractButton* FixedButton, QWidget* VariantsPage,
                         QWidget* AutoPage, QWidget* FixedPage, QWidget* Container)
    : FVariantsButton(VariantsButton), FAutoButton(AutoButton), FFixedButton(FixedButton),
      FResetButton(ResetButton), FVariantsPage(VariantsPage), FFixedPage(FixedPage),
      FAutoPage(AutoPage), FVariants{Variant0, Variant1, Variant2, Variant3, Variant4,
                                     Variant5, Variant6, Variant7, Variant8, Variant9},
      FFixedSwatch(FixedSwatch), FVariantSelector(VariantSelector), FFixedSelector(FixedSelector),
      FHueSlider(HueSlider), FSaturationSlider(SaturationSlider), FBrightnessSlider(BrightnessSlider) {
    // Every handler runs at the border to Qt's event loop, which no exception may cross.
    FConnections.push_back(QObject::connect(FResetButton, &QAbstractButton::clicked,
                                            [this] { GuardEvent([this] { ResetClick(FResetButton); }); }));
    FVariantSelector->OnSelectColor = [this](void* Sender) { GuardEvent([&] { AddVariant(Sender); }); };
    FFixedSelector->OnSelectColor = [this](void* Sender) { GuardEvent([&] { FixedColorSelected(Sender); }); };
    FHueSlider->OnChanged = [this](void* Sender) { GuardEvent([&] { HueChange(Sender); }); };
    FSaturationSlider->OnChanged = [this](void* Sender) { GuardEvent([&] { SaturationChange(Sender); }); };
    FBrightnessSlider->OnChanged = [this](void* Sender) { GuardEvent([&] { BrightnessChange(Sender); }); };
    // The mode buttons stay down while their mode is on.
    for (QAbstractButton* b : {FVariantsButton, FAutoButton, FFixedButton})
        b->setCheckable(true);
    FConnections.push_back(QObject::connect(FVariantsButton, &QAbstractButton::clicked, [this] {
        GuardEvent([this] { VariantsClick(FVariantsButton); });
    }));
    FConnections.push_back(QObject::connect(FAutoButton, &QAbstractButton::clicked,
                                            [this] { GuardEvent([this] { AutoClick(FAutoButton); }); }));
    FConnections.push_back(QObject::connect(FFixedButton, &QAbstractButton::clicked,
                                            [this] { GuardEvent([this] { FixedClick(FFixedButton); }); }));

    auto* layout = qobject_cast<QGridLayout*>(Container->layout());
    if (layout == nullptr && Container->layout() == nullptr) {
        layout = new QGridLayout(Container);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    for (QWidget* page : {FVariantsPage, FAutoPage, FFixedPage}) {
        QPalette palette = page->palette();
        palette.setColor(QPalette::Window, QColor::fromRgba(PanelColor));
        page->setPalette(palette);
        page->setAutoFillBackground(true);
        page->hide();
        page->setParent(Container);
        if (layout != nullptr) layout->addWidget(page, 0, 0);
    }
    ResetVariants();
    SetFixedColor(clBlack);
}

TColorPanel::~TColorPanel() {
    // The controls may outlive the panel: they must not call it any more.
    for (const QMetaObject::Connection& c : FConnections)
        QObject::disconnect(c);
    FVariantSelector->OnSelectColor = nullptr;
    FFixedSelector->OnSelectColor = nullptr;
    for (TQuorSlider* slider : {FHueSlider, FSaturationSlider, FBrightnessSlider})
        slider->OnChanged = nullptr;
}

void TColorPanel::ShowMode(QAbstractButton* Button, QWidget* Page, bool ResetVisible, TColorMode Mode) {
    for (QAbstractButton* b : {FVariantsButton, FAutoButton, FFixedButton})
        b->setChecked(b == Button);
    for (QWidget* p : {FVariantsPage, FAutoPage, FFixedPage})
        if (p != Page) p->hide();
    Page->show();
    FResetButton->setVisible(ResetVisible);
    if (TDualImage* document = Document()) document->SetColorMode(Mode);
}

void TColorPanel::FixedClick(void* /*Sender*/) {
    ShowMode(FFixedButton, FFixedPage, false, cmFixedInk);
}

void TColorPanel::AutoClick(void* /*Sender*/) {
    ShowMode(FAutoButton, FAutoPage, false, cmSampledColor);
}

void TColorPanel::VariantsClick(void* /*Sender*/) {
    ShowMode(FVariantsButton, FVariantsPage, true, cmPaletteInk);
}

void TColorPanel::ResetClick(void* /*Sender*/) {
    ResetVariants();
}

void TColorPanel::AddVariant(void* /*Sender*/) {
    SetVariant(NextVariant, FVariantSelector->SelectedColor());
    NextVariant = (NextVariant + 1) % VariantSlots;
}

void TColorPanel::SetVariant(int32_t I, TColor Colour) {
    if (I < 0 || I >= VariantSlots) RaiseException("Index out of bounds");
    SetSwatch(FVariants[static_cast<size_t>(I)], Colour);
    UpdatePalette();
}

bool TColorPanel::VariantEmpty(int32_t I) const {
    return FVariants[static_cast<size_t>(I)]->BrushStyle() == bsDiagCross;
}

TColor TColorPanel::GetVariant(int32_t I) const {
    if (I < 0 || I >= VariantSlots || VariantEmpty(I)) RaiseException("Index out of bounds");
    return FVariants[static_cast<size_t>(I)]->BrushColor();
}

int32_t TColorPanel::VariantCount() const {
    for (int32_t i = VariantSlots - 1; i >= 0; --i)
        if (!VariantEmpty(i)) return i + 1;
    return 0;
}

void TColorPanel::UpdatePalette() {
    TDualImage* document = Document();
    if (document == nullptr) return;
    document->ClearPalette();
    for (int32_t i = 0; i < VariantCount(); ++i)
        document->AddPaletteColor(Color32FromWin(static_cast<TWinColor>(GetVariant(i))));
}

void TColorPanel::ResetVariants() {
    for (TShape* swatch : FVariants)
        EmptySwatch(swatch);
    NextVariant = 0;
    if (TDualImage* document = Document()) document->ClearPalette();
    // SetPosition fires no change event, so the drawing keeps its shifts.
    for (TQuorSlider* slider : {FHueSlider, FSaturationSlider, FBrightnessSlider})
        slider->SetPosition(slider->Maximum() / 2);
}

void TColorPanel::FixedColorSelected(void* /*Sender*/) {
    SetFixedColor(FFixedSelector->SelectedColor());
}

void TColorPanel::SetFixedColor(TColor C) {
    if (TDualImage* document = Document()) document->SetColor(Color32FromWin(static_cast<TWinColor>(C)));
    UpdateFromImage();
}

void TColorPanel::UpdateFromImage() {
    TDualImage* document = Document();
    if (document == nullptr) {
        SelectedColor = clBlack;
        SetSwatch(FFixedSwatch, clBlack);
        return;
    }
    SelectedColor = ColorOfInk(document->Color());
    SetSwatch(FFixedSwatch, SelectedColor);
    // The palette holds at most ten colours as the panel fills it; one filled otherwise shows
    // its first ten.
    const int32_t n = document->PaletteCount();
    for (int32_t i = 0; i < VariantSlots; ++i) {
        if (i < n)
            SetSwatch(FVariants[static_cast<size_t>(i)], ColorOfInk(document->GetPaletteColor(i)));
        else
            EmptySwatch(FVariants[static_cast<size_t>(i)]);
    }
}

void TColorPanel::HueChange(void* /*Sender*/) {
    if (TDualImage* document = Document()) document->SetHue(ShiftOf(FHueSlider));
}

void TColorPanel::SaturationChange(void* /*Sender*/) {
    if (TDualImage* document = Document()) document->SetSaturation(ShiftOf(FSaturationSlider));
}

void TColorPanel::BrightnessChange(void* /*Sender*/) {
    if (TDualImage* document = Document()) document->SetBrightness(ShiftOf(FBrightnessSlider));
}

void TColorPanel::SetSwatch(TShape* Swatch, TColor C) {
    Swatch->SetBrushColor(C);
    Swatch->SetBrushStyle(bsSolid);
}

void TColorPanel::EmptySwatch(TShape* Swatch) {
    Swatch->SetBrushColor(clWhite);
    Swatch->SetBrushStyle(bsDiagCross);
}
