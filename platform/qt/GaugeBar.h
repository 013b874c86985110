// SPDX-License-Identifier: GPL-3.0-or-later
// The gauge bar: a slider over an integer range whose track click moves by LargeChange and whose
// arrow keys move by SmallChange. A new position is clamped to the range, and OnChange fires only
// when the position really changes (also while the thumb is dragged, and when a new range
// clamps it).
#pragma once

#include "platform/raster/Input.h"
#include "platform/rtl/Events.h"

#include <QSlider>

enum TScrollBarKind { sbHorizontal = 0, sbVertical = 1 };

class TGaugeBar : public QSlider {
    Q_OBJECT
public:
    // Range 0..100, position 0, both changes 1, horizontal.
    explicit TGaugeBar(QWidget* Parent = nullptr);

    int Min() const { return minimum(); }
    int Max() const { return maximum(); }
    // A Min above Max moves Max with it, and a Max below Min moves Min.
    void SetMin(int Value) { setMinimum(Value); }
    void SetMax(int Value) { setMaximum(Value); }
    int Position() const { return value(); }
    void SetPosition(int Value) { setValue(Value); }
    int LargeChange() const { return pageStep(); }
    void SetLargeChange(int Value) { setPageStep(Value); }
    int SmallChange() const { return singleStep(); }
    void SetSmallChange(int Value) { setSingleStep(Value); }
    // Vertical gauges run from Min at the top to Max at the bottom.
    TScrollBarKind Kind() const { return orientation() == Qt::Horizontal ? sbHorizontal : sbVertical; }
    void SetKind(TScrollBarKind Value);

    // Sender is the gauge.
    TNotifyEvent OnChange;
    // A press on the gauge before it moves, and the release after its last move.
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
};
