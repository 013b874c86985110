// SPDX-License-Identifier: GPL-3.0-or-later
// The colour panel over the controls of the main window's "Colors" section and a real drawing:
// the mode buttons, the ring of ten variant swatches and the palette, the fixed ink and the
// shift sliders.
#include "app/UColorPanel.h"

#include "app/Shape.h"
#include "controls/QuorSlider.h"
#include "controls/SimpleColorSelector.h"
#include "document/DualImage.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "tests/app/SmallPhoto.h"

#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
struct TColors {
    QWidget Form;
    std::vector<TShape*> Variants;
    TShape* Fixed;
    TSimpleColorSelector* VarSelector;
    TSimpleColorSelector* FixedSelector;
    QPushButton* Reset;
    TQuorSlider* Hue;
    TQuorSlider* Sat;
    TQuorSlider* Bright;
    QPushButton* BtVar;
    QPushButton* BtAuto;
    QPushButton* BtFixed;
    QWidget* PanVar;
    QWidget* PanAuto;
    QWidget* PanFixed;
    QWidget* Container;
    std::unique_ptr<TColorPanel> Panel;

    TImgView32 Src;
    TImgView32 Dst;
    std::unique_ptr<TDualImage> Doc;

    TColors() {
        PanVar = new QWidget(&Form);
        PanAuto = new QWidget(&Form);
        PanFixed = new QWidget(&Form);
        Container = new QWidget(&Form);
        for (int i = 0; i < 10; ++i)
            Variants.push_back(new TShape(PanVar));
        Fixed = new TShape(PanFixed);
        VarSelector = new TSimpleColorSelector(PanVar);
        FixedSelector = new TSimpleColorSelector(PanFixed);
        Reset = new QPushButton("Reset", &Form);
        Hue = new TQuorSlider(PanAuto);
        Sat = new TQuorSlider(PanAuto);
        Bright = new TQuorSlider(PanAuto);
        Bright->SetMaximum(99);
        for (TQuorSlider* s : {Hue, Sat, Bright})
            s->SetPosition(50);
        BtVar = new QPushButton("Variants", &Form);
        BtAuto = new QPushButton("Auto", &Form);
        BtFixed = new QPushButton("Fixed", &Form);
        Panel = std::make_unique<TColorPanel>(Variants[0], Variants[1], Variants[2], Variants[3], Variants[4],
                                              Variants[5], Variants[6], Variants[7], Variants[8], Variants[9],
                                              Fixed, VarSelector, FixedSelector, Reset, Hue, Sat, Bright,
                                              BtVar, BtAuto, BtFixed, PanVar, PanAuto, PanFixed, Container);
        Panel->GetDocument = [this] { return Doc.get(); };
        Form.show();
    }

    void Open() {
        SmallPhoto(Src.Bitmap);
        Dst.Bitmap.SetSize(SmallPhotoWidth, SmallPhotoHeight);
        Doc = std::make_unique<TDualImage>(&Src, &Dst, 1.0f, nullptr, nullptr, nullptr);
    }

    void Pick(TColor C) {
        VarSelector->SetSelectedColor(C);
        VarSelector->OnSelectColor(VarSelector);
    }

    std::vector<TColor32> Palette() const {
        std::vector<TColor32> colours;
        for (int i = 0; i < Doc->PaletteCount(); ++i)
            colours.push_back(Doc->GetPaletteColor(i));
        return colours;
    }
};

TColor Shade(int K) {
    return RGBToColor(static_cast<uint8_t>(10 * K), static_cast<uint8_t>(100 + K), 200);
}

void ExpectIndexError(const std::function<void()>& Call) {
    try {
        Call();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Index out of bounds");
    }
}
} // namespace

TEST(ColorPanelTest, CreationHidesThePagesInTheContainerAndShowsBlack) {
    TColors c;
    for (QWidget* page : {c.PanVar, c.PanAuto, c.PanFixed}) {
        EXPECT_EQ(page->parentWidget(), c.Container);
        EXPECT_FALSE(page->isVisible());
        EXPECT_EQ(page->palette().color(QPalette::Window), QColor(222, 229, 239));
    }
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(c.Panel->VariantEmpty(i));
    EXPECT_EQ(c.Panel->VariantCount(), 0);
    EXPECT_EQ(c.Panel->SelectedColor, clBlack);
    EXPECT_EQ(c.Fixed->BrushStyle(), bsSolid);
    EXPECT_EQ(c.Fixed->BrushColor(), clBlack);
    EXPECT_EQ(c.Bright->Position(), 49);
}

TEST(ColorPanelTest, ModeButtonsShowOnePageAndSetTheDrawingsMode) {
    TColors c;
    c.Open();
    c.BtVar->click();
    EXPECT_EQ(c.Doc->ColorMode(), cmPaletteInk);
    EXPECT_TRUE(c.BtVar->isChecked());
    EXPECT_FALSE(c.BtAuto->isChecked());
    EXPECT_TRUE(c.PanVar->isVisible());
    EXPECT_FALSE(c.PanAuto->isVisible());
    EXPECT_TRUE(c.Reset->isVisible());

    c.BtFixed->click();
    EXPECT_EQ(c.Doc->ColorMode(), cmFixedInk);
    EXPECT_TRUE(c.PanFixed->isVisible());
    EXPECT_FALSE(c.PanVar->isVisible());
    EXPECT_FALSE(c.Reset->isVisible());
    EXPECT_FALSE(c.BtVar->isChecked());

    c.BtAuto->click();
    EXPECT_EQ(c.Doc->ColorMode(), cmSampledColor);
    EXPECT_TRUE(c.PanAuto->isVisible());
    EXPECT_TRUE(c.BtAuto->isChecked());
    EXPECT_FALSE(c.BtFixed->isChecked());
}

