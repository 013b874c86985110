// SPDX-License-Identifier: GPL-3.0-or-later
// A plain shape control: a rectangle or a circle drawn with a pen and a brush, such as the colour
// swatches of the colour panel and the frames and strips of the dialogs.
#pragma once

#include "platform/qt/Colors.h"

#include <QWidget>

enum TBrushStyle { bsSolid = 0, bsClear = 1, bsDiagCross = 2 };
enum TShapeType { stRectangle = 0, stCircle = 1 };

class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* Parent = nullptr);

    TShapeType Shape() const { return FShape; }
    void SetShape(TShapeType Value);
    // The brush fills the shape: solid in BrushColor, not at all, or as a cross hatch over
    // BrushColor.
    TColor BrushColor() const { return FBrushColor; }
    void SetBrushColor(TColor Value);
    TBrushStyle BrushStyle() const { return FBrushStyle; }
    void SetBrushStyle(TBrushStyle Value);
    // The outline; a width of 0 draws none.
    TColor PenColor() const { return FPenColor; }
    void SetPenColor(TColor Value);
    void SetPenWidth(int Value);

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    TShapeType FShape = stRectangle;
    TColor FBrushColor = clWhite;
    TBrushStyle FBrushStyle = bsSolid;
    TColor FPenColor = clBlack;
    int FPenWidth = 1;
};
