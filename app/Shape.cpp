// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Shape.h"

#include <QPainter>

TShape::TShape(QWidget* Parent) : QWidget(Parent) {
    resize(65, 65);
}

void TShape::SetShape(TShapeType Value) {
    FShape = Value;
    update();
}

void TShape::SetBrushColor(TColor Value) {
    FBrushColor = Value;
    update();
}

void TShape::SetBrushStyle(TBrushStyle Value) {
    FBrushStyle = Value;
    update();
}

void TShape::SetPenColor(TColor Value) {
    FPenColor = Value;
    update();
}

void TShape::SetPenWidth(int Value) {
    FPenWidth = Value;
    update();
}

void TShape::paintEvent(QPaintEvent* /*Event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, FShape == stCircle);
    // The outline lies inside the control: a pen centred on the border would lose half of its
    // width at the edges.
    const qreal inset = FPenWidth / 2.0;
    const QRectF area = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    auto draw = [&] {
        if (FShape == stCircle)
            painter.drawEllipse(area);
        else
            painter.drawRect(area);
    };
    painter.setPen(Qt::NoPen);
    if (FBrushStyle != bsClear) {
        painter.setBrush(ColorToQColor(FBrushColor));
        draw();
    }
    if (FBrushStyle == bsDiagCross) {
        // The hatch in grey over the brush colour, so that an empty white swatch still shows.
        painter.setBrush(QBrush(QColor(150, 150, 150), Qt::DiagCrossPattern));
        draw();
    }
    if (FPenWidth > 0) {
        painter.setPen(QPen(ColorToQColor(FPenColor), FPenWidth));
        painter.setBrush(Qt::NoBrush);
        draw();
    }
}
