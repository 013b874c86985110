// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/GaugeBar.h"

#include "platform/qt/InputEvents.h"

#include <QMouseEvent>

TGaugeBar::TGaugeBar(QWidget* Parent) : QSlider(Qt::Horizontal, Parent) {
    setRange(0, 100);
    setValue(0);
    setPageStep(1);
    setSingleStep(1);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, [this](int) {
        if (auto handler = OnChange) GuardEvent([&] { handler(this); });
    });
}

void TGaugeBar::SetKind(TScrollBarKind Value) {
    setOrientation(Value == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
    setInvertedAppearance(Value == sbVertical);
    setInvertedControls(Value == sbVertical);
}

void TGaugeBar::mousePressEvent(QMouseEvent* Event) {
    TMouseButton button;
    if (OnMouseDown && MouseButtonOf(Event->button(), button)) {
        const QPoint p = Event->position().toPoint();
        const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
        auto handler = OnMouseDown;
        GuardEvent([&] { handler(this, button, shift, p.x(), p.y()); });
    }
    QSlider::mousePressEvent(Event);
}

void TGaugeBar::mouseReleaseEvent(QMouseEvent* Event) {
    QSlider::mouseReleaseEvent(Event);
    TMouseButton button;
    if (OnMouseUp && MouseButtonOf(Event->button(), button)) {
        const QPoint p = Event->position().toPoint();
        const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
        auto handler = OnMouseUp;
        GuardEvent([&] { handler(this, button, shift, p.x(), p.y()); });
    }
}
