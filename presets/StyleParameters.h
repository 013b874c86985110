// SPDX-License-Identifier: GPL-3.0-or-later
// The style parameters that the user sets with gauges, in the main window's style panel and in
// the style editor: Precision, Length, Gain, Width and the border limit. Each is declared here
// once, with the caption and start position each window gives its gauge, the gauge's range, and
// the mapping between gauge positions and values; both windows build their gauges from this
// table and read and write values through it, so a style shows the same positions in both.
// (Stop on borders is a check box and not among them.)
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TQStyle;

enum TStyleParameter : uint8_t {
    spPrecision = 0,   // points per outline chunk: PolyStep = Max - position (0..94)
    spLength = 1,      // walk steps: GaugeToLength(position) (5..205)
    spGain = 2,        // stroke thickness factor: position / 100 (1.00..12.00)
    spWidth = 3,       // sampling width across the stroke: position / 10 (1.0..10.0)
    spBorderLimit = 4, // border limit in percent: the position (1..100)
};
constexpr int StyleParameterCount = 5;
constexpr std::array<TStyleParameter, StyleParameterCount> AllStyleParameters{spPrecision, spLength, spGain,
                                                                              spWidth, spBorderLimit};

struct TStyleParameterInfo {
    const char* MainCaption;   // the main window's style panel
    const char* EditorCaption; // the style editor
    int32_t Min;
    int32_t Max;
    int32_t MainStart;   // the main window's gauge at creation
    int32_t EditorStart; // the style editor's gauge at creation
    int32_t NoDrawing;   // the main window's gauge while no drawing is open (clamped to the range)
};

// By TStyleParameter, which is also the order in which the windows show the gauges.
extern const std::array<TStyleParameterInfo, StyleParameterCount> StyleParameters;

// The value of a gauge position: an integer for Precision, Length and the border limit.
double StyleValueAt(TStyleParameter P, int32_t Position);
// The gauge position that shows Value (the gauge clamps it to its range).
int32_t StylePositionOf(TStyleParameter P, double Value);
// The text of the label beside the gauge: the position for Precision, else Value, as an integer
// or, for Gain and Width, with at most five significant digits and no trailing zeros.
std::string StyleValueText(TStyleParameter P, int32_t Position, double Value);

// The five values have two holders, a style (TQStyle) and the open drawing (TDualImage), each
// with getters and setters of its own names. A holder names them once, in a specialisation of
// TStyleFields; StyleValueOf and SetStyleValueOf read and write a parameter of any holder through
// them, each field taking the value as it stores it: a whole number (cut toward zero) for
// Precision and Length, a Single for Gain and Width, a byte for the border limit.
template <typename THolder>
struct TStyleFields;

template <typename THolder>
double StyleValueOf(const THolder& Holder, TStyleParameter P) {
    using F = TStyleFields<THolder>;
    switch (P) {
    case spPrecision:
        return F::PolyStep(Holder);
    case spLength:
        return F::Length(Holder);
    case spGain:
        return F::Gain(Holder);
    case spWidth:
        return F::Width(Holder);
    case spBorderLimit:
        break;
    }
    return F::BorderLimit(Holder);
}

template <typename THolder>
void SetStyleValueOf(THolder& Holder, TStyleParameter P, double Value) {
    using F = TStyleFields<THolder>;
    switch (P) {
    case spPrecision:
        F::SetPolyStep(Holder, static_cast<int32_t>(Value));
        break;
    case spLength:
        F::SetLength(Holder, static_cast<int32_t>(Value));
        break;
    case spGain:
        F::SetGain(Holder, static_cast<float>(Value));
        break;
    case spWidth:
        F::SetWidth(Holder, static_cast<float>(Value));
        break;
    case spBorderLimit:
        F::SetBorderLimit(Holder, static_cast<uint8_t>(static_cast<int32_t>(Value)));
        break;
    }
}

// A style's value, and setting it through the style's setter (which marks the preview out of
// date).
double StyleValue(const TQStyle& Style, TStyleParameter P);
void SetStyleValue(TQStyle& Style, TStyleParameter P, double Value);

// The scale of the Length gauges: positions 1..170 give lengths 5..205, close together for short
// strokes and far apart for long ones. Round(2 exp(exp(Position / 200))^2 - 10), the exponential
// kept in single precision.
int32_t GaugeToLength(int32_t Position);
// The position that shows a length, the inverse of GaugeToLength rounded to the nearest step.
int32_t LengthToGauge(int32_t Length);
