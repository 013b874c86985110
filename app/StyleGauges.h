// SPDX-License-Identifier: GPL-3.0-or-later
// The style gauges of a window (the main window's style panel or the style editor): one gauge and
// one value label per style parameter, made from the parameters' table and read and written in
// the parameters' values. The window places them and decides where the values go.
#pragma once

#include "presets/StyleParameters.h"

#include <array>
#include <cstdint>

class QLabel;
class QWidget;
class TGaugeBar;

class TStyleGauges {
public:
    // Makes the gauge of P with its range, the large step that every gauge of the program takes
    // (a fifth of the range, at least 1) and the position Start, and an empty value label; both
    // go to Parent.
    void Make(TStyleParameter P, int32_t Start, QWidget* Parent);

    // The value the gauge's position gives.
    double Value(TStyleParameter P) const;
    // Moves the gauge to the position that shows Value; a gauge that moves fires its OnChange.
    void ShowValue(TStyleParameter P, double Value) const;
    // The label's text for Value, the gauge's position for Precision.
    void ShowLabel(TStyleParameter P, double Value) const;

    std::array<TGaugeBar*, StyleParameterCount> Gauges{};
    std::array<QLabel*, StyleParameterCount> Labels{};
};

// A window's five style gauges with their value labels, also by the names both windows give
// them.
struct TNamedStyleGauges {
    TStyleGauges StyleGauges;
    TGaugeBar*& gaPolyStep = StyleGauges.Gauges[spPrecision];
    TGaugeBar*& gaLength = StyleGauges.Gauges[spLength];
    TGaugeBar*& gaGain = StyleGauges.Gauges[spGain];
    TGaugeBar*& gaWidth = StyleGauges.Gauges[spWidth];
    TGaugeBar*& gaBrdLimit = StyleGauges.Gauges[spBorderLimit];
    QLabel*& lblPolyStep = StyleGauges.Labels[spPrecision];
    QLabel*& lblLength = StyleGauges.Labels[spLength];
    QLabel*& lblGain = StyleGauges.Labels[spGain];
    QLabel*& lblWidth = StyleGauges.Labels[spWidth];
    QLabel*& lblBorder = StyleGauges.Labels[spBorderLimit];
};