TEST(ColorPanelTest, TwelvePicksFillTheRingAndThePaletteFollowsTheSwatches) {
    TColors c;
    c.Open();
    for (int k = 1; k <= 12; ++k)
        c.Pick(Shade(k));
    EXPECT_EQ(c.Panel->NextVariant, 2);
    const int expected[10] = {11, 12, 3, 4, 5, 6, 7, 8, 9, 10};
    std::vector<TColor32> palette;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(c.Panel->GetVariant(i), Shade(expected[i]));
        palette.push_back(Color32FromWin(static_cast<TWinColor>(Shade(expected[i]))));
    }
    EXPECT_EQ(c.Palette(), palette);

    ExpectIndexError([&] { c.Panel->SetVariant(10, clRed); });
    ExpectIndexError([&] { c.Panel->SetVariant(-1, clRed); });
}

TEST(ColorPanelTest, ResetEmptiesTheSwatchesAndPaletteAndCentresTheSlidersSilently) {
    TColors c;
    c.Open();
    c.Pick(clRed);
    c.Pick(clBlue);
    c.Bright->SetPosition(0);
    c.Bright->OnChanged(c.Bright);
    EXPECT_FLOAT_EQ(c.Doc->Brightness(), -0.5f);
    c.Hue->SetPosition(100);
    c.Hue->OnChanged(c.Hue);
    EXPECT_FLOAT_EQ(c.Doc->Hue(), 0.5f);

    c.Reset->click();
    EXPECT_EQ(c.Panel->VariantCount(), 0);
    EXPECT_EQ(c.Doc->PaletteCount(), 0);
    EXPECT_EQ(c.Panel->NextVariant, 0);
    ExpectIndexError([&] { c.Panel->GetVariant(0); });
    EXPECT_EQ(c.Hue->Position(), 50);
    EXPECT_EQ(c.Sat->Position(), 50);
    EXPECT_EQ(c.Bright->Position(), 49);
    // The drawing keeps its shifts until a slider moves; the middle of brightness is -0.01.
    EXPECT_FLOAT_EQ(c.Doc->Brightness(), -0.5f);
    EXPECT_FLOAT_EQ(c.Doc->Hue(), 0.5f);
    c.Bright->OnChanged(c.Bright);
    EXPECT_FLOAT_EQ(c.Doc->Brightness(), -0.01f);

    // The next pick after a reset fills swatch 0 again.
    c.Pick(clLime);
    EXPECT_EQ(c.Panel->GetVariant(0), clLime);
    EXPECT_EQ(c.Panel->VariantCount(), 1);
}

TEST(ColorPanelTest, TheFixedInkGoesToTheDrawingAndTheSwatchesShowTheDrawing) {
    TColors c;
    c.Open();
    c.FixedSelector->SetSelectedColor(RGBToColor(10, 20, 30));
    c.FixedSelector->OnSelectColor(c.FixedSelector);
    EXPECT_EQ(c.Doc->Color(), Color32(10, 20, 30));
    EXPECT_EQ(c.Panel->SelectedColor, RGBToColor(10, 20, 30));
    EXPECT_EQ(c.Fixed->BrushColor(), RGBToColor(10, 20, 30));

    // A palette set elsewhere: the first swatches show it, the rest are empty.
    c.Pick(clRed);
    c.Pick(clRed);
    c.Pick(clRed);
    c.Pick(clRed);
    c.Doc->ClearPalette();
    c.Doc->AddPaletteColor(Color32(1, 2, 3));
    c.Doc->AddPaletteColor(Color32(4, 5, 6));
    c.Panel->UpdateFromImage();
    EXPECT_EQ(c.Panel->GetVariant(1), RGBToColor(4, 5, 6));
    EXPECT_EQ(c.Panel->VariantCount(), 2);
}

TEST(ColorPanelTest, WithoutADrawingOnlyTheControlsChange) {
    TColors c;
    c.Pick(clRed);
    c.BtVar->click();
    EXPECT_TRUE(c.PanVar->isVisible());
    c.Hue->OnChanged(c.Hue);
    c.Panel->SetFixedColor(clYellow);
    // No drawing: black is shown as the fixed ink and the variants stay.
    EXPECT_EQ(c.Fixed->BrushColor(), clBlack);
    EXPECT_EQ(c.Panel->SelectedColor, clBlack);
    EXPECT_EQ(c.Panel->GetVariant(0), clRed);

    // A drawing opened and closed again: the swatches stay as the drawing left them.
    c.Open();
    c.Pick(clBlue);
    c.Doc.reset();
    c.Panel->UpdateFromImage();
    EXPECT_EQ(c.Panel->GetVariant(1), clBlue);
    EXPECT_EQ(c.Fixed->BrushColor(), clBlack);
}
