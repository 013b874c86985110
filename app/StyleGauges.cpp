// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StyleGauges.h"

#include "platform/qt/GaugeBar.h"

#include <QLabel>

#include <algorithm>

void TStyleGauges::Make(TStyleParameter P, int32_t Start, QWidget* Parent) {
    const TStyleParameterInfo& info = StyleParameters[P];
    auto* gauge = new TGaugeBar(Parent);
    gauge->SetMin(info.Min);
    gauge->SetMax(info.Max);
    gauge->SetPosition(Start);
    gauge->SetLargeChange(std::max((info.Max - info.Min) / 5, 1));
    Gauges[P] = gauge;
    Labels[P] = new QLabel(Parent);
}

double TStyleGauges::Value(TStyleParameter P) const {
    return StyleValueAt(P, Gauges[P]->Position());
}

void TStyleGauges::ShowValue(TStyleParameter P, double Value) const {
    Gauges[P]->SetPosition(StylePositionOf(P, Value));
}

void TStyleGauges::ShowLabel(TStyleParameter P, double Value) const {
    Labels[P]->setText(QString::fromStdString(StyleValueText(P, Gauges[P]->Position(), Value)));
}
