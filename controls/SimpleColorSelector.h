// SPDX-License-Identifier: GPL-3.0-or-later
// The hue-saturation colour field: every hue from top to bottom and every saturation from left
// to right at one lightness, chosen by the lightness slider under the field. The colour under
// the pointer when a button is released on the field becomes SelectedColor. While a button is
// held on the field the pointer stays inside the selector.
#pragma once

#include "controls/QuorSlider.h"
#include "platform/qt/Colors.h"
#include "platform/rtl/Events.h"

#include <QImage>
#include <QWidget>

class TSimpleColorSelector : public QWidget {
    Q_OBJECT
public:
    explicit TSimpleColorSelector(QWidget* Parent = nullptr);
    ~TSimpleColorSelector() override;

    // The three setters only store the value.
    TColor SelectedColor() const { return FSelectedColor; }
    void SetSelectedColor(TColor Value) { FSelectedColor = Value; }
    bool HorizontalLayout() const { return FHorizontalLayout; }
    void SetHorizontalLayout(bool Value) { FHorizontalLayout = Value; }
    // Fires after every pick with the selector as the sender.
    TNotifyEvent OnSelectColor;

    // The slider's ruler and thumb pictures.
    const QImage& BitmapSlider() const;
    void SetBitmapSlider(const QImage& Picture);
    const QImage& BitmapBtn() const;
    void SetBitmapBtn(const QImage& Picture);

    TQuorSlider* Slider() const { return FSlider; }
    // The field's widget and its picture.
    QWidget* Image() const;
    const QImage& Field() const;

    void DrawField();
    void FieldMouseDown(Qt::MouseButton Button, int X, int Y);
    void PickColor(Qt::MouseButton Button, int X, int Y);
    void SliderChanged(void* Sender);
    void Resized();

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    // The slider along the bottom, the field over the rest.
    void AlignControls();

    TColor FSelectedColor = clBlack;
    bool FHorizontalLayout = false;
    TQuorSlider* FSlider = nullptr;
    class TFieldImage;
    TFieldImage* FImage = nullptr;
};
