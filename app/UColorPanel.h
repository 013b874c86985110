// SPDX-License-Identifier: GPL-3.0-or-later
// The colour panel: the controller behind the "Colors" section of the main window. It turns the
// user's actions on that section's controls into the colour settings of the open drawing (the
// colour mode, the fixed ink, the palette of up to ten variant colours and the hue, saturation
// and brightness shifts) and shows the drawing's colours in its swatches. It has no window of
// its own; the main window owns every control. Without an open drawing only the controls change.
#pragma once

#include "engine/StrokeSettings.h"
#include "platform/qt/Colors.h"

#include <QAbstractButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class TDualImage;
class TQuorSlider;
class TShape;
class TSimpleColorSelector;

class TColorPanel {
public:
    static constexpr int VariantSlots = 10;

    // Keeps the references, wires the controls' events, gives the three pages the panel colour, hides them
    // and puts them into Container, filling it; then empties the variants and shows black as the fixed ink.
    TColorPanel(TShape* Variant0, TShape* Variant1, TShape* Variant2, TShape* Variant3, TShape* Variant4,
                TShape* Variant5, TShape* Variant6, TShape* Variant7, TShape* Variant8, TShape* Variant9,
                TShape* FixedSwatch, TSimpleColorSelector* VariantSelector,
                TSimpleColorSelector* FixedSelector, QAbstractButton* ResetButton, TQuorSlider* HueSlider,
                TQuorSlider* SaturationSlider, TQuorSlider* BrightnessSlider, QAbstractButton* VariantsButton,
                QAbstractButton* AutoButton, QAbstractButton* FixedButton, QWidget* VariantsPage,
                QWidget* AutoPage, QWidget* FixedPage, QWidget* Container);
    // Unhooks the controls, which the main window frees afterwards.
    ~TColorPanel();
    TColorPanel(const TColorPanel&) = delete;
    TColorPanel& operator=(const TColorPanel&) = delete;

    // Where the panel finds the open drawing (none when no drawing is open). The main window
    // points it at the command module's document.
    std::function<TDualImage*()> GetDocument;

    // The mode buttons: the button goes down, its page shows, the reset button shows in the
    // variants mode only, and the drawing takes the mode (fixed: cmFixedInk, auto: cmSampledColor,
    // variants: cmPaletteInk).
    void FixedClick(void* Sender);
    void AutoClick(void* Sender);
    void VariantsClick(void* Sender);
    void ResetClick(void* Sender);

    // The variant field's pick fills the next swatch of the ring of ten.
    void AddVariant(void* Sender);
    // Raises "Index out of bounds" for I outside 0..9; the palette is rebuilt.
    void SetVariant(int32_t I, TColor Colour);
    // The colour of swatch I; raises "Index out of bounds" for an empty swatch.
    TColor GetVariant(int32_t I) const;
    // One more than the last filled swatch; 0 when all are empty.
    int32_t VariantCount() const;
    // The drawing's palette := the colours of swatches 0 .. VariantCount - 1.
    void UpdatePalette();
    // Every swatch empty, the ring back at 0, the drawing's palette cleared, the sliders centred
    // without firing their events (the drawing's shifts keep their values).
    void ResetVariants();

    void FixedColorSelected(void* Sender);
    // The drawing's fixed ink := C, then the swatches show the drawing.
    void SetFixedColor(TColor C);
    // The swatches show the drawing's fixed ink and palette; without a drawing the fixed swatch
    // shows black and the variant swatches stay.
    void UpdateFromImage();

    // The drawing's shift := (slider position - 50) / 100.
    void HueChange(void* Sender);
    void SaturationChange(void* Sender);
    void BrightnessChange(void* Sender);

    int32_t NextVariant = 0;
    // The drawing's fixed ink as last shown; black without a drawing.
    TColor SelectedColor = clBlack;

    bool VariantEmpty(int32_t I) const;
    TShape* FixedSwatch() const { return FFixedSwatch; }

private:
    TDualImage* Document() const { return GetDocument ? GetDocument() : nullptr; }
    void ShowMode(QAbstractButton* Button, QWidget* Page, bool ResetVisible, TColorMode Mode);
    static void SetSwatch(TShape* Swatch, TColor C);
    static void EmptySwatch(TShape* Swatch);

    QAbstractButton* FVariantsButton;
    QAbstractButton* FAutoButton;
    QAbstractButton* FFixedButton;
    QAbstractButton* FResetButton;
    QWidget* FVariantsPage;
    QWidget* FFixedPage;
    QWidget* FAutoPage;
    std::array<TShape*, VariantSlots> FVariants;
    TShape* FFixedSwatch;
    TSimpleColorSelector* FVariantSelector;
    TSimpleColorSelector* FFixedSelector;
    TQuorSlider* FHueSlider;
    TQuorSlider* FSaturationSlider;
    TQuorSlider* FBrightnessSlider;
    std::vector<QMetaObject::Connection> FConnections;
};
